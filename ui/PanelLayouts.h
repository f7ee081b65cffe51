// Layouts of the help, Browser Helper Object and support panels: pure functions from a panel's
// inner size in twips to the steps they could apply. A step whose result a control would refuse
// (a negative width, height or column width) is skipped: that control keeps what it had and the
// later steps still run. The panels convert to pixels only when they apply the result.
#pragma once
#include <map>
#include <utility>
#include <vector>

namespace velmora::ui::panel_layout {

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

// The nearest pixel, halves away from zero.
int TwipsToPixels(int twips, int twipsPerPixel = kTwipsPerPixel);

struct Box {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};

enum class Field { Left, Top, Width, Height, ColumnWidth };

struct Step {
    int control;  // the control's number in the panel's resources
    Field field;
    int value;    // twips
    bool operator==(const Step&) const = default;
};

// Where a panel's controls stand, in twips, by control number; and the width of the first column
// of the panel's list, where it has one.
struct Geometry {
    std::map<int, Box> boxes;
    int columnWidth = 0;
    const Box& at(int control) const { return boxes.at(control); }
    bool operator==(const Geometry&) const = default;
};

struct PanelLayout {
    Geometry geometry;        // the controls after the steps that applied
    std::vector<Step> steps;  // the steps that applied, in their order
};

// The controls as designed.
Geometry BhoDesign();
Geometry HelpDesign();
Geometry SupportDesign();

// Each layout starts from where the controls stand now (a refused step leaves a control as an
// earlier layout put it) and reads, step by step, what its earlier steps set.
PanelLayout BhoLayout(const Geometry& current, int widthTwips, int heightTwips);
PanelLayout HelpLayout(const Geometry& current, int widthTwips, int heightTwips);
PanelLayout SupportLayout(const Geometry& current, int widthTwips, int heightTwips);

// The one rule for every fixed caption (a label, a button, a check box) of every window and
// panel: a caption whose text needs more room than its design gives it grows to fit, away from
// the edge it is held by, and never shrinks. What stands after it on that side keeps clear of
// it: the controls listed after it, nearest first, each move as far as the one before it now
// reaches into the gap between them that must stay (the design's gap, or kCaptionGap where the
// design left more). A moved caption keeps its size; any other control (a text box, a list)
// gives up the room at its near edge, keeps its far edge and ends the line. The layouts then
// apply their own rules to the result, so a control that a layout places from a caption's size
// follows it there.
enum class Grow { Right, Left, Down };

inline constexpr int kCaptionGap = 90;  // six pixels, the designs' gap between two buttons

struct Caption {
    Caption(int control, Grow grow = Grow::Right, std::vector<int> after = {}, int needed = 0)
        : control(control), grow(grow), after(std::move(after)), needed(needed) {}
    int control;
    Grow grow;
    std::vector<int> after;  // the controls after it on the side it grows to, nearest first
    int needed;              // the width (growing down: the height) its text needs, in twips
};

void FitCaptions(Geometry& geometry, const std::vector<Caption>& captions);

// A box in pixels. Both edges are rounded, so that boxes that meet in twips meet in pixels.
struct PixelRect {
    int left, top, width, height;
    bool operator==(const PixelRect&) const = default;
};
PixelRect ToPixels(const Box& box);

}  // namespace velmora::ui::panel_layout
