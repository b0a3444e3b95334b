#pragma once
// The computations reading a record triggers (minimum phase and the derived
// phase family today; distortion and T/S as their modules arrive). The
// program, the CLI and every fuzz target install the same set, so what is
// tested and fuzzed is what users run.
namespace srx {

void InstallReadingHooks();

}  // namespace srx
