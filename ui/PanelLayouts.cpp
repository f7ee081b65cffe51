#include "ui/PanelLayouts.h"

#include <algorithm>

#include "ui/PanelIds.h"

namespace velmora::ui::panel_layout {

namespace {

// The layout's working copy: each Set either applies (and is recorded) or is refused.
class Sheet {
public:
    explicit Sheet(const Geometry& current) { result_.geometry = current; }

    const Box& operator[](int control) const { return result_.geometry.at(control); }
    int Column() const { return result_.geometry.columnWidth; }

    void Set(int control, Field field, int value) {
        const bool isSize = field == Field::Width || field == Field::Height || field == Field::ColumnWidth;
        if (isSize && value < 0) return;
        if (field == Field::ColumnWidth) {
            result_.geometry.columnWidth = value;
        } else {
            Box& box = result_.geometry.boxes.at(control);
            switch (field) {
                case Field::Left: box.left = value; break;
                case Field::Top: box.top = value; break;
                case Field::Width: box.width = value; break;
                default: box.height = value; break;
            }
        }
        result_.steps.push_back({control, field, value});
    }

    PanelLayout Result() && { return std::move(result_); }

private:
    PanelLayout result_;
};

// The room between a caption and the control after it on the side it grows to.
int Gap(const Box& caption, const Box& next, Grow grow) {
    switch (grow) {
        case Grow::Left: return caption.left - (next.left + next.width);
        case Grow::Down: return next.top - (caption.top + caption.height);
        default: return next.left - (caption.left + caption.width);
    }
}

}  // namespace

int TwipsToPixels(int twips, int twipsPerPixel) {
    const int half = twipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / twipsPerPixel : -((-twips + half) / twipsPerPixel);
}

PixelRect ToPixels(const Box& box) {
    const int left = TwipsToPixels(box.left);
    const int top = TwipsToPixels(box.top);
    return {left, top, TwipsToPixels(box.left + box.width) - left, TwipsToPixels(box.top + box.height) - top};
}

void FitCaptions(Geometry& geometry, const std::vector<Caption>& captions) {
    auto isCaption = [&](int control) {
        return std::any_of(captions.begin(), captions.end(), [&](const Caption& c) { return c.control == control; });
    };
    for (const Caption& caption : captions) {
        const auto found = geometry.boxes.find(caption.control);
        if (found == geometry.boxes.end()) continue;
        Box& box = found->second;
        const bool down = caption.grow == Grow::Down;
        const int growth = caption.needed - (down ? box.height : box.width);
        if (growth <= 0) continue;
        Box before = box;
        (down ? box.height : box.width) += growth;
        if (caption.grow == Grow::Left) box.left -= growth;
        // Down the line, each control moves as far as the one before it now reaches into the gap
        // that must stay between them; room beyond that gap is taken first.
        int push = growth;
        for (int control : caption.after) {
            const auto next = geometry.boxes.find(control);
            if (next == geometry.boxes.end()) break;
            Box& b = next->second;
            push -= std::max(0, Gap(before, b, caption.grow) - kCaptionGap);
            if (push <= 0) break;
            before = b;
            const bool keepsSize = isCaption(control);
            switch (caption.grow) {
                case Grow::Right:
                    b.left += push;
                    if (!keepsSize) b.width = std::max(0, b.width - push);
                    break;
                case Grow::Left:
                    if (keepsSize) b.left -= push;
                    else b.width = std::max(0, b.width - push);
                    break;
                case Grow::Down:
                    b.top += push;
                    if (!keepsSize) b.height = std::max(0, b.height - push);
                    break;
            }
            // A control that gave up room moved no further than its near edge.
            if (!keepsSize) break;
        }
    }
}

Geometry BhoDesign() {
    Geometry g;
    g.boxes[IDC_BHO_LABEL4] = {15, 0, 2415, 195};
    g.boxes[IDC_BHO_LV] = {0, 270, 5865, 1695};
    g.boxes[IDC_BHO_LBLFILENAME] = {15, 2070, 885, 195};
    g.boxes[IDC_BHO_TXTFILENAME] = {975, 2010, 4875, 285};
    g.boxes[IDC_BHO_CMDDELETE] = {3300, 2370, 2535, 345};
    g.columnWidth = 1440;
    return g;
}

Geometry HelpDesign() {
    Geometry g;
    g.boxes[IDC_HELP_IMAGE1] = {210, 240, 480, 480};
    // Its size is the resize handler's; as designed it fills the panel's 8025 x 4575.
    g.boxes[IDC_HELP_LBLDESCR] = {780, 840, 8025 - 1170, 4575 - 840};
    return g;
}

Geometry SupportDesign() {
    Geometry g;
    g.boxes[IDC_SUP_TXTNAME] = {1680, 2850, 1605, 285};
    g.boxes[IDC_SUP_TXTEMAIL] = {4320, 2850, 1605, 285};
    g.boxes[IDC_SUP_CMDREQUESTSUPPORT] = {2970, 3150, 1680, 345};
    g.boxes[IDC_SUP_TXTANSWERS] = {780, 1890, 4335, 885};
    g.boxes[IDC_SUP_IMAGE1] = {210, 240, 480, 480};
    g.boxes[IDC_SUP_LBLNAME] = {780, 2895, 840, 195};
    g.boxes[IDC_SUP_LBLEMAIL] = {3420, 2895, 840, 195};
    g.boxes[IDC_SUP_LBLFIRST] = {780, 300, 4350, 825};
    return g;
}

PanelLayout BhoLayout(const Geometry& current, int W, int H) {
    Sheet s(current);
    const int lv = IDC_BHO_LV, txt = IDC_BHO_TXTFILENAME, cmd = IDC_BHO_CMDDELETE, lbl = IDC_BHO_LBLFILENAME;
    s.Set(lv, Field::Width, W);
    s.Set(lv, Field::ColumnWidth, s[lv].width - 120 - 255);
    s.Set(txt, Field::Width, s[lv].left + s[lv].width - s[txt].left - 15);
    s.Set(cmd, Field::Left, s[lv].left + s[lv].width - s[cmd].width - 15);
    s.Set(cmd, Field::Top, H - s[cmd].height - 60);
    s.Set(txt, Field::Top, s[cmd].top - 360);
    s.Set(lbl, Field::Top, s[txt].top + 30);
    s.Set(lv, Field::Height, s[txt].top - s[lv].top - 60);
    return std::move(s).Result();
}

PanelLayout HelpLayout(const Geometry& current, int W, int H) {
    Sheet s(current);
    const int lbl = IDC_HELP_LBLDESCR;
    // The right margin is half the left one.
    s.Set(lbl, Field::Width, W - s[lbl].left * 3 / 2);
    s.Set(lbl, Field::Height, H - s[lbl].top);
    return std::move(s).Result();
}

PanelLayout SupportLayout(const Geometry& current, int W, int H) {
    Sheet s(current);
    const int first = IDC_SUP_LBLFIRST, lblName = IDC_SUP_LBLNAME, lblEmail = IDC_SUP_LBLEMAIL;
    const int name = IDC_SUP_TXTNAME, email = IDC_SUP_TXTEMAIL, answers = IDC_SUP_TXTANSWERS;
    const int cmd = IDC_SUP_CMDREQUESTSUPPORT;
    s.Set(first, Field::Width, W - s[first].left);
    // Whole twips need no rounding; the division truncates towards zero.
    s.Set(lblEmail, Field::Left, (W + s[lblName].left) / 2 + 60);
    s.Set(email, Field::Left, s[lblEmail].left + s[lblEmail].width + 45);
    s.Set(email, Field::Width, W - s[email].left);
    s.Set(name, Field::Width, s[lblEmail].left - 120 - s[name].left);
    s.Set(answers, Field::Width, W - s[answers].left);
    s.Set(cmd, Field::Left, W - s[cmd].width - 15);
    s.Set(cmd, Field::Top, H - s[cmd].height - 60);
    s.Set(email, Field::Top, s[cmd].top - s[email].height - 75);
    s.Set(lblEmail, Field::Top, s[email].top + 30);
    s.Set(lblName, Field::Top, s[email].top + 30);
    s.Set(name, Field::Top, s[email].top);
    s.Set(answers, Field::Top, s[first].top + s[first].height + 45);
    s.Set(answers, Field::Height, s[email].top - s[answers].top - 60);
    return std::move(s).Result();
}

}  // namespace velmora::ui::panel_layout
