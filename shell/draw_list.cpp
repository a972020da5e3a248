#include "shell/draw_list.h"

#include <utility>

namespace clv {

void DrawList::fill(int left, int top, int right, int bottom, Rgb colour) {
    ops_.push_back(DrawOp{DrawOp::Kind::Fill, left, top, right, bottom, colour, {}});
}

void DrawList::line(int x1, int y1, int x2, int y2, Rgb colour) {
    ops_.push_back(DrawOp{DrawOp::Kind::Line, x1, y1, x2, y2, colour, {}});
}

void DrawList::text(int x, int y, std::string text, Rgb colour) {
    ops_.push_back(DrawOp{DrawOp::Kind::Text, x, y, x, y, colour, std::move(text)});
}

const DrawOp* DrawList::findText(std::string_view text) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it) {
        if (it->kind == DrawOp::Kind::Text && it->text == text) return &*it;
    }
    return nullptr;
}

const DrawOp* DrawList::textAt(int x, int y) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it) {
        if (it->kind == DrawOp::Kind::Text && it->x1 == x && it->y1 == y) return &*it;
    }
    return nullptr;
}

const DrawOp* DrawList::fillAt(int x, int y) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it) {
        if (it->kind == DrawOp::Kind::Fill && x >= it->x1 && x < it->x2 && y >= it->y1 && y < it->y2) return &*it;
    }
    return nullptr;
}

void gf_renderDrawList(const DrawList& list, platform::Painter& painter) {
    for (const DrawOp& op : list.ops()) {
        switch (op.kind) {
            case DrawOp::Kind::Fill: painter.fillRect(op.x1, op.y1, op.x2, op.y2, op.colour); break;
            case DrawOp::Kind::Line: painter.line(op.x1, op.y1, op.x2, op.y2, op.colour); break;
            case DrawOp::Kind::Text: painter.text(op.x1, op.y1, op.text, op.colour); break;
        }
    }
}

}  // namespace clv
