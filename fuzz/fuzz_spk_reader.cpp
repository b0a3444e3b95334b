// Arbitrary bytes as a speaker unit file: a unit that is read has its
// required parameters finite and positive, Le and Xmax too, texts within
// the record, finite derived values, and writes back to a file that reads
// as the same record.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "design/speaker_unit.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile file("unit.spk"), copy("copy.spk");
    if (!file.Write(data, size)) return 0;
    SpeakerUnit u;
    if (!ReadSpeakerUnitFile(file.path(), u).ok()) return 0;
    if (!IsCompleteForFile(u) || u.manufacturer.size() > 79 || u.model.size() > 79 || u.notes.size() > 159)
        __builtin_trap();
    const DerivedParameters d = ComputeDerivedParameters(u);
    for (double v : {d.cms, d.mms, d.mmd, d.rms, d.bl, d.qts, d.no, d.spl1w, d.spl283v})
        if (!std::isfinite(v)) __builtin_trap();
    SpeakerUnit back;
    if (!WriteSpeakerUnitFile(copy.path(), u).ok() || !ReadSpeakerUnitFile(copy.path(), back).ok() ||
        SerializeSpeakerUnit(back) != SerializeSpeakerUnit(u))
        __builtin_trap();
    return 0;
}
