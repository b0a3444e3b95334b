#pragma once
// The pure part of the waterfall graph: the oblique box the slices stand in
// (frequency across, level up, time from the back to the front along a
// diagonal), its frequency grid and labels, the time labels along the floor,
// the polygon of each slice, and the cursor the keys move over the slices.
#include <functional>
#include <string>
#include <vector>

#include "data/records.h"
#include "graph/axes.h"
#include "graph/curves.h"
#include "graph/readout.h"

namespace srx {

// The box inside the area x0..x1, y0..y1 for character height h, average
// character width w, `decimals` of the level labels and n level divisions.
struct WaterfallLayout {
    int left = 0, top = 0, right = 0, bottom = 0;
    int dx = 0;  // depth offset of the back wall
    int H = 0;   // panel height, a multiple of n
    int W = 0;   // panel width
    int divisions = 1;
    CurvePixel backLeft{}, backRight{}, frontRight{}, frontLeft{};
    double depthLength = 0;  // back-left to front-left corner
    double ux = 0, uy = 0;   // unit vector of the depth direction
    // False when the panel is lower than its divisions: nothing fits.
    bool Usable() const { return H >= divisions && divisions > 0 && W > 0; }
};
WaterfallLayout LayOutWaterfall(int x0, int y0, int x1, int y1, int h, int w, int decimals, int divisions);

// Grid and labels of the frequency axis, in pixels from the panel's left
// edge (X(f)). The grid starts at the largest m x 10^k (m = 1..9, k >= 0) not
// above `start`, 1 Hz when the start lies below that; its step is the decade
// of each value. Values with a leading 1, 2 or 5 get a label ("%d" below
// 1000 Hz, "%dK" above); labels and ticks stop at the first label whose
// right half would reach `captionLeft` (where "f/Hz" begins).
struct WaterfallFrequencyMarks {
    std::vector<int> gridX;  // lines up the back wall and across the floor
    std::vector<int> tickX;
    std::vector<AxisLabel> labels;  // x: left edge of the text
};
double WaterfallFirstGridValue(double start);
WaterfallFrequencyMarks LayOutWaterfallFrequencies(double start, double end, const FrequencyMapping& map,
                                                   int captionLeft, const TextWidthFn& textWidth);
// "%d" of the rounded frequency below 1000 Hz, "%dK" of the rounded kHz above.
std::string WaterfallFrequencyLabel(double f);

// Step between time labels: the first of 1e-5, 1e-4, ... s whose spacing
// along the depth axis is at least 1.2 text heights or no longer below the
// panel width. 0 (no labels) unless the span is finite and positive.
double WaterfallTimeStep(double depthLength, double span, int textHeight, int panelWidth);
// The label texts for t = 0, step, ... up to span: ms with up to 2
// decimals, a blank after each, "ms" after the last.
std::vector<std::pair<double, std::string>> WaterfallTimeLabels(double step, double span);

// The projection of the slices, kept after each paint for the cursor.
struct WaterfallProjection {
    bool valid = false;
    double originX = 0, originY = 0;  // back-left corner of the floor
    double ux = 0, uy = 0;            // depth direction
    double sliceStep = 0;             // depth per slice
    int slices = 0;
    int W = 0;
    FrequencyMapping map;  // X(f) over the panel width
    double pixelsPerDb = 0;
    int yoff = 0;                   // RoundHalfAway(H (1 - T / range))
    double start = 0, end = 0;      // displayed frequency range
    double span = 0;                // seconds the slices cover

    // Base point of slice j (left end of its base line).
    CurvePixel Base(int j) const;
    // A point of slice j, never below its base line; a level that is not
    // finite counts as no level (on the base line).
    CurvePixel Point(int j, double f, double level) const;
};

// The closed polygon of slice j over start..end: leading points at or
// below -500 dB are left out, repeated points skipped, and the outline
// closed along the base line. Empty when the slice has no level at all.
std::vector<CurvePixel> WaterfallSlicePolygon(const WaterfallProjection& p, int j, const WaterfallSlice& slice);

// The second drawing mode (GraphViewFlags 0x10000): the ground between
// each slice and the next nearer one as quadrilaterals over neighbouring
// frequencies, back to front, each shaded 0..255 by the mean of its four
// corners' levels (held inside bottom..bottom + range) over that range. A
// corner without a level counts as the bottom; a quadrilateral of four
// such corners is left out.
struct WaterfallQuad {
    CurvePixel corner[4];  // slice j at f_i, f_i+1, then slice j + 1 at f_i+1, f_i
    int shade = 0;
};
std::vector<WaterfallQuad> WaterfallColourQuads(const WaterfallProjection& p, const std::vector<WaterfallSlice>& slices,
                                                double bottom, double range);
// Its ramp, as 0x00BBGGRR: red rising and blue falling with the shade,
// green highest half way, each channel lowered by 32.
uint32_t WaterfallRampColour(int shade);

// The largest level of all slices inside start..end (-1000 when none).
double WaterfallMaxLevel(const TimeRecord& t, double start, double end);

// The waterfall cursor: keys that move it over slices and frequencies.
enum class WaterfallKey { PageUp, PageDown, Up, Down, Home, End, Left, Right, Insert, Delete };
// Moves `*slice` (-1: none selected) and `*index` over `frequencies` (the
// slices' common axis) within start..end. True when either changed.
bool MoveWaterfallCursor(WaterfallKey key, const std::vector<float>& frequencies, int sliceCount, double start,
                         double end, int* slice, int* index);
// Panes "f: %sHz", "A: %sdB", "t: %sms"; 4 and 5 empty.
ReadoutPanes WaterfallReadout(double frequency, double level, double seconds);

}  // namespace srx
