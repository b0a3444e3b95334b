#include "design/design_slot.h"

#include <cstring>

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
}

}  // namespace srx
