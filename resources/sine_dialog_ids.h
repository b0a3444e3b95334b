// Templates and control ids of the "Gated Time-Window" and "Sweep"
// measurement dialogs (Start is IDOK, so that Enter starts; Cancel IDCANCEL;
// Help IDHELP).
#pragma once

#define DLG_GATED_SINE 14
#define DLG_SWEEP 15

#define IDC_SINE_ACTIVITY 101
#define IDC_SINE_TITLE 102
#define IDC_SINE_INFO 103
#define IDC_SINE_PROGRESS 104
