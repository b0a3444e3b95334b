// Recovering impulse responses from a recorded MLS response and its
// stimulus file, dividing by a reference and averaging passes.
#include "measure/mls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio/wave_file.h"
#include "measure/wave_input.h"
#include "dsp/fft.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// The mean of the first 20 frames after the lead silence when the next
// rate / 10 frames hold more than 20 of them; 0 otherwise.
double DcOffset(const std::vector<double>& afterLead, uint32_t rate, uint32_t available) {
    const uint32_t look = std::min(available, rate / 10);
    if (look <= 20) return 0.0;
    double sum = 0;
    for (int i = 0; i < 20; ++i) sum += afterLead[size_t(i)];
    return sum / 20.0;
}

struct ChannelPlan {
    int order = 0;
    uint32_t n = 0, L = 0;
    uint32_t rate = 0;
    double amplitude = 0;  // of the sequence in the stimulus file
    double shelfPeak = 1;  // the pre-emphasised sequence's peak before scaling
};

// How strongly the file drives the sequence, read back from the file so that
// level, pre-emphasis scaling and rounding all divide out.
Status ReadDrive(ChannelPlan& plan, const std::vector<double>& stimulus, const MlsRecoveryOptions& options) {
    const uint32_t L = plan.L;
    const std::vector<double> shape = MlsStimulusShape(plan.order, options.preEmphasis, plan.rate, &plan.shelfPeak);
    if (stimulus.size() < L || shape.size() != L) return Status::Error(kStrMlsFailed);
    double be = 0, ee = 0, bb = 0;
    for (uint32_t i = 0; i < L; ++i)
        be += stimulus[i] * shape[i], ee += shape[i] * shape[i], bb += stimulus[i] * stimulus[i];
    plan.amplitude = ee > 0 ? be / ee : 0.0;
    // A stimulus that is not this sequence (another order, another file)
    // leaves more than a percent of its energy unexplained.
    const double residual = bb - plan.amplitude * be;
    if (!(plan.amplitude > 0) || residual > 0.01 * bb) return Status::Error(kStrMlsFailed);
    return Status::Ok();
}

// The impulse response over one period from the recording's frames
// [begin, end) (DC offset removed), folded onto the period by their index
// modulo L so that the response keeps its place (the latency) whatever
// part is folded.
Status CorrelatePart(const ChannelPlan& plan, const std::vector<double>& response, double offset, size_t begin,
                     size_t end, const MlsRecoveryOptions& options, std::vector<double>& h) {
    const uint32_t L = plan.L, N = plan.n;
    std::vector<double> folded(L, 0.0);
    for (size_t m = begin; m < end; ++m) folded[m % L] += response[m] - offset;
    std::vector<float> period(folded.begin(), folded.end());
    const std::vector<float> c = MlsCorrelate(period, plan.order);
    if (c.size() != L) return Status::Error(kStrOutOfMemory);
    // c = N g - sum(g) for the periodic response g of the unit sequence:
    // the sequence's -1 off its peak leaves the system's DC gain over N on
    // every sample. It is not added back: that would pass the recording's
    // DC (and the noise of its 20-sample estimate) on undamped, where the
    // correlation otherwise rejects it; loudspeakers and sound-card inputs
    // have no DC gain to lose.
    h.resize(L);
    for (uint32_t k = 0; k < L; ++k) h[k] = double(c[k]) / (double(N) * plan.amplitude);
    if (options.preEmphasis) {
        // The file carried the shelved sequence over its peak: give the peak
        // back and take the shelf off, over the period as it was put on.
        for (double& v : h) v *= plan.shelfPeak;
        FilterPeriodic(InverseSection(PreEmphasisFilter(plan.rate)), h);
    }
    return Status::Ok();
}

std::string Milliseconds(double frames, uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", std::ceil(1000.0 * frames / rate));
    return text;
}

// One channel's recovery from the frames after the lead silence. A first
// correlation over everything recorded finds the response in the period
// and how long it rings; the onset in the recording is where a whole
// period of it was recorded (the most energy); the second correlation
// folds only the sequence and that decay.
Status RecoverChannel(const ChannelPlan& plan, const std::vector<double>& response, const MlsRecoveryOptions& options,
                      const WaveFormat& responseFormat, std::unique_ptr<TimeRecord>& out, MlsPassReport& report) {
    const uint32_t L = plan.L, N = plan.n;
    const size_t R = response.size();
    const double offset = R == 0 ? 0.0 : DcOffset(response, plan.rate, uint32_t(R));

    std::vector<double> h;
    Status s = CorrelatePart(plan, response, offset, 0, R, options, h);
    if (!s) return s;
    const ResponseSpan first = FindResponseSpan(h);
    if (first.noiseOnly) return Status::Error(kStrMlsNoSignal);

    // Candidate onsets are the span's start plus whole periods; the one
    // before the recording's start stands for a latency shorter than the
    // margin before the peak.
    size_t onset = 0;
    double best = -1;
    const long long earliest = -(long long)std::min<uint32_t>(L / 4, 128);  // the margin before the peak, at most
    for (long long a = (long long)first.start - L; a < (long long)R; a += L) {
        if (a < earliest) continue;
        const size_t from = size_t(std::max(0LL, a));
        if (from + L > R) break;
        double e = 0;
        for (size_t m = from; m < from + L; ++m) e += (response[m] - offset) * (response[m] - offset);
        if (e > best) best = e, onset = from;
    }
    // Not even the sequence's response is wholly in the recording.
    if (best < 0)
        return Status::Error(kStrMlsLatencyTooLong, {Milliseconds(first.start, plan.rate),
                                                     Milliseconds(double(first.start) + first.length, plan.rate)});
    const size_t available = R - onset - L;  // decay frames recorded after the sequence
    size_t decay = first.length;
    if (decay > available) {
        // The decay the recording lost: fatal only where it began clearly
        // above the noise and within 80 dB of the peak (a long, quiet tail
        // changes nothing one could see).
        double cut = 0;
        size_t count = 0;
        const size_t look = std::min<size_t>(decay, available + std::max<uint32_t>(16, L / 64));
        for (size_t k = available; k < look; ++k, ++count) {
            const double v = h[(first.start + k) % L];
            cut += v * v;
        }
        if (count && std::sqrt(cut / count) > std::max(10 * first.noiseRms, 1e-4 * first.peak))
            return Status::Error(kStrMlsLatencyTooLong, {Milliseconds(double(onset), plan.rate),
                                                         Milliseconds(double(onset) + decay, plan.rate)});
        decay = available;
    }
    if (onset > 0 || onset + L + decay < R) {
        s = CorrelatePart(plan, response, offset, onset, onset + L + decay, options, h);
        if (!s) return s;
    }
    report.onset = uint32_t(onset);
    report.span = FindResponseSpan(h);

    std::unique_ptr<TimeRecord> rec = NewTimeRecord(options.window);
    if (!rec) return Status::Error(kStrOutOfMemory);
    rec->samples.assign(N, 0.0f);
    for (uint32_t k = 0; k < L; ++k) rec->samples[k] = float(h[k]);
    rec->samples[L] = float(h[0]);  // the period continues
    if (options.invert)
        for (float& v : rec->samples) v = -v;

    TimeRecordHeader& hd = rec->h;
    hd.sampleRate = int32_t(plan.rate);
    hd.sampleCount = int32_t(N);
    hd.spikeLength = 1.0 / plan.rate;
    hd.flags |= kTwfMls;
    if (options.preEmphasis) hd.flags |= kTwfPreEmphasis;
    if (options.invert) hd.flags |= kTwfInverted;
    hd.mlsLength = int32_t(L);
    hd.preAverages = 1;
    hd.setup.channels = responseFormat.channels;
    hd.setup.bitsPerSample = responseFormat.bitsPerSample;
    hd.setup.sampleRate = int32_t(plan.rate);
    hd.setup.mlsLengthShown = int32_t(L);
    SetPeakAndWindowStart(*rec);
    out = std::move(rec);
    return Status::Ok();
}

}  // namespace

// ---------------------------------------------------------------- recovery

ResponseSpan FindResponseSpan(const float* period, uint32_t length) {
    ResponseSpan span;
    const uint32_t L = length;
    if (L == 0) return span;
    uint32_t p = 0;
    for (uint32_t i = 0; i < L; ++i)
        if (std::fabs(period[i]) > span.peak) span.peak = std::fabs(period[i]), p = i;
    // The response starts a little before its peak (a converter's filter
    // rings ahead of it); the rest is measured from there.
    const uint32_t margin = std::clamp<uint32_t>(L / 64, std::min<uint32_t>(L / 4, 8), 128);
    span.start = (p + L - margin % L) % L;
    const auto at = [&](uint32_t k) { return double(period[(span.start + k) % L]); };
    // Block levels; the lower quartile of them is the noise as long as the
    // response leaves at least a quarter of the period.
    const uint32_t block = std::clamp<uint32_t>(L / 64, 1, 1024);
    const uint32_t blocks = std::max<uint32_t>(1, L / block);
    std::vector<double> level(blocks);
    for (uint32_t b = 0; b < blocks; ++b) {
        double e = 0;
        for (uint32_t k = b * block; k < (b + 1) * block && k < L; ++k) e += at(k) * at(k);
        level[b] = std::sqrt(e / block);
    }
    std::vector<double> sorted = level;
    std::nth_element(sorted.begin(), sorted.begin() + blocks / 4, sorted.end());
    const double floor = sorted[blocks / 4];
    // The decay ends after the last block standing 6 dB above the noise.
    uint32_t last = 0;
    for (uint32_t b = 0; b < blocks; ++b)
        if (level[b] > 2 * floor) last = b;
    span.length = std::min<uint64_t>(L, uint64_t(last + 2) * block);
    // The noise is what the response leaves, or at least the last eighth of
    // the period (an overestimate where the response fills the period).
    // Its mean is left out: a system that passes DC leaves its DC gain over
    // N on every sample (the sequence's -1 off its peak), which is no noise.
    const uint32_t quiet = std::max(span.length < L ? L - span.length : 0u, std::max(1u, L / 8));
    double sum = 0, e = 0;
    for (uint32_t k = L - quiet; k < L; ++k) sum += at(k), e += at(k) * at(k);
    const double mean = sum / quiet;
    span.noiseRms = std::sqrt(std::max(0.0, e / quiet - mean * mean));
    // Noise alone peaks near sqrt(2 ln L) times its RMS.
    const double noisePeak = span.noiseRms * std::sqrt(2 * std::log(std::max(2.0, double(L))));
    span.noiseOnly = !(span.peak > noisePeak * 3.1622776601683795);
    return span;
}

ResponseSpan FindResponseSpan(const std::vector<double>& period) {
    std::vector<float> f(period.begin(), period.end());
    return FindResponseSpan(f.data(), uint32_t(f.size()));
}

TimeWindowSettings MlsTimeWindowSettings(const MeasurementSettings& ms) {
    TimeWindowSettings w;
    w.defaultSpan = ms.mlsPirLength;
    w.fftWindowLength = ms.mlsWindow;
    const double waterfall = (ms.flags & kMsfWaterfallSameLength) ? ms.timeWindow : ms.waterfallLength;
    w.furtherTime = std::min(waterfall, double(ms.mlsWindow));
    w.waterfallSetting = int32_t(ms.waterfallType);
    return w;
}

MlsRecoveryOptions MlsRecoveryOptionsFrom(const MeasurementSettings& ms) {
    MlsRecoveryOptions o;
    o.preSilence = ms.preSilence;
    o.preEmphasis = (ms.flags & kMsfMlsPreEmphasis) != 0;
    o.invert = (ms.flags & kMsfInvertInput) != 0;
    o.reverseChannels = ms.reverseChannels != 0;
    o.window = MlsTimeWindowSettings(ms);
    return o;
}

void SetPeakAndWindowStart(TimeRecord& r) {
    const size_t count = std::min(r.samples.size(), size_t(std::max(0, int(r.h.sampleCount))));
    size_t p = 0;
    float best = -1.0f;
    for (size_t i = 0; i + 1 < count; ++i) {
        const float a = std::fabs(r.samples[i]);
        if (a > best) best = a, p = i;
    }
    r.h.peak = count > 1 ? r.samples[p] : (count ? r.samples[0] : 0.0);
    r.h.windowStart = int32_t(p >= 8 ? p - 8 : 0);
}

namespace {

Status Recover(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
               const MlsRecoveryOptions& options, bool both, std::unique_ptr<TimeRecord>& out0,
               std::unique_ptr<TimeRecord>& out1, MlsPassReport* report) {
    out0.reset();
    out1.reset();
    WaveInput response, stimulus;
    Status s = OpenWave(responsePath, response);
    if (!s) return s;
    s = OpenWave(stimulusPath, stimulus);
    if (!s) return s;
    const uint32_t R = response.frames, S = stimulus.frames;
    if (R == 0 || R < S / 16) return Status::Error(kStrMlsFailed);
    ChannelPlan plan;
    plan.order = MlsOrderOfLength(n);
    if (!plan.order) return Status::Error(kStrMlsFailed);
    plan.n = n, plan.L = n - 1;
    plan.rate = response.format.samplesPerSec;
    if (plan.rate == 0) return Status::Error(kStrTooFewPoints);

    // The lead silence of each file at its own rate.
    const uint32_t leadR = MlsLeadFrames(options.preSilence, plan.rate);
    const uint32_t leadS = MlsLeadFrames(options.preSilence, stimulus.format.samplesPerSec);
    if (leadS >= S) return Status::Error(kStrMlsFailed);
    // Everything recorded after the lead silence: the latency may put the
    // response anywhere in it.
    const uint32_t span = S - leadS;
    const uint32_t availR = R > leadR ? R - leadR : 0;
    MlsPassReport first, second;
    try {
        std::vector<double> r0, r1, s0, s1;
        if (!wave_detail::Seek(response.file.get(), int64_t(std::min(leadR, R)) * response.format.blockAlign, SEEK_CUR))
            return Status::Error(kStrTooFewPoints);
        const bool clipped = ReadFrames(response, availR, both, options.reverseChannels, r0, r1);
        if (!wave_detail::Seek(stimulus.file.get(), int64_t(leadS) * stimulus.format.blockAlign, SEEK_CUR))
            return Status::Error(kStrTooFewPoints);
        // The stimulus carries the same value on every channel, so the
        // channel it is read on only matters for a foreign file.
        ReadFrames(stimulus, std::min(span, plan.L), both, options.reverseChannels, s0, s1);
        s = ReadDrive(plan, s0, options);
        if (s) s = RecoverChannel(plan, r0, options, response.format, out0, first);
        if (s && both) {
            ChannelPlan plan1 = plan;
            s = ReadDrive(plan1, s1, options);
            if (s) s = RecoverChannel(plan1, r1, options, response.format, out1, second);
        }
        first.clipped = clipped;
    } catch (const std::bad_alloc&) {
        s = Status::Error(kStrOutOfMemory);
    }
    if (!s) out0.reset(), out1.reset();
    if (s && report) *report = first;
    return s;
}

}  // namespace

Status MlsImpulseFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                           const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& out, MlsPassReport* report) {
    std::unique_ptr<TimeRecord> unused;
    return Recover(responsePath, stimulusPath, n, options, false, out, unused, report);
}

Status MlsImpulsePairFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                               const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& record0,
                               std::unique_ptr<TimeRecord>& record1, MlsPassReport* report) {
    return Recover(responsePath, stimulusPath, n, options, true, record0, record1, report);
}

Status DivideReferenceResponse(TimeRecord& measured, const TimeRecord& reference) {
    const size_t n = measured.samples.size();
    if (n < 2 || (n & (n - 1)) || reference.samples.size() != n) return Status::Error(kStrMlsFailed);
    int log2n = 0;
    while ((size_t(1) << log2n) < n) ++log2n;
    const size_t M = 2 * n;
    const size_t period = n - 1;
    size_t p = 0;
    float best = -1;
    for (size_t i = 0; i < period; ++i)
        if (std::fabs(reference.samples[i]) > best) best = std::fabs(reference.samples[i]), p = i;
    std::vector<float> a, b;
    try {
        a.assign(2 * M + 2, 0.0f);
        b.assign(2 * M + 2, 0.0f);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    }
    for (size_t i = 0; i < n; ++i) a[2 * i] = measured.samples[i];
    // The reference turned on its period so that its peak comes first.
    for (size_t i = 0; i < period; ++i) b[2 * i] = reference.samples[(i + p) % period];
    Fft(a.data(), log2n + 1, 1);
    Fft(b.data(), log2n + 1, 1);
    double maxPower = 0;
    for (size_t j = 0; j < M; ++j)
        maxPower = std::max(maxPower, double(b[2 * j]) * b[2 * j] + double(b[2 * j + 1]) * b[2 * j + 1]);
    if (!(maxPower > 0)) return Status::Error(kStrMlsFailed);
    const double eps = 1e-4 * maxPower;
    for (size_t j = 0; j < M; ++j) {
        const double ar = a[2 * j], ai = a[2 * j + 1], br = b[2 * j], bi = b[2 * j + 1];
        const double d = br * br + bi * bi + eps;
        a[2 * j] = float((ar * br + ai * bi) / d);
        a[2 * j + 1] = float((ai * br - ar * bi) / d);
    }
    Fft(a.data(), log2n + 1, -1);
    for (size_t i = 0; i < n; ++i) measured.samples[i] = a[2 * i];
    SetPeakAndWindowStart(measured);
    return Status::Ok();
}

Status AverageImpulsePasses(TimeRecord& result, const std::vector<const TimeRecord*>& passes) {
    if (passes.empty()) return Status::Error(kStrMlsFailed);
    int32_t m = passes[0]->h.windowStart;
    for (const TimeRecord* p : passes) m = std::min(m, p->h.windowStart);
    long long d = 0;
    for (const TimeRecord* p : passes) d = std::max<long long>(d, p->h.windowStart - m);
    long long length = -1;
    for (const TimeRecord* p : passes) {
        const long long l = (long long)p->samples.size() - d;
        length = length < 0 ? l : std::min(length, l);
    }
    if (length <= 0) return Status::Error(kStrMlsFailed);
    std::vector<float> out;
    std::vector<double> sum;
    try {
        out.resize(size_t(length));
        sum.assign(size_t(length), 0.0);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    }
    for (size_t k = 0; k < passes.size(); ++k) {
        const TimeRecord& p = *passes[k];
        const size_t off = size_t(p.h.windowStart - m);
        for (size_t i = 0; i < out.size(); ++i) sum[i] += p.samples[off + i];
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = float(sum[i] / double(passes.size()));
    result.samples = std::move(out);
    result.h.sampleCount = int32_t(result.samples.size());
    SetPeakAndWindowStart(result);
    return Status::Ok();
}

}  // namespace srx
