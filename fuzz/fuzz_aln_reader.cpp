// Arbitrary bytes as a vented-alignment table: whatever the file holds, the
// entries for any Qts are few, named within bounds, with finite positive
// a, h and QL, and reading the same file twice gives the same list.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "design/alignment_file.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile file("table.aln");
    if (!file.Write(data, size)) return 0;
    // The unit's Qts from the first bytes when there are some, so that the
    // fuzzer steers it; also the usual ones.
    double fromInput = 0.4;
    if (size >= 8) std::memcpy(&fromInput, data, 8);
    for (double qts : {0.2, 0.35, 0.5, fromInput}) {
        std::vector<VentedAlignment> list, again;
        if (!ReadAlignmentFile(file.path(), qts, list).ok()) __builtin_trap();
        if (list.size() > kMaxVentedAlignments) __builtin_trap();
        for (const VentedAlignment& a : list) {
            if (a.name.size() > 100 || !std::isfinite(a.alpha) || !std::isfinite(a.h) || !(a.ql > 0) ||
                !std::isfinite(a.ql))
                __builtin_trap();
            if (!(a.alpha > 0) || !(a.h > 0)) __builtin_trap();
        }
        ReadAlignmentFile(file.path(), qts, again);
        if (again.size() != list.size()) __builtin_trap();
    }
    return 0;
}
