#pragma once
// The three fixed-size configuration blocks the program keeps for the whole
// run and stores as binary registry values. Lower layers (measurement
// settings, mixer presets, graph scales) read them, so they live here with
// no dependencies; loading, saving and upgrading them is the shell's
// (app/settings.h).
//
// The blocks are byte images, so every field has an explicit width and the
// structs are packed; the static_asserts pin the offsets that other modules
// (measurement settings, graph appearance, crossover) rely on.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace srx {

constexpr int kRecentFileCount = 8;
constexpr int kPathChars = 260;

constexpr int32_t kWindowHistoryVersion = 2006;
constexpr int32_t kWindowHistory2003Version = 2003;
constexpr int32_t kProgramConfigVersion = 2008;

constexpr uint32_t kDefaultShellFlags = 27;     // toolbar, status bar, flat toolbar, easy menu
constexpr uint32_t kDefaultGraphViewFlags = 3;  // amplitude and measured phase
constexpr uint32_t kDefaultCrossoverViewFlags = 34;
constexpr uint32_t kLightGrey = 0xE6E6E6;
constexpr int32_t kFrameInset = 32;  // default frame distance from the work-area edges

#pragma pack(push, 1)

// One curve style: the pens of one curve number of a multigraph (the first
// 16 styles serve the screen, the next 16 the printer). Colours are 0x00BBGGRR.
// The first five words are the ones the 2003 layout already had; the shades
// colour the distortion curves and are always derived from `colour`.
struct CurveStyle {
    uint32_t colour;  // amplitude: the base colour of the curve
    uint32_t phaseColour;
    uint32_t groupDelayColour;
    uint32_t impedanceColour;
    uint32_t penStyle;  // GDI pen style used for monochrome output
    uint32_t shades[7];
    uint32_t reserved[4];
};
static_assert(sizeof(CurveStyle) == 64);

// Vertical scale preferences. -1 means "Auto".
struct ScaleSettings {
    double dbRange;
    double dbTop;
    double impedanceMax;
    double impedanceMinTop;  // lowest top an automatic impedance scale may take
    double waterfallDbRange;
    double groupDelayMax;  // seconds
    double groupDelayMinTop;
    double etcDbRange;
    double distortionMax;  // percent
    double distortionMinTop;
    int32_t centreImpedance;  // 0/1
    int32_t reserved;
};
static_assert(sizeof(ScaleSettings) == 88);

// Colours of one output (screen or printer).
struct GraphColours {
    uint32_t background;
    uint32_t grid;
    uint32_t line;
    uint32_t frame;
    uint32_t text;
    uint32_t impulse;  // impulse, ETC and step curves
    uint32_t waterfallLine;
    uint32_t waterfallFill;
};
static_assert(sizeof(GraphColours) == 32);

// Raster switches of GraphAppearance.
constexpr uint32_t kRasterFrequency = 0x01;
constexpr uint32_t kRasterFrequencySolid = 0x02;
constexpr uint32_t kRasterImpulse = 0x04;
constexpr uint32_t kRasterImpulseSolid = 0x08;

// The graph colours from `screenColours` up to the second light grey. Kept as
// one struct because the 2003 layout stored exactly this run of bytes.
struct GraphAppearance {
    GraphColours screenColours;   // 8864
    GraphColours printerColours;  // 8896
    uint32_t rasterFlags;         // 8928
    uint32_t designPenStyles[4];  // 8932: monochrome pen of each design slot
    uint8_t reserved[16];         // 8948
    uint32_t lightGrey;           // 8964: light raster lines on screen
    uint32_t printerLightGrey;    // 8968: the same on paper
};
static_assert(sizeof(GraphAppearance) == 108);

// WindowHistory::noticeFlags: a set bit turns a notice off (or, for the
// first, importing's normalisation on).
constexpr uint32_t kNoticeNormalizeImported = 0x01;
constexpr uint32_t kNoticeNoMixerOff = 0x02;
constexpr uint32_t kNoticeNoCardCompensationOff = 0x04;
constexpr uint32_t kNoticeNoCardCompensationSettingsOff = 0x08;
constexpr uint32_t kNoticeLevelInformationOff = 0x10;
constexpr uint32_t kNoticeKeepMeasurementOff = 0x20;

// WindowHistory::analyzerFlags: the "Practical parameters first" of the
// closed, vented and bandpass pages.
constexpr uint32_t kAnalyzerPracticalClosed = 0x02;
constexpr uint32_t kAnalyzerPracticalVented = 0x04;
constexpr uint32_t kAnalyzerPracticalBandpass = 0x08;

// "Window and File History 20".
struct WindowHistory {
    int32_t version;
    int32_t frameLeft, frameTop, frameWidth, frameHeight;
    int32_t frameMaximised;
    char recentFiles[kRecentFileCount][kPathChars];  // newest first, an empty entry ends the list
    uint8_t carried1[2080];
    char stimulusFolder[kPathChars];
    char backgroundBitmap[kPathChars];
    int32_t undoDepth;
    uint8_t carried2[16];
    int32_t tipIndex;
    int32_t showTips;
    uint32_t shellFlags;
    uint32_t boxViewFlags;
    uint32_t graphViewFlags;
    ScaleSettings scales;
    uint8_t reserved1[1984];
    CurveStyle curveStyles[16];
    CurveStyle printerCurveStyles[16];
    GraphAppearance appearance;
    uint32_t distortionViewFlags;
    // The Global Options notice switches and "Don't show this question
    // anymore" (kNotice*); zero, as older blocks hold, is the defaults.
    uint32_t noticeFlags;
    // The "Smooth Curve" dialog's last choice: the fraction N (1..96, 0 =
    // none yet: 1/3 octave), whether it came from "Free 1 /", and the
    // method (kSmooth*); older blocks hold zeros here.
    int32_t smoothingFraction;
    int32_t smoothingFree;
    int32_t smoothingMethod;
    // The box simulation's "Analyzer Preferences" (start and stop in Hz, the
    // visible impulse in s, generator voltage and impedance, temperature in
    // degrees C) and its flags (kAnalyzer*). analyzerValid 0, as older
    // blocks hold, stands for the defaults.
    int32_t analyzerValid;
    double analyzerStart, analyzerStop, analyzerImpulse, analyzerEg, analyzerRg, analyzerTemperature;
    uint32_t analyzerFlags;
    uint8_t reserved2[44];
};
static_assert(sizeof(WindowHistory) == 9092);
static_assert(offsetof(WindowHistory, smoothingFraction) == 8980);
static_assert(offsetof(WindowHistory, analyzerValid) == 8992);
static_assert(offsetof(WindowHistory, analyzerFlags) == 9044);
static_assert(offsetof(WindowHistory, version) == 0);
static_assert(offsetof(WindowHistory, frameLeft) == 4);
static_assert(offsetof(WindowHistory, frameMaximised) == 20);
static_assert(offsetof(WindowHistory, recentFiles) == 24);
static_assert(offsetof(WindowHistory, carried1) == 2104);
static_assert(offsetof(WindowHistory, stimulusFolder) == 4184);
static_assert(offsetof(WindowHistory, backgroundBitmap) == 4444);
static_assert(offsetof(WindowHistory, undoDepth) == 4704);
static_assert(offsetof(WindowHistory, carried2) == 4708);
static_assert(offsetof(WindowHistory, tipIndex) == 4724);
static_assert(offsetof(WindowHistory, showTips) == 4728);
static_assert(offsetof(WindowHistory, shellFlags) == 4732);
static_assert(offsetof(WindowHistory, boxViewFlags) == 4736);
static_assert(offsetof(WindowHistory, graphViewFlags) == 4740);
static_assert(offsetof(WindowHistory, scales) == 4744);
static_assert(offsetof(WindowHistory, curveStyles) == 6816);
static_assert(offsetof(WindowHistory, printerCurveStyles) == 7840);
static_assert(offsetof(WindowHistory, appearance) == 8864);
static_assert(offsetof(WindowHistory, appearance) + offsetof(GraphAppearance, lightGrey) == 8964);
static_assert(offsetof(WindowHistory, appearance) + offsetof(GraphAppearance, printerLightGrey) == 8968);
static_assert(offsetof(WindowHistory, distortionViewFlags) == 8972);

// The older "Window and File History 20" image (version 2003, 3668 bytes).
// It held the same shell fields, only the first five words of each curve
// style, the scale settings and the appearance colours up to the screen's
// light grey; the printer's light grey came later. The tail was never used.
struct WindowHistory2003 {
    int32_t version;                                                  //    0
    int32_t frameLeft, frameTop, frameWidth, frameHeight;             //    4
    int32_t frameMaximised;                                           //   20
    char recentFiles[kRecentFileCount][kPathChars];                   //   24
    char stimulusFolder[kPathChars];                                  // 2104
    char backgroundBitmap[kPathChars];                                // 2364
    int32_t undoDepth;                                                // 2624
    uint8_t carried2[16];                                             // 2628
    int32_t tipIndex;                                                 // 2644
    int32_t showTips;                                                 // 2648
    uint32_t shellFlags;                                              // 2652
    uint32_t boxViewFlags;                                            // 2656
    uint32_t graphViewFlags;                                          // 2660
    uint32_t curveStyleHeads[32][5];                                  // 2664: screen styles, then printer styles
    ScaleSettings scales;                                             // 3304
    uint8_t appearance[offsetof(GraphAppearance, printerLightGrey)];  // 3392: GraphAppearance up to lightGrey
    uint8_t reserved[172];                                            // 3496
};
static_assert(sizeof(WindowHistory2003) == 3668);
static_assert(offsetof(WindowHistory2003, stimulusFolder) == 2104);
static_assert(offsetof(WindowHistory2003, curveStyleHeads) == 2664);
static_assert(offsetof(WindowHistory2003, scales) == 3304);
static_assert(offsetof(WindowHistory2003, appearance) == 3392);
static_assert(offsetof(WindowHistory2003, reserved) == 3496);

// "Program Configuration 20": the measurement settings record. Only its
// version word is known here; the measurement-settings module fills in the
// rest through ProgramConfigHooks.
struct ProgramConfig {
    int32_t version;
    uint8_t body[1140];
};
static_assert(sizeof(ProgramConfig) == 1144);
static_assert(offsetof(ProgramConfig, version) == 0);

// "Xover Configuration 20": crossover preferences.
struct XoverConfig {
    uint32_t crossoverViewFlags;
    uint8_t carried1[28];
    double zoomFactor;  // a scale factor; 0 would collapse the drawing, 1.0 = unscaled
    uint8_t carried2[120];
};
static_assert(sizeof(XoverConfig) == 160);
static_assert(offsetof(XoverConfig, crossoverViewFlags) == 0);
static_assert(offsetof(XoverConfig, zoomFactor) == 32);

#pragma pack(pop)

// Everything persisted, as held in memory for the whole run.
// Each block starts 8-aligned so that its doubles are naturally aligned and
// may be bound to references (the packed types alone do not promise that).
struct SettingsBlocks {
    alignas(8) WindowHistory window;
    alignas(8) ProgramConfig program;
    alignas(8) XoverConfig xover;
    // Opaque common-controls toolbar images as last read ([0] advanced
    // menu mode, [1] easy mode); the toolbar itself saves and restores them.
    std::vector<uint8_t> toolbarLayout[2];
};

// The process-wide settings.
SettingsBlocks& Settings();

// The measurement-settings module plugs its knowledge of the program
// configuration in here. Each hook is optional.
struct ProgramConfigHooks {
    // Called after the block was zeroed and its version set to 2008.
    std::function<void(ProgramConfig&)> defaults;
    // Called for a stored block of version 2005..2007 before it becomes 2008.
    std::function<void(ProgramConfig&, int32_t storedVersion)> upgrade;
    // Called after loading, e.g. to turn an 8-bit sample format into 16-bit.
    std::function<void(ProgramConfig&)> repair;
};
void SetProgramConfigHooks(ProgramConfigHooks hooks);
const ProgramConfigHooks& ProgramConfigHooksInUse();

// Binary values by name: the registry key on Windows, a map in tests.
class ValueStore {
public:
    virtual ~ValueStore() = default;
    // The whole value; false when it does not exist or cannot be read.
    virtual bool ReadValue(const std::string& name, std::vector<uint8_t>& out) = 0;
    virtual bool WriteValue(const std::string& name, const void* data, size_t size) = 0;
};

class MemoryValueStore : public ValueStore {
public:
    bool ReadValue(const std::string& name, std::vector<uint8_t>& out) override;
    bool WriteValue(const std::string& name, const void* data, size_t size) override;
    std::map<std::string, std::vector<uint8_t>> values;
};

}  // namespace srx
