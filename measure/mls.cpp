#include "measure/mls.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <system_error>

#include "audio/wave_file.h"
#include "dsp/fft.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"

namespace srx {

namespace {

// Largest scale of a stimulus sample: just below full scale.
constexpr double kFullScale = 2147483647.0;
constexpr double kHeadroom = 0.9999;
// The pre-emphasis shelf: +10 dB above about 3 kHz.
constexpr double kPreEmphasisCorner = 3162.3;
constexpr double kPreEmphasisLift = 3.16227766016838;



uint32_t SequenceLength(int order) { return (uint32_t(1) << order) - 1; }

int OrderOfLength(uint32_t n) {
    for (int k = kMlsMinOrder; k <= kMlsMaxOrder; ++k)
        if ((uint32_t(1) << k) == n) return k;
    return 0;
}

// The output bits of the register, one per sample (1 = sample -1).
std::vector<uint8_t> SequenceBits(int order) {
    const std::vector<int>& taps = MlsTaps(order);
    std::vector<uint8_t> bits;
    if (taps.empty()) return bits;
    uint32_t tapMask = 0;
    for (int t : taps) tapMask |= uint32_t(1) << t;
    const uint32_t mask = (uint32_t(1) << order) - 1;
    const uint32_t length = SequenceLength(order);
    bits.resize(length);
    uint32_t reg = mask;  // every cell set
    for (uint32_t k = 0; k < length; ++k) {
        const uint32_t parity = uint32_t(std::popcount(reg & tapMask)) & 1u;
        reg = ((reg << 1) | parity) & mask;
        bits[k] = uint8_t(parity);
    }
    return bits;
}

// Tables of the Walsh-Hadamard route for one order. With x_k the n bits of
// the sequence starting at sample k (an n-bit number, every non-zero value
// exactly once), each later bit b[k + j] is a fixed linear combination w_j
// of them: b[k + j] = parity(w_j & x_k). The periodic correlation with the
// sequence at lag t is then sum_k x[k] (-1)^parity(w_{-t} & x_k): the
// Walsh-Hadamard transform of x scattered to the indices x_k, read at w_{-t}.
struct CorrelationTables {
    std::vector<uint32_t> scatter;  // x_k for sample k
    std::vector<uint32_t> gather;   // w_{(L - t) mod L} for lag t
};

std::shared_ptr<const CorrelationTables> BuildTables(int order) {
    const std::vector<uint8_t> b = SequenceBits(order);
    const uint32_t L = SequenceLength(order);
    auto t = std::make_shared<CorrelationTables>();
    t->scatter.resize(L);
    uint32_t x = 0;
    for (int i = 0; i < order; ++i) x |= uint32_t(b[size_t(i) % L]) << i;
    for (uint32_t k = 0; k < L; ++k) {
        t->scatter[k] = x;
        x = (x >> 1) | uint32_t(b[(size_t(k) + size_t(order)) % L]) << (order - 1);
    }
    // w_j: unit vectors for the first n offsets, then the register's own
    // recurrence b[m] = xor of b[m - 1 - tap].
    std::vector<uint32_t> w(L);
    const std::vector<int>& taps = MlsTaps(order);
    for (uint32_t j = 0; j < L; ++j) {
        if (j < uint32_t(order)) {
            w[j] = uint32_t(1) << j;
            continue;
        }
        uint32_t v = 0;
        for (int tap : taps) v ^= w[j - 1 - uint32_t(tap)];
        w[j] = v;
    }
    t->gather.resize(L);
    for (uint32_t lag = 0; lag < L; ++lag) t->gather[lag] = w[(L - lag) % L];
    return t;
}

std::shared_ptr<const CorrelationTables> TablesFor(int order) {
    static std::mutex mutex;
    static std::map<int, std::shared_ptr<const CorrelationTables>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(order);
    if (it != cache.end()) return it->second;
    // A measurement uses one or two orders; the largest tables are 128 MB.
    if (cache.size() >= 3) cache.clear();
    auto t = BuildTables(order);
    cache[order] = t;
    return t;
}

// In-place Walsh-Hadamard transform (natural order, unscaled) of 2^log2n
// values, two stages per sweep over the data.
void WalshHadamard(float* a, int log2n) {
    const size_t n = size_t(1) << log2n;
    int stage = 0;
    if (log2n & 1) {
        for (size_t i = 0; i < n; i += 2) {
            const float x = a[i], y = a[i + 1];
            a[i] = x + y, a[i + 1] = x - y;
        }
        stage = 1;
    }
    for (; stage < log2n; stage += 2) {
        const size_t h = size_t(1) << stage;
        for (size_t i = 0; i < n; i += 4 * h) {
            float* p0 = a + i;
            float* p1 = p0 + h;
            float* p2 = p1 + h;
            float* p3 = p2 + h;
            for (size_t j = 0; j < h; ++j) {
                const float t0 = p0[j] + p1[j], t1 = p0[j] - p1[j];
                const float t2 = p2[j] + p3[j], t3 = p2[j] - p3[j];
                p0[j] = t0 + t2, p1[j] = t1 + t3, p2[j] = t0 - t2, p3[j] = t1 - t3;
            }
        }
    }
}

// State of y[-1] (and x[-1]) that makes the section's output periodic over
// one period of x: with a zero start the state after a period is y0; the
// periodic state p satisfies p = y0 + (-a1)^L p.
void RunSection(const FirstOrderSection& f, std::vector<double>& x, double xPrev, double yPrev) {
    for (double& v : x) {
        const double in = v;
        const double y = f.b0 * in + f.b1 * xPrev - f.a1 * yPrev;
        xPrev = in, yPrev = y, v = y;
    }
}

// An open wave file on the plain path and where its frames start.
struct WaveInput {
    FilePtr file;
    WaveFormat format{};
    uint32_t frames = 0;
};

// Whether a file is a well-formed wave file whose data chunk is empty, the
// one case in which ReadWaveHeader's 0 is not a read error.
bool HasEmptyDataChunk(std::FILE* f) {
    int64_t end = 0;
    if (!ReadRiffWaveHeader(f, &end)) return false;
    bool format = false, empty = false, bad = false;
    WalkRiffChunks(f, 12, end, [&](const RiffChunk& c) {
        if (!std::memcmp(c.id, "data", 4)) {
            empty = format && c.size == 0;
            return false;
        }
        if (!std::memcmp(c.id, "fmt ", 4)) {
            unsigned char fmt[18];
            if (c.size < 16 || c.size > 18 || std::fread(fmt, 1, c.size, f) != c.size) {
                bad = true;
                return false;
            }
            const WaveFormat wf = DecodeWaveFormat(fmt, c.size);
            if (wf.formatTag != kWaveFormatPcm && wf.formatTag != kWaveFormatFloat) {
                bad = true;
                return false;
            }
            format = true;
        }
        return true;
    });
    return empty && !bad;
}

Status OpenWave(const std::string& path, WaveInput& in) {
    in.file = OpenForReading(path);
    if (!in.file) return Status::Error(kStringCouldNotOpen);
    const uint32_t bytes = ReadWaveHeader(in.file.get(), in.format);
    if (bytes == 0) {
        if (!HasEmptyDataChunk(in.file.get())) return Status::Error(kStringReadError);
        in.frames = 0;
        return Status::Ok();
    }
    if (!IsPlausibleWaveFormat(in.format)) return Status::Error(kStringReadError);
    in.frames = bytes / in.format.blockAlign;
    return Status::Ok();
}

// Reads `count` frames from the current position into one vector per
// channel wanted (channel 0 and, with `both`, channel 1; a mono file gives
// its one channel to both). Frames the file does not have read as 0.
void ReadFrames(WaveInput& in, uint32_t count, bool both, bool swap, std::vector<double>& c0,
                std::vector<double>& c1) {
    c0.assign(count, 0.0);
    if (both) c1.assign(count, 0.0);
    const int channels = in.format.channels;
    const int first = (swap && channels >= 2) ? 1 : 0, second = (channels >= 2) ? 1 - first : 0;
    std::FILE* f = in.file.get();
    for (uint32_t i = 0; i < count; ++i) {
        double v[2] = {0, 0};
        for (int c = 0; c < channels; ++c) {
            const double s = ReadSampleReal(f, in.format);
            if (c < 2) v[c] = s;
        }
        if (std::feof(f) || std::ferror(f)) break;
        c0[i] = v[first];
        if (both) c1[i] = v[second];
    }
}

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
};

// One channel's recovery from the values after the lead silence.
Status RecoverChannel(const ChannelPlan& plan, std::vector<double>& response, const std::vector<double>& stimulus,
                      const MlsRecoveryOptions& options, const WaveFormat& responseFormat,
                      std::unique_ptr<TimeRecord>& out) {
    const uint32_t L = plan.L, N = plan.n;
    // How strongly the file drives the sequence, read back from the file so
    // that level, pre-emphasis scaling and rounding all divide out.
    double shelfPeak = 1;
    const std::vector<double> shape = MlsStimulusShape(plan.order, options.preEmphasis, plan.rate, &shelfPeak);
    if (stimulus.size() < L || shape.size() != L) return Status::Error(kStringMlsFailed);
    double be = 0, ee = 0, bb = 0;
    for (uint32_t i = 0; i < L; ++i) be += stimulus[i] * shape[i], ee += shape[i] * shape[i], bb += stimulus[i] * stimulus[i];
    const double amplitude = ee > 0 ? be / ee : 0.0;
    // A stimulus that is not this sequence (another order, another file)
    // leaves more than a percent of its energy unexplained.
    const double residual = bb - amplitude * be;
    if (!(amplitude > 0) || residual > 0.01 * bb) return Status::Error(kStringMlsFailed);

    const double offset = response.empty() ? 0.0 : DcOffset(response, plan.rate, uint32_t(response.size()));
    // One period of the steady-state response: the recorded decay after the
    // sequence folded back onto its start.
    std::vector<float> period;
    try {
        period.assign(L, 0.0f);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStringOutOfMemory);
    }
    std::vector<double> folded(L, 0.0);
    for (size_t m = 0; m < response.size(); ++m) folded[m % L] += response[m] - offset;
    for (uint32_t m = 0; m < L; ++m) period[m] = float(folded[m]);

    std::vector<float> c;
    try {
        c = MlsCorrelate(period, plan.order);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStringOutOfMemory);
    }
    if (c.size() != L) return Status::Error(kStringOutOfMemory);
    // c = N g - sum(g) for the periodic response g of the unit sequence:
    // the sequence's -1 off its peak leaves the system's DC gain over N on
    // every sample. It is not added back: that would pass the recording's
    // DC (and the noise of its 20-sample estimate) on undamped, where the
    // correlation otherwise rejects it; loudspeakers and sound-card inputs
    // have no DC gain to lose.
    std::vector<double> h(L);
    for (uint32_t k = 0; k < L; ++k) h[k] = double(c[k]) / (double(N) * amplitude);
    if (options.preEmphasis) {
        // The file carried the shelved sequence over its peak: give the peak
        // back and take the shelf off, over the period as it was put on.
        for (double& v : h) v *= shelfPeak;
        FilterPeriodic(InverseSection(PreEmphasisFilter(plan.rate)), h);
    }

    std::unique_ptr<TimeRecord> rec = NewTimeRecord(options.window);
    if (!rec) return Status::Error(kStringOutOfMemory);
    try {
        rec->samples.assign(N, 0.0f);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStringOutOfMemory);
    }
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

// ---------------------------------------------------------------- sequence

const std::vector<int>& MlsTaps(int order) {
    static const std::vector<int> kTaps[kMlsMaxOrder + 1] = {
        {},           {},           {0, 1},         {1, 2},          {2, 3},          {2, 4},
        {4, 5},       {5, 6},       {1, 2, 4, 7},   {4, 8},          {6, 9},          {1, 10},
        {1, 2, 8, 11}, {1, 2, 6, 12}, {2, 3, 4, 13}, {13, 14},       {3, 12, 14, 15}, {13, 16},
        {10, 17},     {13, 16, 17, 18}, {16, 19},   {18, 20},        {20, 21},        {17, 22},
        {16, 21, 22, 23},
    };
    static const std::vector<int> kNone;
    return order >= kMlsMinOrder && order <= kMlsMaxOrder ? kTaps[order] : kNone;
}

std::vector<float> MlsSequence(int order) {
    const std::vector<uint8_t> bits = SequenceBits(order);
    std::vector<float> s(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) s[i] = bits[i] ? -1.0f : 1.0f;
    return s;
}

// ------------------------------------------------------------ pre-emphasis

FirstOrderSection PreEmphasisFilter(uint32_t rate) {
    // The pole's corner, pre-warped; the zero's follows from the lift, so
    // that the gain is exactly 1 at DC and kPreEmphasisLift at half the rate.
    const double fp = std::min(kPreEmphasisCorner, 0.4 * double(rate));
    const double k = 2.0 * rate;
    const double wp = k * std::tan(kPi * fp / rate), wz = wp / kPreEmphasisLift;
    const double d0 = 1 + k / wp;
    FirstOrderSection f;
    f.b0 = (1 + k / wz) / d0;
    f.b1 = (1 - k / wz) / d0;
    f.a1 = (1 - k / wp) / d0;
    return f;
}

FirstOrderSection InverseSection(const FirstOrderSection& f) {
    FirstOrderSection g;
    g.b0 = 1 / f.b0;
    g.b1 = f.a1 / f.b0;
    g.a1 = f.b1 / f.b0;
    return g;
}

void FilterPeriodic(const FirstOrderSection& f, std::vector<double>& x) {
    if (x.empty()) return;
    const double xLast = x.back();
    std::vector<double> trial = x;
    RunSection(f, trial, xLast, 0.0);
    // The output after a period depends on the starting output by (-a1)^L.
    const double gain = std::pow(-f.a1, double(x.size()));
    const double start = trial.back() / (1.0 - gain);
    RunSection(f, x, xLast, start);
}

std::vector<double> MlsStimulusShape(int order, bool preEmphasis, uint32_t rate, double* peak) {
    const std::vector<float> s = MlsSequence(order);
    std::vector<double> x(s.begin(), s.end());
    double pk = 1.0;
    if (preEmphasis && !x.empty() && rate > 0) {
        FilterPeriodic(PreEmphasisFilter(rate), x);
        pk = 0;
        for (double v : x) pk = std::max(pk, std::fabs(v));
        if (pk > 0)
            for (double& v : x) v /= pk;
    }
    if (peak) *peak = pk;
    return x;
}

// ---------------------------------------------------------------- stimulus

MlsStimulusLevels MlsStimulusLevelsFrom(const MeasurementSettings& ms) {
    MlsStimulusLevels l;
    l.preSilence = ms.preSilence;
    l.stopDelay = ms.stopDelayPlusOne > 0 ? (double(ms.stopDelayPlusOne) - 1.0) / 1000.0 : 0.0;
    l.levelDb = ms.waveformLevelDb;
    return l;
}

uint32_t MlsLeadFrames(double preSilence, uint32_t rate) {
    const double v = RoundHalfAway(double(rate) * preSilence);
    return v > 0 && v < 4e9 ? uint32_t(v) : 0;
}

uint32_t MlsTailFrames(double stopDelay, uint32_t rate) {
    const double v = RoundHalfAway(double(rate) * (stopDelay + 0.024));
    return v > 0 && v < 4e9 ? uint32_t(v) : 0;
}

bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits,
                      const MlsStimulusLevels& levels) {
    if (order < kMlsMinOrder || order > kMlsMaxOrder || rate < 1 || channels < 1 || bits == 0) return false;
    // The sample writer carries one or two channels of 8 to 32 bits.
    if (channels > 2 || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) return false;
    if (!std::isfinite(levels.levelDb) || !std::isfinite(levels.preSilence) || !std::isfinite(levels.stopDelay))
        return false;
    const uint64_t lead = MlsLeadFrames(levels.preSilence, rate), tail = MlsTailFrames(levels.stopDelay, rate);
    const uint64_t frames = lead + SequenceLength(order) + tail;
    if (frames * uint64_t(channels) * uint64_t(bits / 8) > 0x7fffff00ull) return false;

    std::vector<double> shape;
    try {
        shape = MlsStimulusShape(order, preEmphasis, rate);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const double scale = std::pow(10.0, levels.levelDb / 20.0) * kHeadroom * kFullScale;

    SafeFileWriter f(path);
    if (!f.IsOpen()) return false;
    bool ok = WriteWaveHeader(f.get(), uint32_t(frames), rate, uint16_t(channels), uint16_t(bits));
    for (uint64_t i = 0; ok && i < lead; ++i) ok = WriteSampleFrame(f.get(), 0, 0, channels, bits);
    for (size_t i = 0; ok && i < shape.size(); ++i) {
        const double v = std::clamp(RoundHalfAway(shape[i] * scale), -2147483648.0, 2147483647.0);
        ok = WriteSampleFrame(f.get(), int32_t(v), int32_t(v), channels, bits);
    }
    for (uint64_t i = 0; ok && i < tail; ++i) ok = WriteSampleFrame(f.get(), 0, 0, channels, bits);
    return ok && f.Commit();
}

bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits) {
    return WriteMlsStimulus(path, order, preEmphasis, rate, channels, bits,
                            MlsStimulusLevelsFrom(CurrentMeasurementSettings()));
}

// ------------------------------------------------------------- correlation

std::vector<float> MlsCorrelate(const std::vector<float>& x, int order) {
    const uint32_t L = SequenceLength(order);
    if (order < kMlsMinOrder || order > kMlsMaxOrder || x.size() != L) return {};
    const auto tables = TablesFor(order);
    std::vector<float> a(size_t(L) + 1, 0.0f);
    for (uint32_t k = 0; k < L; ++k) a[tables->scatter[k]] = x[k];
    WalshHadamard(a.data(), order);
    std::vector<float> c(L);
    for (uint32_t t = 0; t < L; ++t) c[t] = a[tables->gather[t]];
    return c;
}

std::vector<float> MlsCorrelateByFft(const std::vector<float>& x, int order) {
    const uint32_t L = SequenceLength(order);
    if (order < kMlsMinOrder || order > kMlsMaxOrder || x.size() != L) return {};
    const size_t M = size_t(2) << order;  // 2N complex points
    const int log2m = order + 1;
    // The response repeated over all 2N points, the sequence once.
    std::vector<float> ra(2 * M + 2, 0.0f), rb(2 * M + 2, 0.0f);
    const std::vector<float> s = MlsSequence(order);
    for (size_t m = 0; m < M; ++m) ra[2 * m] = x[m % L];
    for (size_t m = 0; m < L; ++m) rb[2 * m] = s[m];
    Fft(ra.data(), log2m, 1);
    Fft(rb.data(), log2m, 1);
    // A conj(B): lag k collects a[m] b[m - k].
    for (size_t j = 0; j < M; ++j) {
        const double ar = ra[2 * j], ai = ra[2 * j + 1], br = rb[2 * j], bi = rb[2 * j + 1];
        ra[2 * j] = float(ar * br + ai * bi);
        ra[2 * j + 1] = float(ai * br - ar * bi);
    }
    Fft(ra.data(), log2m, -1);
    std::vector<float> c(L);
    for (uint32_t k = 0; k < L; ++k) c[k] = ra[2 * size_t(k)];
    return c;
}

// ---------------------------------------------------------------- recovery

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
               std::unique_ptr<TimeRecord>& out1) {
    out0.reset();
    out1.reset();
    WaveInput response, stimulus;
    Status s = OpenWave(responsePath, response);
    if (!s) return s;
    s = OpenWave(stimulusPath, stimulus);
    if (!s) return s;
    const uint32_t R = response.frames, S = stimulus.frames;
    if (R == 0 || R < S / 16) return Status::Error(kStringMlsFailed);
    ChannelPlan plan;
    plan.order = OrderOfLength(n);
    if (!plan.order) return Status::Error(kStringMlsFailed);
    plan.n = n, plan.L = n - 1;
    plan.rate = response.format.samplesPerSec;
    if (plan.rate == 0) return Status::Error(kStringReadError);

    // The lead silence of each file at its own rate.
    const uint32_t leadR = MlsLeadFrames(options.preSilence, plan.rate);
    const uint32_t leadS = MlsLeadFrames(options.preSilence, stimulus.format.samplesPerSec);
    if (leadS >= S) return Status::Error(kStringMlsFailed);
    // The response as far as the stimulus reaches: the period and its decay.
    const uint32_t span = S - leadS;
    const uint32_t availR = R > leadR ? R - leadR : 0;
    std::vector<double> r0, r1, s0, s1;
    try {
        if (!wave_detail::Seek(response.file.get(), int64_t(std::min(leadR, R)) * response.format.blockAlign, SEEK_CUR))
            return Status::Error(kStringReadError);
        ReadFrames(response, std::min(availR, span), both, options.reverseChannels, r0, r1);
        if (!wave_detail::Seek(stimulus.file.get(), int64_t(leadS) * stimulus.format.blockAlign, SEEK_CUR))
            return Status::Error(kStringReadError);
        // The stimulus carries the same value on every channel, so the
        // channel it is read on only matters for a foreign file.
        ReadFrames(stimulus, std::min(span, plan.L), both, options.reverseChannels, s0, s1);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStringOutOfMemory);
    }
    try {
        s = RecoverChannel(plan, r0, s0, options, response.format, out0);
        if (s && both) s = RecoverChannel(plan, r1, s1, options, response.format, out1);
    } catch (const std::bad_alloc&) {
        s = Status::Error(kStringOutOfMemory);
    }
    if (!s) out0.reset(), out1.reset();
    return s;
}

}  // namespace

Status MlsImpulseFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                           const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& out) {
    std::unique_ptr<TimeRecord> unused;
    return Recover(responsePath, stimulusPath, n, options, false, out, unused);
}

Status MlsImpulsePairFromFiles(const std::string& responsePath, const std::string& stimulusPath, uint32_t n,
                               const MlsRecoveryOptions& options, std::unique_ptr<TimeRecord>& record0,
                               std::unique_ptr<TimeRecord>& record1) {
    return Recover(responsePath, stimulusPath, n, options, true, record0, record1);
}

Status DivideReferenceResponse(TimeRecord& measured, const TimeRecord& reference) {
    const size_t n = measured.samples.size();
    if (n < 2 || (n & (n - 1)) || reference.samples.size() != n) return Status::Error(kStringMlsFailed);
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
        return Status::Error(kStringOutOfMemory);
    }
    for (size_t i = 0; i < n; ++i) a[2 * i] = measured.samples[i];
    // The reference turned on its period so that its peak comes first.
    for (size_t i = 0; i < period; ++i) b[2 * i] = reference.samples[(i + p) % period];
    Fft(a.data(), log2n + 1, 1);
    Fft(b.data(), log2n + 1, 1);
    double maxPower = 0;
    for (size_t j = 0; j < M; ++j)
        maxPower = std::max(maxPower, double(b[2 * j]) * b[2 * j] + double(b[2 * j + 1]) * b[2 * j + 1]);
    if (!(maxPower > 0)) return Status::Error(kStringMlsFailed);
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
    if (passes.empty()) return Status::Error(kStringMlsFailed);
    int32_t m = passes[0]->h.windowStart;
    for (const TimeRecord* p : passes) m = std::min(m, p->h.windowStart);
    long long d = 0;
    for (const TimeRecord* p : passes) d = std::max<long long>(d, p->h.windowStart - m);
    long long length = -1;
    for (const TimeRecord* p : passes) {
        const long long l = (long long)p->samples.size() - d;
        length = length < 0 ? l : std::min(length, l);
    }
    if (length <= 0) return Status::Error(kStringMlsFailed);
    std::vector<float> out;
    try {
        out.resize(size_t(length));
    } catch (const std::bad_alloc&) {
        return Status::Error(kStringOutOfMemory);
    }
    for (size_t k = 0; k < passes.size(); ++k) {
        const TimeRecord& p = *passes[k];
        const size_t off = size_t(p.h.windowStart - m);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = k == 0 ? p.samples[off + i] : (out[i] + p.samples[off + i]) / 2;
    }
    result.samples = std::move(out);
    result.h.sampleCount = int32_t(result.samples.size());
    SetPeakAndWindowStart(result);
    return Status::Ok();
}

}  // namespace srx
