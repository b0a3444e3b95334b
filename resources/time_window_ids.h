// Template and control ids of the "Time-Window Settings" dialog.
#pragma once

#define DLG_TIME_WINDOW 4201

#define IDC_TW_LENGTH 1201
#define IDC_TW_NORMAL 1202
#define IDC_TW_DELAYFREE 1203
#define IDC_TW_MANUAL 1204
#define IDC_TW_START 1205
#define IDC_TW_START_LABEL 1206
#define IDC_TW_STARTFREQ 1207
#define IDC_TW_STARTFREQ_LABEL 1208
#define IDC_TW_WINDOW 1209
#define IDC_TW_MICCOMP 1210
