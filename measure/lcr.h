#pragma once
// The L-C-R meter: one component in the impedance measuring box, measured
// with a steady tone at one frequency, read as inductance or capacitance,
// series resistance and impedance. It shares the impedance box's formula and
// calibration file format, with a file of its own per setting measured at
// six frequencies per octave.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "measure/duplex_passes.h"
#include "measure/impedance.h"
#include "measure/measurement_settings.h"
#include "measure/sine_analysis.h"
#include "resources/status.h"

namespace srx {

class VirtualLoudspeaker;

constexpr double kLcrMinFrequency = 100;  // Hz
constexpr int kLcrPeriods = 10;           // periods of the tone a reading analyses
constexpr double kLcrMaxResistor = 100;   // ohm, the largest calibration resistor taken

struct LcrReading {
    double frequency = 0;  // Hz, where |Z| and phase were read
    double z = 0, phase = 0;
    double r = 0;      // ohm, |Z| cos(phase)
    double l = 0;      // H when the phase is positive, else 0
    double c = 0;      // F when the phase is negative, else 0
    bool hasL = false, hasC = false;
};

// The tone's response (both channels, after the lead silence of
// `preSilence` s) read at f: both channels from the current channel's
// arrival, at most one transform's worth, rectangular, their ratio at f
// through the box's formula. 2380 when the recording holds no tone or too
// little of it; the file's own messages otherwise. *clipped (may be null)
// tells whether an input reached full scale.
Status AnalyseLcrResponse(const std::string& responsePath, double f, int periods, double preSilence,
                          const ImpedanceContext& context, LcrReading& out, bool* clipped = nullptr);

// L or C from |Z| and phase at f; a phase within 0.01 degree of 0 is a pure
// resistance (neither L nor C).
LcrReading LcrFromImpedance(double f, double z, double phase);

enum class LcrQuantity { kInductance, kCapacitance, kResistance };
// "%.4lf %s" in the unit the value calls for: H, mH, uH, nH (F, mF, uF,
// nF) from 0.1, 1e-4 and 1e-7 down (values below stay in the nano unit);
// Ohm, kOhm from 1000, MOhm from 1e6.
std::string FormatLcrValue(double value, LcrQuantity q);

// "LCR_<kHz><bits><out><in><box>.icf" of the setting.
std::string LcrCalibrationName(const MeasurementSettings& ms);
// 100 Hz and six frequencies per octave above, the last one the highest
// analysis frequency of the rate.
std::vector<double> LcrCalibrationFrequencies(uint32_t rate);

struct LcrSetup {
    MeasurementSettings settings{};
    std::string folder;         // the wave folder
    std::string programFolder;  // where calibration files live
    int outputDevice = kWaveMapper;
    int inputDevice = kWaveMapper;
    std::string inputName, outputName;
    std::string calibrationFile;  // a file of one's own (host path); empty: the setting's
};

// The meter's steps on the wave engine. A reading: CheckFrequency,
// CreateTone, StartReading, the engine's notices until the pass ends,
// AnalyseReading. A calibration: for each of CalibrationFrequencies(),
// CreateCalibrationTone, StartCalibration, the notices, AnalyseCalibration;
// then WriteCalibration.
class LcrMeter {
public:
    explicit LcrMeter(LcrSetup setup);
    ~LcrMeter() { Finish(); }
    LcrMeter(const LcrMeter&) = delete;
    LcrMeter& operator=(const LcrMeter&) = delete;

    const LcrSetup& Setup() const { return setup_; }
    Status Prepare(void* owner, const WavePrepareHooks& hooks = {});
    double TopFrequency() const;
    // 2379 (100 and the top as its arguments) outside 100 Hz..the top.
    Status CheckFrequency(double f) const;

    Status CreateTone(double f);
    Status StartReading();
    // With the setting's calibration file when there is one.
    Status AnalyseReading(double f, LcrReading& out);
    bool Calibrated() const;  // the setting's file exists
    std::string CalibrationFile() const;

    const std::vector<double>& CalibrationFrequencies() const { return calFrequencies_; }
    Status CreateCalibrationTone(size_t index);
    Status StartCalibration(size_t index);
    // The resistor at that frequency, uncalibrated; 2380 when it fails.
    Status AnalyseCalibration(size_t index);
    // Every frequency analysed: the file written (2704 for a resistor out
    // of range; 2380 when a frequency is missing, the old file kept).
    Status WriteCalibration(double resistor, double* meanFactor = nullptr);

    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr) {
        return recorder_.OnNotice(message, first, second, error);
    }
    bool PassRunning() const { return recorder_.PassRunning(); }
    Status PassError() const { return recorder_.PassError(); }
    bool Clipped() const { return clipped_; }

    // Shuts the engine down and deletes the meter's stimuli and responses.
    void Finish();

private:
    SineStimulusFormat Format() const;
    ImpedanceContext Context() const;
    std::string CalibrationStimulus(size_t index) const;
    std::string CalibrationResponse(size_t index) const;

    LcrSetup setup_;
    DuplexPasses recorder_;
    std::vector<double> calFrequencies_;
    std::unique_ptr<Measurement> calCurve_;  // the resistor's |Z| and phase so far
    bool clipped_ = false;
};

Status RunLcrReading(LcrMeter& m, VirtualLoudspeaker& device, double f, LcrReading& out);
Status RunLcrCalibration(LcrMeter& m, VirtualLoudspeaker& device, double resistor, double* meanFactor = nullptr);

}  // namespace srx
