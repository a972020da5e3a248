#include "core/ui_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts what reaches an installed port.
class CountingPort : public clv::NullUiPort {
public:
    void setStatusLine(const std::string& text, bool) override { lines.push_back("status:" + text); }
    void showError(const std::string& text) override { lines.push_back("error:" + text); }
    std::vector<std::string> lines;
};

}  // namespace

TEST(NullUiPort, RemembersEachControlsState) {
    clv::NullUiPort port;
    port.setChecked(3, true);
    port.setEnabled(3, false);
    port.setText(4, "40");
    port.setText(4, "41");

    EXPECT_TRUE(port.isChecked(3));
    EXPECT_FALSE(port.isEnabled(3));
    EXPECT_EQ(port.getText(3), "");
    EXPECT_FALSE(port.isChecked(4));
    EXPECT_TRUE(port.isEnabled(4));
    EXPECT_EQ(port.getText(4), "41");
    EXPECT_EQ(port.control(4).textWrites, 2);
    EXPECT_EQ(port.control(99).textWrites, 0);

    // Handle 0 is no control: setting it does nothing, reading it gives nothing.
    port.setChecked(0, true);
    port.setText(0, "x");
    EXPECT_FALSE(port.isChecked(0));
    EXPECT_FALSE(port.isEnabled(0));
    EXPECT_EQ(port.getText(0), "");
    EXPECT_EQ(port.control(0).textWrites, 0);

    int ran = 0;
    port.postToUi([&] { ++ran; });
    port.requestRepaint();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(port.postedCalls(), 1);
    EXPECT_EQ(port.repaintRequests(), 1);

    port.clear();
    EXPECT_FALSE(port.isChecked(3));
    EXPECT_EQ(port.repaintRequests(), 0);
}

TEST(UiPort, LinesGoToTheInstalledPort) {
    gf_nullUiPort().clear();
    CountingPort installed;
    gf_setUiPort(&installed);
    gf_setStatusLine("one");
    gf_showError("two");
    gf_uiPort().setChecked(5, true);
    gf_setUiPort(nullptr);
    gf_setStatusLine("three");

    EXPECT_EQ(installed.lines, (std::vector<std::string>{"status:one", "error:two"}));
    EXPECT_TRUE(installed.isChecked(5));
    EXPECT_EQ(gf_nullUiPort().statusLines(), std::vector<std::string>{"three"});
    EXPECT_FALSE(gf_nullUiPort().isChecked(5));
    gf_nullUiPort().clear();
}
