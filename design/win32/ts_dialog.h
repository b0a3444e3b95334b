#pragma once
// The "Thiele-Small Parameters" dialog: a speaker unit entered by hand, the
// Q and excursion triangles completed on Tab and again on OK.
#include <windows.h>

#include "design/speaker_unit.h"

namespace srx {

// Modal on `owner`, centred on it, filled from `unit`. True when OK left a
// unit that differs from the one that came in (then in `unit`); false for
// Cancel or an OK that changed nothing.
bool RunThieleSmallDialog(HWND owner, SpeakerUnit& unit);

// Tests: called with the dialog once it is filled in.
void SetThieleSmallDialogObserver(void (*observer)(HWND dialog));

}  // namespace srx
