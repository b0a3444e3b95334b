// sonrix-cli info FILE...: one JSON object per file describing a native
// record file (".MES", ".TWF"/".STP", ".ETC") or a wave file, each read with
// the program's own readers. A file that cannot be read is reported on
// stderr with the program's message; the exit code is then 1.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "resources/string_table.h"

namespace srx::cli {

namespace {

// Shortest text that reads back as the same double; JSON has no NaN.
std::string Num(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Builds one object's members in order.
class Json {
public:
    Json& Str(const char* key, const std::string& v) { return Raw(key, JsonString(v)); }
    Json& Int(const char* key, long long v) { return Raw(key, std::to_string(v)); }
    Json& Real(const char* key, double v) { return Raw(key, Num(v)); }
    Json& Raw(const char* key, const std::string& v) {
        text_ += (text_.empty() ? "{" : ", ") + JsonString(key) + ": " + v;
        return *this;
    }
    std::string Done() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

std::string SetupJson(const MeasurementSetup& s) {
    std::string date = "[";
    for (int i = 0; i < 6; ++i) date += (i ? ", " : "") + std::to_string(s.dateTime[i]);
    return Json()
        .Raw("date", date + "]")
        .Str("inputDevice", TextOf(s.inputDevice))
        .Str("outputDevice", TextOf(s.outputDevice))
        .Int("channels", s.channels)
        .Int("bitsPerSample", s.bitsPerSample)
        .Int("sampleRate", s.sampleRate)
        .Int("frequenciesPerOctave", s.frequenciesPerOctave)
        .Int("sineCycles", s.sineCycles)
        .Real("windowLength", s.windowLength)
        .Real("windowOffset", s.windowOffset)
        .Real("sweepTimePerOctave", s.sweepTimePerOctave)
        .Real("distance", s.distance)
        .Str("compensationFile", TextOf(s.compensationFile))
        .Int("mlsLengthShown", s.mlsLengthShown)
        .Done();
}

Json Common(const std::string& path, const char* kind, const std::string& signature) {
    Json j;
    j.Str("file", path).Str("kind", kind).Str("signature", signature);
    return j;
}

Status InfoMeasurement(const std::string& path, const std::string& signature, std::string& out) {
    auto m = NewMeasurement(0);
    if (!m) return Status::Error(2318);
    Status s = LoadMeasurement(path, *m);
    if (!s) return s;
    const MeasurementHeader& h = m->h;
    out = Common(path, "measurement", signature)
              .Str("title", TextOf(h.title))
              .Int("flags", h.flags)
              .Int("curveKind", h.curveKind)
              .Int("origin", h.origin)
              .Int("method", h.method)
              .Str("measurementType", MeasurementTypeText(h))
              .Int("points", h.pointCount)
              .Real("firstFrequency", h.firstFrequency)
              .Real("lastFrequency", h.lastFrequency)
              .Real("maxLevel", h.maxLevel)
              .Int("preAverages", h.preAverages)
              .Int("mlsLength", h.mlsLength)
              .Int("windowType", h.windowType)
              .Raw("setup", SetupJson(h.setup))
              .Done();
    return s;
}

Status InfoTimeRecord(const std::string& path, const std::string& signature, std::string& out) {
    auto t = NewTimeRecord({});
    if (!t) return Status::Error(2318);
    Status s = LoadTimeRecord(path, *t);
    if (!s) return s;
    const TimeRecordHeader& h = t->h;
    Json j = Common(path, (h.flags & kTwfStep) ? "step" : "impulse", signature);
    j.Str("title", TextOf(h.title))
        .Int("flags", h.flags)
        .Int("sampleRate", h.sampleRate)
        .Int("samples", h.sampleCount)
        .Real("peak", h.peak)
        .Int("windowStart", h.windowStart)
        .Real("spikeLength", h.spikeLength)
        .Real("fftWindowLength", h.fftWindowLength)
        .Int("preAverages", h.preAverages)
        .Int("mlsLength", h.mlsLength)
        .Int("windowType", h.windowType);
    if (h.flags & kTwfWaterfall)
        j.Raw("waterfall", Json()
                               .Int("slices", h.sliceCount)
                               .Int("pointsPerSlice", h.slicePoints)
                               .Real("firstFrequency", h.waterfallFirstFrequency)
                               .Real("lastFrequency", h.waterfallLastFrequency)
                               .Real("maxLevel", h.waterfallMax)
                               .Done());
    out = j.Raw("setup", SetupJson(h.setup)).Done();
    return s;
}

Status InfoEtc(const std::string& path, const std::string& signature, std::string& out) {
    auto e = NewEtcRecord();
    if (!e) return Status::Error(2318);
    Status s = LoadEtc(path, *e);
    if (!s) return s;
    const EtcRecordHeader& h = e->h;
    out = Common(path, (h.flags & kEtcSchroeder) ? "schroeder" : "etc", signature)
              .Str("title", TextOf(h.title))
              .Int("flags", h.flags)
              .Int("samples", h.sampleCount)
              .Int("windowType", h.windowType)
              .Real("duration", h.duration)
              .Real("rt30", h.rt30)
              .Real("rt60", h.rt60)
              .Raw("setup", SetupJson(h.setup))
              .Done();
    return s;
}

Status InfoWave(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Status::Error(2314);
    WaveFormat format{};
    const uint32_t size = ReadWaveHeader(f, format);
    if (size == 0 || format.blockAlign == 0 || format.channels == 0) {
        std::fclose(f);
        return Status::Error(2316);
    }
    const uint32_t frames = size / format.blockAlign;
    std::vector<double> peak(format.channels, 0.0);
    for (uint32_t i = 0; i < frames && !std::feof(f); ++i)
        for (double& p : peak) p = std::fmax(p, std::fabs(ReadSampleReal(f, format)));
    std::fclose(f);
    std::string peaks = "[";
    for (std::size_t c = 0; c < peak.size(); ++c) peaks += (c ? ", " : "") + Num(peak[c]);
    out = Common(path, "wave", "RIFF")
              .Int("formatTag", format.formatTag)
              .Int("channels", format.channels)
              .Int("sampleRate", format.samplesPerSec)
              .Int("bitsPerSample", format.bitsPerSample)
              .Int("blockAlign", format.blockAlign)
              .Int("frames", frames)
              .Raw("peak", peaks + "]")
              .Done();
    return Status::Ok();
}

// The kind is told by the content, not the name.
Status Describe(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Status::Error(2314);
    char head[12] = {};
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    const std::string signature(head, n < 6 ? n : 6);
    if (n >= 6 && std::strncmp(head, "@MS10", 5) == 0) return InfoMeasurement(path, signature, out);
    if (n >= 6 && std::strncmp(head, "@TW10", 5) == 0) return InfoTimeRecord(path, signature, out);
    if (n >= 6 && std::strncmp(head, "@ET10", 5) == 0) return InfoEtc(path, signature, out);
    if (n == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return InfoWave(path, out);
    return Status::Error(2316);
}

}  // namespace

int RunInfo(int argc, char** argv) {
    if (argc < 1) {
        std::fprintf(stderr, "usage: sonrix-cli info FILE...\n");
        return 2;
    }
    int result = 0;
    for (int i = 0; i < argc; ++i) {
        std::string line;
        const Status s = Describe(argv[i], line);
        if (s) {
            std::printf("%s\n", line.c_str());
        } else {
            std::fprintf(stderr, "sonrix-cli: %s: %s\n", argv[i], StringText(s.stringId));
            result = 1;
        }
    }
    return result;
}

}  // namespace srx::cli
