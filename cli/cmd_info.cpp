// sonrix-cli info FILE...: one JSON object per file describing a native
// record file (".MES", ".TWF"/".STP", ".ETC") or a wave file, each read with
// the program's own readers. A file that cannot be read is reported on
// stderr with the program's message; the exit code is then 1.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "cli/commands.h"
#include "data/native_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

Json SetupJson(const MeasurementSetup& s) {
    std::vector<int> date;
    for (int i = 0; i < 6; ++i) date.push_back(Value(s.dateTime[i]));
    return Json{{"date", date},
                {"inputDevice", FileText(TextOf(s.inputDevice))},
                {"outputDevice", FileText(TextOf(s.outputDevice))},
                {"channels", Value(s.channels)},
                {"bitsPerSample", Value(s.bitsPerSample)},
                {"sampleRate", Value(s.sampleRate)},
                {"frequenciesPerOctave", Value(s.frequenciesPerOctave)},
                {"sineCycles", Value(s.sineCycles)},
                {"windowLength", Value(s.windowLength)},
                {"windowOffset", Value(s.windowOffset)},
                {"sweepTimePerOctave", Value(s.sweepTimePerOctave)},
                {"distance", Value(s.distance)},
                {"compensationFile", FileText(TextOf(s.compensationFile))},
                {"mlsLengthShown", Value(s.mlsLengthShown)}};
}

Json Common(const std::string& path, const char* kind, const std::string& signature) {
    return Json{{"file", path}, {"kind", kind}, {"signature", FileText(signature)}};
}

Status InfoMeasurement(const std::string& path, const std::string& signature, Json& out) {
    auto m = NewMeasurement(0);
    if (!m) return Status::Error(kStrOutOfMemory);
    Status s = LoadMeasurement(path, *m);
    if (!s) return s;
    const MeasurementHeader& h = m->h;
    out = Common(path, "measurement", signature);
    out["title"] = FileText(TextOf(h.title));
    out["flags"] = Value(h.flags);
    out["curveKind"] = Value(h.curveKind);
    out["origin"] = Value(h.origin);
    out["method"] = Value(h.method);
    out["measurementType"] = FileText(MeasurementTypeText(h));
    out["points"] = Value(h.pointCount);
    out["firstFrequency"] = Value(h.firstFrequency);
    out["lastFrequency"] = Value(h.lastFrequency);
    out["maxLevel"] = Value(h.maxLevel);
    out["preAverages"] = Value(h.preAverages);
    out["mlsLength"] = Value(h.mlsLength);
    out["windowType"] = Value(h.windowType);
    out["setup"] = SetupJson(h.setup);
    return s;
}

Status InfoTimeRecord(const std::string& path, const std::string& signature, Json& out) {
    auto t = NewTimeRecord({});
    if (!t) return Status::Error(kStrOutOfMemory);
    Status s = LoadTimeRecord(path, *t);
    if (!s) return s;
    const TimeRecordHeader& h = t->h;
    out = Common(path, (h.flags & kTwfStep) ? "step" : "impulse", signature);
    out["title"] = FileText(TextOf(h.title));
    out["flags"] = Value(h.flags);
    out["sampleRate"] = Value(h.sampleRate);
    out["samples"] = Value(h.sampleCount);
    out["peak"] = Value(h.peak);
    out["windowStart"] = Value(h.windowStart);
    out["spikeLength"] = Value(h.spikeLength);
    out["fftWindowLength"] = Value(h.fftWindowLength);
    out["preAverages"] = Value(h.preAverages);
    out["mlsLength"] = Value(h.mlsLength);
    out["windowType"] = Value(h.windowType);
    if (h.flags & kTwfWaterfall)
        out["waterfall"] = Json{{"slices", Value(h.sliceCount)},
                                {"pointsPerSlice", Value(h.slicePoints)},
                                {"firstFrequency", Value(h.waterfallFirstFrequency)},
                                {"lastFrequency", Value(h.waterfallLastFrequency)},
                                {"maxLevel", Value(h.waterfallMax)}};
    out["setup"] = SetupJson(h.setup);
    return s;
}

Status InfoEtc(const std::string& path, const std::string& signature, Json& out) {
    auto e = NewEtcRecord();
    if (!e) return Status::Error(kStrOutOfMemory);
    Status s = LoadEtc(path, *e);
    if (!s) return s;
    const EtcRecordHeader& h = e->h;
    out = Common(path, (h.flags & kEtcSchroeder) ? "schroeder" : "etc", signature);
    out["title"] = FileText(TextOf(h.title));
    out["flags"] = Value(h.flags);
    out["samples"] = Value(h.sampleCount);
    out["windowType"] = Value(h.windowType);
    out["duration"] = Value(h.duration);
    out["rt30"] = Value(h.rt30);
    out["rt60"] = Value(h.rt60);
    out["setup"] = SetupJson(h.setup);
    return s;
}

Status InfoWave(const std::string& path, Json& out) {
    FilePtr f = OpenForReading(path);
    if (!f) return Status::Error(kStrCantOpen);
    WaveFormat format{};
    const uint32_t size = ReadWaveHeader(f.get(), format);
    if (size == 0 || format.blockAlign == 0 || format.channels == 0) return Status::Error(kStrReadError);
    const uint32_t frames = size / format.blockAlign;
    std::vector<double> peak(format.channels, 0.0);
    for (uint32_t i = 0; i < frames && !std::feof(f.get()); ++i)
        for (double& p : peak) p = std::fmax(p, std::fabs(ReadSampleReal(f.get(), format)));
    out = Common(path, "wave", "RIFF");
    out["formatTag"] = Value(format.formatTag);
    out["channels"] = Value(format.channels);
    out["sampleRate"] = Value(format.samplesPerSec);
    out["bitsPerSample"] = Value(format.bitsPerSample);
    out["blockAlign"] = Value(format.blockAlign);
    out["frames"] = frames;
    out["peak"] = peak;
    return Status::Ok();
}

// The kind is told by the content, not the name.
Status Describe(const std::string& path, Json& out) {
    char head[12] = {};
    std::size_t n = 0;
    {
        FilePtr f = OpenForReading(path);
        if (!f) return Status::Error(kStrCantOpen);
        n = std::fread(head, 1, sizeof head, f.get());
    }
    const std::string signature(head, n < 6 ? n : 6);
    if (n >= 6 && std::strncmp(head, "@MS10", 5) == 0) return InfoMeasurement(path, signature, out);
    if (n >= 6 && std::strncmp(head, "@TW10", 5) == 0) return InfoTimeRecord(path, signature, out);
    if (n >= 6 && std::strncmp(head, "@ET10", 5) == 0) return InfoEtc(path, signature, out);
    if (n == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return InfoWave(path, out);
    return Status::Error(kStrReadError);
}

}  // namespace

int RunInfo(const std::vector<std::string>& files) {
    int result = 0;
    for (const std::string& path : files) {
        Json object;
        const Status s = Describe(path, object);
        if (s) Print(object);
        else result = Fail(s, path);
    }
    return result;
}

}  // namespace srx::cli
