// sonrix-cli measure: a measurement run headless on the virtual
// loudspeaker, saved as native files, summarised as JSON with its accuracy
// against the simulation's truth.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <unistd.h>

#include "audio/virtual_device.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "measure/mls_measurement.h"
#include "resources/string_table.h"

namespace srx::cli {

namespace {

constexpr const char* kUsage =
    "usage: sonrix-cli measure mls --device virtual [--order N] [--passes N] OUT.TWF [OUT.MES]\n"
    "  --order 2..24 (default 13), --passes 1..16 (default 1); OUT.MES asks for the frequency response\n";

bool ParseInt(const char* text, int lo, int hi, int* out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

// Error energy of the impulse (latency removed) against the truth, in dB
// below the truth's energy.
double TruthErrorDb(const TimeRecord& rec, const VirtualTruth& truth) {
    const size_t n = rec.samples.size() > 1 ? rec.samples.size() - 1 : 0;
    const std::vector<double> h = truth.ImpulseResponse(n);
    double err = 0, energy = 0;
    for (size_t k = 0; k < n; ++k) {
        const double want = k >= truth.Latency() ? h[k - truth.Latency()] : 0.0;
        err += (rec.samples[k] - want) * (rec.samples[k] - want);
        energy += want * want;
    }
    return energy > 0 && err > 0 ? 10 * std::log10(err / energy) : -300.0;
}

int Fail(const Status& s, const std::string& what) {
    std::fprintf(stderr, "sonrix-cli: %s%s%s\n", what.c_str(), what.empty() ? "" : ": ",
                 StringText(s.stringId));
    return 1;
}

int RunMeasureMls(int argc, char** argv) {
    std::string device, twf, mes;
    int order = 13, passes = 1;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(a, "--device") == 0 && hasValue) {
            device = argv[++i];
        } else if (std::strcmp(a, "--order") == 0 && hasValue && ParseInt(argv[i + 1], 2, 24, &order)) {
            ++i;
        } else if (std::strcmp(a, "--passes") == 0 && hasValue && ParseInt(argv[i + 1], 1, 16, &passes)) {
            ++i;
        } else if (a[0] != '-' && twf.empty()) {
            twf = a;
        } else if (a[0] != '-' && mes.empty()) {
            mes = a;
        } else {
            std::fprintf(stderr, "sonrix-cli measure mls: bad argument \"%s\"\n%s", a, kUsage);
            return 2;
        }
    }
    if (twf.empty() || device != "virtual") {
        if (!device.empty() && device != "virtual")
            std::fprintf(stderr, "sonrix-cli measure mls: no device \"%s\" (only \"virtual\")\n", device.c_str());
        std::fputs(kUsage, stderr);
        return 2;
    }

    MlsMeasurementSetup setup;
    ResetMeasurementDefaults(setup.settings);
    MeasurementSettings& ms = setup.settings;
    ms.sampleRate = 44100;
    ms.channels = 1;
    ms.bitsPerSample = 24;
    ms.mlsOrder = uint32_t(order);
    ms.mlsPreAverages = uint32_t(passes);
    if (mes.empty()) ms.flags &= ~kMsfMlsDoFft;
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
    if (!s) return Fail(s, "");
    s = SaveTimeRecord(*impulse, twf);
    if (!s) return Fail(s, twf);
    if (response) {
        s = SaveMeasurement(*response, mes);
        if (!s) return Fail(s, mes);
    }

    std::printf(
        "{\"file\": %s, \"device\": %s, \"order\": %d, \"sequenceLength\": %d, \"passes\": %d, "
        "\"sampleRate\": %d, \"samples\": %d, \"windowStart\": %d, \"peak\": %.6g, \"latency\": %u, "
        "\"errorDb\": %.1f",
        JsonString(twf).c_str(), JsonString(kVirtualDeviceName).c_str(), order, int(impulse->h.mlsLength), passes,
        int(impulse->h.sampleRate), int(impulse->h.sampleCount), int(impulse->h.windowStart),
        double(impulse->h.peak), truth.Latency(), TruthErrorDb(*impulse, truth));
    if (response)
        std::printf(", \"response\": %s, \"points\": %d, \"firstFrequency\": %.6g, \"lastFrequency\": %.6g",
                    JsonString(mes).c_str(), int(response->h.pointCount), double(response->h.firstFrequency),
                    double(response->h.lastFrequency));
    std::printf("}\n");
    return 0;
}

}  // namespace

int RunMeasure(int argc, char** argv) {
    if (argc >= 1 && std::strcmp(argv[0], "mls") == 0) return RunMeasureMls(argc - 1, argv + 1);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace srx::cli
