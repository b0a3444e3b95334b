#pragma once
// Fractional-octave smoothing of a curve held as parallel tables of
// frequency (ascending), level and phase.
#include <cstddef>

namespace srx {

enum SmoothingMethod : int {
    kSmoothAbsolute = 0,  // straight lines between anchors an 1/(2N) octave apart
    kSmoothAveraged = 1,  // anchors take the mean of the 1/(2N) octave around them
    kSmoothMedian = 2,    // ... or its median
};

// Points per octave of a curve of `count` points from fmin to fmax, 0 when
// the range is empty.
int CurvePointsPerOctave(std::size_t count, double fmin, double fmax);

// Smooths `level` and `phase` (either may be null) in place over 1/N
// octave: two passes of anchors (the second between those of the first),
// then, on a curve denser than 6 and than 2N points per octave, a
// neighbour average. Fewer than 2 points, N < 1 or an unknown method leave
// the tables alone. Linear in the count.
void SmoothTable(const double* frequency, double* level, double* phase, std::size_t count, int n, int method);

}  // namespace srx
