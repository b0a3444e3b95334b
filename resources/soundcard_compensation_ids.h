// Templates and control ids of the sound-card compensation ("Soundcard
// Compensation", from the settings' Linearity button), the "Secondary
// Compensation" measurement and the "No Soundcard Compensation" notice.
#pragma once

#define DLG_SECONDARY_COMPENSATION 49
#define DLG_NO_CARD_COMPENSATION 65
#define DLG_SOUNDCARD_COMPENSATION 4601

// Both measurement dialogs (Start/Measure and OK are IDOK in the linearity
// dialog; the secondary dialog measures with its own button and keeps IDOK
// for taking the list's choice)
#define IDC_CC_INFO 101
#define IDC_CC_ACTIVITY 102
#define IDC_CC_PROGRESS 103
#define IDC_CC_NAME 104
#define IDC_CC_LIST 105
#define IDC_CC_MEASURE 106

// "No Soundcard Compensation"
#define IDC_NOCOMP_DONT_SHOW 101
