#pragma once
// The graph view: painters of the measurement, impulse, step and
// energy-time graphs (screen, clipboard and printer alike), the plot
// geometry each window keeps for its read-outs, and the mouse: status-bar
// read-out, crosshair, zoom rectangle and the two time-window markers.
//
// Mouse use on a graph window:
//   move               read-out of the curve under the cursor (panes 1..5)
//   Ctrl + move        crosshair; the read-out takes the mouse height on each scale
//   drag near a marker moves that edge of the analysis time window
//   drag elsewhere     zoom rectangle: the range it spans is shown on release
//   Restore Zoom (737) back to the full range
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "data/records.h"
#include "graph/axes.h"
#include "graph/scales.h"
#include "graph/waterfall.h"

namespace srx {

// Painter flag bits beside the GraphViewFlags.
constexpr uint32_t kPaintMultigraph = 0x4000;
// Output to a printer or the clipboard: the background is filled first and
// the information line and legend are left out.
constexpr uint32_t kPaintOutput = 0x8000;

// How one paint is done.
struct GraphPaint {
    uint32_t flags = 0;            // GraphViewFlags | kPaintMultigraph | kPaintOutput
    uint32_t distortionFlags = 0;  // DistortionViewFlags
    bool printerColours = false;   // the appearance's second colour set
    bool monochrome = false;       // every colour black (also when the device has < 3 bits per pixel)
    bool screen = true;            // a window on the screen (the watermark gets its shadow)
};
// The paint of a window as the settings ask for it.
GraphPaint ScreenPaint();

// Where things landed, for the read-outs and the mouse.
struct GraphGeometry {
    bool valid = false;
    int kind = 0;
    PlotRect plot;
    FrequencyMapping map;                  // frequency graphs
    TimeAxisLayout time;                   // time graphs
    std::vector<ScaleDescription> scales;  // vertical scales, first one left of the plot
    uint32_t flags = 0;
    uint32_t distortionFlags = 0;
    bool markers = false;                  // the time-window markers were drawn
    int markerStartX = 0, markerEndX = 0;  // their columns (absolute)
    WaterfallProjection waterfall;         // waterfall graphs
    int slot = 0;                          // analysis graphs: the design shown in the read-out
};

// What a measurement graph shows. One record, or several in multigraph mode.
struct MeasurementGraphInput {
    std::vector<const Measurement*> records;
    std::vector<std::string> names;  // legend texts; empty: each record's file name
    double fmin = 0, fmax = 0;       // displayed range; 0: the records' own
};

// The painters. Each returns false and paints nothing when the plot would be
// too small (35 units high for frequency graphs, 25 for time graphs, 15 left
// beside a legend) or there is nothing to show.
bool PaintMeasurementGraph(HDC dc, const RECT& area, const MeasurementGraphInput& in, const GraphPaint& paint,
                           GraphGeometry* geometry = nullptr);
// Impulse (3302) and step (3305) graphs; `windowMarkers` false leaves out the
// analysis window's markers and curve. A record whose displayed range was
// never set is shown whole.
bool PaintImpulseGraph(HDC dc, const RECT& area, TimeRecord& record, const GraphPaint& paint,
                       GraphGeometry* geometry = nullptr, bool windowMarkers = true);
bool PaintEnergyTimeGraph(HDC dc, const RECT& area, EtcRecord& record, const GraphPaint& paint,
                          GraphGeometry* geometry = nullptr);

// Waterfall (3303): the slices of the record's waterfall in an oblique
// box, frequency across, level up and time from the back to the front. The
// projection (for the cursor) goes to `projection`. False when the area is
// too small, the record holds no waterfall, or memory is short.
bool PaintWaterfallGraph(HDC dc, const RECT& area, TimeRecord& record, const GraphPaint& paint,
                         WaterfallProjection* projection = nullptr);

// What the analysis graphs take from the analyzer preferences. A start or
// stop of 0 or less: the range the shown results cover.
struct AnalysisGraphOptions {
    double start = 0, stop = 0;  // simulation range, Hz
    double dbRange = 50;         // dB scale range
};
void SetAnalysisGraphOptions(const AnalysisGraphOptions& options);
const AnalysisGraphOptions& CurrentAnalysisGraphOptions();

// Box-design analysis graph of `kind` (3200..3218): the results of every
// analysed and shown design slot with a legend; `currentSlot` (0..3) is the
// design the read-out and the time kinds show. Thick lines, the unwrapped
// phase and the one way RMS excursion follow the BoxViewFlags.
bool PaintAnalysisGraph(HDC dc, const RECT& area, int currentSlot, int kind, GraphGeometry* geometry,
                        const GraphPaint& paint);

// The data of an analysis window: which design it reads out. Owned by the
// window and freed with the kind's release hook.
struct AnalysisWindowData {
    int slot = 0;
};

// Opens an analysis window of `kind` on design slot `slot` (0..3), titled
// with the kind's curve name. Null when the kind or slot is out of range or
// the window could not be made (the caller shows 2303).
HWND OpenAnalysisWindow(int slot, int kind);

// The multigraph record belongs to the multigraph module, which tells the
// view what a 3301 window shows. Without a source such windows stay empty.
struct MultigraphCurves {
    std::vector<const Measurement*> records;
    std::vector<std::string> names;
    double* displayFirst = nullptr;  // the multigraph's displayed range; null: the curves' own
    double* displayLast = nullptr;
    double fullFirst = 0, fullLast = 0;  // what Restore Zoom goes back to
};
using MultigraphSource = bool (*)(void* data, MultigraphCurves* out);
void SetMultigraphSource(MultigraphSource source);

// Paints document window `window` by its kind (3300..3305). `printing`
// selects the printer's colours and the output flag. Geometry is kept only
// for paints on the window itself.
bool PaintDocumentGraph(HWND window, HDC dc, const RECT& area, bool printing);

// The geometry of the last screen paint of a window, or null.
const GraphGeometry* GraphGeometryOf(HWND window);

// Fills status-bar panes 1..5 for the mouse at `point` (client
// coordinates); clears them outside the plot and on multigraphs.
void UpdateReadout(HWND window, POINT point, bool crosshair);
// The texts UpdateReadout would show (all empty: cleared).
std::vector<std::string> ReadoutTexts(HWND window, POINT point, bool crosshair);

// Restore Zoom on a graph window; true when it was a graph.
bool RestoreGraphZoom(HWND window);
// Whether the window's displayed range differs from its full range.
bool GraphZoomed(HWND window);

// Printing of the active graph (108) and the printer set-up (109). Both
// return quietly when the dialog is cancelled or there is no printer.
bool PrintGraphWindow(HWND owner, HWND window);
bool GraphPageSetup(HWND owner);
// Paints `window` on a printer device context as one page:
// StartDoc/StartPage .. EndPage/EndDoc. False when the device refused.
bool PrintGraphOnDc(HWND window, HDC printer, const char* docName);
// The page itself, on a page of the given size in device pixels: half-inch
// margins, landscape proportions, the printer's colours.
bool PaintGraphPage(HWND window, HDC dc, int pageWidth, int pageHeight, int dpiX, int dpiY);

// Registers the painters, keys and mouse handling for kinds 3300..3305 and
// the analysis kinds 3200..3218.
void InstallGraphView();

}  // namespace srx
