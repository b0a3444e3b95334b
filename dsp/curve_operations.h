#pragma once
// Operations on frequency-response curves: resampling onto a logarithmic
// grid, fractional-octave smoothing of curves and waterfalls, normalising
// and shifting levels, averaging curves and merging near- and far-field
// measurements into one curve.
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "dsp/frequency_response.h"
#include "resources/status.h"

namespace srx {

// Points per octave of a curve (0 for fewer than two frequencies).
int MeasurementPointsPerOctave(const Measurement& m);

// Replaces the curve's points by a grid from fstart by 2^(1/ppo) with
// round(ppo * log2(fend / fstart)) + 1 points: level and unwrapped phase
// interpolated on a logarithmic axis, extrapolated along the end slopes
// (over the first or last half octave) beyond the curve's ends. Without
// `keepLow`, the points below the curve's first frequency hold the first
// grid point's level at phase 0. Harmonics are dropped; the phase family is
// rebuilt. False (curve unchanged) for an unusable curve or grid.
bool ResampleCurve(Measurement& m, bool keepLow, double fstart, double fend, int pointsPerOctave,
                   const AnalysisSettings& settings);

// Whether 1/n octave smoothing may be chosen for a curve of `ppo` points per
// octave: n in 1..96, and below the density except for a whole octave.
bool SmoothingAllowed(int ppo, int n);

// Smooths level and phase (unwrapped for a frequency response, wrapped for
// an impedance) over 1/n octave, each harmonic up to its first level below
// -500 dB, then rebuilds the phase family; a stored minimum phase is
// recomputed from the new levels. False for n or a method out of range.
bool SmoothMeasurement(Measurement& m, int n, int method, const AnalysisSettings& settings);

// Smooths every waterfall slice over its levels above -1000 dB only.
bool SmoothWaterfall(TimeRecord& t, int n, int method);

// The normalisation frequency typed for a range lo..hi (rounded to 2
// decimals): inside (by nearest integers) it comes back clamped to the
// range; outside, 2346 with the bounds and *nearer the bound to show.
Status CheckNormalizeFrequency(double f, double lo, double hi, double* clamped);

// Subtracts the level of the first point at or above f from the level,
// the harmonics and the total distortion (values at or below -1000 stay).
// False, nothing changed, when no point lies at or above f.
bool NormalizeAt(Measurement& m, double frequency);

// Adds dB to the level, harmonics and total distortion of every point
// (values at or below -1000 stay); for waterfalls to every level above -1000.
void ShiftLevels(Measurement& m, double dB);
void ShiftLevels(TimeRecord& t, double dB);

enum AverageMethod : int {
    kAverageSimple = 0,   // mean of levels in dB and of unwrapped phases
    kAverageComplex = 1,  // mean of the complex values
};

// Common grid from the lowest first to the highest last frequency at the
// densest curve's points per octave; every grid point averages the curves
// that cover it with equal weights (all of them where none does). 2349 for
// fewer than two curves, 2351 for one curve chosen twice.
std::unique_ptr<Measurement> AverageCurves(const std::vector<const Measurement*>& curves, int method,
                                           const std::string& title, const AnalysisSettings& settings, Status* error);

struct MergeCurve {
    const Measurement* curve = nullptr;
    bool nearField = false;
    bool reversePhase = false;
    double value = 0;  // near field: radiating area in cm^2; far field: distance in m
};

struct MergeParameters {
    double spliceFrequency = 0;  // Hz; <= 0: every curve counts everywhere
    double baffleWidthMm = 0;    // with simulateBaffle: the near-field part gets the baffle step
    bool simulateBaffle = false;
    double speedOfSound = 343.0;
};

// The dialog's checks and corrections: 2349, 2351, then 2354 (area) or
// 2355 (distance) with *offending the index of the curve, for a value not
// above 0 or beyond reason (1e6 cm^2, 1000 m); the splice is
// raised to the far-field curves' highest first frequency and lowered to
// the near-field curves' lowest last frequency (2 decimals); the baffle is
// dropped for a negative width or without a near-field curve.
Status PrepareMerge(const std::vector<MergeCurve>& curves, MergeParameters& parameters, int* offending = nullptr);

// The baffle-step filter's gain at f for a baffle `widthM` wide: -6 dB far
// below 115 / width, 0 dB far above, -3 dB at it.
double BaffleStepLevelDb(double f, double widthM);

// Sums the curves as vectors on a common grid: levels referred to 1 m (a
// far-field curve at d m rises 20 log10 d, a near-field curve of area A
// falls to 20 log10(0.2821 sqrt(A))), phases delayed to 1 m; with a splice
// the near-field curves count at and below it and the far-field ones above.
// Run PrepareMerge first.
std::unique_ptr<Measurement> MergeCurves(const std::vector<MergeCurve>& curves, const MergeParameters& parameters,
                                         const std::string& title, const AnalysisSettings& settings, Status* error);

}  // namespace srx
