// The settings tab's resize layout, in twips, free of windows: the steps it applies and where
// they leave the controls.
#pragma once
#include <vector>

namespace velmora::ui {

// The controls' geometry in twips, as the layout reads and leaves it.
struct SettingsGeometry {
    int listLeft = 0, listTop = 270, listWidth = 4725, listHeight = 2415;
    int nameColumn = 1635, valueColumn = 2715;
    int buttonLeft = 2130, buttonTop = 3060, buttonWidth = 2790, buttonHeight = 345;
    int labelLeft = 15, labelTop = 2760;
};

struct SettingsLayoutStep {
    enum Target { ListWidth, NameColumn, ValueColumn, ButtonLeft, ButtonTop, LabelTop, ListHeight };
    Target target;
    int twips;
    bool operator==(const SettingsLayoutStep&) const = default;
};

struct SettingsLayout {
    std::vector<SettingsLayoutStep> steps;  // the applied steps, in order
    SettingsGeometry result;
};

// The layout for an inner size of width x height twips, starting from `from`. A step whose
// width or height a control would refuse (below zero) is left out and its control keeps what
// it had; the steps after it read that.
SettingsLayout LayoutSettingsPanel(int widthTwips, int heightTwips, const SettingsGeometry& from);

}  // namespace velmora::ui
