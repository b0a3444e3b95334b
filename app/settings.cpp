#include "app/settings.h"

#include "data/view_flags.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace srx {

const char kProgramConfigValue[] = "Program Configuration 20";
const char kWindowHistoryValue[] = "Window and File History 20";
const char kXoverConfigValue[] = "Xover Configuration 20";
const char kToolbarAdvancedValue[] = "Toolbar Configuration 20";
const char kToolbarEasyValue[] = "Toolbar Configuration Easy";

namespace {

// Toolbar images hold a few bytes per button; anything larger is not ours.
constexpr size_t kMaxToolbarLayout = 64 * 1024;

// GraphViewFlags bits that older layouts used for the 2nd and 3rd harmonic.
constexpr uint32_t kOldSecondHarmonic = 0x100;
constexpr uint32_t kOldThirdHarmonic = 0x200;
constexpr uint32_t kGraphViewStaleBit = 0x10000;

// Base colours of the 16 curve numbers, chosen to stay apart on white.
constexpr uint32_t kCurvePalette[16] = {
    0x0000FF, 0xFF0000, 0x008000, 0xFF00FF, 0x808000, 0x0080FF, 0x800080, 0x008080,
    0x800000, 0x000080, 0x00C000, 0x404040, 0xC08000, 0x8080FF, 0x004080, 0x808080,
};

uint32_t Darken(uint32_t c, int num, int den) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t ch = (c >> shift) & 0xFF;
        out |= (ch * num / den) << shift;
    }
    return out;
}

void DefaultCurveStyle(CurveStyle& st, int curve) {
    uint32_t base = kCurvePalette[curve % 16];
    st.colour = base;
    st.impedanceColour = base;
    // Phase and group delay share the plot with the amplitude, so they get
    // darker variants of the same hue.
    st.phaseColour = Darken(base, 2, 3);
    st.groupDelayColour = Darken(base, 1, 3);
    if (curve == 0) {
        // Curve 1 is also the single measurement's style, where the three
        // quantities must be told apart at a glance: own hues there.
        st.phaseColour = 0xC00000;       // blue
        st.groupDelayColour = 0x008000;  // green
    }
    st.penStyle = static_cast<uint32_t>(curve % 5);  // solid, dash, dot, dash-dot, dash-dot-dot
    DeriveCurveShades(base, st.shades);
}

void DefaultGraphColours(GraphColours& c, bool printer) {
    c.background = 0xFFFFFF;
    c.grid = 0x7F7F7F;
    c.line = 0x000000;
    c.frame = 0x000000;
    c.text = 0x000000;
    c.impulse = printer ? 0x000000 : 0x0000FF;
    c.waterfallLine = 0x000000;
    c.waterfallFill = 0xFFFFFF;
}

void DefaultWindowHistory(WindowHistory& w, const DesktopArea& d) {
    std::memset(&w, 0, sizeof w);
    w.version = kWindowHistoryVersion;
    w.undoDepth = 5;
    w.showTips = 1;
    w.shellFlags = kDefaultShellFlags;
    w.graphViewFlags = kDefaultGraphViewFlags;
    w.distortionViewFlags = kDefaultDistortionViewFlags;

    ScaleSettings& sc = w.scales;
    sc.dbRange = 50.0;
    sc.dbTop = -1.0;
    sc.impedanceMax = -1.0;
    sc.impedanceMinTop = -1.0;
    sc.waterfallDbRange = 50.0;
    sc.groupDelayMax = -1.0;
    sc.groupDelayMinTop = -1.0;
    sc.etcDbRange = 80.0;
    sc.distortionMax = -1.0;
    sc.distortionMinTop = -1.0;

    for (int i = 0; i < 16; ++i) {
        DefaultCurveStyle(w.curveStyles[i], i);
        DefaultCurveStyle(w.printerCurveStyles[i], i);
    }
    GraphAppearance& a = w.appearance;
    DefaultGraphColours(a.screenColours, false);
    DefaultGraphColours(a.printerColours, true);
    a.rasterFlags = kRasterFrequency | kRasterImpulse;
    for (int i = 0; i < 4; ++i) a.designPenStyles[i] = static_cast<uint32_t>(i);
    a.lightGrey = kLightGrey;
    a.printerLightGrey = kLightGrey;

    CheckFramePlacement(w, d);  // an all-zero rectangle always gets the inset one
}

void InsetFrame(WindowHistory& w, const DesktopArea& d) {
    int32_t width = d.workRight - d.workLeft;
    int32_t height = d.workBottom - d.workTop;
    // A work area too small for the inset still gets a visible frame.
    int32_t inset = (width > 2 * kFrameInset && height > 2 * kFrameInset) ? kFrameInset : 0;
    w.frameLeft = d.workLeft + inset;
    w.frameTop = d.workTop + inset;
    w.frameWidth = width - 2 * inset;
    w.frameHeight = height - 2 * inset;
}

template <size_t N>
void Terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

void MoveDistortionBits(WindowHistory& w) {
    uint32_t moved =
        ((w.graphViewFlags & kOldSecondHarmonic) ? 0x01u : 0u) | ((w.graphViewFlags & kOldThirdHarmonic) ? 0x02u : 0u);
    w.distortionViewFlags = (w.distortionViewFlags & ~0x03u) | moved;
    w.graphViewFlags &= ~(kOldSecondHarmonic | kOldThirdHarmonic);
}

void DeriveScreenShades(WindowHistory& w) {
    for (CurveStyle& st : w.curveStyles) DeriveCurveShades(st.colour, st.shades);
}

void Migrate2003(WindowHistory& w, const std::vector<uint8_t>& bytes) {
    WindowHistory2003 old;
    std::memcpy(&old, bytes.data(), sizeof old);
    w.frameLeft = old.frameLeft;
    w.frameTop = old.frameTop;
    w.frameWidth = old.frameWidth;
    w.frameHeight = old.frameHeight;
    w.frameMaximised = old.frameMaximised;
    std::memcpy(w.recentFiles, old.recentFiles, sizeof w.recentFiles);
    std::memcpy(w.stimulusFolder, old.stimulusFolder, sizeof w.stimulusFolder);
    std::memcpy(w.backgroundBitmap, old.backgroundBitmap, sizeof w.backgroundBitmap);
    w.undoDepth = old.undoDepth;
    std::memcpy(w.carried2, old.carried2, sizeof w.carried2);
    w.tipIndex = old.tipIndex;
    w.showTips = old.showTips;
    w.shellFlags = old.shellFlags;
    w.boxViewFlags = old.boxViewFlags;
    w.graphViewFlags = old.graphViewFlags;
    for (int i = 0; i < 32; ++i) {
        CurveStyle& st = i < 16 ? w.curveStyles[i] : w.printerCurveStyles[i - 16];
        std::memcpy(&st, old.curveStyleHeads[i], sizeof old.curveStyleHeads[i]);
    }
    w.scales = old.scales;
    std::memcpy(&w.appearance, old.appearance, sizeof old.appearance);
    w.appearance.printerLightGrey = kLightGrey;
    // The shades of the defaults belong to the default colours; the migrated
    // colours need their own. And 2003 used the same GraphViewFlags bits for
    // the harmonics as 2005 did, so they move the same way.
    DeriveScreenShades(w);
    MoveDistortionBits(w);
    w.version = kWindowHistoryVersion;
}

void UpgradeWindowHistory(WindowHistory& w) {
    if (w.version == 2004) {
        w.appearance.lightGrey = kLightGrey;
        w.appearance.printerLightGrey = kLightGrey;
        w.version = 2005;
    }
    if (w.version == 2005) {
        DeriveScreenShades(w);
        MoveDistortionBits(w);
        w.version = 2006;
    }
}

void LoadWindowHistory(WindowHistory& w, ValueStore& store) {
    std::vector<uint8_t> bytes;
    if (!store.ReadValue(kWindowHistoryValue, bytes)) return;
    int32_t version = 0;
    if (bytes.size() >= sizeof version) std::memcpy(&version, bytes.data(), sizeof version);
    if (bytes.size() == sizeof(WindowHistory2003) && version == kWindowHistory2003Version) {
        Migrate2003(w, bytes);
    } else if (bytes.size() == sizeof(WindowHistory) && version >= 2004 && version <= kWindowHistoryVersion) {
        std::memcpy(&w, bytes.data(), sizeof w);
        UpgradeWindowHistory(w);
    }
}

void LoadProgramConfig(ProgramConfig& p, ValueStore& store) {
    std::vector<uint8_t> bytes;
    if (!store.ReadValue(kProgramConfigValue, bytes) || bytes.size() != sizeof p) return;
    int32_t version = 0;
    std::memcpy(&version, bytes.data(), sizeof version);
    if (version < 2005 || version > kProgramConfigVersion) return;
    std::memcpy(&p, bytes.data(), sizeof p);
    if (version < kProgramConfigVersion && ProgramConfigHooksInUse().upgrade)
        ProgramConfigHooksInUse().upgrade(p, version);
    p.version = kProgramConfigVersion;
}

void RepairWindowHistory(WindowHistory& w) {
    w.graphViewFlags &= ~kGraphViewStaleBit;
    // Stored text comes from outside: make every path a C string, and
    // honour "an empty entry ends the list" so that later shifts cannot
    // bring back entries hidden behind a gap.
    bool ended = false;
    for (auto& entry : w.recentFiles) {
        Terminate(entry);
        if (ended) std::memset(entry, 0, sizeof entry);
        if (entry[0] == '\0') ended = true;
    }
    Terminate(w.stimulusFolder);
    Terminate(w.backgroundBitmap);
    // The tip shown is index mod count; a negative index would index before the list.
    if (w.tipIndex < 0) w.tipIndex = 0;
}

}  // namespace

void DeriveCurveShades(uint32_t base, uint32_t shades[7]) {
    for (int k = 1; k <= 7; ++k) {
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t ch = (base >> shift) & 0xFF;
            out |= (ch + (255 - ch) * k / 8) << shift;
        }
        shades[k - 1] = out;
    }
}

bool CheckFramePlacement(WindowHistory& w, const DesktopArea& d) {
    // 64-bit sums: the rectangle may come from a damaged value.
    int64_t left = w.frameLeft, top = w.frameTop;
    int64_t right = left + w.frameWidth, bottom = top + w.frameHeight;
    bool offDesktop = left >= d.width || top >= d.height || right > d.width || bottom > d.height;
    // An empty frame, or one entirely left of or above the screen (such as
    // the parking position of a minimised window), could never be reached.
    bool unreachable = w.frameWidth <= 0 || w.frameHeight <= 0 || right <= 0 || bottom <= 0;
    if (!offDesktop && !unreachable) return false;
    InsetFrame(w, d);
    return true;
}

void LoadDefaults(SettingsBlocks& s, const DesktopArea& desktop) {
    DefaultWindowHistory(s.window, desktop);

    std::memset(&s.program, 0, sizeof s.program);
    s.program.version = kProgramConfigVersion;
    if (ProgramConfigHooksInUse().defaults) ProgramConfigHooksInUse().defaults(s.program);

    std::memset(&s.xover, 0, sizeof s.xover);
    s.xover.crossoverViewFlags = kDefaultCrossoverViewFlags;
    s.xover.zoomFactor = 1.0;

    s.toolbarLayout[0].clear();
    s.toolbarLayout[1].clear();
}

void LoadSettings(SettingsBlocks& s, ValueStore& store, const DesktopArea& desktop) {
    LoadDefaults(s, desktop);

    std::vector<uint8_t> bytes;
    if (store.ReadValue(kXoverConfigValue, bytes) && bytes.size() == sizeof s.xover)
        std::memcpy(&s.xover, bytes.data(), sizeof s.xover);

    LoadWindowHistory(s.window, store);
    LoadProgramConfig(s.program, store);

    const char* toolbarValues[2] = {kToolbarAdvancedValue, kToolbarEasyValue};
    for (int i = 0; i < 2; ++i) {
        if (store.ReadValue(toolbarValues[i], bytes) && bytes.size() <= kMaxToolbarLayout) s.toolbarLayout[i] = bytes;
    }

    // Repairs of values that older versions could leave unusable.
    if (s.xover.zoomFactor == 0.0 || !std::isfinite(s.xover.zoomFactor)) s.xover.zoomFactor = 1.0;
    RepairWindowHistory(s.window);
    if (ProgramConfigHooksInUse().repair) ProgramConfigHooksInUse().repair(s.program);

    CheckFramePlacement(s.window, desktop);
}

void SaveSettings(const SettingsBlocks& s, ValueStore& store) {
    // Failures are ignored: at shutdown there is nobody left to tell.
    store.WriteValue(kXoverConfigValue, &s.xover, sizeof s.xover);
    store.WriteValue(kWindowHistoryValue, &s.window, sizeof s.window);
    store.WriteValue(kProgramConfigValue, &s.program, sizeof s.program);
}

}  // namespace srx
