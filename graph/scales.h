#pragma once
// Vertical scales of the graphs: how each quantity chooses its range, and
// where the painter puts lines, ticks and labels of up to four scales.
//
// All positions are absolute pixels in the painter's coordinates (the plot
// rectangle it passes in). The painter draws the frame, the grid and the
// texts; these functions decide what and where.
#include <cstdint>
#include <string>
#include <vector>

#include "graph/axes.h"

namespace srx {

struct Measurement;
struct ScaleSettings;

struct PlotRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// What a scale shows; the curves of that kind are mapped through it.
enum class ScaleKind { Level, Millivolt, Impedance, Phase, GroupDelay, Distortion, Time, Other };

// One vertical scale. Linear: `divisions` + 1 labelled lines from `top` down
// to top - range. Logarithmic: `top` is a power of ten and `range` the number
// of decades below it.
struct ScaleDescription {
    double top = 0;
    double range = 1;
    int divisions = 10;
    int decimals = 0;
    char suffix = 0;   // appended to every label; 0 for none
    std::string unit;  // drawn below the scale
    uint32_t colour = 0;
    bool log = false;
    ScaleKind kind = ScaleKind::Other;

    double Bottom() const;
    // Pixel row of v between `top` (value Top) and `bottom` (value Bottom()),
    // clamped like MapValue. Log scales take v <= 0 as their bottom.
    int Map(double v, int pixelTop, int pixelBottom) const;
    double ValueAt(double y, int pixelTop, int pixelBottom) const;
};

// Label text of a linear scale value: "%.*lf%c"; |v| <= 1e-14 prints as 0.
std::string ScaleLabel(double v, int decimals, char suffix);

struct ScaleLine {
    int y;
    std::string label;  // empty: tick without label
    int labelWidth = 0;
};

struct ScaleLayout {
    ScaleDescription desc;
    bool leftOfPlot = false;
    int columnLeft = 0, columnWidth = 0;  // the label column
    std::vector<ScaleLine> lines;         // labelled lines (linear) or decades (log)
    std::vector<int> gridY;               // horizontal grid lines across the plot
    std::vector<ScaleLine> ticks;         // minor ticks; log scales: 2..9 with labels at 2 and 5
};

struct ScalesLayout {
    PlotRect plot;  // shrunk to leave room for the label columns
    std::vector<ScaleLayout> scales;
};

// Places up to four scales (more are ignored): the first left of the plot,
// the others right of it in order, each in a column 1.2 x its widest label
// plus 1 1/8 "M" wide. Grid lines run at the labelled lines; on linear scales
// whose divisions are taller than 5 pixels, minor ticks at tenths of a
// division. With a `textHeight`, labels nearer than that to a kept one are
// dropped (their lines stay) instead of printing over each other.
ScalesLayout LayoutVerticalScales(PlotRect plot, const std::vector<ScaleDescription>& scales,
                                  const TextWidthFn& textWidth, int textHeight = 0);

// ---- Range rules --------------------------------------------------------

// Divisions of a dB scale of the given range (10, 12, 14 or 8).
int DbDivisions(double range);
// Top of a dB scale: `setting` when above 0, else the first -1000 + k*step at
// or above maxLevel + 0.4 step.
double DbTop(double setting, double range, int divisions, double maxLevel);
// Decimals that show every line of a scale with this step exactly enough.
int DecimalsForStep(double step);

ScaleDescription LevelScale(const ScaleSettings& s, double maxLevel);
// Linear amplitude in mV: 0 .. 1.2 x the peak voltage, level 112 dB = 1 V.
ScaleDescription MillivoltScale(double maxLevel);
double LevelToMillivolt(double level);
// Impedance in ohm, linear from 0 or logarithmic (maxZ, minZ of the curves).
ScaleDescription ImpedanceScale(const ScaleSettings& s, double maxZ, double minZ, bool log);
// Top of an automatic linear scale: smallest m x 10^k (m = 1.0, 1.2 .. 9.8,
// k >= -4) strictly above 1.05 x maximum, but not below minTop.
double AutoLinearTop(double maximum, double minTop);
// Logarithmic range: top is the first power of ten above the maximum, the
// bottom the first top/10^k (k <= 7) at or below the minimum. Returns k.
int LogDecades(double maximum, double minimum, double* top);
// Phase in degrees: wrapped -180..180 (impedance -90..90) or the unwrapped
// extremes (radians) rounded outward to 45 degrees, then to the line step:
// 45, 90 or 180 degrees or 1, 2, 5, 10 ... turns, at most 12 divisions.
ScaleDescription PhaseScale(bool unwrapped, bool impedance, double minRad, double maxRad);
// Group delay in ms, symmetric about 0; maxSeconds is the largest |delay|.
ScaleDescription GroupDelayScale(const ScaleSettings& s, double maxSeconds);
// Distortion in percent ("D%" for a single harmonic, "THD%").
ScaleDescription DistortionScale(const ScaleSettings& s, double maxPercent, double minPercent, bool log, bool thdOnly);
// Distortion in percent of a harmonic level relative to the fundamental.
double DistortionPercent(double harmonicDb, double levelDb);
// Impulse graph: half-range from 1/262144 up by sqrt 2 until it holds the
// peak, divided by the vertical zoom; "Volt" from 0.1 V full range, else mV.
ScaleDescription ImpulseScale(double peak, double zoom);

// The scales of a measurement graph (one record or a multigraph), in the
// order amplitude, impedance, phase, group delay, distortion; each only when
// its curves are both selected by `viewFlags` and present in a record.
// Maxima are taken over fmin..fmax (the displayed range).
struct MeasurementScalesInput {
    std::vector<const Measurement*> records;
    uint32_t viewFlags = 0;
    uint32_t distortionFlags = 0;
    double fmin = 0, fmax = 1e30;
};
std::vector<ScaleDescription> MeasurementScales(const MeasurementScalesInput& in, const ScaleSettings& s);

// Whether a record holds the values of a phase or group-delay slot:
// measured values need the phase, minimum values the minimum phase, excess
// values both.
bool RecordHasSlot(const Measurement& m, int slot);

// The curve slots shown by the view flags.
int SelectedPhaseSlot(uint32_t viewFlags);       // -1: no phase shown
int SelectedGroupDelaySlot(uint32_t viewFlags);  // -1: none

}  // namespace srx
