// Template and control ids of the "Thiele-Small Parameters" dialog.
#pragma once

#define DLG_TS_PARAMETERS 4801

#define IDC_TS_MANUFACTURER 101
#define IDC_TS_MODEL 102
#define IDC_TS_NOTES 103
#define IDC_TS_FS 104
#define IDC_TS_VAS 105
#define IDC_TS_QMS 106
#define IDC_TS_QES 107
#define IDC_TS_QTS 108
#define IDC_TS_SD 109
#define IDC_TS_XMAX 110
#define IDC_TS_VD 111
#define IDC_TS_RE 112
#define IDC_TS_LE 113
