#pragma once
// A speaker unit: one driver described by its small-signal parameters, the
// 512-byte record of its ".SPK" file (little-endian, SI units, texts
// NUL-padded), the values derived from it, and the rules that complete the
// dependent values (Qts from Qms and Qes, Vd from Sd and Xmax) as the
// entry dialog does.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/status.h"

namespace srx {

constexpr size_t kSpeakerUnitBytes = 512;
extern const char kSpeakerUnitSignature[];  // "@SP100"

struct SpeakerUnit {
    std::string manufacturer;  // at most 79 characters in the record
    std::string model;         // at most 79
    std::string notes;         // at most 159
    double fs = 0;    // Hz
    double vas = 0;   // m^3
    double qes = 0;
    double qms = 0;
    double re = 0;    // ohm
    double le = 0;    // H
    double sd = 0;    // m^2
    double xmax = 0;  // m, one way
    // The four reserved doubles (written as 0, 1e6, sqrt(0.5), 0 by the
    // dialog; the first scales with the unit count of a box) and the
    // reserved tail a stored unit carries over.
    std::array<double, 4> reserved{0.0, 1e6, 0.70710678118654752, 0.0};
    std::array<uint8_t, 96> tail{};
};

std::array<uint8_t, kSpeakerUnitBytes> SerializeSpeakerUnit(const SpeakerUnit& u);
// The record's fields; texts end at their first NUL or at their last byte
// (79 or 159 characters).
SpeakerUnit DeserializeSpeakerUnit(const uint8_t* bytes);

// Fs, Vas, Qes, Qms, Re and Sd within 1e-9..1e9 (SI units): what every
// formula needs, and no derived value overflows.
bool HasRequiredParameters(const SpeakerUnit& u);
// Those and Le and Xmax: a unit that round-trips through a ".SPK" file as
// it is (the reader replaces a missing Le or Xmax).
bool IsCompleteForFile(const SpeakerUnit& u);

struct DerivedParameters {
    double cms = 0;  // m/N
    double mms = 0;  // kg
    double mmd = 0;  // kg, without the cone's air load
    double rms = 0;  // kg/s
    double bl = 0;   // T m
    double qts = 0;
    double no = 0;       // reference efficiency, a fraction
    double spl1w = 0;    // dB, 1 W / 1 m
    double spl283v = 0;  // dB, 2.83 V / 1 m
};
// Only meaningful with HasRequiredParameters.
DerivedParameters ComputeDerivedParameters(const SpeakerUnit& u);
// Qts alone, from Qes and Qms.
inline double QtsOf(const SpeakerUnit& u) { return u.qes * u.qms / (u.qes + u.qms); }

// The Q triangle: the missing one of Qms, Qes, Qts (values <= 0 are
// missing) from the other two, first rule that applies; a Qes or Qms is
// derived only where it comes out finite and positive (Qms > Qts, Qes >
// Qts). Answers which was filled in: 0 none, 1 Qts, 2 Qes, 3 Qms.
int CompleteQTriangle(double& qms, double& qes, double& qts);
// The excursion triangle: Vd = Sd Xmax, Xmax = Vd / Sd, Sd = Vd / Xmax,
// first rule that applies. 0 none, 1 Vd, 2 Xmax, 3 Sd.
int CompleteExcursionTriangle(double& sd, double& xmax, double& vd);

// The ".SPK" file: "@SP100" and the record. Reading: kStrCantOpen,
// kStrReadError for a short or foreign file, kStrBadTsParameters for
// missing or non-finite required values; a missing Le or Xmax becomes
// 0.001 (1 mH, 1 mm).
Status ReadSpeakerUnitFile(const std::string& path, SpeakerUnit& out);
// The reader's checks of a record from a file: kStrBadTsParameters, or the
// unit with a missing Le or Xmax replaced.
Status CheckLoadedUnit(SpeakerUnit& u);
// Written through a temporary file: kStrSpkIncomplete for a unit that is
// not complete, kStrCantCreate when it cannot be written (the old file
// kept).
Status WriteSpeakerUnitFile(const std::string& path, const SpeakerUnit& u);

// The unit's rows of the design report: the values of Fs .. SPL(2.83 V),
// in the display units, in the report's order.
std::vector<std::string> SpeakerUnitReportValues(const SpeakerUnit& u);

}  // namespace srx
