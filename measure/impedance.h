#pragma once
// Impedance from the two channels of a measuring box (channel 0 across the
// driver, channel 1 proportional to the current), its calibration against a
// known resistor (".icf" files named by the setting), and the analyses of a
// recorded sweep or MLS response into an impedance curve.
#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "measure/sine_analysis.h"
#include "resources/status.h"

namespace srx {

struct MeasurementSettings;

constexpr std::size_t kMaxImpedanceCalibrationEntries = 4608;
extern const char kImpedanceCalibrationHeader[];  // "SonRix Impedance Calibration File"

struct ImpedanceCalibrationEntry {
    double frequency;  // Hz
    double factor;     // Rcal / |Z| measured on the calibration resistor
    double phase;      // rad, the measured phase
};
using ImpedanceCalibration = std::vector<ImpedanceCalibrationEntry>;

// What the impedance of one frequency depends on besides the channels.
struct ImpedanceContext {
    int boxVersion = 1;
    uint32_t rate = 44100;
    bool probePhaseCorrection = false;            // add one sample's phase
    const ImpedanceCalibration* table = nullptr;  // null: uncalibrated
};

// |Z| = sqrt(P0 / P1) R k and phase = wrap(phi0 - phi1 - theta + offset + c)
// from the channel powers and phases at f; false when either power is not
// above 0 or the box version is unknown.
bool ImpedanceFromChannels(double p0, double phi0, double p1, double phi1, double f, const ImpedanceContext& c,
                           double* magnitude, double* phase);

// The ratio channel 0 / channel 1 at every frequency of `series`, from the
// channels' spectra (2^log2n points, interleaved re/im), interpolated
// between the bins around f; 0 where either channel is silent.
std::vector<std::complex<double>> ChannelRatios(const std::vector<float>& s0, const std::vector<float>& s1, int log2n,
                                                uint32_t rate, const std::vector<double>& series);

// ---- Calibration files ----------------------------------------------------

// The file name of the setting (no folder): the sweep's
// "ImpCal_<kHz><bits><out><in><box>_SW=<time>_<start>_<stop>.icf" or the
// MLS's "ImpCal_<...>_MLS=<order>_WIN=<window>.icf".
std::string ImpedanceCalibrationName(const MeasurementSettings& ms);
// The "; setting ..." line written into the file: the five numbers the name
// runs together (out 1 / in 12 and out 11 / in 2 give the same name), each
// on its own.
std::string ImpedanceSettingLine(const MeasurementSettings& ms);
// programFolder\name; with `out` the path is stored. Answers whether the
// file exists and was written for this setting.
bool ImpedanceCalibrationFileName(const MeasurementSettings& ms, const std::string& programFolder, std::string* out);

// Writes the table of a calibration run's curve (the resistor measured
// uncalibrated), replacing the file safely. *meanFactor receives Rcal over
// the mean |Z|. 2809 for a curve without usable points (nothing written),
// 2811 when the file cannot be written.
Status WriteImpedanceCalibration(const std::string& path, const Measurement& m, double rcal,
                                 const std::string& settingLine, double* meanFactor = nullptr);

// The table of a file: false when it is missing, its first line is not the
// header, it holds no usable line or (with `settingLine` not empty) it was
// written for another setting. Lines whose frequency does not rise, whose
// factor is not above 0 or whose values are not finite are skipped.
bool ReadImpedanceCalibration(const std::string& path, ImpedanceCalibration& out, const std::string& settingLine = {});

// ---- Analyses ---------------------------------------------------------------

struct ImpedanceParams {
    double f1 = 20, f2 = 20000;
    int perOctave = 3;
    double timePerOctave = 0.5;  // sweep
    int order = 17;              // MLS
    int windowType = 2;          // MLS: the half window over the period
    ImpedanceContext context;
};

// The sweep recorded on both channels (frames after the lead silence of
// `leadFrames`): both read from channel 1's arrival, each less its own
// offset, transformed, the channels' ratio per frequency.
Status AnalyseImpedanceSweep(const Recording& r, uint32_t leadFrames, const ImpedanceParams& p,
                             std::unique_ptr<Measurement>& out);
// The MLS: both impulse responses recovered, their whole period from
// channel 1's window start weighed by the falling half of the window,
// transformed, the ratio per frequency. Flag 0x100.
// *clipped tells whether either channel reached full scale.
Status AnalyseImpedanceMls(const std::string& responsePath, const std::string& stimulusPath, double preSilence,
                           const ImpedanceParams& p, std::unique_ptr<Measurement>& out, bool* clipped = nullptr);

// The passes' curve: the first pass, then each later one averaged in by
// halves, |Z| and phase, as every measurement averages its passes.
std::unique_ptr<Measurement> AverageImpedancePasses(const std::vector<const Measurement*>& passes);

}  // namespace srx
