#pragma once
// Thiele-Small parameters from impedance curves: the analysis of one
// free-air curve, the two-curve methods (added mass, test box) that also
// give the moving mass, the losses of a vented box from its two impedance
// peaks, and two operations on a curve: removing the voice-coil inductance
// and building the model curve of the analysed parameters.
//
// A curve is an impedance Measurement: |Z| in ohm in kSlotLevel, the phase
// in radians in kSlotPhase, frequencies rising. Inputs and results live in
// the T/S block of its header (SI units). The resonance and the points at
// sqrt(r0) Re are taken at curve points, without interpolation, so they are
// resolved to one point step.
//
// Failures carry the string id of the message the dialogs show; nothing is
// stored that is not finite.
#include <cstdint>
#include <memory>
#include <string>

#include "data/records.h"
#include "design/speaker_unit.h"
#include "resources/status.h"

namespace srx {

// The fields of MeasurementHeader::tsBlock.
enum TsField : int { kTsRe, kTsSd, kTsMmd, kTsXmax, kTsAddedLoad, kTsFs, kTsQms, kTsQes, kTsLe };
// MeasurementHeader::method of an impedance curve.
enum TsMethod : int32_t { kTsSingleCurve = 0, kTsAddedMass = 1, kTsTestBox = 2 };

// Highest frequency a curve may hold for these analyses: far above audio,
// and it bounds the 1000-Hz stepping of the inductance search.
constexpr double kTsMaxFrequency = 1e6;

// An impedance curve of at least 3 points with strictly rising frequencies
// in 0 < f <= kTsMaxFrequency and finite |Z| >= 0 and phases; else
// kStrNotImpedanceCurve or kStrBadImpedanceCurve.
Status CheckTsCurve(const Measurement& m);

// The single-curve analysis on the record's Re: writes Fs, Qms, Qes, Le of
// the T/S block (0 where not found) and clamps a negative Sd, Mmd or Xmax
// to 0. kStrEnterRevc without Re > 0, kStrResonanceMissing when there is
// no resonance peak or no Q values, CheckTsCurve's message for a bad curve.
Status AnalyseImpedance(Measurement& m);

// Le at f from the phase of the curve (interpolated between the points
// around f): |Z| sin(phase) / (2 pi f), and |Z(f)| / Re into `ratio`.
// False (outputs 0) outside the curve, without Re > 0 or where the phase
// is not inductive.
bool InductanceAt(const Measurement& m, double f, double& le, double* ratio = nullptr);

// Re estimate: 0.8 x the smallest |Z| of the curve.
Status ScanRevc(const Measurement& m, double& re);

// The values the parameter dialog shows. The mass family (Mms .. SPL) is
// there only when hasMass: Mmd > 0, Sd > 0 and the analysis found Fs, Qms
// and Qes; otherwise those stay 0 (shown empty).
struct MeasuredValues {
    double re = 0, sd = 0, mmd = 0, xmax = 0, addedLoad = 0, fs = 0, qms = 0, qes = 0, le = 0;
    double qts = 0;  // whenever Qms + Qes is not 0
    bool hasMass = false;
    double mms = 0, cms = 0, vas = 0, rms = 0, bl = 0, no = 0, spl1w = 0, spl283v = 0;
};
MeasuredValues MeasuredValuesOf(const MeasurementHeader& h);

// The measured unit for a ".SPK" file: Fs, Vas, Qes, Qms, Re, Le, Sd, Xmax
// and the curve's manufacturer and model. Needs hasMass.
SpeakerUnit MeasuredSpeakerUnit(const Measurement& m);
// The impedance curve's manufacturer and model: the two 80-character texts
// the header holds before its method field.
std::string MeasurementManufacturer(const MeasurementHeader& h);
std::string MeasurementModel(const MeasurementHeader& h);
void SetMeasurementManufacturer(MeasurementHeader& h, const std::string& text);
void SetMeasurementModel(MeasurementHeader& h, const std::string& text);

// ---- Two curves -----------------------------------------------------------

// The method two curves call for: added mass when the free-air resonance
// lies strictly above the loaded one, else test box.
TsMethod SuggestTwoCurveMethod(const Measurement& freeAir, const Measurement& loaded);

struct TwoCurveInput {
    TsMethod method = kTsAddedMass;
    double re = 0;    // ohm
    double sd = 0;    // m^2; 0 = not given (the test box needs it)
    double xmax = 0;  // m; 0 = not given
    double load = 0;  // the added mass (kg) or the test box volume (m^3)
};
// Stores Re, Sd, Xmax, the load and the method on both curves, analyses
// both and computes Mmd: with an added mass Ma,
//   F.Mmd = Ma / ((F.Fs / L.Fs)^2 - 1) - 0.575 Sd^1.5,  L.Mmd = F.Mmd + Ma;
// in a test box of volume Vab (Cab = Vab / (Sd^2 142000), Mair = 0.575
// Sd^1.5, the box adds 0.85 Mair on the cone),
//   F.Mmd = (1/Cab - (1.85 wb^2 - ws^2) Mair) / (wb^2 - ws^2) = L.Mmd.
// Both curves lose their saved flag. Either both are updated or neither:
// kStrSameCurves, kStrEnterRevc, kStrEnterAddedMass, kStrEnterTestBox,
// kStrTestBoxNeedsSd, kStrResonanceMissing, kStrLoadedResonance (the
// resonances equal or the wrong way round: no finite positive mass).
Status RunTwoCurveMethod(Measurement& freeAir, Measurement& loaded, const TwoCurveInput& in);

// ---- Vented box -----------------------------------------------------------

struct TwoPeaks {
    double fL = 0, fB = 0, fH = 0;  // lower peak, minimum between, upper peak (Hz)
    double zL = 0, zB = 0, zH = 0;  // |Z| there (ohm)
};
// The two peaks of a vented box's impedance and the minimum between them,
// within a phase tolerance widened from 0.5 to 25 degrees; kStrTwoBumps.
Status FindTwoPeaks(const Measurement& m, TwoPeaks& out);

// fsb = fL fH / fB, the box tuning ratio alpha = (fH^2 - fB^2)(fB^2 - fL^2)
// / (fH^2 fL^2) and h = fB / fs (fs: the free-air resonance, or fsb).
struct BoxTuning {
    double fsb = 0, alpha = 0, h = 0;
};
BoxTuning BoxTuningOf(const TwoPeaks& p, double fs);

// The leakage loss QL = (h / alpha)(1 / ((r - 1) QesB) - 1 / QmsB), r =
// zB / Re, QmsB, QesB the driver's Qs scaled by fs / fsb. All four inputs
// must be > 0 (kStrNotEnoughParameters); r <= 1 has no loss to read
// (kStrBoxlossRatio).
Status BoxLossQ(const TwoPeaks& p, double fs, double re, double qms, double qes, double& ql);

// ---- Curve operations -----------------------------------------------------

// Subtracts j w Le from every point, Le the mean of |Z| sin(phase) / w over
// the points in 999 Hz < f <= 2000 Hz (kStrNoKiloHertz without one), then
// analyses the curve again. `le` receives the inductance removed.
Status RemoveInductance(Measurement& m, double* le = nullptr);

// The model curve of the analysed parameters: Re + j w Le in series with
// Res, Lces and Cmes in parallel (Res = zmax - Re, Cmes = Qes / (ws Re),
// Lces = 1 / (ws^2 Cmes)), on a logarithmic grid over the source's range
// with about the source's density (at least 3 points per octave). Titled
// "<source> (CF)", with the source's T/S block, analysed. The source is
// not changed. kStrResonanceMissing without a resonance and Q values.
Status CurveFitImpedance(const Measurement& source, std::unique_ptr<Measurement>& out);

}  // namespace srx
