#pragma once
// The four design slots: a speaker unit and its box design each. The shell
// only reads the flag word and moves the parameter blocks around (undo);
// their contents belong to the speaker-unit and box-design code.
#include <cstdint>

namespace srx {

constexpr uint32_t kSlotHasUnit = 0x02;
constexpr uint32_t kSlotHasBox = 0x04;
constexpr uint32_t kSlotAnalysed = 0x08;
constexpr uint32_t kSlotShown = 0x10;
constexpr uint32_t kSlotDialogOpen = 0x20;
constexpr uint32_t kSlotUndoMark = 0x40;
constexpr uint32_t kSlotUnsaved = 0x80;  // the unit differs from its file

#pragma pack(push, 1)
struct DesignSlot {
    uint32_t flags;
    // The four parameter blocks an undo step stores, in this order.
    uint8_t unitNames[260];
    uint8_t filePath[260];
    uint8_t unitParameters[512];
    uint8_t boxParameters[248];
};
#pragma pack(pop)
static_assert(sizeof(DesignSlot) == 4 + 260 + 260 + 512 + 248);

constexpr int kDesignSlotCount = 4;

// The process-wide slots.
DesignSlot* DesignSlots();

// Zero-fills the slot and marks it shown in analysis windows.
void ResetDesignSlot(int index);

}  // namespace srx
