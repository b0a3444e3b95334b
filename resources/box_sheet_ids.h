// Templates and control ids of the box design's dialogs: the "Box Design"
// sheet's pages and "Analyzer Preferences".
#pragma once

#define DLG_ANALYZER_PREFS 4815

#define IDC_AP_START 101
#define IDC_AP_STOP 102
#define IDC_AP_IMPULSE 103
#define IDC_AP_EG 104
#define IDC_AP_RG 105
#define IDC_AP_TEMP 106
#define IDC_AP_ONEWAY 107

#define DLG_BOX_GLOBAL 4811
#define DLG_BOX_CLOSED 4812
#define DLG_BOX_VENTED 4813
#define DLG_BOX_BANDPASS 4814

// Global page
#define IDC_BG_TITLE 101
#define IDC_BG_BAFFLE 102
#define IDC_BG_WIDTH 103
#define IDC_BG_HEIGHT 104
#define IDC_BG_CAVITY 105
#define IDC_BG_CAVF3 106
#define IDC_BG_CAVQ 107

// The box pages share their ids where the fields mean the same.
#define IDC_BX_ALIGN 201
#define IDC_BX_A 202
#define IDC_BX_QTC 203
#define IDC_BX_FC 204
#define IDC_BX_H 205
#define IDC_BX_QL 206
#define IDC_BX_FORDER 207
#define IDC_BX_FFREQ 208
#define IDC_BX_FQ 209
#define IDC_BX_UNITS 210
#define IDC_BX_UNITS_SPIN 211
#define IDC_BX_ISO 212
#define IDC_BX_VB 213
#define IDC_BX_VR 214
#define IDC_BX_FB 215
#define IDC_BX_VENT 216
#define IDC_BX_DIA 217
#define IDC_BX_VENT_LABEL 218
#define IDC_BX_VENTS 219
#define IDC_BX_LV 220
#define IDC_BX_STUFF 221
#define IDC_BX_PRACTICAL 222
#define IDC_BX_TYPE 223
