#pragma once
// Guarded scalar functions: logarithms, exponentials, roots and angles that
// never fail, so that levels, divisions and plots downstream stay finite.
// Also rounding, interpolation on a logarithmic frequency axis, decimal
// parsing that accepts a comma, number formatting, and plane geometry for
// graph drawing.
#include <string>

namespace srx {

constexpr double kPi = 3.14159265358979323846;

double SafeLn(double x);                 // clamps: x < 1e-38 -> -87.4982335338, x > 1e30 -> 30
double SafeLog10(double x);              // clamps: x < 1e-38 -> -38, x > 1e38 -> 38
double SafeExp(double x);                // exactly 1 at 0; > 30 -> e^30; < -87.498... -> 1e-38
double SafePow10(double x);              // SafeExp(x * ln 10)
double SafeSqrt(double x);               // argument kept within 1e-76 .. 1e76
double Magnitude(double re, double im);  // exactly 0 for 0,0
double SafeAtan2(double y, double x);    // 0 for 0,0
double WrapRadians(double angle);        // into -pi..pi (pi stays pi)
double WrapDegrees(double angle);        // into -180..180
// Beyond the float range: the largest float of that sign (NaN stays NaN).
// Derived curve values go through it, so that finite data stays finite.
float SaturatedFloat(double x);

double RoundHalfAway(double x);  // halves away from zero
double RoundToDecimals(double x, double decimals);

// Value at f on the straight line between (f1, y1) and (f2, y2) over a
// logarithmic frequency axis. Equal frequencies give y1.
double InterpolateLogF(double f, double f1, double y1, double f2, double y2);
// Straight line through (x1, y1) and (x2, y2); y1 when y1 == y2 or x1 == x2.
double InterpolateLinear(double x, double x1, double y1, double x2, double y2);

// The number at the start of `text`, with ',' accepted as decimal point.
double ParseDecimal(const char* text);

// Smallest k in 0..31 with 2^k >= n (0 for n <= 1).
int Log2Ceiling(long long n);

double PointDistance(double x1, double y1, double x2, double y2);
void PolarPoint(double cx, double cy, double r, double angle, double* x, double* y);
// 0..3: where the second point lies seen from the first (y axis down).
int QuadrantOf(double x1, double y1, double x2, double y2);
// Direction from the first point to the second, 0..2pi, y axis pointing down.
double DirectionAngle(double x1, double y1, double x2, double y2);

// v with `decimals` decimals, trailing zeros and a trailing point removed;
// a value that rounds to zero prints as "0", never "-0".
std::string FormatTrimmedNumber(double v, int decimals);

}  // namespace srx
