#pragma once
// The computations reading a record triggers: minimum phase, the derived
// phase family and the harmonic distortion (T/S when its module arrives). The
// program, the CLI and every fuzz target install the same set, so what is
// tested and fuzzed is what users run.
namespace srx {

void InstallReadingHooks();

}  // namespace srx
