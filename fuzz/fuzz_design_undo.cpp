// Arbitrary bytes as a design slot's undo file. A file long enough for the
// five blocks must read (a short one must not, and must leave the slot
// alone), and the blocks read, opaque to the shell, must write and read
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/undo_names.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile input("undo_input.SON"), again("undo_again.SON");
    if (!input.Write(data, size)) return 0;

    constexpr size_t kFileBytes = sizeof(int32_t) + sizeof(DesignSlot);
    int32_t kind = -7;
    DesignSlot slot;
    std::memset(&slot, 0xA5, sizeof slot);
    const DesignSlot before = slot;
    const bool ok = ReadDesignUndoFile(input.path(), kind, slot).ok();
    if (ok != (size >= kFileBytes)) __builtin_trap();
    if (!ok) {
        if (kind != -7 || std::memcmp(&slot, &before, sizeof slot) != 0) __builtin_trap();
        return 0;
    }
    if (std::memcmp(&kind, data, sizeof kind) != 0 || std::memcmp(&slot, data + sizeof kind, sizeof slot) != 0)
        __builtin_trap();

    if (!WriteDesignUndoFile(again.path(), kind, slot).ok()) __builtin_trap();
    int32_t kindBack = 0;
    DesignSlot back{};
    if (!ReadDesignUndoFile(again.path(), kindBack, back).ok() || kindBack != kind ||
        std::memcmp(&back, &slot, sizeof slot) != 0)
        __builtin_trap();

    // Undoing into a live slot takes only the stored existence bits.
    DesignSlot live{};
    live.flags = kSlotDialogOpen | kSlotShown;
    RestoreDesignSlot(live, back);
    const uint32_t allowed = kSlotShown | kSlotHasUnit | kSlotHasBox | kSlotUnsaved;
    if ((live.flags & ~allowed) != 0 || !(live.flags & kSlotShown)) __builtin_trap();
    return 0;
}
