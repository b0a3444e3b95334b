#pragma once
// The MLS measurement as a sequence of steps on the wave engine: prepare,
// create the stimulus, record each pass (play and record in full duplex),
// analyse the passes into one impulse response, complete its record and
// compute its frequency response. The "MLS" dialog calls the steps one by
// one from its messages; RunMlsMeasurement runs them all headless against a
// device that is pumped by the caller (the virtual loudspeaker in tests and
// in sonrix-cli).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_engine.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "measure/duplex_passes.h"
#include "measure/measurement_settings.h"
#include "measure/mls.h"
#include "resources/status.h"
#include "resources/string_ids.h"

namespace srx {

class VirtualLoudspeaker;

// Messages of the procedure.

struct MlsMeasurementSetup {
    MeasurementSettings settings{};  // a copy: the measurement does not follow later changes
    std::string folder;              // the wave folder
    int outputDevice = kWaveMapper;  // engine device ids
    int inputDevice = kWaveMapper;
    std::string inputName, outputName;  // for the record's set-up block
    CompensationHooks compensation = DefaultCompensationHooks();
    // The analyses' settings, copied where the setup is made: the
    // measurement never writes the process-wide block.
    AnalysisSettings analysis = CurrentAnalysisSettings();
};

class MlsMeasurement {
public:
    explicit MlsMeasurement(MlsMeasurementSetup setup);
    ~MlsMeasurement();
    MlsMeasurement(const MlsMeasurement&) = delete;
    MlsMeasurement& operator=(const MlsMeasurement&) = delete;

    const MlsMeasurementSetup& Setup() const { return setup_; }
    int Order() const;
    uint32_t AnalysisLength() const { return uint32_t(1) << Order(); }
    bool Probe() const;  // stereo with probe compensation on

    // Step 1: prepares the engine (2810 when the system was never
    // configured). `owner` receives the engine's completion notices, which
    // go to OnNotice.
    Status Prepare(void* owner, const WavePrepareHooks& hooks = {});

    // Step 2: the stimulus file; an existing one is reused when its format
    // and length fit the settings (2811 when it cannot be written).
    Status CreateFiles();
    std::string StimulusFile() const;
    std::string ResponseFile(int pass) const;

    // Steps 3 and 6: the passes run from FirstPass() (-1 with a warm-up
    // stimulus) to PassCount() - 1.
    int FirstPass() const;
    int PassCount() const;
    // Progress range: two ticks per pass plus one per option and one.
    int ProgressRange() const;

    // Step 4: opens the input and output and starts both (2803, 2802, 2805).
    Status StartPass(int pass);

    // Step 5: a completion notice of the engine. Answers whether the pass
    // has ended; *error (may be null) receives 2801 when the recording was
    // aborted, 5423 when the output failed (no input notice follows then).
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr);
    bool PassRunning() const { return recorder_.PassRunning(); }
    // 2801 when the last pass ended aborted.
    Status PassError() const { return recorder_.PassError(); }

    // Step 7: the impulse response of every pass, then their average.
    Status Analyse();
    const std::vector<std::unique_ptr<TimeRecord>>& Passes() const { return passes_; }
    // After Analyse: whether any pass's recording reached full scale (the
    // result stands, with a warning), and where the averaged response lies
    // in its period with the noise of the rest.
    bool Clipped() const { return clipped_; }
    const ResponseSpan& ImpulseSpan() const { return span_; }

    // Step 8: the result's fields and its analysis window.
    Status Complete(const std::string& title);

    // Step 9: the frequency response and its compensations (2358).
    Status DoFft();

    TimeRecord* Impulse() { return impulse_.get(); }
    Measurement* Response() { return response_.get(); }
    std::unique_ptr<TimeRecord> TakeImpulse() { return std::move(impulse_); }
    std::unique_ptr<Measurement> TakeResponse() { return std::move(response_); }

    // Shuts the engine down and deletes the response files (every closing
    // does this; the destructor too).
    void Finish();

private:
    MlsMeasurementSetup setup_;
    DuplexPasses recorder_;
    std::vector<std::unique_ptr<TimeRecord>> passes_;
    bool clipped_ = false;
    ResponseSpan span_;
    std::unique_ptr<TimeRecord> impulse_;
    std::unique_ptr<Measurement> response_;
};

// Runs every step: prepare, create files, the passes (pumping the device
// until each pass has ended; `pump` answers false when it has nothing more
// to deliver), analyse, complete and, with "Do FFT", the frequency
// response. Finish is left to the caller (or the destructor).
Status RunMlsMeasurement(MlsMeasurement& m, const std::function<bool()>& pump, const std::string& title);
// The same on a virtual loudspeaker paced by hand; it becomes the engine's
// back-end for the run and its owner handler is the measurement's.
Status RunMlsMeasurement(MlsMeasurement& m, VirtualLoudspeaker& device, const std::string& title);

}  // namespace srx
