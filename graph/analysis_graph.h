#pragma once
// The pure part of the box-design analysis graphs (kinds 3200..3218): which
// quantities each kind shows on which scales, how each scale chooses its
// range over all shown designs, the legend below the plot, and the
// status-bar read-out.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graph/axes.h"
#include "graph/readout.h"
#include "graph/scales.h"

namespace srx {

// Excursion in one way RMS instead of peak-to-peak.
constexpr double kOneWayRmsFactor = 0.35355339059327373;

enum class AnalysisScaleType { Db, Ohm, ElectricalPhase, AcousticPhase, Excursion, GroupDelay, Velocity };

// One curve of a result as the graph shows it.
enum class AnalysisQuantity {
    Total, XmaxLimited, Cone, Port, AcousticPhase, Impedance, ElectricalPhase, Excursion, ConeVelocity,
    PortVelocity, GroupDelay
};

// Samples of a design's impulse and step response.
constexpr int kAnalysisImpulseSamples = 4096;

// The results of one design as the graphs read them: views of the
// simulation's arrays (the window layer fills them in), each curve as long
// as `frequency`. Curves are indexed by AnalysisQuantity; the unwrapped
// acoustic phase comes last.
constexpr size_t kUnwrappedPhaseSeries = 11;
struct AnalysisSeries {
    const std::vector<double>* frequency = nullptr;      // Hz, rising
    std::array<const std::vector<double>*, 12> curves{};  // dB, ohm, radians, m, m/s, s
    const std::vector<double>* impulse = nullptr;         // V at sampleRate
    const std::vector<double>* step = nullptr;
    double sampleRate = 0;
    double visibleImpulse = 0;  // s
    bool empty() const { return !frequency || frequency->empty(); }
};

struct AnalysisScalePlan {
    AnalysisScaleType type;
    std::vector<AnalysisQuantity> quantities;  // one or two
};

// The scales of a frequency kind (3200..3216), first left of the plot;
// empty for the time kinds and unknown kinds.
std::vector<AnalysisScalePlan> AnalysisScalePlans(int kind);
// The one or two quantities the read-out shows, in scale order.
std::vector<AnalysisQuantity> AnalysisQuantities(int kind);
bool IsAnalysisTimeKind(int kind);  // 3217 impulse, 3218 step

// Value i of a quantity in the units of its scale (dB, ohm, degrees, mm,
// ms, m/s); NaN when the result has no such value. `boxFlags` selects the
// unwrapped acoustic phase and the one way RMS excursion.
double AnalysisValue(const AnalysisSeries& r, AnalysisQuantity q, size_t i, uint32_t boxFlags);

// ---- Range rules (each over all shown designs) ----------------------------

// Largest multiple of 5 not above the maximum (from 500 down) plus 10, or 5
// below 5; the maximum counts as 0 when lower.
double AnalysisDbTop(double maximum);
// First v above 1.1 x maximum: 1.0 in steps of 0.5 up to 10, then steps of
// 5, 50 and 500 up to 10 000.
double AnalysisOhmTop(double maximum);
// First m x 10^e (m = 1, 1.5 .. 5, 6 .. 9; e from -5) above 1.1 x maximum;
// `fallback` when none is found up to 10^maxExponent.
double AnalysisNiceTop(double maximum, int maxExponent, double fallback);
// First 0.0125 x 2^k above the maximum, at most 1000.
double AnalysisVelocityTop(double maximum);

// The scale descriptions of `kind` over the results of the shown designs.
std::vector<ScaleDescription> AnalysisScales(int kind, const std::vector<const AnalysisSeries*>& shown,
                                             double dbRange, uint32_t boxFlags);

// ---- Legend ---------------------------------------------------------------

struct LegendEntryPlace {
    int x = 0;  // left edge of the swatch
    int row = 0;
};
struct LegendLayout {
    int rows = 1;
    int leftX = 0, rightX = 0;  // column starts
    std::vector<LegendEntryPlace> entries;
};
// Entries fill two columns, left then right, row by row: max(1, (c + 1) / 2)
// rows. The left column starts at areaLeft + h / 2; the right one at the
// middle, moved left so that its longest entry ends inside the area, then
// right so that it starts after the longest left entry.
LegendLayout LayOutAnalysisLegend(const std::vector<int>& entryWidths, int areaLeft, int areaRight, int h);

// ---- Read-out -------------------------------------------------------------

struct AnalysisReadoutInput {
    int kind = 0;
    int slot = 0;                         // current design slot (0-based)
    const AnalysisSeries* results = nullptr;
    PlotRect plot;
    FrequencyMapping map;                 // frequency kinds
    std::vector<ScaleDescription> scales; // in the painter's order
    int mouseX = 0, mouseY = 0;
    bool crosshair = false;
    uint32_t boxFlags = 0;
};
// Panes 1..5 (all empty outside the plot or without data): frequency and
// the kind's quantities, or time and voltage; pane 4 "Design #%d".
ReadoutPanes AnalysisReadout(const AnalysisReadoutInput& in);
// The impulse or step sample under time t: RoundHalfAway(t x rate), within
// the samples (at most 4095); -1 without samples or a usable rate.
long long AnalysisSampleIndex(double t, double sampleRate, size_t samples);

}  // namespace srx
