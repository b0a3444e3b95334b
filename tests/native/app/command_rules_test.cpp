#include "app/command_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/view_flags.h"

namespace srx {
namespace {

std::set<int> Greyed(const ActiveContext& c) {
    std::set<int> out;
    for (const auto& [id, on] : UpdateMenuStates(c))
        if (!on && ((id >= 714 && id <= 726) || (id >= 729 && id <= 736))) out.insert(id);
    return out;
}

ActiveContext Active(int kind, bool impedance = false) {
    ActiveContext c;
    c.hasActive = true;
    c.kind = kind;
    c.impedance = impedance;
    return c;
}

// The rules behind the greying table, not the table itself.
TEST(MenuGreying, FollowsTheActiveKind) {
    // Response and impedance curves each grey the other's analyses.
    const std::set<int> impedance = Greyed(Active(3300, true)), response = Greyed(Active(3300, false));
    for (int id : {716, 717, 721}) EXPECT_TRUE(impedance.count(id) && !response.count(id)) << id;
    for (int id : {718, 719, 720}) EXPECT_TRUE(response.count(id) && !impedance.count(id)) << id;
    // The FFT of a time window needs an impulse window.
    for (int kind : {3300, 3301, 3303}) EXPECT_TRUE(Greyed(Active(kind)).count(723)) << kind;
    EXPECT_FALSE(Greyed(Active(3302)).count(723));
    // Without a graph window nothing of the table is enabled.
    for (const ActiveContext& c : {Active(2), ActiveContext{}})
        for (const auto& [id, on] : UpdateMenuStates(c))
            EXPECT_FALSE(on && ((id >= 714 && id <= 726) || (id >= 729 && id <= 736))) << id;
}

TEST(MenuGreying, EditExportZoomAndTsBusy) {
    ActiveContext c = Active(3300);
    c.tsBusy = true;
    auto s = UpdateMenuStates(c);
    EXPECT_FALSE(s[718] || s[719] || s[720]);
    EXPECT_TRUE(s[107] && s[202] && s[108]);
    EXPECT_FALSE(s[201]);  // no undo step
    EXPECT_FALSE(s[737]);  // not zoomed
    c.hasUndo = c.zoomed = true;
    s = UpdateMenuStates(c);
    EXPECT_TRUE(s[201] && s[737]);

    s = UpdateMenuStates(Active(3303));
    EXPECT_FALSE(s[107]);
    EXPECT_TRUE(s[202]);
    // Crossover graphs zoom although the measurement table greys them.
    s = UpdateMenuStates(Active(3311));
    EXPECT_TRUE(s[736]);
    s = UpdateMenuStates(Active(3310));
    EXPECT_FALSE(s[736]);
    EXPECT_TRUE(s[108]);
    s = UpdateMenuStates(Active(1));  // a design window is no graph
    EXPECT_FALSE(s[202] || s[108] || s[107] || s[736]);
}

TEST(FlagToggles, ExclusivePhaseAndDelayChoices) {
    FlagWords f;
    f.graph = kGraphPhase | kGraphAmplitude;
    ASSERT_TRUE(ApplyFlagToggle(741, f));
    EXPECT_EQ(f.graph, kGraphExcessPhase | kGraphAmplitude);
    EXPECT_TRUE(IsFlagChecked(741, f));
    EXPECT_FALSE(IsFlagChecked(739, f));
    ASSERT_TRUE(ApplyFlagToggle(741, f));  // toggling off leaves none
    EXPECT_EQ(f.graph, kGraphAmplitude);
    f.graph = kGraphMinimumGroupDelay;
    ApplyFlagToggle(742, f);
    EXPECT_EQ(f.graph, kGraphGroupDelay);
}

TEST(FlagToggles, CrossoverCurvesMoveTogether) {
    FlagWords f;
    RepaintScope scope = RepaintScope::None;
    ASSERT_TRUE(ApplyFlagToggle(620, f, &scope));
    EXPECT_EQ(f.xover, kXoverAllCurves | kXoverNoSum);
    EXPECT_EQ(scope, RepaintScope::XoverGraphs);
    ApplyFlagToggle(619, f);  // all curves off takes "no sum" with it
    EXPECT_EQ(f.xover, 0u);
    ApplyFlagToggle(618, f, &scope);
    EXPECT_EQ(scope, RepaintScope::XoverSchematic);
}

TEST(MenuMode, EasyMenuClearsTheAdvancedChoices) {
    FlagWords f;
    f.graph = 0xFFFFFFFFu;
    f.distortion = 0x3FF;
    f.measurementOptions = kOptionMinimumPhase | 0x01;
    FlagWords advanced = f;
    ApplyMenuModeClearing(advanced, false);
    EXPECT_EQ(advanced.graph, 0xFFFFFFFFu & ~0x80000400u);
    EXPECT_EQ(advanced.distortion, 0x3FFu);
    ApplyMenuModeClearing(f, true);
    EXPECT_EQ(f.graph & (0x08 | 0x10 | 0x40 | 0x80 | 0x400 | 0x800 | 0x400000 | 0x800000 | 0x10000000 | 0x80000000u),
              0u);
    EXPECT_EQ(f.graph & (kGraphAmplitude | kGraphPhase | kGraphPhaseUnwrapped | kGraphGroupDelay),
              kGraphAmplitude | kGraphPhase | kGraphPhaseUnwrapped | kGraphGroupDelay);
    EXPECT_EQ(f.distortion, kDistortionThd);
    EXPECT_EQ(f.measurementOptions, 0x01u);
}

TEST(MenuHelp, PopupPositionsAndSpecialCases) {
    MenuSelection popup;
    popup.popup = true;
    popup.item = 9;  // past the known popups: the caller's id
    EXPECT_EQ(MenuHelpId(popup, 700), 700);
    // A maximised child puts its system menu first and shifts the rest.
    popup.childMaximised = true;
    popup.item = 0;
    EXPECT_EQ(MenuHelpId(popup, 5), 2);
    popup.item = 1;
    EXPECT_EQ(MenuHelpId(popup, 5), 100);
    popup.contextMenu = true;
    popup.item = 3;
    EXPECT_EQ(MenuHelpId(popup, 5), 3);

    MenuSelection item;
    item.hasMenu = false;
    EXPECT_EQ(MenuHelpId(item, 303), 1);
    MenuSelection closed;
    closed.closed = true;
    EXPECT_EQ(MenuHelpId(closed, 303), 0);
}

TEST(Tips, ParsingTrimsSkipsAndBoundsAndTheIndexWraps) {
    auto tips = ParseTips(" \tfirst tip\t \r\n\n   \nsecond\n");
    ASSERT_EQ(tips.size(), 2u);
    EXPECT_EQ(tips[0], "first tip");
    EXPECT_EQ(tips[1], "second");
    std::string longLine(400, 'x');
    EXPECT_EQ(ParseTips(longLine)[0].size(), kMaxTipChars);
    std::string many;
    for (int i = 0; i < 600; ++i) many += "tip\n";
    EXPECT_EQ(ParseTips(many).size(), static_cast<size_t>(kMaxTips));
    EXPECT_TRUE(ParseTips("").empty());

    // The index wraps and survives damage.
    EXPECT_EQ(TipToShow(0, 3), 0);
    EXPECT_EQ(TipToShow(7, 3), 1);
    EXPECT_EQ(TipToShow(-1, 3), 2);
    EXPECT_EQ(TipToShow(5, 0), -1);
}

}  // namespace
}  // namespace srx
