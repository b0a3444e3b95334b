#include "graph/waterfall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dsp/numeric.h"

namespace srx {

namespace {

// Rounds a pixel coordinate computed in doubles into the range GDI draws
// without wrapping; NaN lands on 0.
int Pixel(double v) {
    if (!(v > -32000)) return v != v ? 0 : -32000;
    if (v > 32000) return 32000;
    return static_cast<int>(RoundHalfAway(v));
}

// Frequencies come as floats: a grid value that was the double `start`
// may read a hair below it.
constexpr double kFrequencySlack = 1e-6;
bool InRange(double f, double start, double end) {
    return std::isfinite(f) && f >= start * (1 - kFrequencySlack) && f <= end * (1 + kFrequencySlack);
}

double GridStep(double v) {
    if (v < 10) return 1;
    if (v < 100) return 10;
    if (v < 1000) return 100;
    if (v < 10000) return 1000;
    if (v < 100000) return 10000;
    return 100000;
}

// A hostile range of many decades would otherwise take ages in steps of
// 100 kHz; far more values than any panel has pixels for.
constexpr int kMaxGridValues = 4000;

int LeadingDigit(double v) {
    while (v >= 10) v /= 10;
    return static_cast<int>(v + 1e-9);
}

}  // namespace

WaterfallLayout LayOutWaterfall(int x0, int y0, int x1, int y1, int h, int w, int decimals, int divisions) {
    WaterfallLayout l;
    l.divisions = std::max(1, divisions);
    l.left = x0 + (decimals + 8) * w + 2;
    l.top = y0 + h / 2 + 2;
    l.right = x1 - 7 * w - 2;
    l.bottom = y1 - h / 2 - 2 * h;
    l.dx = static_cast<int>(RoundHalfAway(0.12 * (l.right - l.left)));
    const int half = static_cast<int>(RoundHalfAway(0.5 * (l.bottom - l.top)));
    l.H = half > 0 ? (half / l.divisions) * l.divisions : 0;
    l.W = l.right - (l.left + l.dx);
    l.backLeft = {l.left + l.dx, l.top + l.H};
    l.backRight = {l.right, l.top + l.H};
    l.frontRight = {l.right - l.dx, l.bottom};
    l.frontLeft = {l.left, l.bottom};
    l.depthLength = PointDistance(l.backLeft.x, l.backLeft.y, l.frontLeft.x, l.frontLeft.y);
    if (l.depthLength > 0) {
        l.ux = (l.frontLeft.x - l.backLeft.x) / l.depthLength;
        l.uy = (l.frontLeft.y - l.backLeft.y) / l.depthLength;
    }
    return l;
}

double WaterfallFirstGridValue(double start) {
    // Below 1 Hz there is no m x 10^k with k >= 0: the grid starts at 1 Hz.
    if (!(start >= 1) || !std::isfinite(start)) return 1;
    double p = 1;
    while (p * 10 <= start) p *= 10;
    const double m = std::clamp(std::floor(start / p + 1e-9), 1.0, 9.0);
    return m * p;
}

std::string WaterfallFrequencyLabel(double f) {
    char buf[48];
    if (f < 1000) std::snprintf(buf, sizeof buf, "%d", static_cast<int>(RoundHalfAway(f)));
    else std::snprintf(buf, sizeof buf, "%dK", static_cast<int>(RoundHalfAway(f / 1000)));
    return buf;
}

WaterfallFrequencyMarks LayOutWaterfallFrequencies(double start, double end, const FrequencyMapping& map,
                                                   int captionLeft, const TextWidthFn& textWidth) {
    WaterfallFrequencyMarks out;
    if (!std::isfinite(end) || !std::isfinite(start)) return out;
    const double g0 = WaterfallFirstGridValue(start);
    int guard = 0;
    for (double v = g0 + GridStep(g0); v < end && ++guard < kMaxGridValues; v += GridStep(v))
        out.gridX.push_back(map.Map(v));
    guard = 0;
    for (double v = g0 >= start ? g0 : g0 + GridStep(g0); v <= end && ++guard < kMaxGridValues; v += GridStep(v)) {
        const int x = map.Map(v);
        const int d = LeadingDigit(v);
        if (d == 1 || d == 2 || d == 5) {
            AxisLabel l;
            l.text = WaterfallFrequencyLabel(v);
            l.width = textWidth(l.text);
            if (x + l.width / 2 >= captionLeft) break;
            l.x = x - l.width / 2;
            out.labels.push_back(std::move(l));
        }
        out.tickX.push_back(x);
    }
    return out;
}

double WaterfallTimeStep(double depthLength, double span, int textHeight, int panelWidth) {
    if (!std::isfinite(span) || !(span > 0) || !(depthLength > 0)) return 0;
    double s = 1e-5;
    for (int e = -5; e < 35; ++e) {
        s = std::pow(10.0, e);
        const double spacing = depthLength * s / span;
        if (spacing >= 1.2 * textHeight || !(spacing < panelWidth)) return s;
    }
    return s;
}

std::vector<std::pair<double, std::string>> WaterfallTimeLabels(double step, double span) {
    std::vector<std::pair<double, std::string>> out;
    if (!(step > 0) || !std::isfinite(span) || !(span >= 0)) return out;
    for (int k = 0; k < 1000; ++k) {
        const double t = k * step;
        if (t > span * (1 + 1e-9)) break;
        out.emplace_back(t, FormatReadoutNumber(t * 1000, 2) + " ");
    }
    if (!out.empty()) out.back().second += "ms";
    return out;
}

CurvePixel WaterfallProjection::Base(int j) const {
    const double d = sliceStep * j;
    return {Pixel(originX + ux * d), Pixel(originY + uy * d)};
}

CurvePixel WaterfallProjection::Point(int j, double f, double level) const {
    const CurvePixel b = Base(j);
    if (!std::isfinite(level)) level = kNoLevel;
    const double lift = std::clamp(-level * pixelsPerDb, -64000.0, 64000.0);
    const int y = Pixel(b.y - yoff + RoundHalfAway(lift));
    return {Pixel(double(b.x) + map.Map(f)), std::min(y, b.y)};
}

std::vector<CurvePixel> WaterfallSlicePolygon(const WaterfallProjection& p, int j, const WaterfallSlice& slice) {
    std::vector<CurvePixel> pts;
    const size_t n = std::min(slice.frequency.size(), slice.level.size());
    for (size_t i = 0; i < n; ++i) {
        const double f = slice.frequency[i];
        if (!std::isfinite(f) || f < p.start * (1 - kFrequencySlack)) continue;
        if (f > p.end * (1 + kFrequencySlack)) break;
        const double level = slice.level[i];
        // Leading points without a level are left out: the slice starts at
        // its first real value, not on the floor at the display's start.
        if (pts.empty() && !(std::isfinite(level) && level > -500)) continue;
        const CurvePixel pt = p.Point(j, f, level);
        if (!pts.empty() && pts.back() == pt) continue;
        pts.push_back(pt);
    }
    if (pts.empty()) return pts;
    const CurvePixel b = p.Base(j);
    pts.push_back({Pixel(double(b.x) + p.W), b.y});
    pts.push_back({pts.front().x, b.y});
    return pts;
}

std::vector<WaterfallQuad> WaterfallColourQuads(const WaterfallProjection& p, const std::vector<WaterfallSlice>& slices,
                                                double bottom, double range) {
    std::vector<WaterfallQuad> quads;
    if (!(range > 0) || !std::isfinite(bottom)) return quads;
    const int count = std::min(p.slices, static_cast<int>(std::min<size_t>(slices.size(), 100000)));
    auto levelAt = [&](const WaterfallSlice& s, size_t i, bool& real) {
        const double v = s.level[i];
        real = std::isfinite(v) && v > -500;
        return real ? v : bottom;
    };
    for (int j = 0; j + 1 < count; ++j) {
        const WaterfallSlice& back = slices[static_cast<size_t>(j)];
        const WaterfallSlice& front = slices[static_cast<size_t>(j) + 1];
        // The back slice's axis places both rows; the slices share it.
        const size_t n = std::min({back.frequency.size(), back.level.size(), front.level.size()});
        for (size_t i = 0; i + 1 < n; ++i) {
            const double f0 = back.frequency[i], f1 = back.frequency[i + 1];
            if (!std::isfinite(f0) || !std::isfinite(f1) || f0 < p.start * (1 - kFrequencySlack)) continue;
            if (f1 > p.end * (1 + kFrequencySlack)) break;
            bool real[4];
            const double l[4] = {levelAt(back, i, real[0]), levelAt(back, i + 1, real[1]),
                                 levelAt(front, i + 1, real[2]), levelAt(front, i, real[3])};
            if (!real[0] && !real[1] && !real[2] && !real[3]) continue;
            WaterfallQuad q;
            q.corner[0] = p.Point(j, f0, l[0]);
            q.corner[1] = p.Point(j, f1, l[1]);
            q.corner[2] = p.Point(j + 1, f1, l[2]);
            q.corner[3] = p.Point(j + 1, f0, l[3]);
            // Shaded by what is drawn: a level outside the range stands on its edge.
            double mean = 0;
            for (double v : l) mean += std::clamp(v, bottom, bottom + range) / 4;
            q.shade = static_cast<int>(std::clamp(RoundHalfAway((mean - bottom) / range * 255), 0.0, 255.0));
            quads.push_back(q);
        }
    }
    return quads;
}

uint32_t WaterfallRampColour(int shade) {
    const int s = std::clamp(shade, 0, 255);
    const auto lowered = [](int v) { return static_cast<uint32_t>(std::max(0, v - 32)); };
    const uint32_t r = lowered(s), g = lowered(255 - std::abs(2 * s - 255)), b = lowered(255 - s);
    return r | (g << 8) | (b << 16);
}

double WaterfallMaxLevel(const TimeRecord& t, double start, double end) {
    double m = kNoLevel;
    for (const WaterfallSlice& s : t.slices) {
        const size_t n = std::min(s.frequency.size(), s.level.size());
        for (size_t i = 0; i < n; ++i)
            if (InRange(s.frequency[i], start, end) && std::isfinite(s.level[i])) m = std::max(m, double(s.level[i]));
    }
    return m;
}

bool MoveWaterfallCursor(WaterfallKey key, const std::vector<float>& frequencies, int sliceCount, double start,
                         double end, int* slice, int* index) {
    const int n = static_cast<int>(std::min<size_t>(frequencies.size(), 1u << 30));
    if (n == 0) return false;
    const int last = n - 1;
    int s = (*slice >= 0 && *slice < sliceCount) ? *slice : -1;
    int i = std::clamp(*index, 0, last);
    auto f = [&](int k) {
        const double v = frequencies[static_cast<size_t>(k)];
        return std::isfinite(v) ? v : 0.0;
    };
    switch (key) {
        case WaterfallKey::PageUp:
            if (sliceCount > 0) s = 0;
            break;
        case WaterfallKey::PageDown:
            if (sliceCount > 0) s = sliceCount - 1;
            break;
        case WaterfallKey::Up:
            if (s > 0) --s;
            break;
        case WaterfallKey::Down:
            if (s >= 0 && s < sliceCount - 1) ++s;
            break;
        case WaterfallKey::Home:
            i = 0;
            while (i < last && f(i) < start) ++i;
            break;
        case WaterfallKey::End:
            i = last;
            while (i > 0 && f(i) > end) --i;
            break;
        case WaterfallKey::Left:
            if (i > 0 && f(i) > start) --i;
            break;
        case WaterfallKey::Right:
            if (i < last && f(i) < end) ++i;
            break;
        case WaterfallKey::Insert:
            if (i > 0 && f(i) > start) {
                const double half = f(i) / 2;
                int k = i - 1;
                while (k > 0 && f(k) > half) --k;
                while (k < last && f(k) < start) ++k;
                i = k;
            }
            break;
        case WaterfallKey::Delete:
            if (i < last && f(i) < end) {
                const double twice = f(i) * 2;
                int k = i + 1;
                while (k < last && f(k) < twice) ++k;
                while (k > 0 && f(k) > end) --k;
                i = k;
            }
            break;
    }
    const bool changed = s != *slice || i != *index;
    *slice = s;
    *index = i;
    return changed;
}

ReadoutPanes WaterfallReadout(double frequency, double level, double seconds) {
    ReadoutPanes p{};
    p[0] = ReadoutText(2101, frequency, 2);
    p[1] = ReadoutText(2102, level, 2);
    p[2] = ReadoutText(2116, seconds * 1000, 2);
    return p;
}

}  // namespace srx
