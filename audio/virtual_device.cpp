#include "audio/virtual_device.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>

namespace srx {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint64_t kIdle = std::numeric_limits<uint64_t>::max();

// Second-order section, direct form I (the states stay small at low
// cut-offs where a transposed form loses precision).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double Run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
    std::complex<double> At(double w) const {
        const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
        return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    }
};

enum class BiquadKind { kHighPass, kLowPass, kPeak };

Biquad MakeBiquad(BiquadKind kind, double f, double q, double gainDb, uint32_t rate) {
    const double w0 = 2 * kPi * f / rate, c = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    double b0, b1, b2, a0, a1, a2;
    if (kind == BiquadKind::kHighPass) {
        b0 = (1 + c) / 2, b1 = -(1 + c), b2 = (1 + c) / 2, a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    } else if (kind == BiquadKind::kLowPass) {
        b0 = (1 - c) / 2, b1 = 1 - c, b2 = (1 - c) / 2, a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    } else {
        const double A = std::pow(10.0, gainDb / 40);
        b0 = 1 + alpha * A, b1 = -2 * c, b2 = 1 - alpha * A;
        a0 = 1 + alpha / A, a1 = -2 * c, a2 = 1 - alpha / A;
    }
    Biquad b;
    b.b0 = b0 / a0, b.b1 = b1 / a0, b.b2 = b2 / a0, b.a1 = a1 / a0, b.a2 = a2 / a0;
    return b;
}

// The loudspeaker's sections at `rate`. Corners at or beyond 0.45 of the
// rate are left out: the driver's roll-off is then above the band anyway.
std::vector<Biquad> SpeakerSections(const VirtualAcoustic& a, uint32_t rate) {
    std::vector<Biquad> s;
    if (!a.speaker) return s;
    const double top = 0.45 * rate;
    if (a.lowCutoff > 0 && a.lowCutoff < top)
        s.push_back(MakeBiquad(BiquadKind::kHighPass, a.lowCutoff, a.lowQ, 0, rate));
    if (a.highCutoff > 0 && a.highCutoff < top)
        s.push_back(MakeBiquad(BiquadKind::kLowPass, a.highCutoff, a.highQ, 0, rate));
    if (a.peakFrequency > 0 && a.peakFrequency < top && a.peakGainDb != 0)
        s.push_back(MakeBiquad(BiquadKind::kPeak, a.peakFrequency, a.peakQ, a.peakGainDb, rate));
    return s;
}

double Polynomial(const std::vector<double>& coefficients, double x) {
    double y = x, p = x;
    for (double c : coefficients) {
        p *= x;
        y += c * p;
    }
    return y;
}

// Element values of the driver's equivalent circuit: the motional branch is
// Res, Lces and Cmes in parallel; a vented box adds Lceb, Cep and its loss
// Rel in series across it. An added mass raises Cmes (= Mms / Bl^2) in
// proportion to the moving mass; a test box puts its compliance as an
// inductance Lces Vab / Vas in parallel with Lces.
struct DriverCircuit {
    double re, le, res, lces, cmes, lceb = 0, cep = 0, rel = 0;
    bool vented;
    explicit DriverCircuit(const VirtualDriver& d) : re(d.re), le(std::max(0.0, d.le)), vented(d.vented) {
        const double ws = 2 * kPi * d.fs;
        res = d.re * d.qms / d.qes;
        cmes = d.qms / (res * ws);
        lces = 1 / (ws * ws * cmes);
        if (vented) {
            const double wb = 2 * kPi * d.fb;
            lceb = lces / d.alpha;
            cep = 1 / (wb * wb * lceb);
            if (d.ql > 0) rel = wb * lceb / d.ql;
        }
        if (d.sd > 0 && d.vas > 0) {
            constexpr double kRhoC2 = 142003.2;  // rho c^2 of air, Pa
            const double cms = d.vas / (d.sd * d.sd * kRhoC2);
            const double mms = 1 / (ws * ws * cms);
            if (!(std::isfinite(mms) && mms > 0)) return;  // no moving mass to add to
            double added = std::max(0.0, d.mass);
            if (d.box > 0) {
                added += 0.85 * 0.575 * std::pow(d.sd, 1.5);
                lces *= d.box / (d.vas + d.box);
            }
            cmes *= (mms + added) / mms;
        }
    }
    std::complex<double> At(std::complex<double> s) const {
        std::complex<double> y = 1 / res + 1.0 / (s * lces) + s * cmes;
        if (vented) y += 1.0 / (rel + s * lceb + 1.0 / (s * cep));
        return re + s * le + 1.0 / y;
    }
};

// Deterministic Gaussian noise: the same sequence on every platform.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 1) {}
    double Next() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        double u1 = Uniform(), u2 = Uniform();
        const double r = std::sqrt(-2 * std::log(u1)), t = 2 * kPi * u2;
        spare_ = r * std::sin(t), haveSpare_ = true;
        return r * std::cos(t);
    }

private:
    double Uniform() {  // (0, 1]
        state_ ^= state_ << 13, state_ ^= state_ >> 7, state_ ^= state_ << 17;
        return (double(state_ >> 11) + 1) / 9007199254740992.0;
    }
    uint64_t state_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

// The jig's load at complex frequency s.
std::complex<double> LoadAt(const VirtualSetup& setup, std::complex<double> s) {
    const VirtualJigSetup& j = setup.jig;
    switch (j.load) {
        case VirtualLoad::kDriver: return DriverCircuit(setup.driver).At(s);
        case VirtualLoad::kResistor: return j.loadR;
        case VirtualLoad::kResistorInductor: return j.loadR + s * std::max(0.0, j.loadL);
        case VirtualLoad::kResistorCapacitor: return j.loadC > 0 ? j.loadR + 1.0 / (s * j.loadC) : j.loadR;
    }
    return j.loadR;
}

// The analogue angular frequency at which the trapezoidal rule answers f.
double WarpedOmega(double f, uint32_t rate) { return rate ? 2.0 * rate * std::tan(kPi * f / rate) : 2 * kPi * f; }

// The jig as a linear state-space system integrated with the trapezoidal
// rule: x' = A x + B v, current i = C x + D v.
class JigCircuit {
public:
    JigCircuit(const VirtualSetup& setup, double feed, uint32_t rate) {
        Mat a{};
        std::array<double, 5> b{};
        const VirtualJigSetup& j = setup.jig;
        const double rt = feed + j.loadR;
        if (j.load == VirtualLoad::kDriver) {
            DriverStates(setup.driver, feed, a, b);
        } else if (j.load == VirtualLoad::kResistorInductor && j.loadL > 0) {
            // State: the current.
            n_ = 1, a[0][0] = -rt / j.loadL, b[0] = 1 / j.loadL, c_[0] = 1;
        } else if (j.load == VirtualLoad::kResistorCapacitor && j.loadC > 0) {
            // State: the capacitor's voltage.
            n_ = 1, a[0][0] = -1 / (rt * j.loadC), b[0] = 1 / (rt * j.loadC);
            c_[0] = -1 / rt, d_ = 1 / rt;
        } else {
            d_ = 1 / rt;
        }
        const double h = 0.5 / rate;
        Mat m{}, p{};
        for (int r = 0; r < n_; ++r)
            for (int k = 0; k < n_; ++k) m[r][k] = (r == k) - h * a[r][k], p[r][k] = (r == k) + h * a[r][k];
        // Solve m * [P | Q] = [p | h b] by Gauss-Jordan with partial pivoting.
        Mat rhs = p;
        std::array<double, 5> q{};
        for (int r = 0; r < n_; ++r) q[r] = h * b[r];
        for (int col = 0; col < n_; ++col) {
            int piv = col;
            for (int r = col + 1; r < n_; ++r)
                if (std::abs(m[r][col]) > std::abs(m[piv][col])) piv = r;
            std::swap(m[piv], m[col]), std::swap(rhs[piv], rhs[col]), std::swap(q[piv], q[col]);
            const double d = m[col][col];
            for (int k = 0; k < n_; ++k) m[col][k] /= d, rhs[col][k] /= d;
            q[col] /= d;
            for (int r = 0; r < n_; ++r) {
                if (r == col || m[r][col] == 0) continue;
                const double f = m[r][col];
                for (int k = 0; k < n_; ++k) m[r][k] -= f * m[col][k], rhs[r][k] -= f * rhs[col][k];
                q[r] -= f * q[col];
            }
        }
        p_ = rhs, q_ = q;
    }

    // Drive sample in, current out.
    double Step(double v) {
        std::array<double, 5> next{};
        for (int r = 0; r < n_; ++r) {
            double s = q_[r] * (v + lastV_);
            for (int k = 0; k < n_; ++k) s += p_[r][k] * x_[k];
            next[r] = s;
        }
        x_ = next, lastV_ = v;
        double i = d_ * v;
        for (int k = 0; k < n_; ++k) i += c_[k] * x_[k];
        return i;
    }

private:
    using Mat = std::array<std::array<double, 5>, 5>;

    void DriverStates(const VirtualDriver& driver, double feed, Mat& a, std::array<double, 5>& b) {
        const DriverCircuit c(driver);
        const double rt = feed + c.re;
        // States: [i] (only with Le), vm, iL, [iLb, vCp] (only vented).
        const bool withL = c.le > 0;
        const int iI = withL ? n_++ : -1, iVm = n_++, iL = n_++;
        const int iLb = c.vented ? n_++ : -1, iCp = c.vented ? n_++ : -1;
        if (withL) {
            a[iI][iI] = -rt / c.le, a[iI][iVm] = -1 / c.le, b[iI] = 1 / c.le;
            a[iVm][iI] = 1 / c.cmes;
            c_[iI] = 1;
        } else {
            a[iVm][iVm] += -1 / (rt * c.cmes), b[iVm] = 1 / (rt * c.cmes);
            c_[iVm] = -1 / rt, d_ = 1 / rt;
        }
        a[iVm][iVm] += -1 / (c.res * c.cmes);
        a[iVm][iL] = -1 / c.cmes;
        a[iL][iVm] = 1 / c.lces;
        if (c.vented) {
            a[iVm][iLb] = -1 / c.cmes;
            a[iLb][iVm] = 1 / c.lceb, a[iLb][iCp] = -1 / c.lceb, a[iLb][iLb] = -c.rel / c.lceb;
            a[iCp][iLb] = 1 / c.cep;
        }
    }

    int n_ = 0;
    Mat p_{};
    std::array<double, 5> q_{}, c_{}, x_{};
    double d_ = 0, lastV_ = 0;
};

}  // namespace

VirtualSetup PureLatencySetup(uint32_t latency) {
    VirtualSetup s;
    s.latency = latency;
    s.acoustic.gain = 1;
    s.acoustic.speaker = false;
    s.acoustic.distortion.clear();
    s.acoustic.reflectionGain = 0;
    s.acoustic.noiseDb = -200;
    return s;
}

bool ImpedanceBoxConstants(int boxVersion, double& r, double& phaseOffset, double& feedResistor) {
    switch (boxVersion) {
        case 0: r = 470 / 5.4, phaseOffset = 0, feedResistor = 470; return true;
        case 1: r = 68, phaseOffset = 0, feedResistor = 68; return true;
        case 2: r = 68, phaseOffset = -kPi, feedResistor = 68; return true;
        case 3: r = 500, phaseOffset = 0, feedResistor = 1000; return true;
        default: return false;
    }
}

// ------------------------------------------------------------------ truth

VirtualTruth::VirtualTruth(const VirtualSetup& setup, uint32_t rate) : setup_(setup), rate_(rate) {}

std::complex<double> VirtualTruth::Response(double f) const {
    const auto& a = setup_.acoustic;
    const double w = 2 * kPi * f / rate_;
    std::complex<double> h = a.gain;
    for (const Biquad& b : SpeakerSections(a, rate_)) h *= b.At(w);
    return h * (1.0 + a.reflectionGain * std::polar(1.0, -w * a.reflectionDelay));
}

std::vector<double> VirtualTruth::ImpulseResponse(std::size_t n) const {
    const auto& a = setup_.acoustic;
    auto sections = SpeakerSections(a, rate_);
    std::vector<double> direct(n);
    for (std::size_t k = 0; k < n; ++k) {
        double x = k == 0 ? a.gain : 0.0;
        for (Biquad& b : sections) x = b.Run(x);
        direct[k] = x;
    }
    std::vector<double> h = direct;
    if (a.reflectionGain != 0)
        for (std::size_t k = a.reflectionDelay; k < n; ++k) h[k] += a.reflectionGain * direct[k - a.reflectionDelay];
    return h;
}

double VirtualTruth::Distort(double x) const { return Polynomial(setup_.acoustic.distortion, x); }

double VirtualTruth::NoiseRms() const {
    return setup_.acoustic.noiseDb <= -200 ? 0.0 : std::pow(10.0, setup_.acoustic.noiseDb / 20);
}

std::complex<double> VirtualTruth::DriverImpedance(double f) const {
    return DriverCircuit(setup_.driver).At({0.0, 2 * kPi * f});
}

std::complex<double> VirtualTruth::LoadImpedance(double f) const { return LoadAt(setup_, {0.0, 2 * kPi * f}); }

std::complex<double> VirtualTruth::JigImpedance(double f) const { return LoadAt(setup_, {0.0, WarpedOmega(f, rate_)}); }

std::complex<double> VirtualTruth::JigReading(double f) const {
    const VirtualJigSetup& j = setup_.jig;
    std::complex<double> z = JigImpedance(f) / j.currentGain;
    if (j.currentCorner > 0) z *= std::complex<double>(1.0, WarpedOmega(f, rate_) / (2 * kPi * j.currentCorner));
    return z;
}

// ------------------------------------------------------------------- path

struct VirtualPath::State {
    VirtualSetup setup;
    std::vector<Biquad> sections;
    std::vector<double> echo;  // past direct sound, for the reflection
    std::size_t echoPos = 0;
    Noise noise;
    double noiseRms;
    std::vector<std::array<double, 2>> delay;  // the latency
    std::size_t delayPos = 0;
    std::unique_ptr<JigCircuit> jig;
    double boxR = 1, feed = 1, sign = 1;
    bool senseCorner = false;
    Biquad sense;  // first order: the current channel's low-pass
    State(const VirtualSetup& s, uint32_t rate)
        : setup(s), noise(s.acoustic.noiseSeed), noiseRms(VirtualTruth(s, rate).NoiseRms()) {}
};

VirtualPath::VirtualPath(const VirtualSetup& setup, uint32_t rate) : s_(std::make_unique<State>(setup, rate)) {
    State& s = *s_;
    if (setup.mode == VirtualMode::kAcoustic) {
        s.sections = SpeakerSections(setup.acoustic, rate);
        if (setup.acoustic.reflectionGain != 0) s.echo.assign(std::size_t(setup.acoustic.reflectionDelay) + 1, 0.0);
    } else {
        double offset = 0;
        // An unknown box version behaves like version 2 here; the analysis
        // refuses it anyway.
        if (!ImpedanceBoxConstants(setup.boxVersion, s.boxR, offset, s.feed))
            ImpedanceBoxConstants(1, s.boxR, offset, s.feed);
        s.sign = offset != 0 ? -1 : 1;
        s.jig = std::make_unique<JigCircuit>(setup, s.feed, rate);
        if (setup.jig.currentCorner > 0) {
            // Bilinear, like the circuit, so that its response is exact at the warped frequency.
            const double k = rate / (kPi * setup.jig.currentCorner);
            s.senseCorner = true;
            s.sense.b0 = s.sense.b1 = 1 / (1 + k), s.sense.a1 = (1 - k) / (1 + k);
        }
    }
    if (setup.latency) s.delay.assign(setup.latency, {0.0, 0.0});
}

VirtualPath::~VirtualPath() = default;

void VirtualPath::Process(const double drive[2], double out[2]) {
    State& s = *s_;
    std::array<double, 2> now;
    if (s.jig) {
        const double i = s.jig->Step(drive[0]);
        double current = s.sign * s.boxR * i;
        if (s.senseCorner) current = s.sense.Run(current);
        now = {drive[0] - s.feed * i, s.setup.jig.currentGain * current};
        if (s.noiseRms > 0) {
            // One draw per channel: Box-Muller's pairs are independent.
            now[0] += s.noiseRms * s.noise.Next();
            now[1] += s.noiseRms * s.noise.Next();
        }
        now[0] += s.setup.acoustic.dc, now[1] += s.setup.acoustic.dc;
    } else {
        const auto& a = s.setup.acoustic;
        double x = a.gain * Polynomial(a.distortion, drive[0]);
        for (Biquad& b : s.sections) x = b.Run(x);
        double mic = x;
        if (!s.echo.empty()) {
            // echo[echoPos] holds the direct sound of `reflectionDelay` frames ago.
            s.echo[s.echoPos] = x;
            const std::size_t back = (s.echoPos + 1) % s.echo.size();
            mic += a.reflectionGain * s.echo[back];
            s.echoPos = back;
        }
        if (s.noiseRms > 0) mic += s.noiseRms * s.noise.Next();
        mic += a.dc;
        now = {mic, drive[1]};
    }
    if (s.delay.empty()) {
        out[0] = now[0], out[1] = now[1];
        return;
    }
    out[0] = s.delay[s.delayPos][0], out[1] = s.delay[s.delayPos][1];
    s.delay[s.delayPos] = now;
    s.delayPos = (s.delayPos + 1) % s.delay.size();
}

// ---------------------------------------------------------------- samples

double DecodeSample(const unsigned char* p, int bits) {
    switch (bits) {
        case 8: return (int(p[0]) - 128) / 128.0;
        case 16: return int16_t(uint16_t(p[0] | p[1] << 8)) / 32768.0;
        case 24: {
            int32_t v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
            return v / 8388608.0;
        }
        case 32:
            return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24) /
                   2147483648.0;
        default: return 0;
    }
}

void EncodeSample(double value, unsigned char* p, int bits) {
    const int bytes = bits / 8;
    if (bytes < 1 || bytes > 4) return;
    const double full = std::ldexp(1.0, bits - 1);
    double v = std::round(value * full);
    v = std::clamp(v, -full, full - 1);
    if (bits == 8) {
        p[0] = static_cast<unsigned char>(int(v) + 128);
        return;
    }
    const uint32_t u = static_cast<uint32_t>(static_cast<int64_t>(v));
    for (int k = 0; k < bytes; ++k) p[k] = static_cast<unsigned char>(u >> (8 * k));
}

// ----------------------------------------------------------------- device

class VirtualLoudspeaker::Handle : public WaveDeviceHandle {
public:
    Handle(VirtualLoudspeaker& device, WaveDirection direction, uint64_t serial)
        : device_(device), direction_(direction), serial_(serial) {}
    ~Handle() override {
        if (open_) {
            Reset();
            Close();
        }
    }

    int Prepare(WaveHeader& header) override {
        std::lock_guard<std::mutex> lock(device_.mutex_);
        if (!Current()) return kWaveDeviceError;
        if (!header.data && header.bufferLength) return kWaveDeviceBadParam;
        header.flags |= kWaveHeaderPrepared;
        return kWaveDeviceOk;
    }

    int Unprepare(WaveHeader& header) override {
        std::lock_guard<std::mutex> lock(device_.mutex_);
        if (!Current()) return kWaveDeviceError;
        if (header.flags & kWaveHeaderInQueue) return kWaveDeviceStillPlaying;
        header.flags &= ~kWaveHeaderPrepared;
        return kWaveDeviceOk;
    }

    int Queue(WaveHeader& header) override {
        {
            std::lock_guard<std::mutex> lock(device_.mutex_);
            if (!Current()) return kWaveDeviceError;
            if (!(header.flags & kWaveHeaderPrepared)) return kWaveDeviceUnprepared;
            if (header.flags & kWaveHeaderInQueue) return kWaveDeviceStillPlaying;
            Stream& s = device_.StreamOf(direction_);
            header.flags = (header.flags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
            if (direction_ == WaveDirection::kInput) header.bytesRecorded = 0;
            if (s.queue.empty()) s.headOffset = 0;
            s.queue.push_back(&header);
        }
        return kWaveDeviceOk;
    }

    int Start() override {
        std::lock_guard<std::mutex> lock(device_.mutex_);
        if (!Current()) return kWaveDeviceError;
        if (direction_ == WaveDirection::kInput) device_.in_.started = true;
        return kWaveDeviceOk;
    }

    int Reset() override {
        std::vector<Notice> direct;
        {
            std::lock_guard<std::mutex> lock(device_.mutex_);
            if (!Current()) return kWaveDeviceError;
            Stream& s = device_.StreamOf(direction_);
            s.started = false;
            while (!s.queue.empty()) device_.CompleteHead(s, int(direction_), direct);
        }
        device_.DeliverDirect(direct);
        return kWaveDeviceOk;
    }

    int Close() override {
        std::vector<Notice> direct;
        {
            std::lock_guard<std::mutex> lock(device_.mutex_);
            if (!Current()) return kWaveDeviceError;
            Stream& s = device_.StreamOf(direction_);
            if (!s.queue.empty()) return kWaveDeviceStillPlaying;
            s.open = s.started = false;
            open_ = false;
            // Buffer notices of a closed device would point at buffers their owner
            // is about to free; only the close notice is still delivered.
            auto& q = device_.notices_;
            q.erase(std::remove_if(q.begin(), q.end(),
                                   [&](const Notice& n) {
                                       return !n.owner && n.serial == serial_ && n.direction == int(direction_) &&
                                              n.notice == WaveNotice::kDone;
                                   }),
                    q.end());
            Notice n;
            n.target = s.target, n.notice = WaveNotice::kClosed, n.direction = int(direction_), n.serial = serial_;
            device_.QueueNotice(n, direct);
        }
        device_.DeliverDirect(direct);
        return kWaveDeviceOk;
    }

private:
    bool Current() const {
        const Stream& s = direction_ == WaveDirection::kOutput ? device_.out_ : device_.in_;
        return open_ && s.open && s.serial == serial_;
    }
    VirtualLoudspeaker& device_;
    WaveDirection direction_;
    uint64_t serial_;
    bool open_ = true;
};

VirtualLoudspeaker::VirtualLoudspeaker(const VirtualSetup& setup) : setup_(setup) {}

VirtualLoudspeaker::~VirtualLoudspeaker() { StopPacing(); }

void VirtualLoudspeaker::SetSetup(const VirtualSetup& setup) {
    std::lock_guard<std::mutex> lock(mutex_);
    setup_ = setup;
}

VirtualSetup VirtualLoudspeaker::Setup() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return setup_;
}

void VirtualLoudspeaker::SetPacing(VirtualPacing pacing) {
    StopPacing();
    std::lock_guard<std::mutex> lock(mutex_);
    pacing_ = pacing;
    if (pacing == VirtualPacing::kRealTime) {
        stopPacer_ = false;
        pacer_ = std::thread([this] { PacingLoop(); });
    }
}

void VirtualLoudspeaker::StopPacing() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopPacer_ = true;
        pacing_ = VirtualPacing::kManual;
    }
    queued_.notify_all();
    if (pacer_.joinable()) pacer_.join();
}

void VirtualLoudspeaker::PacingLoop() {
    using Clock = std::chrono::steady_clock;
    auto last = Clock::now();
    double owed = 0;
    bool running = false;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopPacer_) {
        // An idle device needs no fine clock: it only has to pass on what the
        // owner's own calls (open, reset, close) queued.
        queued_.wait_for(lock, std::chrono::milliseconds(running ? 2 : 20));
        if (stopPacer_) break;
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - last).count();
        last = now;
        running = (in_.open && in_.started) || (out_.open && !out_.queue.empty());
        std::vector<Notice> direct;
        if (!running || rate_ == 0) {
            owed = 0;
        } else {
            // A stalled process catches up at most half a second, like a device
            // that dropped what its owner did not collect.
            owed = std::min(owed + elapsed * rate_, rate_ * 0.5);
            const auto frames = static_cast<uint64_t>(owed);
            owed -= double(frames);
            Advance(frames, direct);
        }
        const bool woke = unwoken_;
        unwoken_ = false;
        auto wake = wake_;
        void* context = wakeContext_;
        lock.unlock();
        DeliverDirect(direct);
        if (woke) {
            queued_.notify_all();
            if (wake) wake(context);
        }
        lock.lock();
    }
}

std::size_t VirtualLoudspeaker::Pump(std::size_t maxNotices) {
    std::size_t count = 0;
    while (count < maxNotices) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!notices_.empty()) {
            Notice n = notices_.front();
            notices_.pop_front();
            lock.unlock();
            Deliver(n);
            ++count;
            continue;
        }
        if (pacing_ != VirtualPacing::kManual) break;
        const uint64_t next = FramesToNextEvent();
        if (next == kIdle) break;
        std::vector<Notice> direct;
        Advance(next, direct);
        lock.unlock();
        DeliverDirect(direct);
    }
    return count;
}

std::size_t VirtualLoudspeaker::WaitAndPump(int milliseconds) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        queued_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !notices_.empty(); });
    }
    return Pump();
}

void VirtualLoudspeaker::SetWakeHook(void (*hook)(void*), void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_ = hook, wakeContext_ = context;
}

void VirtualLoudspeaker::SetOwnerHandler(OwnerHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    ownerHandler_ = handler;
}

uint64_t VirtualLoudspeaker::Clock() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_;
}

void VirtualLoudspeaker::QueueNotice(Notice n, std::vector<Notice>& direct) {
    if (!n.owner && n.target.direct) {
        direct.push_back(n);
        return;
    }
    if (!n.owner && !n.target.fn) return;
    notices_.push_back(n);
    unwoken_ = true;
}

void VirtualLoudspeaker::Deliver(const Notice& n) {
    if (n.owner) {
        OwnerHandler handler;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handler = ownerHandler_;
        }
        if (handler) handler(n.ownerWindow, n.message, n.first, n.second);
    } else if (n.target.fn) {
        n.target.fn(n.target.context, n.notice, n.header);
    }
}

void VirtualLoudspeaker::DeliverDirect(std::vector<Notice>& direct) {
    for (const Notice& n : direct) Deliver(n);
    direct.clear();
}

void VirtualLoudspeaker::CompleteHead(Stream& s, int direction, std::vector<Notice>& direct) {
    WaveHeader* h = s.queue.front();
    s.queue.pop_front();
    if (direction == int(WaveDirection::kInput)) h->bytesRecorded = s.headOffset;
    s.headOffset = 0;
    h->flags = (h->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
    Notice n;
    n.target = s.target, n.notice = WaveNotice::kDone, n.header = h, n.direction = direction, n.serial = s.serial;
    QueueNotice(n, direct);
}

uint64_t VirtualLoudspeaker::FramesToNextEvent() const {
    uint64_t next = kIdle;
    const auto left = [](const Stream& s) -> uint64_t {
        const uint32_t align = std::max<uint32_t>(1, s.format.blockAlign);
        const WaveHeader* h = s.queue.front();
        return h->bufferLength > s.headOffset ? (h->bufferLength - s.headOffset) / align : 0;
    };
    if (out_.open && !out_.queue.empty()) next = std::min(next, left(out_));
    if (in_.open && in_.started && !in_.queue.empty()) next = std::min(next, left(in_));
    return next;
}

void VirtualLoudspeaker::Advance(uint64_t frames, std::vector<Notice>& direct) {
    const int outBits = out_.format.bitsPerSample, inBits = in_.format.bitsPerSample;
    const uint32_t outAlign = std::max<uint32_t>(1, out_.format.blockAlign);
    const uint32_t inAlign = std::max<uint32_t>(1, in_.format.blockAlign);
    // Heads without room for one more frame are done.
    const auto settle = [&] {
        while (out_.open && !out_.queue.empty() && out_.queue.front()->bufferLength < out_.headOffset + outAlign)
            CompleteHead(out_, int(WaveDirection::kOutput), direct);
        while (in_.open && in_.started && !in_.queue.empty() &&
               in_.queue.front()->bufferLength < in_.headOffset + inAlign)
            CompleteHead(in_, int(WaveDirection::kInput), direct);
    };
    settle();
    if (!path_) {
        clock_ += frames;
        return;
    }
    for (uint64_t f = 0; f < frames; ++f) {
        double drive[2] = {0, 0}, rec[2];
        if (out_.open && !out_.queue.empty()) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(out_.queue.front()->data) + out_.headOffset;
            drive[0] = DecodeSample(p, outBits);
            drive[1] = out_.format.channels > 1 ? DecodeSample(p + outBits / 8, outBits) : drive[0];
            out_.headOffset += outAlign;
        }
        path_->Process(drive, rec);
        if (in_.open && in_.started && !in_.queue.empty()) {
            unsigned char* p = reinterpret_cast<unsigned char*>(in_.queue.front()->data) + in_.headOffset;
            EncodeSample(rec[0], p, inBits);
            if (in_.format.channels > 1) EncodeSample(rec[1], p + inBits / 8, inBits);
            in_.headOffset += inAlign;
        }
        ++clock_;
        settle();
    }
}

int VirtualLoudspeaker::DeviceCount(WaveDirection) const { return 1; }

std::string VirtualLoudspeaker::DeviceName(WaveDirection, int id) const { return id == 0 ? kVirtualDeviceName : ""; }

bool VirtualLoudspeaker::SupportsFormat(WaveDirection, int id, const WaveFormat& f) const {
    if (id != 0 && id != kWaveMapper) return false;
    const bool bitsOk = f.bitsPerSample == 8 || f.bitsPerSample == 16 || f.bitsPerSample == 24 || f.bitsPerSample == 32;
    const bool rateOk =
        std::find(std::begin(kVirtualRates), std::end(kVirtualRates), f.samplesPerSec) != std::end(kVirtualRates);
    return f.formatTag == kWaveFormatPcm && bitsOk && rateOk && (f.channels == 1 || f.channels == 2) &&
           f.blockAlign == f.channels * f.bitsPerSample / 8;
}

int VirtualLoudspeaker::Open(WaveDirection direction, int id, const WaveFormat& format, const WaveNoticeTarget& target,
                             std::unique_ptr<WaveDeviceHandle>& out) {
    if (id != 0 && id != kWaveMapper) return kWaveDeviceBadId;
    if (!SupportsFormat(direction, id, format)) return kWaveDeviceBadFormat;
    std::vector<Notice> direct;
    uint64_t serial;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Stream& s = StreamOf(direction);
        const Stream& other = direction == WaveDirection::kOutput ? in_ : out_;
        if (s.open) return kWaveDeviceBusy;
        // One clock serves both directions.
        if (other.open && other.format.samplesPerSec != format.samplesPerSec) return kWaveDeviceBadFormat;
        if (!other.open) {
            rate_ = format.samplesPerSec;
            // Each run hears noise of its own: a noise sequence restarted from
            // the same seed would make repeated passes identical, and averaging
            // them would take no noise away. The first run keeps the seed.
            VirtualSetup run = setup_;
            run.acoustic.noiseSeed ^= uint32_t(clock_ * 2654435761u);
            path_ = std::make_unique<VirtualPath>(run, rate_);
        }
        s = Stream{};
        s.open = true, s.format = format, s.target = target, s.serial = serial = nextSerial_++;
        Notice n;
        n.target = target, n.notice = WaveNotice::kOpened, n.direction = int(direction), n.serial = serial;
        QueueNotice(n, direct);
    }
    out = std::make_unique<Handle>(*this, direction, serial);
    DeliverDirect(direct);
    return kWaveDeviceOk;
}

int VirtualLoudspeaker::CreateNoticeWindow(void*, void*) { return 0; }
void VirtualLoudspeaker::DestroyNoticeWindow() {}
void VirtualLoudspeaker::SetWindowClosedHandler(void (*)()) {}

void VirtualLoudspeaker::PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    std::lock_guard<std::mutex> lock(mutex_);
    Notice n;
    n.owner = true, n.ownerWindow = owner, n.message = message, n.first = first, n.second = second;
    notices_.push_back(n);
    unwoken_ = true;
    queued_.notify_all();
}

// ----------------------------------------------------------------- router

int WaveDeviceRouter::VirtualId() const {
    if (!real_) return 0;
    return std::max(real_->DeviceCount(WaveDirection::kOutput), real_->DeviceCount(WaveDirection::kInput));
}

int WaveDeviceRouter::DeviceCount(WaveDirection direction) const {
    if (!virtual_) return real_ ? real_->DeviceCount(direction) : 0;
    return VirtualId() + 1;
}

std::string WaveDeviceRouter::DeviceName(WaveDirection direction, int id) const {
    if (virtual_ && id == VirtualId()) return virtual_->DeviceName(direction, 0);
    return real_ && id >= 0 ? real_->DeviceName(direction, id) : "";
}

bool WaveDeviceRouter::SupportsFormat(WaveDirection direction, int id, const WaveFormat& format) const {
    if (virtual_ && (id == VirtualId() || (id == kWaveMapper && !real_)))
        return virtual_->SupportsFormat(direction, 0, format);
    return real_ && real_->SupportsFormat(direction, id, format);
}

int WaveDeviceRouter::Open(WaveDirection direction, int id, const WaveFormat& format, const WaveNoticeTarget& target,
                           std::unique_ptr<WaveDeviceHandle>& out) {
    if (virtual_ && (id == VirtualId() || (id == kWaveMapper && !real_)))
        return virtual_->Open(direction, 0, format, target, out);
    if (!real_ || (id != kWaveMapper && (id < 0 || id >= real_->DeviceCount(direction)))) return kWaveDeviceBadId;
    return real_->Open(direction, id, format, target, out);
}

int WaveDeviceRouter::CreateNoticeWindow(void* owner, void* instance) {
    return real_      ? real_->CreateNoticeWindow(owner, instance)
           : virtual_ ? virtual_->CreateNoticeWindow(owner, instance)
                      : 0;
}

void WaveDeviceRouter::DestroyNoticeWindow() {
    if (real_) real_->DestroyNoticeWindow();
    else if (virtual_) virtual_->DestroyNoticeWindow();
}

void WaveDeviceRouter::SetWindowClosedHandler(void (*handler)()) {
    if (real_) real_->SetWindowClosedHandler(handler);
}

void WaveDeviceRouter::PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) {
    if (real_) real_->PostToOwner(owner, message, first, second);
    else if (virtual_) virtual_->PostToOwner(owner, message, first, second);
}

}  // namespace srx
