#pragma once
// The gated sine and the sweep as steps on the wave engine, like the MLS:
// prepare, create the stimulus, record each pass, analyse (reference every
// pass, average, distortion) and complete the result. The "Gated
// Time-Window" and "Sweep" dialogs call the steps from their messages;
// RunSineMeasurement runs them headless.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "dsp/frequency_response.h"
#include "measure/duplex_passes.h"
#include "measure/measurement_settings.h"
#include "measure/sine_analysis.h"
#include "resources/status.h"

namespace srx {

class VirtualLoudspeaker;

enum class SineKind { kGated, kSweep };

// The method number a gated-sine result carries in its header.
constexpr int32_t kMethodGatedSine = 11;

struct SineMeasurementSetup {
    SineKind kind = SineKind::kGated;
    MeasurementSettings settings{};  // a copy: the measurement does not follow later changes
    std::string folder;              // the wave folder
    int outputDevice = kWaveMapper;
    int inputDevice = kWaveMapper;
    std::string inputName, outputName;
    CompensationHooks compensation = DefaultCompensationHooks();
    AnalysisSettings analysis = CurrentAnalysisSettings();
};

class SineMeasurement {
public:
    explicit SineMeasurement(SineMeasurementSetup setup);
    ~SineMeasurement() { Finish(); }
    SineMeasurement(const SineMeasurement&) = delete;
    SineMeasurement& operator=(const SineMeasurement&) = delete;

    const SineMeasurementSetup& Setup() const { return setup_; }
    bool Gated() const { return setup_.kind == SineKind::kGated; }
    bool Probe() const;
    GatedSineParams GatedParams() const;
    SweepParams SweepParameters() const;
    SineStimulusFormat Format() const;
    // The analysis frequencies.
    std::vector<double> Frequencies() const;

    Status Prepare(void* owner, const WavePrepareHooks& hooks = {});
    // The stimulus file; an existing one is reused when its format and
    // length fit the settings (2811 when it cannot be written).
    Status CreateFiles();
    std::string StimulusFile() const;
    std::string ResponseFile(int pass) const;

    int FirstPass() const { return 0; }  // no warm-up stimulus
    int PassCount() const;
    // Gated: two ticks per frequency and pass and one; sweep: two per pass and one.
    int ProgressRange() const;

    Status StartPass(int pass);
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr) {
        return recorder_.OnNotice(message, first, second, error);
    }
    bool PassRunning() const { return recorder_.PassRunning(); }
    Status PassError() const { return recorder_.PassError(); }

    // Every pass referenced and averaged; the gated sine's distortion.
    // 2809 when fewer than 2 points result, 2806 when memory is short.
    // `tick` (may be empty) follows the gated analysis frequency by frequency.
    Status Analyse(const std::function<void()>& tick = {});
    // The same on given files (host paths): the stimulus (unused in probe
    // mode) and one response per pass.
    Status AnalyseFiles(const std::string& stimulusFile, const std::vector<std::string>& responses,
                        const std::function<void()>& tick = {});
    bool Clipped() const { return clipped_; }
    double Delay() const { return delay_; }  // s from the stimulus to the response, of the last pass

    // The result's fields, phase family and compensations.
    Status Complete(const std::string& title);
    Measurement* Result() { return result_.get(); }
    std::unique_ptr<Measurement> TakeResult() { return std::move(result_); }

    // Shuts the engine down and deletes the response files.
    void Finish() { recorder_.Finish(); }

private:
    CompensationStimulus Kind() const {
        return Gated() ? CompensationStimulus::GatedSine : CompensationStimulus::Sweep;
    }
    Status AnalyseChannel(const std::vector<double>& x, uint32_t rate, const std::function<void()>& tick,
                          SineAnalysis& out) const;

    SineMeasurementSetup setup_;
    DuplexPasses recorder_;
    bool clipped_ = false;
    double delay_ = 0;
    int passesAnalysed_ = 0;
    std::unique_ptr<Measurement> result_;
};

Status RunSineMeasurement(SineMeasurement& m, const std::function<bool()>& pump, const std::string& title);
Status RunSineMeasurement(SineMeasurement& m, VirtualLoudspeaker& device, const std::string& title);

}  // namespace srx
