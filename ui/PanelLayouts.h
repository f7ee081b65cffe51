// Layouts of the help, Browser Helper Object and support panels: pure functions from a panel's
// inner size in twips to the steps they could apply. A step whose result a control would refuse
// (a negative width, height or column width) is skipped: that control keeps what it had and the
// later steps still run. The panels convert to pixels only when they apply the result.
#pragma once
#include <map>
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

// A box in pixels. Both edges are rounded, so that boxes that meet in twips meet in pixels.
struct PixelRect {
    int left, top, width, height;
    bool operator==(const PixelRect&) const = default;
};
PixelRect ToPixels(const Box& box);

}  // namespace velmora::ui::panel_layout
