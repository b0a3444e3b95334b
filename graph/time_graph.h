#pragma once
// The pure part of the impulse, step and energy-time graphs: which time
// range is shown, how a long run of samples becomes a polyline of at most a
// few points per pixel column, the energy-time level scale and the falling
// half of the analysis window drawn between the two time-window markers.
#include <cstdint>
#include <vector>

#include "data/records.h"
#include "graph/axes.h"
#include "graph/curves.h"
#include "graph/scales.h"

namespace srx {

struct ScaleSettings;

// Length of a time record in seconds (0 without samples or rate).
double TimeRecordLength(const TimeRecord& t);
// The rate an energy-time record's samples were taken at: its own field,
// else the set-up's, else the samples spread over the shown duration.
double EtcSampleRate(const EtcRecord& e);
double EtcLength(const EtcRecord& e);

// The displayed range of an impulse or step graph. A range that was never
// set (end <= 0) becomes the whole record with the vertical zoom 1.
void SettleImpulseRange(TimeRecord& t);
// Energy-time graphs: an unset range (end <= 0) becomes 0 .. the duration
// shown (the record length when that is missing too).
void SettleEtcRange(EtcRecord& e);

// Analysis window of an impulse or step record in seconds.
struct TimeWindowEdges {
    double start = 0, end = 0;
    bool operator==(const TimeWindowEdges&) const = default;
};
TimeWindowEdges ImpulseWindowEdges(const TimeRecord& t);
// Stores edges back: the start as a sample index (rounded time x rate), the
// length in seconds. The edges are put in order first.
void StoreImpulseWindow(TimeRecord& t, TimeWindowEdges w);
TimeWindowEdges EtcMarkerEdges(const EtcRecord& e);
void StoreEtcMarkers(EtcRecord& e, TimeWindowEdges w);

// Peak magnitude for the vertical scale: the stored peak, or the samples'
// own when the header holds none.
double ImpulsePeak(const TimeRecord& t);

// The level scale of an energy-time graph: 0 dB at the top, the energy-time
// range of the scale settings below it.
ScaleDescription EtcScale(const ScaleSettings& s);

// Samples from t0 to t1 as a polyline over `axis` (plot-relative x) and
// `scale`, each sample multiplied by `factor` first. Where several samples
// share a pixel column the column keeps its first, lowest, highest and last
// value, so that peaks survive at any zoom; the line starts one sample
// before t0 and ends one after t1 so that it reaches the plot edges.
std::vector<CurvePixel> BuildSampleCurve(const std::vector<float>& samples, double rate, const TimeAxisLayout& axis,
                                         const ScaleDescription& scale, const PlotRect& plot, double factor);

// The sample shown under a pixel column spanning ta..tb seconds: of the
// samples inside, the one of largest magnitude (as the curve draws it);
// with none inside, the sample nearest the column's middle. 0 without
// samples.
double SampleUnderColumn(const std::vector<float>& samples, double rate, double ta, double tb);

// Gains of the falling half of an analysis window of `samples` samples, as
// drawn: one value every `*step` samples, the step doubling from 1 until at
// most `maxPoints` values remain. Empty for window types without a falling
// half (rectangular, Bartlett and unknown types).
std::vector<double> FallingHalfWindow(int windowType, long long samples, long long* step, int maxPoints = 8192);

}  // namespace srx
