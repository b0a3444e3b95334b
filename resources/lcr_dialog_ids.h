#pragma once
// The "L-C-R Meter" dialog.
#define DLG_LCR 47
#define IDC_LCR_L 101
#define IDC_LCR_C 102
#define IDC_LCR_R 103
#define IDC_LCR_Z 104
#define IDC_LCR_FREQUENCY 105
#define IDC_LCR_RESISTOR 106
#define IDC_LCR_CALIBRATE 107
#define IDC_LCR_ACTIVITY 108
#define IDC_LCR_PROGRESS 109
