// sonrix-cli etc, step, waterfall, invert and to-impulse: the analyses of a
// saved impulse response, and the impulse response of a saved curve.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "data/native_files.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "dsp/impulse_analyses.h"
#include "dsp/window.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

namespace {

// Loads the input after refusing an output that would replace it; the
// exit code of the failure (its message told), -1 when loaded.
int LoadInput(const IrOptions& o, TimeRecord& rec) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    if (Status s = LoadTimeRecord(o.input, rec); !s) return Fail(s, o.input);
    return -1;
}

int KnownWindow(int requested, int recordType) {
    if (requested >= 0) return requested;
    return (recordType >= kWindowRectangular && recordType <= kWindowBlackmanHarris) ? recordType : kWindowHanning;
}

double LengthSeconds(const IrOptions& o, const TimeRecord& rec) {
    return std::isnan(o.lengthMs) ? DefaultAnalysisLength(rec) : o.lengthMs / 1000.0;
}

}  // namespace

int RunEtc(const IrOptions& o) {
    TimeRecord rec;
    if (const int code = LoadInput(o, rec); code >= 0) return code;
    Status s;
    Status error;
    std::unique_ptr<EtcRecord> e = MakeEnergyTimeCurve(rec, LengthSeconds(o, rec), KnownWindow(o.window, rec.h.windowType), &error);
    if (!e) return Fail(error, o.input);
    s = SaveEtc(*e, o.output);
    if (!s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"samples", Value(e->h.sampleCount)},
               {"sampleRate", Value(e->h.sampleRate)},
               {"windowType", Value(e->h.windowType)},
               {"span", Value(e->h.duration)},
               {"markerStart", Value(e->h.markerStart)},
               {"markerEnd", Value(e->h.markerEnd)}});
    return 0;
}

int RunStep(const IrOptions& o) {
    TimeRecord rec;
    if (const int code = LoadInput(o, rec); code >= 0) return code;
    Status s;
    Status error;
    std::unique_ptr<TimeRecord> t = MakeStepResponse(rec, LengthSeconds(o, rec), &error);
    if (!t) return Fail(error, o.input);
    s = SaveTimeRecord(*t, o.output);
    if (!s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"samples", Value(t->h.sampleCount)},
               {"sampleRate", Value(t->h.sampleRate)},
               {"peak", Value(t->h.peak)},
               {"final", t->samples.empty() ? 0.0 : double(t->samples.back())}});
    return 0;
}

int RunWaterfall(const IrOptions& o) {
    TimeRecord rec;
    if (const int code = LoadInput(o, rec); code >= 0) return code;
    Status s;
    AnalysisSettings settings = DefaultAnalysisSettings();
    settings.windowType = KnownWindow(o.window, rec.h.windowType);
    WaterfallParameters p;
    p.pointsPerOctave = o.ppo > 0 ? o.ppo : PointsPerOctaveFor(rec, settings);
    p.startFrequency = o.start;
    p.endFrequency = o.end;
    const double stored = rec.h.furtherTime;
    p.spanSeconds = o.spanMs > 0 ? o.spanMs / 1000.0 : (stored > 0 ? stored : double(rec.h.fftWindowLength));
    p.resolution = o.resolution >= 0 ? o.resolution : rec.h.waterfallSetting;
    p.sliding = o.sliding;
    s = ComputeWaterfall(rec, p, settings);
    if (!s) return Fail(s, o.input);
    s = SaveTimeRecord(rec, o.output);
    if (!s) return Fail(s, o.output);
    Json out{{"file", o.output},
             {"slices", Value(rec.h.sliceCount)},
             {"points", Value(rec.h.slicePoints)},
             {"firstFrequency", Value(rec.h.waterfallFirstFrequency)},
             {"lastFrequency", Value(rec.h.waterfallLastFrequency)},
             {"span", Value(rec.h.furtherTime)},
             {"resolution", Value(rec.h.waterfallSetting)},
             {"windowType", Value(rec.h.windowType)},
             {"maxLevel", Value(rec.h.waterfallMax)}};
    Print(out);
    return 0;
}

int RunInvert(const IrOptions& o) {
    TimeRecord rec;
    if (const int code = LoadInput(o, rec); code >= 0) return code;
    Status s;
    InvertImpulse(rec);
    s = SaveTimeRecord(rec, o.output);
    if (!s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"samples", Value(rec.h.sampleCount)},
               {"peak", Value(rec.h.peak)},
               {"inverted", (rec.h.flags & kTwfInverted) != 0}});
    return 0;
}

int RunToImpulse(const IrOptions& o) {
    if (SameFile(o.input, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));
    Measurement m;
    Status s = LoadMeasurement(o.input, m);
    if (!s) return Fail(s, o.input);
    TimeWindowSettings window;
    window.fftWindowLength = o.windowMs / 1000.0;
    Status error;
    long long lead = 0;
    std::unique_ptr<TimeRecord> t = FrequencyToImpulse(m, window, &error, &lead);
    if (!t) return Fail(error, o.input);
    s = SaveTimeRecord(*t, o.output);
    if (!s) return Fail(s, o.output);
    Print(Json{{"file", o.output},
               {"samples", Value(t->h.sampleCount)},
               {"sampleRate", Value(t->h.sampleRate)},
               {"leadSamples", lead},
               {"leadSeconds", double(lead) / t->h.sampleRate},
               {"windowLength", Value(t->h.fftWindowLength)}});
    return 0;
}

}  // namespace srx::cli
