#pragma once
// What the mouse does on a graph, without the window: grabbing and moving
// the two time-window markers, and turning a zoom rectangle or Restore Zoom
// into the displayed range stored in the record.
#include <vector>

#include "data/records.h"
#include "graph/axes.h"
#include "graph/time_graph.h"

namespace srx {

// Pixels within which a marker can be grabbed.
constexpr int kMarkerGrabPixels = 4;

enum class MarkerEdge { None, Start, End };

// The marker within `tolerance` pixels of x; the nearer one when both are,
// the start marker on a tie.
MarkerEdge HitMarker(int x, int startX, int endX, int tolerance = kMarkerGrabPixels);

// Moves the grabbed edge to time t (clamped to lo..hi). When it passes the
// other edge the two swap roles: `edge` then names the role the dragged
// marker has taken, so that the window length never goes negative.
TimeWindowEdges MoveMarker(TimeWindowEdges w, MarkerEdge& edge, double t, double lo, double hi);

// The smallest zoom rectangle that counts as one, in pixels; smaller drags
// are clicks (a hand that shakes while clicking moves a few pixels).
constexpr int kMinZoomPixels = 8;

// Whether a drag of dx by dy pixels is a zoom: frequency graphs zoom only
// across, so only the width counts there; time graphs zoom both ways.
bool ZoomRectangleLargeEnough(int dx, int dy, bool frequencyGraph);
// The shortest time range a zoom may show (as the time zoom dialog).
constexpr double kMinZoomSeconds = 0.0001;

// Frequency range between plot-relative columns x0 and x1, clamped to
// full..; false when the rectangle is too narrow or the range empty.
bool ZoomFrequencyRange(const FrequencyMapping& map, int x0, int x1, double fullMin, double fullMax, double* lo,
                        double* hi);
// Time range between plot-relative columns, clamped to 0..length; false when
// too narrow or shorter than kMinZoomSeconds.
bool ZoomTimeRange(const TimeAxisLayout& axis, int x0, int x1, double length, double* t0, double* t1);
// The amplitude factor after zooming into rows y0..y1 of a plot `plotHeight`
// high: the plot's height over the rectangle's, at most 1000 in all.
double ZoomAmplitude(double factor, int y0, int y1, int plotHeight);

// Restore Zoom: the full range of the record (and vertical factor 1).
void RestoreZoom(Measurement& m);
void RestoreZoom(TimeRecord& t);
void RestoreZoom(EtcRecord& e);
// Whether the displayed range differs from the full range.
bool IsZoomed(const Measurement& m);
bool IsZoomed(const TimeRecord& t);
bool IsZoomed(const EtcRecord& e);

}  // namespace srx
