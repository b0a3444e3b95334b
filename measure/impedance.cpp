#include "measure/impedance.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>

#include "audio/virtual_device.h"
#include "dsp/fft.h"
#include "dsp/numeric.h"
#include "dsp/window.h"
#include "measure/measurement_settings.h"
#include "measure/mls.h"
#include "measure/stimulus_files.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

const char kImpedanceCalibrationHeader[] = "SonRix Impedance Calibration File";

namespace {

constexpr int kMaxImpedanceOrder = 26;

// The calibration at f: interpolated over log f between the entries around
// it, the end entries' values beyond the ends.
void CalibrationAt(const ImpedanceCalibration& t, double f, double* k, double* theta) {
    auto next = std::upper_bound(t.begin(), t.end(), f,
                                 [](double v, const ImpedanceCalibrationEntry& e) { return v < e.frequency; });
    if (next == t.begin()) {
        *k = t.front().factor, *theta = t.front().phase;
    } else if (next == t.end()) {
        *k = t.back().factor, *theta = t.back().phase;
    } else {
        const ImpedanceCalibrationEntry &a = *(next - 1), &b = *next;
        const double x = std::log(f / a.frequency) / std::log(b.frequency / a.frequency);
        *k = a.factor + (b.factor - a.factor) * x;
        *theta = a.phase + (b.phase - a.phase) * x;
    }
}

std::string Trimmed(std::string line) {
    const size_t cut = line.find_first_of("\r\n");
    if (cut != std::string::npos) line.resize(cut);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

Status CurveFromRatios(const std::vector<double>& series, const std::vector<std::complex<double>>& ratio,
                       const ImpedanceContext& c, std::unique_ptr<Measurement>& out) {
    out = NewMeasurement(kCurveImpedance);
    if (!out) return Status::Error(kStrOutOfMemory);
    for (size_t i = 0; i < series.size(); ++i) {
        double z = 0, phase = 0;
        // A frequency the channels do not carry adds no point.
        if (!ImpedanceFromChannels(std::norm(ratio[i]), std::arg(ratio[i]), 1, 0, series[i], c, &z, &phase)) continue;
        if (!AddCurvePoint(*out, series[i], z, phase, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                           kNoLevel, kNoLevel, kNoLevel))
            return Status::Error(kStrOutOfMemory);
    }
    out->h.flags |= kMesPhase;
    if (out->points.size() < 2) {
        out.reset();
        return Status::Error(kStrLevelTooLow);
    }
    return Status::Ok();
}

}  // namespace

// The ratio is taken at the bins on either side of f and interpolated
// linearly: read at the nearest bin the point would be that bin's value, off
// by up to half a bin (1-2 % and degrees at a driver's resonance); the
// channels' own spectra turn too fast between bins (a sweep's delay) to be
// interpolated one by one.
std::vector<std::complex<double>> ChannelRatios(const std::vector<float>& s0, const std::vector<float>& s1, int log2n,
                                                uint32_t rate, const std::vector<double>& series) {
    const int64_t n = int64_t(1) << log2n;
    const double b = double(rate) / double(n);
    std::vector<std::complex<double>> ratio(series.size(), 0.0);
    const auto at = [&](int64_t k, std::complex<double>* r) {
        const std::complex<double> x0(s0[size_t(2 * k)], s0[size_t(2 * k + 1)]);
        const std::complex<double> x1(s1[size_t(2 * k)], s1[size_t(2 * k + 1)]);
        if (std::norm(x0) == 0 || std::norm(x1) == 0) return false;
        *r = x0 / x1;
        return true;
    };
    for (size_t i = 0; i < series.size(); ++i) {
        const double x = series[i] / b;
        // Only frequencies between the first bin and the last below Nyquist.
        if (!(x >= 1) || !(x < double(n / 2 - 1))) continue;
        const int64_t k = int64_t(x);
        std::complex<double> r1, r2;
        if (!at(k, &r1) || !at(k + 1, &r2)) continue;
        ratio[i] = r1 + (r2 - r1) * (x - double(k));
    }
    return ratio;
}

bool ImpedanceFromChannels(double p0, double phi0, double p1, double phi1, double f, const ImpedanceContext& c,
                           double* magnitude, double* phase) {
    double r = 0, offset = 0, feed = 0;
    if (!(p0 > 0) || !(p1 > 0) || !ImpedanceBoxConstants(c.boxVersion, r, offset, feed)) return false;
    double k = 1, theta = 0;
    if (c.table && !c.table->empty()) CalibrationAt(*c.table, f, &k, &theta);
    const double correction = c.probePhaseCorrection && c.rate > 0 ? 2 * kPi * f / c.rate : 0.0;
    *magnitude = std::sqrt(p0) / std::sqrt(p1) * r * k;
    *phase = WrapRadians(phi0 - phi1 - theta + offset + correction);
    return std::isfinite(*magnitude) && std::isfinite(*phase);
}

std::string ImpedanceCalibrationName(const MeasurementSettings& ms) {
    char name[256];
    const int head[5] = {int(ms.sampleRate / 1000), int(ms.bitsPerSample), int(ms.outputDevice), int(ms.inputDevice),
                         int(ms.impedanceBoxVersion)};
    if (ms.flags & kMsfImpedanceMls)
        std::snprintf(name, sizeof name, "ImpCal_%d%d%d%d%d_MLS=%d_WIN=%d.icf", head[0], head[1], head[2], head[3],
                      head[4], int(ms.impedanceMlsOrder), int(ms.impedanceWindowType));
    else
        std::snprintf(name, sizeof name, "ImpCal_%d%d%d%d%d_SW=%.4lf_%.0lf_%.0lf.icf", head[0], head[1], head[2],
                      head[3], head[4], ms.impedanceSweepTime, ms.impedanceStart, ms.impedanceStop);
    return name;
}

std::string ImpedanceSettingLine(const MeasurementSettings& ms) {
    std::ostringstream s;
    s << "; setting rate=" << ms.sampleRate << " bits=" << ms.bitsPerSample << " out=" << ms.outputDevice
      << " in=" << ms.inputDevice << " box=" << ms.impedanceBoxVersion;
    return s.str();
}

bool ImpedanceCalibrationFileName(const MeasurementSettings& ms, const std::string& programFolder, std::string* out) {
    const std::string path = InProgramFolder(programFolder, ImpedanceCalibrationName(ms).c_str());
    if (out) *out = path;
    ImpedanceCalibration table;
    return ReadImpedanceCalibration(HostPath(path), table, ImpedanceSettingLine(ms));
}

Status WriteImpedanceCalibration(const std::string& path, const Measurement& m, double rcal,
                                 const std::string& settingLine, double* meanFactor) {
    std::ostringstream text;
    text << kImpedanceCalibrationHeader << "\r\n";
    if (!settingLine.empty()) text << settingLine << "\r\n";
    double sum = 0, last = 0;
    size_t n = 0;
    for (const CurvePoint& p : m.points) {
        const double z = p.value[kSlotLevel], f = p.frequency;
        // Only points a reader takes: rising, finite, with a level.
        if (!(z > 0) || !std::isfinite(z) || !(f > last) || n >= kMaxImpedanceCalibrationEntries) continue;
        char line[128];
        std::snprintf(line, sizeof line, "%.8lf  %.8lf  % .8lf\r\n", f, rcal / z, p.value[kSlotPhase] * 180 / kPi);
        text << line;
        sum += z;
        last = f;
        ++n;
    }
    if (n == 0 || !(rcal > 0) || !std::isfinite(rcal)) return Status::Error(kStrLevelTooLow);
    text << "; End\r\n";
    if (!WriteFileSafely(path, text.str())) return Status::Error(kStrCantCreateStimulus);
    if (meanFactor) *meanFactor = rcal / (sum / double(n));
    return Status::Ok();
}

bool ReadImpedanceCalibration(const std::string& path, ImpedanceCalibration& out, const std::string& settingLine) {
    out.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string raw;
    bool header = false, settingMatches = settingLine.empty();
    while (out.size() < kMaxImpedanceCalibrationEntries && std::getline(in, raw)) {
        const std::string line = Trimmed(raw);
        if (line == Trimmed(settingLine)) settingMatches = true;
        if (line.empty() || line[0] == ';' || line[0] == '*') continue;
        if (!header) {
            if (line != kImpedanceCalibrationHeader) return false;
            header = true;
            continue;
        }
        std::string fields = line;
        std::replace(fields.begin(), fields.end(), ',', ' ');
        std::replace(fields.begin(), fields.end(), '\t', ' ');
        std::istringstream values(fields);
        double f = 0, k = 0, degrees = 0;
        if (!(values >> f >> k >> degrees)) continue;
        // log(f / f) would divide by 0 and a factor of 0 erase the curve.
        if (!std::isfinite(f) || !std::isfinite(k) || !std::isfinite(degrees) || !(f > 0) || !(k > 0)) continue;
        if (!out.empty() && !(f > out.back().frequency)) continue;
        out.push_back({f, k, degrees * kPi / 180});
    }
    if (out.empty() || !settingMatches) {
        out.clear();
        return false;
    }
    return true;
}

Status AnalyseImpedanceSweep(const Recording& r, uint32_t leadFrames, const ImpedanceParams& p,
                             std::unique_ptr<Measurement>& out) {
    out.reset();
    SweepParams sweep;
    sweep.f1 = p.f1;
    sweep.f2 = p.f2;
    sweep.timePerOctave = p.timePerOctave;
    const uint64_t n = SweepFrames(sweep, r.rate);
    std::vector<double> series = FrequencySeries(p.f1, p.f2, p.perOctave);
    if (!n || series.empty() || r.rate < 1000) return Status::Error(kStrEmptyGrid);
    if (r.c1.size() != r.c0.size()) return Status::Error(kStrTooFewPoints);
    double dc0 = 0, dc1 = 0;
    FindStimulusArrival(r.c0, r.rate, p.f1 / 2, &dc0);
    // Both channels from the current channel's arrival: read from their
    // own, they would differ by the detection, not by the load.
    const int64_t start = FindStimulusArrival(r.c1, r.rate, p.f1 / 2, &dc1);
    const uint64_t available = int64_t(r.c0.size()) > start ? uint64_t(int64_t(r.c0.size()) - start) : 0;
    const uint64_t keep = available > n ? available - 3 * ((available - n) / 4) : available;
    if (keep < 2) return Status::Error(kStrLevelTooLow);
    const double fs = p.f1 / 2;
    int order = fs < 10 ? 18 : fs < 20 ? 17 : 16;
    while (order < 40 && (uint64_t(1) << order) < keep) ++order;
    while (order < 40 && double(r.rate) / std::ldexp(1.0, order) > fs) ++order;
    ++order;  // zero padding: the decay at the end does not wrap onto the start
    if (order > kMaxImpedanceOrder) return Status::Error(kStrFftTooLarge);
    (void)leadFrames;
    std::vector<std::complex<double>> ratio;
    try {
        std::vector<float> buf[2];
        for (int c = 0; c < 2; ++c) {
            const std::vector<double>& x = c == 0 ? r.c0 : r.c1;
            const double dc = c == 0 ? dc0 : dc1;
            buf[c].assign(size_t(2) << order, 0.0f);
            for (uint64_t i = 0; i < keep; ++i)
                if (start + int64_t(i) >= 0) buf[c][2 * i] = float(x[size_t(start + int64_t(i))] - dc);
            Fft(buf[c].data(), order, 1);
        }
        ratio = ChannelRatios(buf[0], buf[1], order, r.rate, series);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrCantAnalyseMemory);
    }
    return CurveFromRatios(series, ratio, p.context, out);
}

Status AnalyseImpedanceMls(const std::string& responsePath, const std::string& stimulusPath, double preSilence,
                           const ImpedanceParams& p, std::unique_ptr<Measurement>& out, bool* clipped) {
    out.reset();
    if (clipped) *clipped = false;
    if (p.order < kMlsMinOrder || p.order > kMlsMaxOrder) return Status::Error(kStrEmptyGrid);
    const uint32_t n = uint32_t(1) << p.order;
    MlsRecoveryOptions options;
    options.preSilence = preSilence;
    std::unique_ptr<TimeRecord> voltage, current;
    MlsPassReport report;
    Status s = MlsImpulsePairFromFiles(responsePath, stimulusPath, n, options, voltage, current, &report);
    if (!s) return s;
    if (clipped) *clipped = report.clipped;
    const uint32_t rate = uint32_t(voltage->h.sampleRate);
    const std::vector<double> series = FrequencySeries(p.f1, p.f2, p.perOctave);
    if (series.empty()) return Status::Error(kStrEmptyGrid);
    // The whole period from the current's window start, weighed by the
    // falling half of the window: a window of one period of f1 would cut
    // the driver's response off.
    const size_t period = std::min(voltage->samples.size(), current->samples.size()) - 1;
    const size_t from = size_t(std::clamp<int64_t>(current->h.windowStart, 0, int64_t(period) - 1));
    const int log2n = std::max(15, Log2Ceiling(int64_t(period)));
    std::vector<std::complex<double>> ratio;
    try {
        // The window's weights once for both channels (a window's own
        // normalisation to a channel's peak would cancel in the ratio).
        std::vector<float> weight(size_t(2) << log2n, 0.0f);
        for (size_t i = 0; i < period; ++i) weight[2 * i] = 1.0f;
        ApplyWindow(weight.data(), log2n, int(period), p.windowType, 1);
        std::vector<float> buf[2];
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& x = c == 0 ? voltage->samples : current->samples;
            buf[c].assign(size_t(2) << log2n, 0.0f);
            // Both records are indexed by the lag behind the sequence, so
            // the same start serves both.
            for (size_t i = 0, k = from; i < period; ++i, k = k + 1 == period ? 0 : k + 1)
                buf[c][2 * i] = x[k] * weight[2 * i];
            Fft(buf[c].data(), log2n, 1);
        }
        ratio = ChannelRatios(buf[0], buf[1], log2n, rate, series);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrCantAnalyseMemory);
    }
    ImpedanceContext c = p.context;
    c.rate = rate;
    s = CurveFromRatios(series, ratio, c, out);
    if (out) out->h.flags |= kMesImpedanceMls;
    return s;
}

std::unique_ptr<Measurement> AverageImpedancePasses(const std::vector<const Measurement*>& passes) {
    return AveragePasses(passes);
}

}  // namespace srx
