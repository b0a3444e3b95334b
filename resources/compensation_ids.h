// Templates and control ids of the compensation dialogs.
#pragma once

#define DLG_MIC_COMPENSATION 4301
#define DLG_CURVE_DIFFERENCE 4302

// "Microphone Compensation"
#define IDC_MC_GRAPH 1301
#define IDC_MC_VALUE 1302
#define IDC_MC_LIST 1303
#define IDC_MC_RESET 1304
#define IDC_MC_RANGE 1305
#define IDC_MC_DIFFERENCE 1306
#define IDC_MC_SAVE 1307

// "Curve Difference"
#define IDC_CD_UNCALIBRATED 1321
#define IDC_CD_CALIBRATED 1322
#define IDC_CD_SMOOTH 1323
