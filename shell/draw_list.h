#pragma once
// What one paint of the main window draws, as a list: filled rectangles, lines
// and texts with their places and colours. The panels build it from the
// window's state; the window layer renders it. Tests read it without a display.
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace clv {

using platform::Rgb;

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kGreen{50, 205, 50};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kLightBlue{153, 204, 255};
inline constexpr Rgb kGrey{160, 160, 160};

struct DrawOp {
    enum class Kind { Fill, Line, Text };
    Kind kind = Kind::Fill;
    // Fill: (x1, y1) up to, not including, (x2, y2). Line: from (x1, y1) to (x2, y2).
    // Text: top-left corner (x1, y1).
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    Rgb colour;
    std::string text;  // UTF-8
};

class DrawList {
public:
    void fill(int left, int top, int right, int bottom, Rgb colour);
    void line(int x1, int y1, int x2, int y2, Rgb colour);
    void text(int x, int y, std::string text, Rgb colour);

    const std::vector<DrawOp>& ops() const { return ops_; }

    // The last text drawn with exactly this content; nullptr when there is none.
    const DrawOp* findText(std::string_view text) const;
    // The last text whose top-left corner is (x, y); nullptr when there is none.
    const DrawOp* textAt(int x, int y) const;
    // The colour a fill leaves at the point: the last fill that covers it.
    const DrawOp* fillAt(int x, int y) const;

private:
    std::vector<DrawOp> ops_;
};

// Draws the list in its order.
void gf_renderDrawList(const DrawList& list, platform::Painter& painter);

}  // namespace clv
