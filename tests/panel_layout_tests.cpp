// The layouts of the help, Browser Helper Object and support panels, without windows: each at
// its design size or the main window's panel size, at a larger size and at one too small.
#include <gtest/gtest.h>

#include "ui/PanelIds.h"
#include "ui/PanelLayouts.h"

using namespace velmora::ui::panel_layout;

namespace {

struct Case {
    int w, h;
    std::size_t steps;                      // how many applied
    std::vector<std::pair<int, Box>> boxes; // where the controls end
};

void Check(PanelLayout (*layout)(const Geometry&, int, int), Geometry from, const std::vector<Case>& cases) {
    // Each case starts where the one before it left the controls.
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const PanelLayout l = layout(from, c.w, c.h);
        EXPECT_EQ(l.steps.size(), c.steps);
        for (const auto& [control, box] : c.boxes) EXPECT_EQ(l.geometry.at(control), box) << control;
        from = l.geometry;
    }
}

}  // namespace

TEST(PanelLayouts, TwipsBecomeWholePixelsWithMeetingEdges) {
    const std::pair<int, int> cases[] = {{0, 0}, {7, 0}, {8, 1}, {22, 1}, {23, 2}, {-7, 0}, {-8, -1}, {7995, 533}};
    for (auto [twips, pixels] : cases) EXPECT_EQ(TwipsToPixels(twips), pixels) << twips;
    // The right edge rounds on its own, not the width.
    EXPECT_EQ(ToPixels({975, 2010, 4875, 285}), (PixelRect{65, 134, 325, 19}));
}

TEST(PanelLayouts, BrowserHelperObjectsTab) {
    const int lv = IDC_BHO_LV, txt = IDC_BHO_TXTFILENAME, cmd = IDC_BHO_CMDDELETE, lbl = IDC_BHO_LBLFILENAME;
    Check(BhoLayout, BhoDesign(),
          {{7995, 3195, 8, {{lv, {0, 270, 7995, 2100}}, {txt, {975, 2430, 7005, 285}}, {cmd, {5445, 2790, 2535, 345}},
                            {lbl, {15, 2460, 885, 195}}, {IDC_BHO_LABEL4, {15, 0, 2415, 195}}}},
           {12000, 6000, 8, {{lv, {0, 270, 12000, 4905}}, {txt, {975, 5235, 11010, 285}}, {cmd, {9450, 5595, 2535, 345}},
                             {lbl, {15, 5265, 885, 195}}}},
           // Too small: the column, the box's width and the list's height keep what they had;
           // lefts and tops go below zero.
           {300, 600, 5, {{lv, {0, 270, 300, 4905}}, {txt, {975, -165, 11010, 285}}, {cmd, {-2250, 195, 2535, 345}},
                          {lbl, {15, -135, 885, 195}}}}});
    EXPECT_EQ(BhoLayout(BhoDesign(), 7995, 3195).geometry.columnWidth, 7620);
    const PanelLayout tiny = BhoLayout(BhoLayout(BhoDesign(), 12000, 6000).geometry, 300, 600);
    EXPECT_EQ(tiny.geometry.columnWidth, 11625);
    EXPECT_EQ(tiny.steps[0], (Step{lv, Field::Width, 300}));
}

TEST(PanelLayouts, HelpTab) {
    const int lbl = IDC_HELP_LBLDESCR;
    Check(HelpLayout, HelpDesign(),
          {{8025, 4575, 2, {{lbl, {780, 840, 6855, 3735}}, {IDC_HELP_IMAGE1, {210, 240, 480, 480}}}},
           {12000, 6000, 2, {{lbl, {780, 840, 10830, 5160}}}},
           {1000, 2000, 1, {{lbl, {780, 840, 10830, 1160}}}},  // narrower than 1.5 x 780: width refused
           {1000, 500, 0, {{lbl, {780, 840, 10830, 1160}}}}});
}

TEST(PanelLayouts, SupportTab) {
    const int first = IDC_SUP_LBLFIRST, lblEmail = IDC_SUP_LBLEMAIL, email = IDC_SUP_TXTEMAIL, name = IDC_SUP_TXTNAME;
    const int answers = IDC_SUP_TXTANSWERS, cmd = IDC_SUP_CMDREQUESTSUPPORT;
    Check(SupportLayout, SupportDesign(),
          {{5940, 3600, 14, {{first, {780, 300, 5160, 825}}, {lblEmail, {3420, 2865, 840, 195}},
                             {email, {4305, 2835, 1635, 285}}, {name, {1680, 2835, 1620, 285}},
                             {IDC_SUP_LBLNAME, {780, 2865, 840, 195}}, {answers, {780, 1170, 5160, 1605}},
                             {cmd, {4245, 3195, 1680, 345}}, {IDC_SUP_IMAGE1, {210, 240, 480, 480}}}},
           {9000, 5000, 14, {{first, {780, 300, 8220, 825}}, {lblEmail, {4950, 4265, 840, 195}},
                             {email, {5835, 4235, 3165, 285}}, {name, {1680, 4235, 3150, 285}},
                             {answers, {780, 1170, 8220, 3005}}, {cmd, {7305, 4595, 1680, 345}}}},
           {500, 800, 9, {{first, {780, 300, 8220, 825}}, {lblEmail, {700, 65, 840, 195}}, {email, {1585, 35, 3165, 285}},
                          {name, {1680, 35, 3150, 285}}, {answers, {780, 1170, 8220, 3005}},
                          {cmd, {-1195, 395, 1680, 345}}}}});
    // The e-mail half starts just right of the middle, the half truncated.
    for (auto [w, left] : {std::pair{5940, 3420}, {5941, 3420}, {5942, 3421}})
        EXPECT_EQ(SupportLayout(SupportDesign(), w, 3600).geometry.at(lblEmail).left, left) << w;
}

// The rule for fixed captions: a caption grows to what its text needs (never less than designed)
// away from the edge it is held by; the controls after it keep the gap that must stay, taking
// spare room first; a moved caption keeps its size, a box gives up room at its near edge.
TEST(PanelLayouts, CaptionsGrowToTheirTextAndPushWhatStandsAfterThem) {
    enum { kLabel = 1, kBox, kPaste, kFind, kDisable, kClose, kText, kPrompt, kFiles };
    Geometry line;  // a label before a text box, 75 twips apart
    line.boxes = {{kLabel, {15, 0, 885, 195}}, {kBox, {975, 0, 4875, 285}}};
    Geometry row;  // a row of buttons held by its right edge
    row.boxes = {{kPaste, {810, 0, 1164, 345}}, {kFind, {2610, 0, 1920, 345}}, {kDisable, {4620, 0, 1710, 345}},
                 {kClose, {6420, 0, 1120, 345}}};
    Geometry column;  // a wrapped text over a prompt and a file box
    column.boxes = {{kText, {795, 180, 6735, 465}}, {kPrompt, {795, 750, 2205, 195}}, {kFiles, {810, 1005, 6735, 2520}}};
    const struct {
        const char* name;
        Geometry from;
        std::vector<Caption> captions;
        std::vector<std::pair<int, Box>> boxes;
    } cases[] = {
        {"narrower text", line, {{kLabel, Grow::Right, {kBox}, 600}}, {{kLabel, {15, 0, 885, 195}}, {kBox, {975, 0, 4875, 285}}}},
        {"label pushes its box", line, {{kLabel, Grow::Right, {kBox}, 1065}},
         {{kLabel, {15, 0, 1065, 195}}, {kBox, {1155, 0, 4695, 285}}}},
        {"button row", row,
         {{kClose, Grow::Left, {kDisable, kFind, kPaste}, 1300}, {kDisable, Grow::Left, {kFind, kPaste}, 1710},
          {kFind, Grow::Left, {kPaste}, 2000}},
         {{kClose, {6240, 0, 1300, 345}}, {kDisable, {4440, 0, 1710, 345}}, {kFind, {2350, 0, 2000, 345}},
          {kPaste, {810, 0, 1164, 345}}}},
        {"text grows down", column, {{kText, Grow::Down, {kPrompt, kFiles}, 585}, {kPrompt}},
         {{kText, {795, 180, 6735, 585}}, {kPrompt, {795, 855, 2205, 195}}, {kFiles, {810, 1110, 6735, 2415}}}},
    };
    for (const auto& c : cases) {
        Geometry g = c.from;
        FitCaptions(g, c.captions);
        for (const auto& [control, box] : c.boxes) EXPECT_EQ(g.at(control), box) << c.name << ", control " << control;
    }
}
