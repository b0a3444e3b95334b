#pragma once
// A box design: the 248-byte record of a design slot and of ".DSN" files
// (little-endian, lengths in m, volumes in m^3, areas in m^2), the unit as
// the box sees it, and the closed-form box and vent relations the design
// pages use.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "design/speaker_unit.h"
#include "resources/status.h"

namespace srx {

constexpr size_t kBoxDesignBytes = 248;
extern const char kDesignFileSignature[];  // "@SD100"

enum BoxType : int32_t { kClosedBox = 0, kVentedBox = 1, kBandpassBox = 2, kDualPortBandpass = 3 };

// The defaults are what a reset slot holds.
struct BoxDesign {
    std::string title;  // at most 79 characters; empty = the box kind's name
    int32_t boxType = kClosedBox;
    int16_t units = 1;
    int32_t isobaric = 0;
    double vb = 0;        // box volume; a bandpass box's vented front chamber
    double vr = 0;        // a bandpass box's closed rear chamber
    double sv = 0;        // area of one vent
    double fb = 0;        // tuning, Hz
    double stuffing = 0;  // percent
    double further = 0;
    double ql = 1000, q2 = 1000, q3 = 1000;
    int16_t vents = 1;
    int16_t ventEnds = 1;     // end correction kind, taken modulo 3
    int16_t filterOrder = 0;  // high-pass before the unit: 0 none, 1..3
    double filterFreq = 0, filterDamping = 0;  // damping = 1/Q
    double filterFreq2 = 0, filterDamping2 = 0;
    int16_t reserved1 = 1, reserved2 = 1;
    uint32_t globalFlags = 0;  // bit 0: simulate the baffle step
    double baffleWidth = 0, baffleHeight = 0;
    double cavityF3 = 0, cavityQ = 0, cavitySize = 0;
};

std::array<uint8_t, kBoxDesignBytes> SerializeBoxDesign(const BoxDesign& b);
BoxDesign DeserializeBoxDesign(const uint8_t* bytes);

// Box type 0..3, at least one unit and one vent, filter order 0..3, every
// size finite and none negative: a design the pages and the simulation can
// work on.
bool IsValidBoxDesign(const BoxDesign& b);

// ".DSN": "@SD100", the unit's record, the box's. Reading: kStrCantOpen,
// kStrReadError (short or foreign), kStrBadTsParameters for a unit the
// ".SPK" reader would refuse (a missing Le or Xmax becomes 0.001 as
// there), kStrBadBoxDesign for a box that is not valid. Writing goes
// through a temporary file: kStrCantCreate keeps the old file.
Status ReadDesignFile(const std::string& path, SpeakerUnit& unit, BoxDesign& box);
Status WriteDesignFile(const std::string& path, const SpeakerUnit& unit, const BoxDesign& box);

// The unit seen by the box: isobaric pairs halve Vas and Re, then n units
// multiply Vas, Sd and divide Re, Le. kStrIsobaricOdd for an odd isobaric
// count; counts below 1 count as 1.
Status EffectiveUnit(const SpeakerUnit& unit, int units, bool isobaric, SpeakerUnit& out);

// Vent relations (Vb, fb, area of one vent Sv, length Lv; values <= 0 are
// unknown): fills the first missing one that the others give. 1 when
// solved, -1 when the length comes out negative, 0 when too little is
// known.
int SolveVent(int ventEnds, int vents, double& vb, double& fb, double& sv, double& lv);
// The area of one vent that keeps the air speed down at Xmax.
double MinimumVentArea(const SpeakerUnit& unit, double fb, int vents);

struct ClosedBoxFigures {
    double qtc = 0, fc = 0, f3 = 0, efficiency = 0;
};
ClosedBoxFigures ClosedBoxResults(const SpeakerUnit& unit, double vb);

struct ClosedAlignment {
    const char* name;
    double qtc;
};
// The closed-box alignments from the first whose Qtc reaches `qts` on.
std::vector<ClosedAlignment> ClosedAlignmentsFor(double qts);

struct BandpassAlignment {
    const char* name;
    double aT, qtc, hc;
    int order;  // 2 or 3
};
// The bandpass alignments whose Qtc is above `qts`.
std::vector<BandpassAlignment> BandpassAlignmentsFor(double qts);

}  // namespace srx
