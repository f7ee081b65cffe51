#include "ui/MainLayout.h"

#include <algorithm>

namespace velmora::ui {

std::vector<LayoutStep> MainLayout(int widthTwips, int heightTwips, const MainControlSizes& current) {
    std::vector<LayoutStep> steps;
    const int h = heightTwips, w = widthTwips;
    // A size below zero is refused by the control, which keeps the size it had.
    auto size = [&](MainControl control, Dimension dimension, int twips, int kept) {
        if (twips < 0) return kept;
        steps.push_back({control, dimension, twips});
        return twips;
    };
    size(MainControl::TabStrip, Dimension::Height, h - 450, current.tabStripHeight);
    const int helpHeight = size(MainControl::HelpPanel, Dimension::Height, h - 975, current.helpHeight);
    for (MainControl panel : {MainControl::BhoPanel, MainControl::SettingsPanel, MainControl::SupportPanel})
        size(panel, Dimension::Height, helpHeight, helpHeight);
    steps.push_back({MainControl::CopyrightLabel, Dimension::Top, h - 300});
    const int tabWidth = size(MainControl::TabStrip, Dimension::Width, w - kTabStripMargins, current.tabStripWidth);
    const int helpWidth = size(MainControl::HelpPanel, Dimension::Width, tabWidth - 435, current.helpWidth);
    for (MainControl panel : {MainControl::BhoPanel, MainControl::SettingsPanel, MainControl::SupportPanel})
        size(panel, Dimension::Width, helpWidth, helpWidth);
    return steps;
}

int MainOpeningWidth(int copyrightWidthTwips, int tabRowWidthTwips) {
    return std::max({kMainDesignWidth, kCopyrightLeft + copyrightWidthTwips + kCopyrightLeft,
                     tabRowWidthTwips + kTabStripMargins});
}

std::vector<TwipLine> AboutFrameLines(int widthTwips, int heightTwips) {
    const int w = widthTwips, h = heightTwips;
    return {{0, 0, w, 0},           {w - 14, 0, w - 14, h}, {0, 0, 0, h},      {0, h - 14, w, h - 14},
            {14, 14, w, 14},        {w - 28, 14, w - 28, h}, {14, 14, 14, h}, {14, h - 28, w, h - 28}};
}

}  // namespace velmora::ui
