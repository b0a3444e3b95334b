#pragma once
// Status-bar read-outs of the graphs and the information line below a
// measurement graph. The painter's mouse handler gathers the positions and
// record values; these functions return the texts of panes 1..5.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graph/axes.h"
#include "graph/scales.h"

namespace srx {

struct Measurement;

// Panes 1..5 at index 0..4; all empty means "clear the panes".
using ReadoutPanes = std::array<std::string, 5>;

// v with `decimals` decimals, trailing zeros and a trailing point removed;
// a value that rounds to zero prints as "0", never "-0".
std::string FormatReadoutNumber(double v, int decimals);
// The read-out format string `id` (2101..2126) filled with the number.
std::string ReadoutText(int id, double v, int decimals);

struct MeasurementReadoutInput {
    const Measurement* record = nullptr;
    FrequencyMapping map;
    PlotRect plot;                         // as the painter left it
    std::vector<ScaleDescription> scales;  // as MeasurementScales returned them
    int mouseX = 0, mouseY = 0;
    bool crosshair = false;
    uint32_t viewFlags = 0;
    uint32_t distortionFlags = 0;
};
// Frequency, then as far as shown: level (dB or mV) or impedance, phase,
// group delay, inductance or capacitance of an impedance, distortion percent.
// Values that do not fit in the five panes are left out.
ReadoutPanes MeasurementReadout(const MeasurementReadoutInput& in);

// Impulse and step graphs: time t (s), the value u (V) under the cursor,
// window start ts and length tw (s); d = speedOfSound * tw.
ReadoutPanes ImpulseReadout(double t, double u, double ts, double tw, double speedOfSound);
// Energy-time graphs: as above with the level in dB in pane 2.
ReadoutPanes EtcReadout(double t, double levelDb, double ts, double tw, double speedOfSound);
// The sample of an energy-time curve under time t.
long long EtcSampleIndex(double sampleRate, double t);

// Read-outs as wide as they get in use (five-digit frequencies, unwrapped
// phases of thousands of degrees, ...): the status-bar panes are sized to hold
// the widest of them.
std::vector<std::string> WidestReadoutTexts();

// Why a phase or group-delay curve the view flags ask for is missing from a
// record (the minimum phase was never calculated, or there is no measured
// phase), for the information line; empty when it is there.
std::string MissingCurveHint(const Measurement& m, uint32_t viewFlags);

// Points per octave of a curve: count / octaves of fmin..fmax, 0 when empty.
int PointsPerOctave(int count, double fmin, double fmax);
// "Frequency range: ..." below a measurement graph; the points per octave
// are left out for a multigraph.
std::string FrequencyRangeLine(double fmin, double fmax, int count, bool multigraph);

}  // namespace srx
