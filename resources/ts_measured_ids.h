// Templates and control ids of the dialogs over measured impedance curves:
// the measured parameters, Revc, the two-curve methods on open curves and
// the box-loss calculator.
#pragma once

#define DLG_TS_MEASURED 4802
#define DLG_TS_REVC 4803
#define DLG_TS_IMPORTED 4804
#define DLG_BOXLOSS 4805

// DLG_TS_MEASURED: 101..120 the values, in this order.
#define IDC_TSM_TITLE 101
#define IDC_TSM_MANUFACTURER 102
#define IDC_TSM_MODEL 103
#define IDC_TSM_FS 104
#define IDC_TSM_MMD 105
#define IDC_TSM_MMS 106
#define IDC_TSM_CMS 107
#define IDC_TSM_RMS 108
#define IDC_TSM_VAS 109
#define IDC_TSM_XMAX 110
#define IDC_TSM_SD 111
#define IDC_TSM_RE 112
#define IDC_TSM_LE 113
#define IDC_TSM_BL 114
#define IDC_TSM_QMS 115
#define IDC_TSM_QES 116
#define IDC_TSM_QTS 117
#define IDC_TSM_NO 118
#define IDC_TSM_SPL1W 119
#define IDC_TSM_SPL283 120
#define IDC_TSM_PRINT 121
#define IDC_TSM_SAVE_SPK 122

// DLG_TS_REVC
#define IDC_REVC_VALUE 101
#define IDC_REVC_SCAN 102

// DLG_TS_IMPORTED
#define IDC_TSI_FREE 101
#define IDC_TSI_LOADED 102
#define IDC_TSI_REVC 103
#define IDC_TSI_SCAN 104
#define IDC_TSI_SD 105
#define IDC_TSI_XMAX 106
#define IDC_TSI_LOAD_LABEL 107
#define IDC_TSI_LOAD 108

// DLG_BOXLOSS
#define IDC_BL_FS 101
#define IDC_BL_RE 102
#define IDC_BL_QMS 103
#define IDC_BL_QES 104
#define IDC_BL_ALPHA 105
#define IDC_BL_H 106
#define IDC_BL_QL 107
#define IDC_BL_CALCULATE 108
