// sonrix-cli measure mls: a measurement run headless on the virtual
// loudspeaker, saved as native files, summarised as JSON with its accuracy
// against the simulation's truth.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
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
// below the truth's energy, to 0.1 dB; NaN (null in the output) where the
// model's response outlasts the period, which then aliases by design.
double TruthErrorDb(const TimeRecord& rec, const VirtualTruth& truth) {
    const size_t n = rec.samples.size() > 1 ? rec.samples.size() - 1 : 0;
    if (truth.Latency() >= n) return NAN;
    const std::vector<double> full = truth.ImpulseResponse(2 * n);
    const size_t fits = n - truth.Latency();
    double inside = 0, outside = 0;
    for (size_t k = 0; k < full.size(); ++k) (k < fits ? inside : outside) += full[k] * full[k];
    if (!(inside > 0) || outside > 1e-12 * inside) return NAN;
    double err = 0, energy = 0;
    for (size_t k = 0; k < n; ++k) {
        const double want = k >= truth.Latency() ? full[k - truth.Latency()] : 0.0;
        err += (rec.samples[k] - want) * (rec.samples[k] - want);
        energy += want * want;
    }
    return energy > 0 && err > 0 ? std::round(100 * std::log10(err / energy)) / 10 : -300.0;
}

double Decibels(double ratio) { return std::round(200 * std::log10(ratio)) / 10; }

// One "key=value" of --virtual onto the set-up (and the measurement rate).
// Answers an error text, empty when the setting is taken.
std::string ApplyVirtualSetting(const std::string& item, VirtualSetup& setup, uint32_t& rate) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) return "expected key=value: " + item;
    const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
    VirtualAcoustic& a = setup.acoustic;
    if (key == "distortion") {
        a.distortion.clear();
        size_t from = 0;
        while (from <= value.size()) {
            const size_t to = std::min(value.find(':', from), value.size());
            double c = 0;
            if (!ParseFiniteNumber(value.substr(from, to - from), c) || std::fabs(c) > 1e3)
                return "not a coefficient: " + value;
            a.distortion.push_back(c);
            if (a.distortion.size() > 16) return "at most 16 distortion coefficients";
            from = to + 1;
        }
        return {};
    }
    double v = 0;
    if (!ParseFiniteNumber(value, v)) return "not a number: " + item;
    const auto within = [&](double lo, double hi) { return v >= lo && v <= hi; };
    if (key == "latency") {
        // Whole frames, up to ten seconds at the highest rate.
        if (!within(0, 1920000) || v != std::floor(v)) return "latency must be 0..1920000 frames";
        setup.latency = uint32_t(v);
    } else if (key == "noise") {
        if (!within(-200, 20)) return "noise must be -200..20 dBFS";
        a.noiseDb = v;
    } else if (key == "seed") {
        if (!within(0, 4294967295.0) || v != std::floor(v)) return "seed must be a whole number";
        a.noiseSeed = uint32_t(v);
    } else if (key == "gain") {
        if (!within(0, 1000)) return "gain must be 0..1000";
        a.gain = v;
    } else if (key == "dc") {
        if (!within(-1, 1)) return "dc must be -1..1";
        a.dc = v;
    } else if (key == "rate") {
        const auto known = std::find(std::begin(kVirtualRates), std::end(kVirtualRates), v);
        if (known == std::end(kVirtualRates)) return "rate must be one the device opens with (5513..192000 Hz)";
        rate = *known;
    } else {
        return "unknown setting: " + key;
    }
    return {};
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

    VirtualSetup device;
    for (const std::string& item : o.virtualSettings) {
        uint32_t rate = ms.sampleRate;
        const std::string error = ApplyVirtualSetting(item, device, rate);
        if (!error.empty()) {
            std::cerr << "sonrix-cli: --virtual: " << error << std::endl;
            return 2;
        }
        ms.sampleRate = rate;
    }
    VirtualLoudspeaker speaker(device);
    const VirtualTruth truth = speaker.Truth(ms.sampleRate);
    std::unique_ptr<TimeRecord> impulse;
    std::unique_ptr<Measurement> response;
    Status s;
    bool clipped = false;
    ResponseSpan span;
    {
        MlsMeasurement m(setup);
        s = RunMlsMeasurement(m, speaker, "Virtual Loudspeaker");
        clipped = m.Clipped();
        span = m.ImpulseSpan();
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
             {"clipped", clipped},
             {"noiseFloorDb", Decibels(span.noiseRms)},
             {"snrDb", Decibels(span.peak / span.noiseRms)},
             {"errorDb", TruthErrorDb(*impulse, truth)}};
    if (clipped) Tell(Status::Error(kStrInputOverload));
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
