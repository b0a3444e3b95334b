// Feeds arbitrary bytes to the ".TWF"/".STP" reader, then checks that what
// it accepted writes and reads back to the same bytes.
#include <cstddef>
#include <cstdint>

#include "data/native_files.h"
#include "fuzz/native_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    srx::fuzz::CheckReader<srx::TimeRecord>("twf", data, size, srx::LoadTimeRecord, srx::SaveTimeRecord);
    return 0;
}
