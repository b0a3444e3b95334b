// Feeds arbitrary bytes to the .MDF microphone calibration converter.
#include <cstddef>
#include <cstdint>

#include "fuzz/compensation_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    srx::fuzz::CheckConverter("input.MDF", true, data, size);
    return 0;
}
