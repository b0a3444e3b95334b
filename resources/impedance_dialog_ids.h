// Templates and control ids of the "Impedance" measurement dialog (Start is
// IDOK, Cancel IDCANCEL, Help IDHELP) and of the small window that shows an
// impedance calibration running (opened by the settings' Impedance page).
#pragma once

#define DLG_IMPEDANCE 18
#define DLG_IMPEDANCE_CALIBRATION 4113

#define IDC_Z_ACTIVITY 101
#define IDC_Z_TITLE 102
#define IDC_Z_INFO 103
#define IDC_Z_PROGRESS 104
#define IDC_Z_REVC 105

#define IDC_ZC_ACTIVITY 101
#define IDC_ZC_PROGRESS 102
