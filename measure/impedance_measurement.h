#pragma once
// The impedance measurement and the calibration run on the wave engine, as
// steps like every measurement's: prepare (stereo), write the stimulus
// (sweep or MLS), record the passes, analyse and average them, and then
// either complete the curve (calibrated by the setting's file) or write the
// calibration file from a resistor's curve.
#include <functional>
#include <memory>
#include <string>

#include "data/records.h"
#include "measure/duplex_passes.h"
#include "measure/impedance.h"
#include "measure/measurement_settings.h"
#include "resources/status.h"

namespace srx {

class VirtualLoudspeaker;

struct ImpedanceMeasurementSetup {
    MeasurementSettings settings{};
    std::string folder;         // the wave folder
    std::string programFolder;  // where calibration files live
    int outputDevice = kWaveMapper;
    int inputDevice = kWaveMapper;
    std::string inputName, outputName;
    bool calibrating = false;        // measure the calibration resistor and write the file
    double calibrationResistor = 8;  // ohm
    double revc = 0;                 // voice-coil DC resistance for the T/S block, 0: none
    // A calibration file of one's own (host path), read or written instead
    // of the setting's; empty: the setting's.
    std::string calibrationFile;
};

class ImpedanceMeasurement {
public:
    explicit ImpedanceMeasurement(ImpedanceMeasurementSetup setup) : setup_(std::move(setup)) {}
    ~ImpedanceMeasurement() { Finish(); }
    ImpedanceMeasurement(const ImpedanceMeasurement&) = delete;
    ImpedanceMeasurement& operator=(const ImpedanceMeasurement&) = delete;

    const ImpedanceMeasurementSetup& Setup() const { return setup_; }
    // Revc is typed while the stimulus waits, after the measurement was made.
    void SetRevc(double ohm) { setup_.revc = ohm; }
    bool Mls() const { return (setup_.settings.flags & kMsfImpedanceMls) != 0; }
    // The analysis range: the settings' (a calibration by MLS covers 100 Hz
    // to the rate's top).
    ImpedanceParams Params() const;

    Status Prepare(void* owner, const WavePrepareHooks& hooks = {});
    Status CreateFiles();
    std::string StimulusFile() const;
    std::string ResponseFile(int pass) const;
    int FirstPass() const;  // -1 with a warm-up stimulus
    int PassCount() const;  // 2 for a calibration
    Status StartPass(int pass);
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr) {
        return recorder_.OnNotice(message, first, second, error);
    }
    bool PassRunning() const { return recorder_.PassRunning(); }
    Status PassError() const { return recorder_.PassError(); }

    // Every pass analysed and averaged; a calibration writes its file (the
    // mean factor in CalibrationFactor()). 2809 without usable curves.
    Status Analyse();
    double CalibrationFactor() const { return factor_; }
    bool Calibrated() const { return calibrated_; }  // a measurement that found its file
    bool Clipped() const { return clipped_; }        // an input reached full scale in some pass
    std::string CalibrationFile() const;

    Status Complete(const std::string& title);
    Measurement* Result() { return result_.get(); }
    std::unique_ptr<Measurement> TakeResult() { return std::move(result_); }

    // Shuts the engine down, deletes the responses (and a calibration's
    // stimulus).
    void Finish();

private:
    const char* Base() const;

    ImpedanceMeasurementSetup setup_;
    DuplexPasses recorder_;
    std::unique_ptr<Measurement> result_;
    double factor_ = 0;
    bool calibrated_ = false;
    bool clipped_ = false;
};

// A resistance typed by the user (Revc, the calibration resistor): the
// whole text, blanks aside, spells one finite number. Range checks are the
// caller's: 0 means "not entered" for Revc but is no resistor to calibrate on.
bool ParseTypedOhms(const std::string& text, double& ohms);
constexpr double kMaxTypedOhms = 1000;

Status RunImpedanceMeasurement(ImpedanceMeasurement& m, VirtualLoudspeaker& device, const std::string& title);

}  // namespace srx
