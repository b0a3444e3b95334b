#pragma once
// Horizontal axes of the graphs: the value-to-pixel mapping shared with the
// read-outs, the frequency axis (logarithmic or linear) and the time axis.
//
// Everything here is pure: the painter passes the plot width in pixels and a
// function that measures a text in the current font, and gets back pixel
// positions relative to the plot's left edge (add rect.left) plus the label
// texts that survived the overlap rule. Vertical placement (ticks below the
// axis line, labels 1.75 text heights below it) is the painter's.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace srx {

// Width of `text` in pixels in the font the labels are drawn with.
using TextWidthFn = std::function<int(std::string_view)>;

// Value to pixel. s >= 0: ln(v/a)*s - offset (logarithmic, a = base,
// s = pixels per neper); s < 0: (v + s)*a (linear, s = -minimum, a = pixels
// per unit). Rounded half away from zero and clamped to -32000..32000 so
// that GDI never sees coordinates it would wrap.
int MapValue(double v, double a, double s, double offset);

// The frequency mapping a graph stores back for its read-outs.
struct FrequencyMapping {
    double base = 1;    // log: a of MapValue; linear: pixels per hertz
    double scale = 1;   // log: pixels per neper; linear: -fmin
    double offset = 0;  // log only: map(fmin) before the shift
    bool linear = false;
    double fmin = 0, fmax = 0;  // the displayed range after rounding

    // Pixel offset of f from the plot's left edge. The linear flag decides
    // the formula, not the sign of `scale`: a linear axis from 0 Hz has a
    // scale of 0 and would otherwise be taken for a logarithmic one.
    int Map(double f) const;
    // Inverse of Map for the read-outs (unrounded).
    double FrequencyAt(double x) const;
};

// fmin rounded down to one significant digit, fmax up to two (23 -> 20,
// 19500 -> 20000). fmin <= 0 counts as 1.
double NiceFrequencyFloor(double fmin);
double NiceFrequencyCeil(double fmax);

// The range an axis for fmin..fmax really shows: a logarithmic axis widens
// it to NiceFrequency*, a linear one only mends an empty range. The scales
// take their extremes over this range so that no shown curve leaves them.
void DisplayedFrequencyRange(double fmin, double fmax, bool linear, double* lo, double* hi);

// The logarithmic mapping of fmin..fmax (taken as given, not rounded) over
// `width` pixels, fmin on the left edge. fmin <= 0 counts as 1.
FrequencyMapping LogFrequencyMapping(int width, double fmin, double fmax);

// Label of a frequency axis value: "%.2lf" below 0.1, "%.1lf" below 1,
// "%.0lf" below 1000, "%.0lfk" of f/1000 above.
std::string FrequencyLabel(double f);

// Axis label height: 3.2 % of the plot height, at least 8.
int AxisTextHeight(int plotHeight);

struct GridLine {
    int x;
    bool heavy;  // decade line (heavy grid pen)
};
struct Tick {
    int x;
    bool isLong;  // long: half a text height, short: a third
};
struct AxisLabel {
    int x;  // left edge of the text
    int width;
    std::string text;
};

struct FrequencyAxisLayout {
    FrequencyMapping map;
    std::vector<GridLine> grid;     // lines strictly right of fmin, left of the edge
    std::vector<Tick> ticks;        // tick marks below the axis, 0..width
    std::vector<AxisLabel> labels;  // after the overlap rule
    AxisLabel unit;                 // "f/Hz", right-aligned at the end of the axis
};

// Lays out a frequency axis `width` pixels wide. A logarithmic axis rounds
// the range (NiceFrequency*) and lands fmin on the left edge; a linear axis
// keeps the range as given. Labels are centred on their value; the fmin label
// is centred on the left edge. A label is kept only when it starts at or
// right of the end of the previous kept label and ends at or left of the
// start of the unit text.
FrequencyAxisLayout LayoutFrequencyAxis(int width, double fmin, double fmax, bool linear, const TextWidthFn& textWidth);

// Time axis from t0 to t1 seconds over `width` pixels. Labels "%lg" in ms
// when t1 < 1 s ("t/ms"), else in s ("t/s"); the label step starts at a
// power of ten / 80 and doubles until neighbouring labels keep 2 pixels
// apart. An empty or inverted span gives no labels.
struct TimeAxisLayout {
    double t0 = 0, t1 = 0;
    double step = 0;  // seconds between labels
    bool milliseconds = true;
    std::vector<int> gridX;  // one per label value, also the tick marks
    std::vector<AxisLabel> labels;
    std::string unit;  // "t/ms" or "t/s"

    int Map(double t) const;  // pixel offset from the plot's left edge
    double TimeAt(double x) const;
    int width = 0;
};
TimeAxisLayout LayoutTimeAxis(int width, double t0, double t1, const TextWidthFn& textWidth);

}  // namespace srx
