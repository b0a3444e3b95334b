#pragma once
// The speaker-unit commands of the design slots (101, 501, 104/105 on a
// design window).
#include <windows.h>

namespace srx {

// Design > Thiele-Small Parameters on the active slot; `fromNewUnit` lets it
// run before the slot has a window. 1 when the slot got a changed unit.
int EditThieleSmallParameters(HWND frame, bool fromNewUnit);
// File > New > New Speaker Unit: the first slot without a unit (or the
// active one, after its save question), the dialog, then its window.
int NewSpeakerUnit(HWND frame);
// Saves the slot's unit as ".SPK", or with its box design as ".DSN" when it
// has one and the answer to "Save what ?" is Yes; `askName` always asks
// for the file. 1 when written.
int SaveDesignSlot(HWND owner, int slot, bool askName);

}  // namespace srx
