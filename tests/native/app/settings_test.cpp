#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "tests/native/test_support.h"

using namespace srx;

namespace {

using test::Bytes;
using test::Poke;

// A 1920x1080 screen whose task bar takes the bottom 40 pixels.
const DesktopArea kDesk{1920, 1080, 0, 0, 1920, 1040};

bool HasOwnShades(const CurveStyle& st) {
    uint32_t expected[7];
    DeriveCurveShades(st.colour, expected);
    return std::memcmp(st.shades, expected, sizeof expected) == 0;
}

// A stored current-layout image with a recognisable frame.
std::vector<uint8_t> StoredWindow(int32_t version) {
    SettingsBlocks s;
    LoadDefaults(s, kDesk);
    s.window.version = version;
    s.window.frameLeft = 100;
    s.window.frameWidth = 800;
    return Bytes(s.window);
}

class SettingsTest : public ::testing::Test {
protected:
    void TearDown() override { SetProgramConfigHooks({}); }
    void Load(const char* name, std::vector<uint8_t> bytes) {
        store.values[name] = std::move(bytes);
        LoadSettings(s, store, kDesk);
    }
    SettingsBlocks s;
    MemoryValueStore store;
};

}  // namespace

TEST(CurveShades, AreLighterTintsThatNeverReachWhite) {
    for (uint32_t base : {0x000000u, 0x0000FFu, 0x804020u, 0xFFFFFFu}) {
        uint32_t sh[7];
        DeriveCurveShades(base, sh);
        uint32_t prev = base;
        for (uint32_t shade : sh) {
            for (int shift = 0; shift < 24; shift += 8) {
                uint32_t c = (shade >> shift) & 0xFF, p = (prev >> shift) & 0xFF;
                EXPECT_TRUE(c > p || p == 255) << std::hex << base;
            }
            EXPECT_EQ(shade >> 24, 0u);
            prev = shade;
        }
        EXPECT_EQ(sh[6] == 0xFFFFFFu, base == 0xFFFFFFu);
    }
}

TEST_F(SettingsTest, SaveWritesXoverWindowProgramAndSkipsFailures) {
    struct Scripted : MemoryValueStore {
        bool WriteValue(const std::string& name, const void* data, size_t size) override {
            order.push_back(name);
            return name != kWindowHistoryValue && MemoryValueStore::WriteValue(name, data, size);
        }
        std::vector<std::string> order;
    } scripted;
    LoadDefaults(s, kDesk);
    SaveSettings(s, scripted);
    EXPECT_EQ(scripted.order, (std::vector<std::string>{kXoverConfigValue, kWindowHistoryValue, kProgramConfigValue}));
    EXPECT_EQ(scripted.values.count(kProgramConfigValue), 1u) << "a failed write must not stop the rest";
}

TEST_F(SettingsTest, ValuesOfAnyOtherSizeOrVersionAreIgnored) {
    SettingsBlocks defaults;
    LoadDefaults(defaults, kDesk);
    auto loadsDefaults = [&](std::vector<uint8_t> b) {
        Load(kWindowHistoryValue, std::move(b));
        return Bytes(s.window) == Bytes(defaults.window);
    };
    for (size_t size : {0u, 3u, 3667u, 3669u, 9091u, 9093u}) {
        auto b = StoredWindow(2006);
        b.resize(size);
        if (size >= 4) Poke<int32_t>(b, 0, size < 4000 ? 2003 : 2006);
        EXPECT_TRUE(loadsDefaults(b)) << "size " << size;
    }
    for (int32_t v : {0, 2003, 2007}) EXPECT_TRUE(loadsDefaults(StoredWindow(v))) << "version " << v;
    std::vector<uint8_t> old(3668, 0);
    Poke<int32_t>(old, 0, 2006);
    EXPECT_TRUE(loadsDefaults(old));
    EXPECT_FALSE(loadsDefaults(StoredWindow(2006))) << "the control case must load";

    std::vector<uint8_t> prog(1144, 0x11);
    for (int32_t v : {0, 2004, 2009}) {
        Poke<int32_t>(prog, 0, v);
        Load(kProgramConfigValue, prog);
        EXPECT_EQ(Bytes(s.program), Bytes(defaults.program)) << v;
    }
    Poke<int32_t>(prog, 0, 2008);
    prog.pop_back();
    Load(kProgramConfigValue, prog);
    EXPECT_EQ(Bytes(s.program), Bytes(defaults.program));
    Load(kXoverConfigValue, std::vector<uint8_t>(159, 0x22));
    EXPECT_EQ(Bytes(s.xover), Bytes(defaults.xover));
}

TEST_F(SettingsTest, Layout2003IsMigrated) {
    WindowHistory2003 old;
    std::memset(&old, 0x3C, sizeof old);  // every byte recognisable...
    old.version = 2003;
    old.frameLeft = old.frameTop = 40;  // ...but a frame that fits
    old.frameWidth = old.frameHeight = 500;
    for (auto& e : old.recentFiles) e[259] = '\0';
    old.stimulusFolder[259] = old.backgroundBitmap[259] = '\0';
    old.graphViewFlags = 0x801 | 0x200;  // log impedance, amplitude, 3rd harmonic
    Load(kWindowHistoryValue, Bytes(old));

    const WindowHistory& w = s.window;
    EXPECT_EQ(w.version, 2006);
    EXPECT_EQ(w.frameHeight, 500);
    // The harmonic bit moves to the distortion word, as for 2005 blocks.
    EXPECT_EQ(w.graphViewFlags, 0x801u);
    EXPECT_EQ(w.distortionViewFlags & 0x3u, 0x2u);
    // The printer styles follow the screen ones in the old head table.
    EXPECT_EQ(0, std::memcmp(&w.printerCurveStyles[0], old.curveStyleHeads[16], 20));
    EXPECT_TRUE(HasOwnShades(w.curveStyles[3])) << "shades follow the migrated colour";
    EXPECT_EQ(w.appearance.printerLightGrey, 0xE6E6E6u);
    for (uint8_t b : w.carried1) ASSERT_EQ(b, 0) << "the old tail lands nowhere";
}

TEST_F(SettingsTest, Versions2004And2005AreUpgradedStepByStep) {
    auto b = StoredWindow(2004);
    Poke<uint32_t>(b, 4740, 0x100 | 0x200 | 0x21);  // 2nd and 3rd harmonic, amplitude, group delay
    Poke<uint32_t>(b, 8964, 0);
    Poke<uint32_t>(b, 8968, 0);
    Poke<uint32_t>(b, 8972, 0x40);
    Poke<uint32_t>(b, 6816 + 5 * 64, 0x00FF00);  // curve 5 gets a new colour but old shades
    Load(kWindowHistoryValue, b);
    EXPECT_EQ(s.window.version, 2006);
    EXPECT_EQ(s.window.appearance.lightGrey, 0xE6E6E6u);
    EXPECT_EQ(s.window.appearance.printerLightGrey, 0xE6E6E6u);
    EXPECT_EQ(s.window.graphViewFlags, 0x21u);
    EXPECT_EQ(s.window.distortionViewFlags, 0x43u);
    EXPECT_TRUE(HasOwnShades(s.window.curveStyles[5]));
    EXPECT_EQ(s.window.frameLeft, 100);

    // 2005 keeps its light greys; a clear harmonic bit clears its new bit.
    b = StoredWindow(2005);
    Poke<uint32_t>(b, 4740, 0x100);
    Poke<uint32_t>(b, 8964, 0x123456);
    Poke<uint32_t>(b, 8972, 0x3);
    Load(kWindowHistoryValue, b);
    EXPECT_EQ(s.window.version, 2006);
    EXPECT_EQ(s.window.appearance.lightGrey, 0x123456u);
    EXPECT_EQ(s.window.graphViewFlags, 0u);
    EXPECT_EQ(s.window.distortionViewFlags, 0x1u);

    // 2006 is taken as stored: custom shades and the harmonic bits stay.
    b = StoredWindow(2006);
    Poke<uint32_t>(b, 4740, 0x301);
    Poke<uint32_t>(b, 6816 + 20, 0xABCDEF);
    Load(kWindowHistoryValue, b);
    EXPECT_EQ(s.window.graphViewFlags, 0x301u);
    EXPECT_EQ(s.window.curveStyles[0].shades[0], 0xABCDEFu);
}

TEST_F(SettingsTest, ProgramConfigGoesThroughTheHooks) {
    std::vector<int32_t> upgrades;
    int repairs = 0;
    ProgramConfigHooks hooks;
    hooks.defaults = [](ProgramConfig& p) { p.body[0] = 0xD0; };
    hooks.upgrade = [&](ProgramConfig& p, int32_t from) {
        upgrades.push_back(from);
        EXPECT_EQ(p.version, from) << "the upgrade sees the stored block";
        EXPECT_EQ(p.body[10], 0x5C);
    };
    hooks.repair = [&](ProgramConfig& p) { repairs += p.version == 2008; };
    SetProgramConfigHooks(hooks);

    std::vector<uint8_t> prog(1144, 0x5C);
    for (int32_t v : {2005, 2006, 2007, 2008}) {
        Poke<int32_t>(prog, 0, v);
        Load(kProgramConfigValue, prog);
        EXPECT_EQ(s.program.version, 2008);
        EXPECT_EQ(s.program.body[0], 0x5C) << "the stored block replaces the defaults";
    }
    EXPECT_EQ(upgrades, (std::vector<int32_t>{2005, 2006, 2007}));
    store.values.clear();
    LoadSettings(s, store, kDesk);
    EXPECT_EQ(s.program.body[0], 0xD0);
    EXPECT_EQ(repairs, 5) << "repairs run on every load, defaults included";
}

TEST_F(SettingsTest, RepairsMendUnusableStoredValues) {
    for (double zoom : {0.0, std::numeric_limits<double>::quiet_NaN(), 2.5}) {
        std::vector<uint8_t> x(160, 0);
        Poke<uint32_t>(x, 0, 0x402);
        Poke<double>(x, 32, zoom);
        Load(kXoverConfigValue, x);
        EXPECT_EQ(s.xover.crossoverViewFlags, 0x402u);
        EXPECT_EQ(s.xover.zoomFactor, zoom == 2.5 ? 2.5 : 1.0);
    }
    // Unterminated text, a gap in the recent list, a negative tip index and
    // the stale view bit, as a damaged value could hold them.
    auto b = StoredWindow(2006);
    std::memset(b.data() + 24, 'x', 260);
    std::memset(b.data() + 24 + 260, 0, 260);
    std::memcpy(b.data() + 24 + 520, "C:\\hidden.mes", 14);
    std::memset(b.data() + 4184, 'y', 520);
    Poke<int32_t>(b, 4724, -3);
    Poke<uint32_t>(b, 4740, 0x10003);
    Load(kWindowHistoryValue, b);
    EXPECT_EQ(strnlen(s.window.recentFiles[0], 260), 259u);
    EXPECT_STREQ(s.window.recentFiles[2], "") << "entries behind an empty one are gone";
    EXPECT_EQ(strnlen(s.window.stimulusFolder, 260), 259u);
    EXPECT_EQ(strnlen(s.window.backgroundBitmap, 260), 259u);
    EXPECT_EQ(s.window.tipIndex, 0);
    EXPECT_EQ(s.window.graphViewFlags, 3u);
}

TEST_F(SettingsTest, FramePlacementFitsTheDesktop) {
    auto kept = [&](int32_t l, int32_t t, int32_t w, int32_t h) {
        s.window.frameLeft = l;
        s.window.frameTop = t;
        s.window.frameWidth = w;
        s.window.frameHeight = h;
        return !CheckFramePlacement(s.window, kDesk);
    };
    const int32_t big = std::numeric_limits<int32_t>::max();
    EXPECT_TRUE(kept(0, 0, 1920, 1080)) << "touching the edges is inside";
    EXPECT_TRUE(kept(-8, 100, 400, 300)) << "partly left of the screen is still reachable";
    EXPECT_FALSE(kept(1920, 0, 100, 100));
    EXPECT_FALSE(kept(100, 0, 1821, 500));
    EXPECT_FALSE(kept(-32000, -32000, 160, 28)) << "a minimised window's parking place";
    EXPECT_FALSE(kept(10, 10, 0, 500));
    EXPECT_FALSE(kept(big, 0, big, 10)) << "the right edge must not overflow";

    // A rectangle saved on a larger screen comes back inset on this one.
    auto b = StoredWindow(2006);
    Poke<int32_t>(b, 12, 2400);
    store.values[kWindowHistoryValue] = b;
    const DesktopArea small{1280, 1024, 0, 30, 1280, 1024};  // task bar at the top
    LoadSettings(s, store, small);
    EXPECT_EQ(s.window.frameLeft, 32);
    EXPECT_EQ(s.window.frameTop, 62);
    EXPECT_EQ(s.window.frameWidth, 1280 - 64);
    EXPECT_EQ(s.window.frameHeight, 994 - 64);
}
