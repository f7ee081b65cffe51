// The main window's resize layout and the About window's frame, without windows.
#include <gtest/gtest.h>

#include "ui/MainLayout.h"
#include "ui/MainWindow.h"

using namespace velmora::ui;

namespace {

using C = MainControl;
using D = Dimension;

struct LayoutCase {
    const char* name;
    int width, height;
    MainControlSizes before;
    std::vector<LayoutStep> expected;
};

}  // namespace

TEST(MainLayout, StepsAtDesignLargerAndTooSmallSizes) {
    const MainControlSizes design{8430, 3720, 7995, 3195};
    const LayoutCase cases[] = {
        {"design size", 8580, 4170, {},
         {{C::TabStrip, D::Height, 3720}, {C::HelpPanel, D::Height, 3195}, {C::BhoPanel, D::Height, 3195},
          {C::SettingsPanel, D::Height, 3195}, {C::SupportPanel, D::Height, 3195}, {C::CopyrightLabel, D::Top, 3870},
          {C::TabStrip, D::Width, 8430}, {C::HelpPanel, D::Width, 7995}, {C::BhoPanel, D::Width, 7995},
          {C::SettingsPanel, D::Width, 7995}, {C::SupportPanel, D::Width, 7995}}},
        {"larger", 12000, 9000, design,
         {{C::TabStrip, D::Height, 8550}, {C::HelpPanel, D::Height, 8025}, {C::BhoPanel, D::Height, 8025},
          {C::SettingsPanel, D::Height, 8025}, {C::SupportPanel, D::Height, 8025}, {C::CopyrightLabel, D::Top, 8700},
          {C::TabStrip, D::Width, 11850}, {C::HelpPanel, D::Width, 11415}, {C::BhoPanel, D::Width, 11415},
          {C::SettingsPanel, D::Width, 11415}, {C::SupportPanel, D::Width, 11415}}},
        // Lower than 975: the panels keep their height; the strip and the label still follow.
        {"too low", 8580, 600, design,
         {{C::TabStrip, D::Height, 150}, {C::BhoPanel, D::Height, 3195}, {C::SettingsPanel, D::Height, 3195},
          {C::SupportPanel, D::Height, 3195}, {C::CopyrightLabel, D::Top, 300}, {C::TabStrip, D::Width, 8430},
          {C::HelpPanel, D::Width, 7995}, {C::BhoPanel, D::Width, 7995}, {C::SettingsPanel, D::Width, 7995},
          {C::SupportPanel, D::Width, 7995}}},
        // Narrower than the strip's margin: the strip keeps its width and the panels copy
        // what the help panel then has.
        {"too narrow and too low", 100, 200, {9000, 4000, 7000, 3000},
         {{C::BhoPanel, D::Height, 3000}, {C::SettingsPanel, D::Height, 3000}, {C::SupportPanel, D::Height, 3000},
          {C::CopyrightLabel, D::Top, -100}, {C::HelpPanel, D::Width, 8565}, {C::BhoPanel, D::Width, 8565},
          {C::SettingsPanel, D::Width, 8565}, {C::SupportPanel, D::Width, 8565}}},
        // Wide enough for the strip but not for the panels beside it.
        {"strip fits, panels do not", 500, 4170, design,
         {{C::TabStrip, D::Height, 3720}, {C::HelpPanel, D::Height, 3195}, {C::BhoPanel, D::Height, 3195},
          {C::SettingsPanel, D::Height, 3195}, {C::SupportPanel, D::Height, 3195}, {C::CopyrightLabel, D::Top, 3870},
          {C::TabStrip, D::Width, 350}, {C::BhoPanel, D::Width, 7995}, {C::SettingsPanel, D::Width, 7995},
          {C::SupportPanel, D::Width, 7995}}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MainLayout(c.width, c.height, c.before), c.expected);
    }
}

TEST(MainLayout, OpensAtTheDesignWidthOrWideEnoughForItsTexts) {
    EXPECT_EQ(MainOpeningWidth(6765, 8000), 8580);   // both fit the design
    EXPECT_EQ(MainOpeningWidth(8500, 8000), 8680);   // the copyright line, 90 twips in from each edge
    EXPECT_EQ(MainOpeningWidth(8500, 10000), 10150); // the tab row, in a strip 150 twips narrower
}

TEST(MainLayout, TabKeysAreExactAndCaseSensitive) {
    const struct {
        const wchar_t* key;
        int index;
    } cases[] = {{L"help", 1}, {L"BHO", 2}, {L"CS", 3}, {L"Support", 4}, {L"Help", 0},
                 {L"bho", 0},  {L"cs", 0},  {L"support", 0}, {L"", 0},     {L"CS ", 0}};
    for (const auto& c : cases) EXPECT_EQ(TabKeyToIndex(c.key), c.index) << testing::PrintToString(std::wstring(c.key));
}

TEST(AboutFrame, TwoWhiteFramesOnePixelApart) {
    const std::vector<TwipLine> expected = {
        {0, 0, 5235, 0},     {5221, 0, 5221, 3060}, {0, 0, 0, 3060},   {0, 3046, 5235, 3046},
        {14, 14, 5235, 14}, {5207, 14, 5207, 3060}, {14, 14, 14, 3060}, {14, 3032, 5235, 3032}};
    EXPECT_EQ(AboutFrameLines(kAboutWidth, kAboutHeight), expected);
}
