// Feeds arbitrary bytes to the .MIC microphone calibration converter.
#include <cstddef>
#include <cstdint>

#include "fuzz/compensation_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    srx::fuzz::CheckConverter("input.MIC", false, data, size);
    return 0;
}
