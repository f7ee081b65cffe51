// The settings tab's resize layout, in twips, without a window.
#include <gtest/gtest.h>

#include "ui/SettingsLayout.h"

using velmora::ui::LayoutSettingsPanel;
using velmora::ui::SettingsGeometry;
using Step = velmora::ui::SettingsLayoutStep;

namespace {

struct Case {
    const char* what;
    int width, height;
    std::vector<Step> steps;
};

}  // namespace

TEST(SettingsLayout, DesignLargerAndTooSmall) {
    const Case cases[] = {
        // The panel as the main window places it at its own design size.
        {"design", 7995, 3195,
         {{Step::ListWidth, 7995}, {Step::NameColumn, 2943}, {Step::ValueColumn, 4677}, {Step::ButtonLeft, 5190},
          {Step::ButtonTop, 2790}, {Step::LabelTop, 2790}, {Step::ListHeight, 2460}}},
        {"4800 wide", 4800, 3195,
         {{Step::ListWidth, 4800}, {Step::NameColumn, 1665}, {Step::ValueColumn, 2760}, {Step::ButtonLeft, 1995},
          {Step::ButtonTop, 2790}, {Step::LabelTop, 2790}, {Step::ListHeight, 2460}}},
        {"larger", 19201, 12000,
         {{Step::ListWidth, 19201}, {Step::NameColumn, 7425}, {Step::ValueColumn, 11401}, {Step::ButtonLeft, 16396},
          {Step::ButtonTop, 11595}, {Step::LabelTop, 11595}, {Step::ListHeight, 11265}}},
        // Too small: the columns and the list's height would be negative and keep their design
        // values; the value column reads the name column that stayed. Places may be negative.
        {"too small", 300, 200,
         {{Step::ListWidth, 300}, {Step::ButtonLeft, -2505}, {Step::ButtonTop, -205}, {Step::LabelTop, -205}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto layout = LayoutSettingsPanel(c.width, c.height, SettingsGeometry{});
        EXPECT_EQ(layout.steps, c.steps);
    }
    // A refused step leaves what the control had, and the steps after it read that.
    SettingsGeometry from;
    from.nameColumn = 100;
    from.listHeight = 77;
    const auto small = LayoutSettingsPanel(600, 300, from).result;
    EXPECT_EQ(small.nameColumn, 100);   // Int(600 / 2.5) - 255 = -15: refused
    EXPECT_EQ(small.valueColumn, 125);  // 600 - 100 - 375
    EXPECT_EQ(small.listHeight, 77);
    EXPECT_EQ(small.buttonLeft, 600 - 2790 - 15);
}
