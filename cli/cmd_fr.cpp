// sonrix-cli fr: the frequency response of a saved impulse response, with
// the derived phase family, written as a measurement file.
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "data/native_files.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "dsp/window.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx::cli {

int RunFr(const FrOptions& o) {
    // Saving would replace the impulse it was computed from.
    if (SameFile(o.impulse, o.output)) return Fail(Status::Error(kStrOutputIsInput, {o.output}));

    TimeRecord rec;
    Status s = LoadTimeRecord(o.impulse, rec);
    if (!s) return Fail(s, o.impulse);

    AnalysisSettings settings = DefaultAnalysisSettings();
    if (o.window >= 0) settings.windowType = o.window;
    else if (rec.h.windowType >= kWindowRectangular && rec.h.windowType <= kWindowBlackmanHarris)
        settings.windowType = rec.h.windowType;
    if (o.length > 0) {
        // Only the length changes: the start and the Delay Free choice stay.
        const bool delayFree = (rec.h.flags & kTwfDelayFree) != 0;
        ApplyTimeWindow(rec, delayFree ? kTimeWindowDelayFree : kTimeWindowManual, o.length, -1);
    }
    const int ppo = o.ppo > 0 ? o.ppo : PointsPerOctaveFor(rec, settings);

    Status warning, error;
    std::unique_ptr<Measurement> m = ImpulseToFrequencyResponse(rec, o.start, ppo, 0, settings, &warning, &error);
    if (!m) return Fail(error, o.impulse);
    if (!warning) Tell(warning, o.impulse);  // a notice: the response is still written
    DerivePhaseData(*m, settings);
    std::memcpy(m->h.title, rec.h.title, sizeof m->h.title);
    s = SaveMeasurement(*m, o.output);
    if (!s) return Fail(s, o.output);

    Print(Json{{"file", o.output},
               {"points", Value(m->h.pointCount)},
               {"firstFrequency", Value(m->h.firstFrequency)},
               {"lastFrequency", Value(m->h.lastFrequency)},
               {"maxLevel", Value(m->h.maxLevel)},
               {"windowType", Value(m->h.windowType)},
               {"minimumPhase", (m->h.flags & kMesStoredMinimumPhase) != 0},
               {"delayFreeFallback", !warning.ok()}});
    return 0;
}

}  // namespace srx::cli
