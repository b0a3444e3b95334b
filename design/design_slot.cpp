#include "design/design_slot.h"

#include <cstring>

#include "design/design_simulation.h"

namespace srx {

DesignSlot* DesignSlots() {
    static DesignSlot slots[kDesignSlotCount] = {{kSlotShown, {}, {}, {}, {}},
                                                 {kSlotShown, {}, {}, {}, {}},
                                                 {kSlotShown, {}, {}, {}, {}},
                                                 {kSlotShown, {}, {}, {}, {}}};
    return slots;
}

void ResetDesignSlot(int index) {
    if (index < 0 || index >= kDesignSlotCount) return;
    DesignSlot& s = DesignSlots()[index];
    std::memset(&s, 0, sizeof s);
    s.flags = kSlotShown;
    SlotResults(index) = DesignResults{};
}

DesignResults& SlotResults(int slot) {
    static DesignResults results[kDesignSlotCount];
    // Callers index with window words and slot numbers; a stray one gets a
    // scratch result rather than memory past the array.
    static DesignResults stray;
    if (slot < 0 || slot >= kDesignSlotCount) {
        stray = DesignResults{};
        return stray;
    }
    return results[slot];
}

}  // namespace srx
