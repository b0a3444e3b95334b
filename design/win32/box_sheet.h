#pragma once
// The "Box Design" property sheet of a design slot, on a thread of its own
// (32 KB of stack) so that the frame stays usable while it is open. While
// it is open the slot carries kSlotDialogOpen. Committing goes to the frame
// as UM_BOXCOMMIT (wParam the slot, lParam the working BoxDesign, or 0 once
// the sheet has closed), handled on the frame's thread.
#include <windows.h>

namespace srx {

// Opens the sheet on `slot`, or brings an open sheet to the front. 2309
// when the slot has no unit, 2330 when the thread cannot start.
int OpenBoxDesignSheet(HWND frame, int slot);
HWND BoxDesignSheetWindow();
// Tests: called with each page (0 Global, 1 Closed, 2 Vented, 3 Bandpass)
// once it is filled, on the sheet's thread.
void SetBoxSheetObserver(void (*observer)(HWND page, int pageIndex));

}  // namespace srx
