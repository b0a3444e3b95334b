#include "measure/sine_analysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>

#include "audio/wave_file.h"
#include "data/native_files.h"
#include "dsp/compensation.h"
#include "dsp/fft.h"
#include "dsp/frequency_response.h"
#include "dsp/numeric.h"
#include "dsp/smoothing.h"
#include "dsp/window.h"
#include "measure/measurement_settings.h"
#include "measure/wave_input.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kFullScale = 2147483647.0;
constexpr double kTenLog2 = 3.010299956639812;
// Bytes a stimulus file may reach: its RIFF sizes are 32 bits.
constexpr uint64_t kMaxStimulusBytes = 0x7fffff00ull;
constexpr double kArrivalBackStep = 0.000125;  // s before the 40 % point, and skipped again by the analyses
constexpr double kArrivalThreshold = 0.4;
// A harmonic closer to its fundamental than this many gate bandwidths is
// not separated from it by the gate.
constexpr double kResolvedBandwidths = 6.0;
constexpr int kMaxSweepOrder = 26;

bool Finite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

double StimulusAmplitude(double levelDb) { return levelDb >= 0 ? 0.9999 : std::pow(10.0, levelDb / 20.0); }

uint64_t Frames(double seconds, uint32_t rate) {
    const double v = RoundHalfAway(double(rate) * seconds);
    return v > 0 && v < 1e15 ? uint64_t(v) : 0;
}

bool FormatOk(const SineStimulusFormat& f) {
    return f.rate >= 1000 && f.rate <= 768000 && (f.channels == 1 || f.channels == 2) &&
           (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32) &&
           Finite({f.levelDb, f.preSilence, f.stopDelay}) && f.preSilence >= 0 && f.preSilence <= 10 &&
           f.stopDelay >= 0 && f.stopDelay <= 10;
}

uint64_t WithSilences(uint64_t frames, const SineStimulusFormat& f) {
    if (!FormatOk(f) || !frames) return 0;
    const uint64_t all = Frames(f.preSilence, f.rate) + frames + Frames(f.stopDelay + 0.024, f.rate);
    return all * uint64_t(f.channels) * uint64_t(f.bits / 8) <= kMaxStimulusBytes ? all : 0;
}

// The gate of the gated sine in s.
double GateLength(const GatedSineParams& p) { return p.constantCycles ? 1.0 / p.f1 : p.timeWindow; }

bool GatedParamsOk(const GatedSineParams& p) {
    return Finite({p.f1, p.f2, p.timeWindow, p.windowOffset, p.pause, p.levelOffsetDb}) && p.f1 > 0 && p.f2 >= p.f1 &&
           p.timeWindow > 0 && p.timeWindow <= 1 && p.windowOffset >= 0 && p.windowOffset <= 1 && p.pause >= 0 &&
           p.pause <= 60;
}

bool SweepParamsOk(const SweepParams& p) {
    return Finite({p.f1, p.f2, p.timePerOctave, p.levelOffsetDb}) && p.f1 > 0 && p.f2 >= p.f1 && p.timePerOctave > 0 &&
           p.timePerOctave <= 100;
}

// Writes frames of one value on every channel; `sample(i)` gives frame i.
template <class Sample>
bool WriteStimulus(const std::string& path, const SineStimulusFormat& f, uint64_t total, uint64_t body, Sample sample) {
    const uint64_t lead = Frames(f.preSilence, f.rate);
    SafeFileWriter w(path);
    if (!w.IsOpen()) return false;
    bool ok = WriteWaveHeader(w.get(), uint32_t(total), f.rate, uint16_t(f.channels), uint16_t(f.bits));
    for (uint64_t i = 0; ok && i < total; ++i) {
        const int32_t v = i >= lead && i < lead + body ? sample(i - lead) : 0;
        ok = WriteSampleFrame(w.get(), v, v, f.channels, f.bits);
    }
    return ok && w.Commit();
}

int32_t Quantised(double v) { return int32_t(std::clamp(RoundHalfAway(v), -2147483648.0, 2147483647.0)); }

// Level correction of the analysis window, so that a gated sine reads its
// level whatever window weighs it.
double WindowCorrectionDb(int type) {
    switch (type) {
        case kWindowBartlett:
        case kWindowHanning: return 6.05;
        case kWindowHamming: return 5.37;
        case kWindowBlackman: return 7.56;
        case kWindowBlackmanHarris: return 8.93;
        default: return 0.0;
    }
}

// The weights the analysis window gives the first n samples.
std::vector<double> GateWeights(int n, int type) {
    const int log2n = std::max(1, Log2Ceiling(n + 1));
    std::vector<float> buf(size_t(2) << log2n, 0.0f);
    for (int i = 0; i < n; ++i) buf[2 * size_t(i)] = 1.0f;
    ApplyWindow(buf.data(), log2n, n, type, 0);
    std::vector<double> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) w[size_t(i)] = buf[2 * size_t(i)];
    return w;
}

// The transforms of the weighted gate at exactly the frequencies `f` (what
// a zero-padded FFT reads at a bin on f, without a bin's offset from f or
// the interpolation between bins, which tilts a harmonic against its
// fundamental), by the Goertzel recursion: one multiply-add per sample and
// frequency, the frequencies side by side so that their recursions overlap.
// Samples before the recording (the lead silence) count as 0; `dc` is taken
// off.
constexpr int kMaxGateFrequencies = 10;
void GateTransforms(const std::vector<double>& x, int64_t start, const std::vector<double>& w, double dc, uint32_t rate,
                    const double* f, int count, std::complex<double>* out) {
    // All lanes run (unused ones idle at 0) so that the loop vectorises.
    double coeff[kMaxGateFrequencies] = {}, s1[kMaxGateFrequencies] = {}, s2[kMaxGateFrequencies] = {};
    for (int k = 0; k < count; ++k) coeff[k] = 2.0 * std::cos(2.0 * kPi * f[k] / rate);
    const int64_t n = int64_t(w.size()), end = std::min<int64_t>(int64_t(x.size()), start + n);
    auto step = [&](double v) {
        for (int k = 0; k < kMaxGateFrequencies; ++k) {
            const double s0 = v + coeff[k] * s1[k] - s2[k];
            s2[k] = s1[k];
            s1[k] = s0;
        }
    };
    // Leading zeros (the lead silence) leave the recursion at rest;
    // trailing ones (past the recording) still turn it.
    for (int64_t i = std::max<int64_t>(start, 0); i < end; ++i) step(w[size_t(i - start)] * (x[size_t(i)] - dc));
    for (int64_t i = std::max(end, std::max<int64_t>(start, 0)); i < start + n; ++i) step(0.0);
    for (int k = 0; k < count; ++k) {
        // s1 - e^(-j w) s2 is the sum referred to the gate's last sample.
        const double omega = 2.0 * kPi * f[k] / rate;
        const std::complex<double> y(s1[k] - std::cos(omega) * s2[k], std::sin(omega) * s2[k]);
        out[k] = y * std::polar(1.0, -omega * double(n - 1));
    }
}

double LevelOfPower(double power, double correction) {
    return power > 0 ? 10.0 * std::log10(power) + correction : kNoLevel;
}

bool AddPoint(Measurement& m, double f, double level, double phase, const double* h) {
    return AddCurvePoint(m, f, level, phase, h[0], h[1], 0.0, h[2], h[3], h[4], h[5], h[6], h[7], h[8]);
}

double Harmonic(const CurvePoint& p, int h) { return p.value[kSlotDistortion2 + h - 2]; }

// Sums of squares and counts of the stimulus's and the silent parts of a
// recording; noise alone gives both the same mean.
struct SignalAndQuiet {
    double signal = 0, quiet = 0;
    uint64_t signalCount = 0, quietCount = 0;
    void Add(const std::vector<double>& x, uint64_t begin, uint64_t end, bool isSignal, double dc = 0) {
        end = std::min<uint64_t>(end, x.size());
        for (uint64_t i = begin; i < end; ++i) (isSignal ? signal : quiet) += (x[i] - dc) * (x[i] - dc);
        if (end > begin) (isSignal ? signalCount : quietCount) += end - begin;
    }
    bool NoiseOnly() const {
        if (signalCount == 0) return false;
        const double mean = signal / double(signalCount);
        if (mean == 0) return true;  // nothing at all
        // Too little silence to judge by: the level check is left to the points.
        if (quietCount < 64) return false;
        return mean <= 10.0 * quiet / double(quietCount);
    }
};

}  // namespace

std::vector<double> FrequencySeries(double f1, double f2, int perOctave) {
    std::vector<double> out;
    if (!Finite({f1, f2}) || !(f1 > 0) || !(f2 >= f1) || perOctave < 1 || perOctave > 1000) return out;
    // Powers of two taken whole, so octaves land exactly (100, 200, 400).
    for (int k = 0;; ++k) {
        const double f = f1 * std::pow(2.0, double(k) / perOctave);
        out.push_back(std::min(f, f2));
        if (f >= f2 || out.size() > 100000) break;
    }
    return out;
}

uint32_t GatedSlotFrames(const GatedSineParams& p, uint32_t rate) {
    if (!GatedParamsOk(p) || rate < 1) return 0;
    const double tw = std::max(p.timeWindow, 1.0 / p.f1);
    const uint64_t s = Frames(1.0 / p.f1 + 1.5 * tw + 0.004 + p.pause + p.windowOffset, rate);
    return s < (1u << 30) ? uint32_t(s) : 0;
}

uint32_t GatedBurstFrames(const GatedSineParams& p, uint32_t rate) {
    if (!GatedSlotFrames(p, rate)) return 0;
    // One and a half gates: a burst of 1.5 / f1 would end inside the gate
    // once the gate is longer than a period of f1.
    return uint32_t(Frames(1.5 * std::max(p.timeWindow, 1.0 / p.f1), rate));
}

uint64_t SweepFrames(const SweepParams& p, uint32_t rate) {
    if (!SweepParamsOk(p) || rate < 1) return 0;
    const double octaves = std::log2(p.f2 / (p.f1 / 2));
    return Frames(p.timePerOctave * octaves, rate);
}

uint64_t GatedStimulusFrames(const GatedSineParams& p, const SineStimulusFormat& f) {
    const size_t k = FrequencySeries(p.f1, p.f2, p.perOctave).size();
    return WithSilences(uint64_t(k) * GatedSlotFrames(p, f.rate), f);
}

uint64_t SweepStimulusFrames(const SweepParams& p, const SineStimulusFormat& f) {
    return WithSilences(SweepFrames(p, f.rate), f);
}

Status WriteGatedSineStimulus(const std::string& path, const GatedSineParams& p, const SineStimulusFormat& f) {
    const std::vector<double> series = FrequencySeries(p.f1, p.f2, p.perOctave);
    const uint64_t total = GatedStimulusFrames(p, f);
    if (!total) return Status::Error(kStrCantCreateStimulus);
    const uint32_t slot = GatedSlotFrames(p, f.rate), burst = GatedBurstFrames(p, f.rate);
    const double a = kFullScale * StimulusAmplitude(f.levelDb);
    // Each burst once, cut back to its last zero crossing so that it ends
    // without a step (the first, a cosine, starts with one on purpose: the
    // arrival is found on it).
    std::vector<int32_t> wave(burst);
    size_t current = SIZE_MAX;
    auto sample = [&](uint64_t i) -> int32_t {
        const size_t k = size_t(i / slot), j = size_t(i % slot);
        if (j >= burst) return 0;
        if (k != current) {
            current = k;
            const double w = 2.0 * kPi * series[k] / f.rate;
            for (uint32_t n = 0; n < burst; ++n) wave[n] = Quantised(a * (k == 0 ? std::cos(w * n) : std::sin(w * n)));
            if (k > 0 && burst > 0) {
                const bool positive = wave[burst - 1] > 0;
                for (uint32_t n = burst; n-- > 0 && wave[n] != 0 && (wave[n] > 0) == positive;) wave[n] = 0;
            }
        }
        return wave[j];
    };
    if (!WriteStimulus(path, f, total, uint64_t(series.size()) * slot, sample))
        return Status::Error(kStrCantCreateStimulus);
    return Status::Ok();
}

Status WriteSweepStimulus(const std::string& path, const SweepParams& p, const SineStimulusFormat& f) {
    const uint64_t total = SweepStimulusFrames(p, f);
    const uint64_t n = SweepFrames(p, f.rate);
    if (!total) return Status::Error(kStrCantCreateStimulus);
    const double fs = p.f1 / 2, t = p.timePerOctave * std::log2(p.f2 / fs);
    const double k = std::log(p.f2 / fs) / t, a = kFullScale * StimulusAmplitude(f.levelDb);
    auto sample = [&](uint64_t i) {
        const double ti = double(p.reverse ? n - 1 - i : i) * t / double(n);
        return Quantised(a * std::sin(2.0 * kPi * (fs / k) * std::expm1(k * ti)));
    };
    if (!WriteStimulus(path, f, total, n, sample)) return Status::Error(kStrCantCreateStimulus);
    return Status::Ok();
}

Status WriteToneStimulus(const std::string& path, double f, double duration, const SineStimulusFormat& format) {
    if (!FormatOk(format) || !Finite({f, duration}) || !(f > 0) || !(f < format.rate / 2.0) || duration < 0 ||
        duration > 60)
        return Status::Error(kStrCantCreateStimulus);
    const double d = std::max(duration + 0.03, 0.05);
    const double samples = std::ceil(std::ceil(d * f) * format.rate / f - 1e-9);
    std::vector<int32_t> tone(size_t(samples), 0);
    const double a = kFullScale * StimulusAmplitude(format.levelDb), w = 2.0 * kPi * f / format.rate;
    for (size_t k = 0; k < tone.size(); ++k) tone[k] = Quantised(a * std::sin(w * double(k)));
    // It ends on a negative sample: the next period would start at 0 or above.
    while (!tone.empty() && tone.back() >= 0) tone.pop_back();
    const uint64_t total = WithSilences(tone.size(), format);
    if (!total) return Status::Error(kStrCantCreateStimulus);
    if (WaveFileFits(path, format.rate, format.channels, format.bits, total)) return Status::Ok();
    if (!WriteStimulus(path, format, total, tone.size(), [&](uint64_t i) { return tone[size_t(i)]; }))
        return Status::Error(kStrCantCreateStimulus);
    return Status::Ok();
}

Status ReadRecording(const std::string& path, double preSilence, bool both, bool swapChannels, bool invert,
                     Recording& out) {
    WaveInput in;
    Status s = OpenWave(path, in);
    if (!s) return s;
    const uint32_t rate = in.format.samplesPerSec;
    if (rate < 1000 || rate > 768000) return Status::Error(kStrRateOutOfRange);
    const uint64_t lead = std::min<uint64_t>(Frames(std::isfinite(preSilence) ? preSilence : 0, rate), in.frames);
    const uint64_t rest = in.frames - lead;
    if (rest > kMaxSineAnalysisFrames) return Status::Error(kStrCantAnalyseMemory);
    std::vector<double> skipped0, skipped1;
    try {
        ReadFrames(in, uint32_t(lead), false, swapChannels, skipped0, skipped1);
        out.clipped = ReadFrames(in, uint32_t(rest), both, swapChannels, out.c0, out.c1);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrCantAnalyseMemory);
    }
    if (invert) {
        for (double& v : out.c0) v = -v;
        for (double& v : out.c1) v = -v;
    }
    out.rate = rate;
    return Status::Ok();
}

int64_t FindStimulusArrival(const std::vector<double>& x, uint32_t rate, double firstFrequency, double* dc) {
    const size_t block = std::min<size_t>(x.size(), rate / 10);
    // A tone that rises from zero reaches 40 % only up to asin(0.4) / 2 pi f
    // after it starts: a quarter period covers that.
    double back = RoundHalfAway(rate * kArrivalBackStep);
    if (firstFrequency > 0 && std::isfinite(firstFrequency)) back += RoundHalfAway(rate / (4.0 * firstFrequency));
    const int64_t step = int64_t(std::min(back, 1e9));
    auto find = [&](double offset) {
        double peak = 0;
        for (size_t i = 0; i < block; ++i) peak = std::max(peak, std::fabs(x[i] - offset));
        size_t at = 0;
        while (at < block && !(std::fabs(x[at] - offset) >= kArrivalThreshold * peak)) ++at;
        return at < block ? int64_t(at) : 0;
    };
    // The offset is the mean of what precedes the stimulus's start (the
    // stimulus itself would bias it); the start is then found again
    // without it.
    const int64_t onset = find(0.0) - step;
    double offset = 0;
    if (onset > 20) {
        for (int64_t i = 0; i < onset; ++i) offset += x[size_t(i)];
        offset /= double(onset);
    }
    if (dc) *dc = offset;
    // Into the lead silence if need be: a stimulus file starts right after
    // it, and cutting the step back short there would make it look later
    // than a recording of it.
    return find(offset) - step;
}

Status AnalyseGatedSine(const std::vector<double>& x, uint32_t rate, uint32_t leadFrames, const GatedSineParams& p,
                        SineAnalysis& out, const std::function<void()>& tick) {
    out = {};
    if (rate < 1000 || rate > 768000) return Status::Error(kStrRateOutOfRange);
    const std::vector<double> series = FrequencySeries(p.f1, p.f2, p.perOctave);
    const uint32_t slot = GatedSlotFrames(p, rate);
    if (series.empty() || !slot) return Status::Error(kStrEmptyGrid);
    const double gate = GateLength(p);
    if (!(gate * rate <= double(1 << 22))) return Status::Error(kStrFftTooLarge);

    double dc = 0;
    // The first burst is a cosine: it starts at full height, so its 40 %
    // point is its start and no quarter period is stepped back (the gate
    // would take in the start of every later burst).
    const int64_t start = FindStimulusArrival(x, rate, 0, &dc) + int64_t(RoundHalfAway(rate * kArrivalBackStep));
    const int n = int(RoundHalfAway(rate * gate) + std::max(1.0, RoundHalfAway(rate * 32.0 / 44100.0)) + 1);
    const std::vector<double>& samples = x;
    const std::vector<double> w = GateWeights(n, p.windowType);
    // The gate's length, not f1, sets the level offset: the level then
    // stays where it is whatever the start frequency.
    const double lc = 20.0 * std::log10(0.1 / gate) + p.levelOffsetDb + WindowCorrectionDb(p.windowType);
    const uint64_t offset = Frames(p.windowOffset, rate);

    out.m = NewMeasurement(kCurveFrequencyResponse);
    if (!out.m) return Status::Error(kStrOutOfMemory);
    Measurement& m = *out.m;
    // The silence of a slot: within the second half of what follows its
    // burst and gate (the response has died away by then).
    const uint64_t busy = std::max<uint64_t>(GatedBurstFrames(p, rate), offset + uint64_t(n));
    SignalAndQuiet level;
    for (size_t k = 0; k < series.size(); ++k) {
        const int64_t at = start + int64_t(k) * slot + int64_t(offset);
        const double f = series[k];
        // Not recorded, or beyond what the rate carries: no point.
        if (at >= int64_t(samples.size()) || f >= rate / 2.0) break;
        double correction = 0;
        const int log2n = FftSizeForWindow(int(rate), gate, f, &correction);
        const double size = std::ldexp(1.0, log2n);
        // The fundamental and the harmonics the gate separates from it,
        // below half the rate.
        double freqs[kMaxGateFrequencies] = {f};
        int harmonicOf[kMaxGateFrequencies] = {1};
        int count = 1;
        for (int k2 = 2; k2 <= 10; ++k2)
            if (k2 * f < rate / 2.0 && (k2 - 1) * f * gate >= kResolvedBandwidths) {
                freqs[count] = k2 * f;
                harmonicOf[count++] = k2;
            }
        std::complex<double> v[kMaxGateFrequencies];
        GateTransforms(samples, at, w, dc, rate, freqs, count, v);
        const double phase = SafeAtan2(v[0].imag(), v[0].real());
        const double l = LevelOfPower(std::norm(v[0]) / size, correction + lc);
        double h[9] = {kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel};
        for (int k2 = 1; k2 < count; ++k2)
            h[harmonicOf[k2] - 2] = LevelOfPower(std::norm(v[k2]) / size, correction + lc);
        if (!AddPoint(m, f, l, phase, h)) return Status::Error(kStrOutOfMemory);
        const uint64_t slotStart = uint64_t(std::max<int64_t>(0, at - int64_t(offset)));
        level.Add(samples, uint64_t(std::max<int64_t>(0, at)), uint64_t(std::max<int64_t>(0, at + n)), true, dc);
        // As many quiet samples as the gate holds, at the slot's end.
        const uint64_t quiet = std::min<uint64_t>((slot - std::min<uint64_t>(slot, busy)) / 2, uint64_t(n));
        level.Add(samples, slotStart + slot - quiet, slotStart + slot, false, dc);
        if (tick) tick();
    }
    out.noiseOnly = level.NoiseOnly();
    m.h.flags |= kMesPhase;
    out.delay = (double(leadFrames) + double(start)) / rate;
    return Status::Ok();
}

Status AnalyseSweep(const std::vector<double>& x, uint32_t rate, uint32_t leadFrames, const SweepParams& p,
                    SineAnalysis& out) {
    out = {};
    if (rate < 1000 || rate > 768000) return Status::Error(kStrRateOutOfRange);
    const std::vector<double> series = FrequencySeries(p.f1, p.f2, p.perOctave);
    const uint64_t sweep = SweepFrames(p, rate);
    if (series.empty() || !sweep) return Status::Error(kStrEmptyGrid);
    const double fs = p.f1 / 2;

    double dc = 0;
    // May lie in the lead silence (read as 0).
    const int64_t start =
        FindStimulusArrival(x, rate, p.reverse ? p.f2 : fs, &dc) + int64_t(RoundHalfAway(rate * kArrivalBackStep));
    const uint64_t available = int64_t(x.size()) > start ? uint64_t(int64_t(x.size()) - start) : 0;
    // Three quarters of what follows the sweep is left out: the response has
    // decayed by then and the rest would only add noise.
    const uint64_t keep = available > sweep ? available - 3 * ((available - sweep) / 4) : available;
    if (keep < 2) return Status::Error(kStrLevelTooLow);
    int order = 16;
    while (order < 40 && (uint64_t(1) << order) < keep) ++order;
    ++order;  // zero padding to at least double: the response does not wrap round
    if (order > kMaxSweepOrder) return Status::Error(kStrFftTooLarge);
    std::vector<float> buf;
    try {
        buf.assign(size_t(2) << order, 0.0f);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrCantAnalyseMemory);
    }
    for (uint64_t i = 0; i < keep; ++i)
        if (start + int64_t(i) >= 0) buf[2 * i] = float(x[size_t(start + int64_t(i))] - dc);
    Fft(buf.data(), order, 1);
    {
        // Silence: the part after the sweep and its decay that is left out.
        SignalAndQuiet level;
        const uint64_t from = uint64_t(std::max<int64_t>(0, start));
        level.Add(x, from, from + std::min(keep, sweep), true, dc);
        level.Add(x, from + keep, x.size(), false, dc);
        out.noiseOnly = level.NoiseOnly();
    }

    const double ls = (rate < 44100 ? kTenLog2 : 0.0) + (order - (rate == 22050 ? 10 : 11)) * kTenLog2 +
                      20.0 * std::log10(std::sqrt(0.1 / p.timePerOctave)) + 20.0 * std::log10(std::sqrt(0.1 * fs)) +
                      1.97 + p.levelOffsetDb;
    out.m = NewMeasurement(kCurveSweepResponse);
    if (!out.m) return Status::Error(kStrOutOfMemory);
    Measurement& m = *out.m;
    const double none[9] = {kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel};
    for (double f : series) {
        if (f >= rate / 2.0) break;  // beyond what the rate carries
        double bin = 0, power = 0, phase = 0;
        // The nearest bin, not an interpolation between two: the sweep's
        // phase turns by up to half a turn from bin to bin, and the
        // reference, read at the same bin, divides out exactly.
        SpectrumValueAt(buf.data(), 1 << order, int(rate), f, &bin, &power, &phase, 0);
        // The sweep's spectrum falls 3 dB per octave; rising as much makes it flat.
        double level = LevelOfPower(power, ls);
        if (level > kNoLevel) level += kTenLog2 * std::log2(f / series[0]);
        if (!AddPoint(m, f, level, phase, none)) return Status::Error(kStrOutOfMemory);
    }
    m.h.flags |= kMesPhase;
    out.delay = (double(leadFrames) + double(start)) / rate;
    return Status::Ok();
}

Status ReferenceResponse(const SineAnalysis& a, const SineAnalysis& b, const ReferenceOptions& o,
                         std::unique_ptr<Measurement>& out) {
    out.reset();
    if (!a.m || !b.m || a.noiseOnly || b.noiseOnly) return Status::Error(kStrLevelTooLow);
    const Measurement &A = *a.m, &B = *b.m;
    size_t count = std::min(A.points.size(), B.points.size());
    for (size_t i = 0; i < count; ++i)
        if (A.points[i].frequency != B.points[i].frequency) count = i;
    std::vector<double> f(count), la(count), lb(count), pa(count), pb(count);
    for (size_t i = 0; i < count; ++i) {
        f[i] = A.points[i].frequency;
        la[i] = A.points[i].value[kSlotLevel];
        lb[i] = B.points[i].value[kSlotLevel];
        pa[i] = A.points[i].value[kSlotPhase];
        pb[i] = B.points[i].value[kSlotPhase];
    }
    SmoothTable(f.data(), la.data(), nullptr, count, 3, kSmoothAveraged);
    SmoothTable(f.data(), lb.data(), nullptr, count, 3, kSmoothAveraged);

    const double d = std::max(0.0, a.delay - b.delay);
    double fr = (o.f1 >= 1000 || o.f2 <= 1000) ? std::sqrt(o.f1 * o.f2) : 1000.0;
    if (o.gated) {
        // Below the reference's last measured 10th harmonic, where the
        // reference is whole.
        double top = 0;
        for (size_t i = 0; i < count; ++i)
            if (Harmonic(B.points[i], 10) > kNoLevel) top = f[i];
        if (top > 0 && top < fr) fr = top;
    }
    size_t ri = 0;
    while (ri + 1 < count && f[ri] < fr) ++ri;
    if (count == 0) return Status::Error(kStrLevelTooLow);
    // The reference's level at fr, less the stimulus level: what the
    // result keeps of the reference, so that it does not follow the
    // waveform level.
    const double keep = lb[ri] - o.levelDb;

    std::unique_ptr<Measurement> r = NewMeasurement(A.h.curveKind);
    if (!r) return Status::Error(kStrOutOfMemory);
    r->h.flags |= kMesPhase;
    for (size_t i = 0; i < count; ++i) {
        const bool have = la[i] > kNoLevel && lb[i] > kNoLevel;
        const double level = have ? la[i] - lb[i] + keep : kNoLevel;
        double phase = WrapRadians(pa[i] - pb[i] - 2.0 * kPi * f[i] * d);
        if (o.probePhaseCorrection) phase = WrapRadians(phase + 2.0 * kPi * f[i] / o.rate);
        // Harmonics against the reference's fundamental: the reference's own
        // harmonics are only its leakage floor.
        double h[9];
        for (int k = 2; k <= 10; ++k) {
            const double ah = Harmonic(A.points[i], k);
            h[k - 2] = have && ah > kNoLevel ? ah - lb[i] + keep : kNoLevel;
        }
        if (!AddPoint(*r, f[i], level, phase, h)) return Status::Error(kStrOutOfMemory);
    }
    // Points without a level (a power of 0) do not count.
    size_t levels = 0;
    for (const CurvePoint& p : r->points) levels += p.value[kSlotLevel] > kNoLevel;
    if (levels < 2) return Status::Error(kStrLevelTooLow);
    out = std::move(r);
    return Status::Ok();
}

std::unique_ptr<Measurement> AveragePasses(const std::vector<const Measurement*>& passes) {
    if (passes.empty() || !passes[0]) return nullptr;
    std::unique_ptr<Measurement> r;
    try {
        r = std::make_unique<Measurement>(*passes[0]);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (size_t p = 1; p < passes.size(); ++p) {
        if (!passes[p]) continue;
        const size_t n = std::min(r->points.size(), passes[p]->points.size());
        for (size_t i = 0; i < n; ++i) {
            CurvePoint& dst = r->points[i];
            const CurvePoint& src = passes[p]->points[i];
            for (int slot : {int(kSlotLevel), 10, 11, 12, 13, 14, 15, 16, 17, 18}) {
                float& v = dst.value[slot];
                v = v > kNoLevel && src.value[slot] > kNoLevel ? float((v + src.value[slot]) / 2.0) : float(kNoLevel);
            }
            // Halfway along the shorter way round: 3.1 and -3.1 meet at pi, not 0.
            const double p0 = dst.value[kSlotPhase];
            dst.value[kSlotPhase] = float(WrapRadians(p0 + WrapRadians(src.value[kSlotPhase] - p0) / 2.0));
        }
    }
    double top = kNoLevel;  // the header is packed: no reference into it
    for (const CurvePoint& pt : r->points) top = std::max(top, double(pt.value[kSlotLevel]));
    r->h.maxLevel = top;
    return r;
}

}  // namespace srx
