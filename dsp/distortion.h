#pragma once
// The harmonic distortion of a curve that carries harmonics 2 to 10.
#include <cstdint>

#include "data/records.h"

namespace srx {

// Whether any point holds a measured harmonic.
bool HasHarmonics(const Measurement& m);

// Each point's THD level (slot 19) over the harmonics selected in
// `harmonics` (bit h - 2 for harmonic h), each harmonic's largest ratio to
// the level in percent and the total THD in percent
// (Measurement::distortionDerived, which it answers): the root of the sum
// of the squared mean ratios of the selected harmonics. Every measured
// point counts. With no harmonic selected the THD is 0.
double ComputeDistortion(Measurement& m, uint32_t harmonics);

// Installs ComputeDistortion with the current analysis settings' harmonics
// as the reading and compensation hooks.
void InstallDistortionHooks();

}  // namespace srx
