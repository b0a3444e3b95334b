#pragma once
// "Convert to measurement": a curve of a simulated design as an ordinary
// frequency-response or impedance Measurement, as the analysis window of
// the curve's kind shows it.
#include <string>
#include <vector>

#include "resources/status.h"

namespace srx {

struct DesignResults;
struct Measurement;

// Analysis kinds (window kinds 3200..) that convert.
enum DesignAnalysisKind : int {
    kAnalysisResponse = 3200,
    kAnalysisAcousticPhase = 3201,
    kAnalysisResponsePhase = 3202,
    kAnalysisImpedance = 3203,
    kAnalysisElectricalPhase = 3204,
    kAnalysisImpedancePhase = 3205,
    kAnalysisCone = 3207,
    kAnalysisPort = 3208,
    kAnalysisConePort = 3209,
};

// 3200..3202: the total response with the acoustic phase; 3203..3205: the
// impedance with the electrical phase; 3207 the cone, 3208 the port and
// 3209 the cone when `cone` (always for a closed box, whose port is silent)
// else the port response, without phase. A response is shifted so that
// its highest level is 0 dB unless `keepAbsolute`. Titled "Konverterad -
// <designTitle> (A|Z)", origin 32767, unsaved. Fails with
// kStrNotConvertible for other kinds, kStrDesignNotAnalysed for empty
// results; `out` is then unchanged.
Status ConvertDesignCurve(const DesignResults& results, int analysisKind, bool cone, const std::string& designTitle,
                          bool keepAbsolute, Measurement& out);

// The measurement of one curve: levels (dB, or ohm for an impedance) and
// phases (radians; null: none) over rising frequencies, of equal sizes.
// Points whose frequency does not rise as a float are left out.
Status BuildConvertedMeasurement(const std::vector<double>& frequency, const std::vector<double>& level,
                                 const std::vector<double>* phase, bool impedance, const std::string& designTitle,
                                 bool keepAbsolute, Measurement& out);

}  // namespace srx
