// sonrix-cli measure mls: a measurement run headless on the virtual
// loudspeaker, saved as native files, summarised as JSON with its accuracy
// against the simulation's truth.
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <unistd.h>

#include "audio/virtual_device.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "measure/mls_measurement.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

// Error energy of the impulse (latency removed) against the truth, in dB
// below the truth's energy, to 0.1 dB.
double TruthErrorDb(const TimeRecord& rec, const VirtualTruth& truth) {
    const size_t n = rec.samples.size() > 1 ? rec.samples.size() - 1 : 0;
    const std::vector<double> h = truth.ImpulseResponse(n);
    double err = 0, energy = 0;
    for (size_t k = 0; k < n; ++k) {
        const double want = k >= truth.Latency() ? h[k - truth.Latency()] : 0.0;
        err += (rec.samples[k] - want) * (rec.samples[k] - want);
        energy += want * want;
    }
    return energy > 0 && err > 0 ? std::round(100 * std::log10(err / energy)) / 10 : -300.0;
}

}  // namespace

int RunMeasureMls(const MlsOptions& o) {
    // Refused before the run: the second save would replace the first.
    if (!o.response.empty() && SameFile(o.impulse, o.response))
        return Fail(Status::Error(kStrOutputIsInput, {o.response}));

    MlsMeasurementSetup setup;
    ResetMeasurementDefaults(setup.settings);
    MeasurementSettings& ms = setup.settings;
    ms.sampleRate = 44100;
    ms.channels = 1;
    ms.bitsPerSample = 24;
    ms.mlsOrder = uint32_t(o.order);
    ms.mlsPreAverages = uint32_t(o.passes);
    if (o.response.empty()) ms.flags &= ~kMsfMlsDoFft;
    else ms.flags |= kMsfMlsDoFft;
    setup.compensation = {};  // no compensation files belong to the virtual microphone
    setup.inputName = setup.outputName = kVirtualDeviceName;
    setup.outputDevice = setup.inputDevice = 0;
    // The wave files live in a folder of this run's own.
    std::error_code ec;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path(ec) / ("sonrix-cli-mls-" + std::to_string(getpid()));
    setup.folder = folder.string();

    VirtualLoudspeaker speaker;
    const VirtualTruth truth = speaker.Truth(ms.sampleRate);
    std::unique_ptr<TimeRecord> impulse;
    std::unique_ptr<Measurement> response;
    Status s;
    {
        MlsMeasurement m(setup);
        s = RunMlsMeasurement(m, speaker, "Virtual Loudspeaker");
        impulse = m.TakeImpulse();
        response = m.TakeResponse();
    }
    std::filesystem::remove_all(folder, ec);
    if (!s) return Fail(s);
    s = SaveTimeRecord(*impulse, o.impulse);
    if (!s) return Fail(s, o.impulse);
    if (response) {
        s = SaveMeasurement(*response, o.response);
        if (!s) return Fail(s, o.response);
    }

    Json out{{"file", o.impulse},
             {"device", kVirtualDeviceName},
             {"order", o.order},
             {"sequenceLength", Value(impulse->h.mlsLength)},
             {"passes", o.passes},
             {"sampleRate", Value(impulse->h.sampleRate)},
             {"samples", Value(impulse->h.sampleCount)},
             {"windowStart", Value(impulse->h.windowStart)},
             {"peak", Value(impulse->h.peak)},
             {"latency", truth.Latency()},
             {"errorDb", TruthErrorDb(*impulse, truth)}};
    if (response) {
        out["response"] = o.response;
        out["points"] = Value(response->h.pointCount);
        out["firstFrequency"] = Value(response->h.firstFrequency);
        out["lastFrequency"] = Value(response->h.lastFrequency);
    }
    Print(out);
    return 0;
}

}  // namespace srx::cli
