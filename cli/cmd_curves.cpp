// sonrix-cli smooth, normalize, average, merge and resample: the curve
// operations on saved curves (and on the waterfall of a saved impulse).
#include <algorithm>
#include <cctype>
#include <iostream>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "data/native_files.h"
#include "data/records.h"
#include "dsp/curve_operations.h"
#include "dsp/frequency_response.h"
#include "dsp/impulse_analyses.h"
#include "measure/measurement_settings.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

// A waterfall lives in an impulse file; everything else is a curve.
bool IsTimeFile(const std::string& path) {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".TWF";
}

Json CurveSummary(const std::string& path, const Measurement& m) {
    return Json{{"file", path},
                {"points", Value(m.h.pointCount)},
                {"firstFrequency", Value(m.h.firstFrequency)},
                {"lastFrequency", Value(m.h.lastFrequency)},
                {"maxLevel", Value(m.h.maxLevel)}};
}

int SaveCurve(Measurement& m, const std::string& path) {
    const Status s = SaveMeasurement(m, path);
    if (!s) return Fail(s, path);
    Print(CurveSummary(path, m));
    return 0;
}

int SaveWaterfall(TimeRecord& t, const std::string& path) {
    const Status s = SaveTimeRecord(t, path);
    if (!s) return Fail(s, path);
    Print(Json{{"file", path}, {"slices", Value(t.h.sliceCount)}, {"maxLevel", Value(t.h.waterfallMax)}});
    return 0;
}

// Reads the inputs in order after refusing an output that is one of them.
Status LoadCurves(const std::vector<std::string>& paths, const std::string& output, std::vector<Measurement>& curves,
                  std::string& failed) {
    for (const std::string& p : paths)
        if (SameFile(p, output)) return Status::Error(kStrOutputIsInput, {output});
    curves.resize(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        const Status s = LoadMeasurement(paths[i], curves[i]);
        if (!s) {
            failed = paths[i];
            return s;
        }
    }
    return Status::Ok();
}

// The same file named twice is the same curve chosen twice.
Status CheckDistinct(const std::vector<std::string>& paths) {
    for (size_t i = 0; i < paths.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameFile(paths[i], paths[j])) return Status::Error(kStrDuplicateCurves);
    return Status::Ok();
}

}  // namespace

int RunSmooth(const CurveOptions& o) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    if (IsTimeFile(o.input)) {
        TimeRecord t;
        const Status s = LoadTimeRecord(o.input, t);
        if (!s) return Fail(s, o.input);
        if (t.slices.empty()) return Fail(Status::Error(kStrNotAnalysed), o.input);
        SmoothWaterfall(t, o.fraction, o.method);
        return SaveWaterfall(t, o.output);
    }
    Measurement m;
    const Status s = LoadMeasurement(o.input, m);
    if (!s) return Fail(s, o.input);
    if (!SmoothingAllowed(MeasurementPointsPerOctave(m), o.fraction)) return Fail(Status::Error(kStrInvalidValues), o.input);
    if (!SmoothMeasurement(m, o.fraction, o.method, DefaultAnalysisSettings()))
        return Fail(Status::Error(kStrInvalidValues), o.input);
    return SaveCurve(m, o.output);
}

int RunNormalize(const CurveOptions& o) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    double f = o.frequency;
    if (IsTimeFile(o.input)) {
        TimeRecord t;
        Status s = LoadTimeRecord(o.input, t);
        if (!s) return Fail(s, o.input);
        if (t.slices.empty()) return Fail(Status::Error(kStrNotAnalysed), o.input);
        if (o.shiftGiven) ShiftLevels(t, o.shift);
        else {
            s = CheckNormalizeFrequency(o.frequency, t.h.waterfallFirstFrequency, t.h.waterfallLastFrequency, &f);
            if (!s) return Fail(s, o.input);
            NormalizeWaterfall(t, f);
        }
        return SaveWaterfall(t, o.output);
    }
    Measurement m;
    Status s = LoadMeasurement(o.input, m);
    if (!s) return Fail(s, o.input);
    if (m.h.curveKind == kCurveImpedance) return Fail(Status::Error(kStrInvalidValues), o.input);
    if (o.shiftGiven) ShiftLevels(m, o.shift);
    else {
        s = CheckNormalizeFrequency(o.frequency, m.h.firstFrequency, m.h.lastFrequency, &f);
        if (!s) return Fail(s, o.input);
        NormalizeAt(m, f);
    }
    return SaveCurve(m, o.output);
}

int RunAverage(const CurveOptions& o) {
    std::vector<Measurement> curves;
    std::string failed;
    Status s = CheckDistinct(o.inputs);
    if (!s) return Fail(s);
    s = LoadCurves(o.inputs, o.output, curves, failed);
    if (!s) return Fail(s, failed);
    std::vector<const Measurement*> chosen;
    for (const Measurement& m : curves) {
        if (m.h.curveKind == kCurveImpedance) return Fail(Status::Error(kStrInvalidValues), TextOf(m.h.path));
        chosen.push_back(&m);
    }
    Status error;
    std::unique_ptr<Measurement> m = AverageCurves(chosen, o.average, o.title, DefaultAnalysisSettings(), &error);
    if (!m) return Fail(error);
    return SaveCurve(*m, o.output);
}

int RunMerge(const CurveOptions& o) {
    // FILE,near|far,VALUE[,rev]: split from the right, so that a comma in
    // the file name stays in it.
    std::vector<std::string> paths;
    std::vector<MergeCurve> spec;
    for (const std::string& item : o.curves) {
        std::string rest = item;
        bool reverse = false;
        auto lastField = [&]() {
            const size_t comma = rest.rfind(',');
            std::string field = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            rest = comma == std::string::npos ? rest : rest.substr(0, comma);
            return field;
        };
        std::string field = lastField();
        if (field == "rev") {
            reverse = true;
            field = lastField();
        }
        double value = 0;
        const std::string valueText = field;
        const std::string kind = lastField();
        if ((kind != "near" && kind != "far") || !ParseFiniteNumber(valueText, value) || rest.empty()) {
            std::cerr << "sonrix-cli: --curve: expected FILE,near|far,VALUE[,rev]: " << item << std::endl;
            return 2;
        }
        paths.push_back(rest);
        MergeCurve c;
        c.nearField = kind == "near";
        c.reversePhase = reverse;
        c.value = value;
        spec.push_back(c);
    }
    Status s = CheckDistinct(paths);
    if (!s) return Fail(s);
    std::vector<Measurement> curves;
    std::string failed;
    s = LoadCurves(paths, o.output, curves, failed);
    if (!s) return Fail(s, failed);
    for (size_t i = 0; i < curves.size(); ++i) spec[i].curve = &curves[i];

    MergeParameters p;
    p.spliceFrequency = o.splice;
    p.baffleWidthMm = o.baffleMm;
    p.simulateBaffle = o.baffleMm > 0;
    MeasurementSettings ms;
    ResetMeasurementDefaults(ms);
    p.speedOfSound = ms.speedOfSound;
    int offending = -1;
    s = PrepareMerge(spec, p, &offending);
    if (!s) return Fail(s, offending >= 0 ? paths[size_t(offending)] : std::string());
    Status error;
    std::unique_ptr<Measurement> m = MergeCurves(spec, p, o.title, DefaultAnalysisSettings(), &error);
    if (!m) return Fail(error);
    const Status saved = SaveMeasurement(*m, o.output);
    if (!saved) return Fail(saved, o.output);
    Json out = CurveSummary(o.output, *m);
    out["spliceFrequency"] = p.spliceFrequency;
    out["baffleWidthMm"] = p.baffleWidthMm;
    Print(out);
    return 0;
}

int RunResample(const CurveOptions& o) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    Measurement m;
    const Status s = LoadMeasurement(o.input, m);
    if (!s) return Fail(s, o.input);
    const double start = o.start > 0 ? o.start : double(m.h.firstFrequency);
    const double end = o.end > 0 ? o.end : double(m.h.lastFrequency);
    const int ppo = o.ppo > 0 ? o.ppo : std::max(1, MeasurementPointsPerOctave(m));
    if (!(end >= start)) return Fail(Status::Error(kStrInvalidValues));
    if (!ResampleCurve(m, o.keepLow, start, end, ppo, DefaultAnalysisSettings()))
        return Fail(Status::Error(kStrEmptyGrid), o.input);
    return SaveCurve(m, o.output);
}

}  // namespace srx::cli
