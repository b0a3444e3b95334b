#pragma once
// The recording passes every measurement runs on the wave engine: the
// engine prepared for the measurement's stimulus kind, each pass playing the
// stimulus file while recording a response file, the engine's notices that
// end a pass, and the clean-up (engine shut down, responses deleted).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/wave_engine.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"
#include "resources/status.h"

namespace srx {

class VirtualLoudspeaker;
struct Measurement;
struct MeasurementSetup;

// Where the compensations of a frequency response come from. By default
// the sound card's own response (its compensation file for the setting and
// stimulus), then the microphone and secondary compensations of the
// compensation module; a null entry skips that compensation.
struct CompensationHooks {
    Status (*microphone)(Measurement& m) = nullptr;
    Status (*secondary)(Measurement& m) = nullptr;
    Status (*soundcard)(Measurement& m, const MeasurementSettings& ms, CompensationStimulus kind) = nullptr;
};
CompensationHooks DefaultCompensationHooks();

// Applies them in order: the card first (the other corrections were
// measured through a corrected card), then the microphone; a probe
// measurement has both in its reference channel and is flagged instead.
// The secondary compensation always.
void ApplyCompensations(Measurement& m, const CompensationHooks& hooks, const MeasurementSettings& ms,
                        CompensationStimulus kind, bool probe);

class DuplexPasses {
public:
    DuplexPasses() = default;
    ~DuplexPasses() { Finish(); }
    DuplexPasses(const DuplexPasses&) = delete;
    DuplexPasses& operator=(const DuplexPasses&) = delete;

    // Prepares the engine for `owner` (2810 when the system was never
    // configured), with the sound-card compensation check of `kind`.
    // With `impedance` the engine records in stereo and there is no
    // sound-card compensation to look for.
    Status Prepare(void* owner, const MeasurementSettings& ms, CompensationStimulus kind, const WavePrepareHooks& hooks,
                   bool impedance = false);
    // Opens the input on `response` and the output on `stimulus` (program
    // paths) and starts both (2803, 2802, 2805).
    Status StartPass(int inputDevice, int outputDevice, const std::string& response, const std::string& stimulus);
    // A completion notice of the engine. Answers whether the pass has ended;
    // *error (may be null) receives 2801 when the recording was aborted,
    // 5423 when the output failed (no input notice follows then).
    bool OnNotice(unsigned message, uintptr_t first, intptr_t second, Status* error = nullptr);
    bool PassRunning() const { return passRunning_; }
    // 2801 or 5423 when the last pass ended that way.
    Status PassError() const { return passError_; }
    // Shuts the engine down and deletes the responses recorded.
    void Finish();

private:
    bool prepared_ = false;
    bool passRunning_ = false;
    bool passFailed_ = false;
    Status passError_;
    std::vector<std::string> recorded_;
};

// The set-up block of a result: now, the devices' names and the format of
// the settings; the fields of one kind of measurement are the caller's.
void FillMeasurementSetup(MeasurementSetup& su, const MeasurementSettings& ms, const std::string& inputName,
                          const std::string& outputName);

// What a measurement that records passes offers a headless run.
struct PassSteps {
    std::function<Status(int pass)> start;
    std::function<bool()> running;
    std::function<Status()> error;
};
// Records passes first .. count - 1, pumping until each has ended (`pump`
// answers false when the device has nothing more to deliver).
Status RecordPasses(int first, int count, const PassSteps& steps, const std::function<bool()>& pump);

// The owner handler of a virtual device for measurement `M`, prepared with
// itself as the owner: the engine's notices go to its OnNotice.
template <class M>
void NoticeTo(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    if (owner) static_cast<M*>(owner)->OnNotice(message, first, second);
}

// The first steps of a headless run of measurement `M` (its engine
// prepared with itself as the owner, its stimulus written, every pass
// recorded), pumping the device as RecordPasses does.
template <class M>
Status PrepareAndRecord(M& m, const std::function<bool()>& pump) {
    Status s = m.Prepare(&m);
    if (s) s = m.CreateFiles();
    if (s)
        s = RecordPasses(m.FirstPass(), m.PassCount(),
                         {[&](int pass) { return m.StartPass(pass); }, [&] { return m.PassRunning(); },
                          [&] { return m.PassError(); }},
                         pump);
    return s;
}

// Runs `run` with `device` as the engine's back-end paced by hand, its
// owner notices going to `handler` (with the owner the engine was prepared
// for); `pump` for RecordPasses is handed to `run`. The back-end is put back
// afterwards.
Status RunOnVirtualDevice(VirtualLoudspeaker& device,
                          void (*handler)(void* owner, unsigned message, uintptr_t first, intptr_t second),
                          const std::function<Status(const std::function<bool()>& pump)>& run,
                          const std::function<void()>& finish);

}  // namespace srx
