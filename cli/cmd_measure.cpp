// sonrix-cli measure mls: a measurement run headless on the virtual
// loudspeaker, saved as native files, summarised as JSON with its accuracy
// against the simulation's truth.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <filesystem>
#include <memory>
#include <sstream>
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

// A numeric field of the set-up that --virtual may set, with its range.
struct VirtualField {
    const char* key;
    double lo, hi;
    bool whole;
    void (*set)(VirtualSetup& s, double v);
};

const VirtualField kVirtualFields[] = {
    // Whole frames, up to ten seconds at the highest rate.
    {"latency", 0, 1920000, true, [](VirtualSetup& s, double v) { s.latency = uint32_t(v); }},
    {"noise", -200, 20, false, [](VirtualSetup& s, double v) { s.acoustic.noiseDb = v; }},
    {"seed", 0, 4294967295.0, true, [](VirtualSetup& s, double v) { s.acoustic.noiseSeed = uint32_t(v); }},
    {"gain", 0, 1000, false, [](VirtualSetup& s, double v) { s.acoustic.gain = v; }},
    {"dc", -1, 1, false, [](VirtualSetup& s, double v) { s.acoustic.dc = v; }},
    {"speaker", 0, 1, true, [](VirtualSetup& s, double v) { s.acoustic.speaker = v != 0; }},
    {"lowCutoff", 1, 20000, false, [](VirtualSetup& s, double v) { s.acoustic.lowCutoff = v; }},
    {"lowQ", 0.1, 20, false, [](VirtualSetup& s, double v) { s.acoustic.lowQ = v; }},
    {"highCutoff", 100, 90000, false, [](VirtualSetup& s, double v) { s.acoustic.highCutoff = v; }},
    {"highQ", 0.1, 20, false, [](VirtualSetup& s, double v) { s.acoustic.highQ = v; }},
    {"peakFrequency", 10, 90000, false, [](VirtualSetup& s, double v) { s.acoustic.peakFrequency = v; }},
    {"peakGainDb", -40, 40, false, [](VirtualSetup& s, double v) { s.acoustic.peakGainDb = v; }},
    {"peakQ", 0.1, 50, false, [](VirtualSetup& s, double v) { s.acoustic.peakQ = v; }},
    {"reflectionGain", -1, 1, false, [](VirtualSetup& s, double v) { s.acoustic.reflectionGain = v; }},
    {"reflectionDelay", 0, 1920000, true, [](VirtualSetup& s, double v) { s.acoustic.reflectionDelay = uint32_t(v); }},
    {"jig", 0, 1, true,
     [](VirtualSetup& s, double v) { s.mode = v != 0 ? VirtualMode::kImpedanceJig : VirtualMode::kAcoustic; }},
    {"boxVersion", 0, 3, true, [](VirtualSetup& s, double v) { s.boxVersion = int(v); }},
    {"re", 0.1, 1000, false, [](VirtualSetup& s, double v) { s.driver.re = v; }},
    {"le", 0, 1, false, [](VirtualSetup& s, double v) { s.driver.le = v; }},
    {"fs", 1, 20000, false, [](VirtualSetup& s, double v) { s.driver.fs = v; }},
    {"qms", 0.1, 100, false, [](VirtualSetup& s, double v) { s.driver.qms = v; }},
    {"qes", 0.05, 100, false, [](VirtualSetup& s, double v) { s.driver.qes = v; }},
    {"vented", 0, 1, true, [](VirtualSetup& s, double v) { s.driver.vented = v != 0; }},
    {"alpha", 0.01, 100, false, [](VirtualSetup& s, double v) { s.driver.alpha = v; }},
    {"fb", 1, 20000, false, [](VirtualSetup& s, double v) { s.driver.fb = v; }},
    {"ql", 0, 1e4, false, [](VirtualSetup& s, double v) { s.driver.ql = v; }},
    // SI units: m^2, m^3, kg, m^3 (the loads of the two-curve T/S methods).
    {"sd", 0, 10, false, [](VirtualSetup& s, double v) { s.driver.sd = v; }},
    {"vas", 0, 100, false, [](VirtualSetup& s, double v) { s.driver.vas = v; }},
    {"mass", 0, 100, false, [](VirtualSetup& s, double v) { s.driver.mass = v; }},
    {"box", 0, 100, false, [](VirtualSetup& s, double v) { s.driver.box = v; }},
    // The jig's load: 0 driver, 1 R, 2 R + L, 3 R + C; its current channel.
    {"load", 0, 3, true, [](VirtualSetup& s, double v) { s.jig.load = VirtualLoad(int(v)); }},
    {"loadR", 0, 1e7, false, [](VirtualSetup& s, double v) { s.jig.loadR = v; }},
    {"loadL", 0, 100, false, [](VirtualSetup& s, double v) { s.jig.loadL = v; }},
    {"loadC", 0, 100, false, [](VirtualSetup& s, double v) { s.jig.loadC = v; }},
    {"currentGain", 0.01, 100, false, [](VirtualSetup& s, double v) { s.jig.currentGain = v; }},
    {"currentCorner", 0, 1e6, false, [](VirtualSetup& s, double v) { s.jig.currentCorner = v; }},
};

}  // namespace

std::string VirtualSettingKeys() {
    std::string keys;
    for (const VirtualField& f : kVirtualFields) keys += std::string(f.key) + ", ";
    return keys + "distortion, rate";
}

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
    if (key == "rate") {
        const auto known = std::find(std::begin(kVirtualRates), std::end(kVirtualRates), v);
        if (known == std::end(kVirtualRates)) return "rate must be one the device opens with (5513..192000 Hz)";
        rate = *known;
        return {};
    }
    for (const VirtualField& f : kVirtualFields) {
        if (key != f.key) continue;
        if (!(v >= f.lo && v <= f.hi) || (f.whole && v != std::floor(v))) {
            std::ostringstream range;
            range << key << " must be " << (f.whole ? "a whole number " : "") << "in " << f.lo << ".." << f.hi;
            return range.str();
        }
        f.set(setup, v);
        return {};
    }
    return "unknown setting: " + key + " (known: " + VirtualSettingKeys() + ")";
}

Status ApplyVirtualSettings(const std::vector<std::string>& items, VirtualSetup& setup, uint32_t& rate,
                            std::string& error) {
    for (const std::string& item : items) {
        error = ApplyVirtualSetting(item, setup, rate);
        if (!error.empty()) return Status::Error(kStrInvalidValues);
    }
    return Status::Ok();
}

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

    // --rate, --reflection and --noise are shorthands of --virtual settings,
    // which follow them and may override them.
    std::vector<std::string> items;
    if (o.rate > 0) items.push_back("rate=" + std::to_string(o.rate));
    if (!o.reflection.empty()) {
        const size_t colon = o.reflection.find(':');
        if (colon == std::string::npos) {
            std::cerr << "sonrix-cli: --reflection: expected GAIN:FRAMES: " << o.reflection << std::endl;
            return 2;
        }
        items.push_back("reflectionGain=" + o.reflection.substr(0, colon));
        items.push_back("reflectionDelay=" + o.reflection.substr(colon + 1));
    }
    if (o.noise > -200) {
        std::ostringstream noise;
        noise.precision(17);
        noise << "noise=" << o.noise;
        items.push_back(noise.str());
    }
    items.insert(items.end(), o.virtualSettings.begin(), o.virtualSettings.end());
    VirtualSetup device;
    std::string error;
    if (!ApplyVirtualSettings(items, device, ms.sampleRate, error)) {
        std::cerr << "sonrix-cli: --virtual: " << error << std::endl;
        return 2;
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
