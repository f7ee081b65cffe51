#include "ui/SettingsLayout.h"

namespace velmora::ui {

namespace {
// Int(n / 2.5), rounding down also below zero, in whole numbers so that no floating-point
// precision of the build decides a twip.
int FloorTwoFifths(int n) {
    const long long twice = 2LL * n;
    long long q = twice / 5;
    if (twice % 5 != 0 && twice < 0) --q;
    return static_cast<int>(q);
}
}  // namespace

SettingsLayout LayoutSettingsPanel(int W, int H, const SettingsGeometry& from) {
    SettingsLayout out{{}, from};
    SettingsGeometry& g = out.result;
    auto size = [&](SettingsLayoutStep::Target target, int& field, int twips) {
        if (twips < 0) return;  // refused: the control keeps its size
        field = twips;
        out.steps.push_back({target, twips});
    };
    auto place = [&](SettingsLayoutStep::Target target, int& field, int twips) {
        field = twips;
        out.steps.push_back({target, twips});
    };
    size(SettingsLayoutStep::ListWidth, g.listWidth, W);
    size(SettingsLayoutStep::NameColumn, g.nameColumn, FloorTwoFifths(g.listWidth) - 255);
    size(SettingsLayoutStep::ValueColumn, g.valueColumn, g.listWidth - g.nameColumn - 120 - 255);
    // The button's right edge stays 15 twips inside the list's, on the panel's bottom line.
    place(SettingsLayoutStep::ButtonLeft, g.buttonLeft, g.listLeft + g.listWidth - g.buttonWidth - 15);
    place(SettingsLayoutStep::ButtonTop, g.buttonTop, H - g.buttonHeight - 60);
    place(SettingsLayoutStep::LabelTop, g.labelTop, g.buttonTop);
    size(SettingsLayoutStep::ListHeight, g.listHeight, g.labelTop - g.listTop - 60);
    return out;
}

}  // namespace velmora::ui
