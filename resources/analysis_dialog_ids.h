// Template and control ids of the impulse analyses' and the curve
// operations' dialogs.
#pragma once

#define DLG_ETC 4701
#define DLG_STEP 4702
#define DLG_WATERFALL_PROGRESS 4703
#define DLG_SMOOTH 4704
#define DLG_NORMALIZE 4705
#define DLG_MANUAL_NORMALIZE 4706
#define DLG_AVERAGE 4707
#define DLG_MERGE 4708

// ETC and step response.
#define IDC_AN_LENGTH 1701
#define IDC_AN_WINDOW 1702
#define IDC_AN_PROGRESS 1703

// Smooth Curve: the seven choices in order (1, 2, 3, 6, 12, 24, free).
#define IDC_SM_FIRST 1711
#define IDC_SM_FREE 1717
#define IDC_SM_FREE_N 1718
#define IDC_SM_METHOD 1719

// Normalization and Manual Normalization.
#define IDC_NM_FREQUENCY 1721
#define IDC_NM_RANGE 1722
#define IDC_NM_LEVEL 1723

// Curve Averaging: the title, eight curve lists and the method.
#define IDC_AV_TITLE 1731
#define IDC_AV_CURVE1 1732
#define IDC_AV_METHOD 1740

// Merge Frequency Response Curves: per curve row r (0..2) the list,
// "Near-Field", "Rev. phase", the value and its label at base + r.
#define IDC_MG_TITLE 1751
#define IDC_MG_CURVE1 1752
#define IDC_MG_NEAR1 1755
#define IDC_MG_REVERSE1 1758
#define IDC_MG_VALUE1 1761
#define IDC_MG_LABEL1 1764
#define IDC_MG_SPLICE 1767
#define IDC_MG_BAFFLE 1768
#define IDC_MG_SIMULATE 1769
