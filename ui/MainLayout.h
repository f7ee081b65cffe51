// Where the main window puts its tab strip, its four panels and its copyright line for a given
// inner size. Pure arithmetic in twips: the window converts to pixels when it applies the steps.
#pragma once
#include <vector>

namespace velmora::ui {

enum class MainControl { TabStrip, HelpPanel, BhoPanel, SettingsPanel, SupportPanel, CopyrightLabel };
enum class Dimension { Top, Width, Height };

struct LayoutStep {
    MainControl control;
    Dimension dimension;
    int twips;
    bool operator==(const LayoutStep&) const = default;
};

// The sizes the controls have before the layout runs: a step that a control refuses leaves the
// control at its size, and later steps that copy it read that size.
struct MainControlSizes {
    int tabStripWidth = 0;
    int tabStripHeight = 0;
    int helpWidth = 0;
    int helpHeight = 0;
};

inline constexpr int kMainDesignWidth = 8580;
inline constexpr int kMainDesignHeight = 4170;
inline constexpr int kTabStripLeft = 90;
inline constexpr int kTabStripTop = 0;
inline constexpr int kPanelLeft = 285;
inline constexpr int kPanelTop = 435;
inline constexpr int kCopyrightLeft = 90;
inline constexpr int kCopyrightHeight = 195;
inline constexpr int kTabStripMargins = 150;  // the window's inner width less the tab strip's

// The inner width the window opens with: its design width, or wider where its fixed texts would
// not show whole in it. The copyright line (which sizes itself to its text) then ends as far from
// the right edge as it starts from the left, and the tab strip, as wide as the layout makes it,
// holds the row of its tabs.
int MainOpeningWidth(int copyrightWidthTwips, int tabRowWidthTwips);

// The steps of the window's resize in their order, leaving out every step whose size a control
// would refuse (a negative width or height); a top may be anything.
std::vector<LayoutStep> MainLayout(int widthTwips, int heightTwips, const MainControlSizes& current);

// The About window: its inner size, and the white double frame drawn on its background.
inline constexpr int kAboutWidth = 5235;
inline constexpr int kAboutHeight = 3060;

struct TwipLine {
    int x1, y1, x2, y2;
    bool operator==(const TwipLine&) const = default;
};

// The eight lines of the frame for an inner size in twips: the outer frame along the edges and
// the inner one 14 twips (a pixel) further in.
std::vector<TwipLine> AboutFrameLines(int widthTwips, int heightTwips);

}  // namespace velmora::ui
