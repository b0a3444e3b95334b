// Templates and control ids of the "MLS" measurement dialog, its "Manual
// Average" prompt and the "Keep this measurement ?" question.
#pragma once

#define DLG_MLS 16
#define DLG_MANUAL_AVERAGE 4501
#define DLG_KEEP_MEASUREMENT 4502

// "MLS" (Start is IDOK, so that Enter starts; Cancel IDCANCEL; Help IDHELP)
#define IDC_MLS_TITLE 101
#define IDC_MLS_ACTIVITY 102
#define IDC_MLS_INFO 103
#define IDC_MLS_PROGRESS 104

// "Keep this measurement ?" (Yes IDYES, No IDNO)
#define IDC_KEEP_DONT_ASK 1501
