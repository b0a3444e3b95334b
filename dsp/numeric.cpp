#include "dsp/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace srx {

double SafeLn(double x) {
    if (x < 1e-38) return -87.4982335338;
    if (x > 1e30) return 30.0;
    return std::log(x);
}

double SafeLog10(double x) {
    if (x < 1e-38) return -38.0;
    if (x > 1e38) return 38.0;
    return std::log10(x);
}

double SafeExp(double x) {
    if (x == 0.0) return 1.0;
    if (x > 30.0) return 1.0686474e13;
    if (x < -87.4982335338) return 1e-38;
    return std::exp(x);
}

double SafePow10(double x) { return SafeExp(x * 2.302585092994046); }

static double ClampedRoot(double s) {
    if (s < 1e-76) s = 1e-38;
    else if (s > 1e76) s = 1e38;
    return std::sqrt(s);
}

double SafeSqrt(double x) { return ClampedRoot(x); }

double Magnitude(double re, double im) {
    if (re == 0.0 && im == 0.0) return 0.0;
    volatile double s = re * re + im * im;  // rounded to a double before the clamp
    return ClampedRoot(s);
}

double SafeAtan2(double y, double x) {
    if (y == 0.0 && x == 0.0) return 0.0;
    return std::atan2(y, x);
}

// Repeated steps rather than fmod: the callers' angles are at most a few
// turns out, and this keeps +/-pi exactly where they are.
static double Wrap(double a, double half, double full) {
    if (!std::isfinite(a)) return a;
    if (std::fabs(a) > 64 * full) a = std::fmod(a, full);
    if (a >= 0) {
        while (a > half) a -= full;
    } else {
        while (a < -half) a += full;
    }
    return a;
}

double WrapRadians(double angle) { return Wrap(angle, kPi, 2 * kPi); }
double WrapDegrees(double angle) { return Wrap(angle, 180.0, 360.0); }

float SaturatedFloat(double x) {
    constexpr double kMax = std::numeric_limits<float>::max();
    return float(x > kMax ? kMax : x < -kMax ? -kMax : x);
}

double RoundHalfAway(double x) { return x >= 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); }

double RoundToDecimals(double x, double decimals) {
    double p = std::pow(10.0, decimals);
    return RoundHalfAway(x * p) / p;
}

double InterpolateLogF(double f, double f1, double y1, double f2, double y2) {
    if (y1 == y2) return y1;
    auto logRatio = [](double a, double b) {
        if (a == b) return 0.0;
        return a > b ? SafeLog10(a / b) : SafeLog10(b / a);
    };
    double span = logRatio(f2, f1);
    if (span == 0.0) return y1;
    double part = logRatio(f, f1);
    double step = std::fabs(y2 - y1) * part / span;
    // Moving "towards y2" is measured from f1 in the direction of f2.
    bool beyondF1 = (f2 > f1) ? (f >= f1) : (f <= f1);
    if (!beyondF1) step = -step;
    return y2 > y1 ? y1 + step : y1 - step;
}

double InterpolateLinear(double x, double x1, double y1, double x2, double y2) {
    // Measured from x1, so that x1 gives y1 and x2 gives y2 (the weight taken
    // from x2 would mirror the line).
    if (y1 == y2 || x1 == x2) return y1;
    return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

double ParseDecimal(const char* text) {
    if (!text) return 0.0;
    char buf[1024];
    size_t n = strnlen(text, sizeof buf - 1);
    for (size_t i = 0; i < n; ++i) buf[i] = text[i] == ',' ? '.' : text[i];
    buf[n] = '\0';
    return std::strtod(buf, nullptr);
}

int Log2Ceiling(long long n) {
    int k = 0;
    while (k < 31 && (1LL << k) < n) ++k;
    return k;
}

double PointDistance(double x1, double y1, double x2, double y2) {
    double dx = std::fabs(x1 - x2), dy = std::fabs(y1 - y2);
    if (dx != 0 && dy != 0) return std::hypot(dx, dy);
    return dx != 0 ? dx : dy;
}

void PolarPoint(double cx, double cy, double r, double angle, double* x, double* y) {
    *x = cx + r * std::cos(angle);
    *y = cy + r * std::sin(angle);
}

int QuadrantOf(double x1, double y1, double x2, double y2) {
    if (x2 > x1 && y2 <= y1) return 0;
    if (y2 < y1) return 1;
    if (x2 < x1) return 2;
    return 3;
}

double DirectionAngle(double x1, double y1, double x2, double y2) {
    double dx = std::fabs(x1 - x2), dy = std::fabs(y1 - y2);
    if (dx != 0 && dy != 0) {
        double h = std::hypot(dx, dy);
        switch (QuadrantOf(x1, y1, x2, y2)) {
            case 0: return std::asin(dy / h);
            case 1: return std::acos(dy / h) + kPi / 2;
            case 2: return std::asin(dy / h) + kPi;
            default: return std::acos(dy / h) + 3 * kPi / 2;
        }
    }
    if (dx != 0) return x2 < x1 ? kPi : 0.0;
    if (dy != 0) return y2 < y1 ? kPi / 2 : 4.71238898038469;
    return 0.0;
}

std::string FormatTrimmedNumber(double v, int decimals) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 20), v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

}  // namespace srx
