#pragma once
// Bits of the process-wide flag words toggled by menu commands. The words
// themselves are stored in the settings blocks (data/settings_blocks.h).
#include <cstdint>

namespace srx {

// ShellFlags
constexpr uint32_t kShellToolbar = 0x01;
constexpr uint32_t kShellStatusBar = 0x02;
constexpr uint32_t kShellNoBackground = 0x04;
constexpr uint32_t kShellFlatToolbar = 0x08;
constexpr uint32_t kShellEasyMenu = 0x10;
constexpr uint32_t kShellPrintMonochrome = 0x1000;

// GraphViewFlags
constexpr uint32_t kGraphAmplitude = 0x01;
constexpr uint32_t kGraphPhase = 0x02;
constexpr uint32_t kGraphPhaseUnwrapped = 0x04;
constexpr uint32_t kGraphMinimumPhase = 0x08;
constexpr uint32_t kGraphExcessPhase = 0x10;
constexpr uint32_t kGraphGroupDelay = 0x20;
constexpr uint32_t kGraphMinimumGroupDelay = 0x40;
constexpr uint32_t kGraphExcessGroupDelay = 0x80;
constexpr uint32_t kGraphDistortionPercent = 0x400;
constexpr uint32_t kGraphLogImpedance = 0x800;
constexpr uint32_t kGraphWaterfallColours = 0x10000;  // waterfall drawn as a colour map
constexpr uint32_t kGraphLinearFrequency = 0x400000;
constexpr uint32_t kGraphLinearAmplitude = 0x800000;
constexpr uint32_t kGraphTimeMarkersHidden = 0x10000000;
constexpr uint32_t kGraphDistortionLogScale = 0x80000000;

// DistortionViewFlags: 0x01 (2nd harmonic) .. 0x100 (10th), 0x200 THD.
constexpr uint32_t kDistortionThd = 0x200;
// A fresh installation shows the 2nd and 3rd harmonics and the THD of the
// results that carry them (the easy menu keeps the THD alone).
constexpr uint32_t kDefaultDistortionViewFlags = 0x01 | 0x02 | kDistortionThd;

// BoxViewFlags
constexpr uint32_t kBoxThickLines = 0x01;
constexpr uint32_t kBoxOneWayRms = 0x02;  // excursion shown in one way RMS
constexpr uint32_t kBoxUnwrappedPhase = 0x04;

// CrossoverViewFlags
constexpr uint32_t kXoverZResistors = 0x01;
constexpr uint32_t kXoverAllCurves = 0x02;
constexpr uint32_t kXoverNoSum = 0x04;
constexpr uint32_t kXoverTarget = 0x400;

// Document kinds (window word 0 of every document window).
enum DocumentKind : int {
    kDocDesignFirst = 0,
    kDocDesignLast = 3,
    kDocAnalysisFirst = 3200,
    kDocAnalysisLast = 3218,
    kDocMeasurement = 3300,
    kDocMultigraph = 3301,
    kDocImpulse = 3302,
    kDocWaterfall = 3303,
    kDocEtc = 3304,
    kDocStep = 3305,
    kDocXoverSchematic = 3310,
    kDocXoverResponse = 3311,
    kDocXoverImpulse = 3312,
    kDocXoverParts = 3313,
    kDocCyclicMls = 3400,
    kDocQualityControl = 3401,
};

// Graph kinds: 3300..3305, 3310..3313 and the box analysis range.
inline bool IsGraphKind(int kind) {
    return (kind >= 3300 && kind <= 3305) || (kind >= 3310 && kind <= 3313) ||
           (kind >= kDocAnalysisFirst && kind <= kDocAnalysisLast);
}

}  // namespace srx
