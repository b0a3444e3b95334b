// Feeds arbitrary bytes to the ".MES" reader. What it accepts must survive
// a write and a second read unchanged: the writer's output read back and
// written again gives the same bytes.
#include <cstddef>
#include <cstdint>

#include "data/native_files.h"
#include "fuzz/native_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    srx::fuzz::CheckReader<srx::Measurement>("mes", data, size, srx::LoadMeasurement, srx::SaveMeasurement);
    return 0;
}
