#pragma once
// What the pages of the "Box Design" sheet do on Apply: each takes the
// values typed on it (SI units; 0 or less = empty) and either fills the box
// design or fails with the message the page shows, leaving the box as it
// was. The Win32 sheet only moves values between fields and these.
#include <string>

#include "design/box_design.h"
#include "design/speaker_unit.h"
#include "resources/status.h"

namespace srx {

// The high-pass filter before the unit, as the closed and vented pages take
// it: order 0..3, cut-off (Hz) and Q. A third order is a second-order
// section times a first-order one at the same cut-off.
struct FilterInput {
    int order = 0;
    double frequency = 0, q = 0;
};

struct ClosedPageInput {
    std::string title;
    int units = 1;
    bool isobaric = false;
    bool practicalFirst = false;  // the volume field decides
    double a = 0, qtc = 0, fc = 0;
    double vb = 0;        // m^3
    double stuffing = 0;  // percent
    FilterInput filter;
};
Status ApplyClosedPage(const SpeakerUnit& unit, const ClosedPageInput& in, BoxDesign& box);

struct VentedPageInput {
    std::string title;
    int units = 1;
    bool isobaric = false;
    bool practicalFirst = false;  // volume, tuning and vent decide
    double a = 0, h = 0, ql = 0;
    double vb = 0, fb = 0;  // m^3, Hz
    double sv = 0;          // area of one vent, m^2
    int vents = 1;
    double lv = 0;  // vent length, m
    FilterInput filter;
};
Status ApplyVentedPage(const SpeakerUnit& unit, const VentedPageInput& in, BoxDesign& box);

struct BandpassPageInput {
    std::string title;
    int units = 1;
    bool isobaric = false;
    double aT = 0, qtc = 0, hc = 0, ql = 0;
    int order = 2;  // 2 or 3
    double vr = 0, vf = 0, fb = 0;  // rear, front chamber (m^3), tuning (Hz)
    double sv = 0;
    int vents = 1;
    double lv = 0;
    double stuffing = 0;
};
Status ApplyBandpassPage(const SpeakerUnit& unit, const BandpassPageInput& in, BoxDesign& box);

struct GlobalPageInput {
    std::string title;
    bool baffleStep = false;
    double width = 0, height = 0;  // m
    int cavitySize = 0;            // 0 "None...", 1..3 presets, 4 "Free"
    double cavityF3 = 0, cavityQ = 0;
};
void ApplyGlobalPage(const GlobalPageInput& in, BoxDesign& box);

// The page the sheet opens on: 1 closed, 2 vented, 3 bandpass.
int BoxSheetStartPage(const SpeakerUnit& unit, const BoxDesign& box);

// What the closed and vented pages show of a box: the compliance ratio,
// the closed-box Q and resonance, the tuning ratio.
struct BoxRatios {
    double a = 0, qtc = 0, fc = 0, h = 0;
};
BoxRatios RatiosOf(const SpeakerUnit& effective, const BoxDesign& box);

}  // namespace srx
