#pragma once
// The commands that turn an impulse response into a frequency response
// ("Do FFT on Impulse Response" with its "Time-Window Settings" dialog),
// fill in missing minimum phases ("Calculate Minimum-Phase") and open the
// impulse window of a waterfall ("Show Impulse Response").
#include <windows.h>

#include "data/records.h"
#include "measure/time_window_rules.h"
#include "resources/status.h"

namespace srx {

// Runs the "Time-Window Settings" dialog for the record. On OK *choice
// holds the accepted values and the result is true; Cancel gives false.
// The record itself is not changed.
bool RunTimeWindowDialog(HWND owner, const TimeRecord& record, TimeWindowChoice* choice);

// Command 723 on the active impulse window.
void DoFftOnImpulse(HWND frame);

// After command 764 toggled the option: when it is now on, offers to
// calculate the minimum phase of the open curves that lack it.
void AfterMinimumPhaseToggle(HWND frame);

// Command 729 when the active waterfall has no impulse window: creates one
// on the same record. Returns it, or null (message 2303) when it could not.
HWND CreateImpulseWindowFor(HWND frame, HWND waterfall);

// Every message and question of these commands goes through here; null
// (the default) shows a message box. Returns the button pressed.
using FftMessageHook = int (*)(HWND owner, const Status& message, UINT flags);
void SetFftMessageHook(FftMessageHook hook);
int ShowFftMessage(HWND owner, const Status& message, UINT flags);

// Called with the time-window dialog once it is filled, before the user
// sees it (tests drive the dialog from here). Null: nothing is called.
void SetTimeWindowDialogObserver(void (*observer)(HWND dialog));

}  // namespace srx
