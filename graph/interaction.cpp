#include "graph/interaction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace srx {

namespace {

// Display ranges are set from pixels and compared with record values; a
// relative slack keeps float noise from counting as a zoom.
bool Same(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)}); }

double EtcFullEnd(const EtcRecord& e) { return e.h.duration > 0 ? e.h.duration : EtcLength(e); }

}  // namespace

MarkerEdge HitMarker(int x, int startX, int endX, int tolerance) {
    const int ds = std::abs(x - startX), de = std::abs(x - endX);
    if (ds > tolerance && de > tolerance) return MarkerEdge::None;
    return ds <= de ? MarkerEdge::Start : MarkerEdge::End;
}

TimeWindowEdges MoveMarker(TimeWindowEdges w, MarkerEdge& edge, double t, double lo, double hi) {
    if (hi < lo) std::swap(lo, hi);
    t = std::clamp(t, lo, hi);
    if (edge == MarkerEdge::Start) {
        if (t > w.end) {
            w.start = w.end;
            w.end = t;
            edge = MarkerEdge::End;
        } else {
            w.start = t;
        }
    } else if (edge == MarkerEdge::End) {
        if (t < w.start) {
            w.end = w.start;
            w.start = t;
            edge = MarkerEdge::Start;
        } else {
            w.end = t;
        }
    }
    return w;
}

bool ZoomRectangleLargeEnough(int dx, int dy, bool frequencyGraph) {
    // Widened before abs(): INT_MIN has no positive int.
    const bool wide = std::llabs(static_cast<long long>(dx)) >= kMinZoomPixels;
    return wide && (frequencyGraph || std::llabs(static_cast<long long>(dy)) >= kMinZoomPixels);
}

bool ZoomFrequencyRange(const FrequencyMapping& map, int x0, int x1, double fullMin, double fullMax, double* lo,
                        double* hi) {
    if (!ZoomRectangleLargeEnough(x1 - x0, 0, true)) return false;
    double a = map.FrequencyAt(std::min(x0, x1));
    double b = map.FrequencyAt(std::max(x0, x1));
    a = std::clamp(a, fullMin, fullMax);
    b = std::clamp(b, fullMin, fullMax);
    if (!(b > a)) return false;
    *lo = a;
    *hi = b;
    return true;
}

bool ZoomTimeRange(const TimeAxisLayout& axis, int x0, int x1, double length, double* t0, double* t1) {
    if (std::abs(x1 - x0) < kMinZoomPixels || !(length > 0)) return false;
    double a = std::clamp(axis.TimeAt(std::min(x0, x1)), 0.0, length);
    double b = std::clamp(axis.TimeAt(std::max(x0, x1)), 0.0, length);
    if (b - a < kMinZoomSeconds) return false;
    *t0 = a;
    *t1 = b;
    return true;
}

double ZoomAmplitude(double factor, int y0, int y1, int plotHeight) {
    if (!(factor > 0)) factor = 1;
    const int h = std::abs(y1 - y0);
    if (h < kMinZoomPixels || plotHeight <= 0 || h >= plotHeight) return factor;
    return std::min(1000.0, factor * plotHeight / h);
}

void RestoreZoom(Measurement& m) {
    m.displayFirstFrequency = m.h.firstFrequency;
    m.displayLastFrequency = m.h.lastFrequency;
}

void RestoreZoom(TimeRecord& t) {
    t.displayTimeStart = 0;
    t.displayTimeEnd = TimeRecordLength(t);
    t.amplitudeZoom = 1;
}

void RestoreZoom(EtcRecord& e) {
    e.displayStart = 0;
    e.displayEnd = EtcFullEnd(e);
}

bool IsZoomed(const Measurement& m) {
    if (m.displayFirstFrequency <= 0 || m.displayLastFrequency <= 0) return false;
    return !Same(m.displayFirstFrequency, m.h.firstFrequency) || !Same(m.displayLastFrequency, m.h.lastFrequency);
}

bool IsZoomed(const TimeRecord& t) {
    if (t.displayTimeEnd <= 0) return false;
    return !Same(t.displayTimeStart, 0) || !Same(t.displayTimeEnd, TimeRecordLength(t)) || !Same(t.amplitudeZoom, 1);
}

bool IsZoomed(const EtcRecord& e) {
    if (e.displayEnd <= 0) return false;
    return !Same(e.displayStart, 0) || !Same(e.displayEnd, EtcFullEnd(e));
}

}  // namespace srx
