#include "design/design_simulation.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "dsp/fft.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

using Complex = std::complex<double>;

constexpr double kRhoC2 = 142003.2;  // the design formulas' air, as the unit's Vas and Cms use it
constexpr double kTwoPi = 2 * kPi;
constexpr int kImpulseLog2 = 13;     // 8192-point spectrum, half of it kept as the impulse
constexpr double kLargest = 1e30;    // what a runaway value is held to

double Held(double v) {
    if (std::isnan(v)) return 0;
    return std::clamp(v, -kLargest, kLargest);
}

// 10 log10 of a power-like quantity, finite for any input.
double Decibels(double power) {
    if (std::isnan(power)) power = 0;
    return 10 * SafeLog10(std::isfinite(power) ? power : 1e38);
}

// The constants of the network, derived once per design (mechanical units
// referred to the cone: velocities in m/s, impedances in N s/m).
struct Network {
    int type = kClosedBox;
    double bl = 0, mms = 0, rms = 0, stiffness = 0;  // cone: Bl, mass, losses, 1/Cms (+ a closed rear chamber)
    double re = 0, le = 0, rg = 0, sd = 0;
    double cab = 0;    // compliance of the chamber the port (or nothing) loads, m/N
    double map = 0;    // port mass, kg (0: no port)
    double rleak = 0;  // leak across the chamber, N s/m (0: none)
    double ventRatio = 0;  // Sd over the total vent area
    int filterOrder = 0;
    double filterW = 0, filterDamping = 0, filterW2 = 0;
};

// A volume made larger by stuffing: the closed-box Q drops by 0.2 % per
// percent of stuffing, and the volume that gives that Q stands in for the
// real one (never more than twice it, where the Q would call for an
// infinite or negative box).
double StuffedVolume(const SpeakerUnit& u, double v, double stuffing) {
    const double qts = u.qes * u.qms / (u.qes + u.qms);
    const double factor = 1 + 0.2 * 0.01 * std::clamp(stuffing, 0.0, 100.0);
    const double qtc = qts * std::sqrt(u.vas / v + 1) / factor;
    const double den = (qtc / qts) * (qtc / qts) - 1;
    if (!(den > u.vas / (2 * v))) return 2 * v;
    return u.vas / den;
}

// The high-pass before the unit: first order, second order (1/Q damping),
// or a second-order and a first-order section in a row.
Complex HighPass(const Network& n, Complex s) {
    Complex h = 1;
    if (n.filterOrder == 1) h = s / (s + n.filterW);
    if (n.filterOrder >= 2) h = s * s / (s * s + n.filterDamping * n.filterW * s + n.filterW * n.filterW);
    if (n.filterOrder == 3) h *= s / (s + n.filterW2);
    return h;
}

// What one frequency gives: the velocities per volt of generator EMF and
// the drive the filter lets through.
struct Point {
    Complex cone, port, leak, out;  // velocities (cone-equivalent, m/s per V)
    Complex impedance;              // EMF over coil current
};

Point Solve(const Network& n, double f, double rrad) {
    const Complex s(0, kTwoPi * f);
    const Complex ze = n.re + n.rg + s * n.le;
    // Per volt of filtered drive; the filter scales every velocity alike.
    const Complex force = n.bl / ze;
    Complex zm = n.rms + n.bl * n.bl / ze + s * n.mms + n.stiffness / s;
    Point p;
    if (n.type == kClosedBox) {
        zm += rrad + 1.0 / (s * n.cab);
        p.cone = force / zm;
        p.out = p.cone;
    } else {
        // The chamber: its compliance with the leak across it.
        const Complex zb = 1.0 / (s * n.cab + (n.rleak > 0 ? 1 / n.rleak : 0.0));
        const Complex zp = rrad + s * n.map;
        if (n.type == kVentedBox) {
            // Cone and port both open to the room; the box pressure pushes
            // on both: (zm + zb) vc + zb vp = F, zb vc + (zp + zb) vp = 0.
            zm += rrad;
            const Complex det = (zm + zb) * (zp + zb) - zb * zb;
            p.cone = force * (zp + zb) / det;
            p.port = -force * zb / det;
            const Complex pressure = -zb * (p.cone + p.port);  // box pressure times Sd
            if (n.rleak > 0) p.leak = pressure / n.rleak;
            p.out = p.cone + p.port + p.leak;
        } else {
            // Bandpass: the cone drives the front chamber only; the room
            // hears the port and the leak.
            const Complex det = (zm + zb) * (zp + zb) - zb * zb;
            p.cone = force * (zp + zb) / det;
            p.port = force * zb / det;
            const Complex pressure = zb * (p.cone - p.port);
            if (n.rleak > 0) p.leak = pressure / n.rleak;
            p.out = p.port + p.leak;
        }
    }
    // Coil current per volt is (1 - Bl vc) / ze.
    p.impedance = ze / (1.0 - n.bl * p.cone);
    const Complex h = HighPass(n, s);
    p.cone *= h, p.port *= h, p.leak *= h, p.out *= h;
    return p;
}

// The baffle step as a first-order shelf centred on 115 / the narrower
// side: the box radiates into half space far above it and into full space
// (6 dB less) far below.
Complex BaffleStep(const BoxDesign& b, double f) {
    const double fstep = 115 / std::min(b.baffleWidth, b.baffleHeight);
    const Complex jx(0, std::sqrt(2.0) * f / fstep);
    return (1.0 + jx) / (2.0 + jx);
}

// Cavity rise: the inverse of a second-order high-pass at f3, Q.
Complex CavityRise(const BoxDesign& b, double f) {
    const double x = b.cavityF3 / f, d = 1 / b.cavityQ;
    return Complex(1 - x * x, -d * x);
}

void UnwrapPhase(const std::vector<double>& wrapped, std::vector<double>& out) {
    out.resize(wrapped.size());
    if (wrapped.empty()) return;
    out[0] = wrapped[0];
    for (size_t i = 1; i < wrapped.size(); ++i) {
        double step = wrapped[i] - wrapped[i - 1];
        step -= kTwoPi * std::round(step / kTwoPi);
        out[i] = out[i - 1] + step;
    }
}

void GroupDelay(const std::vector<double>& f, const std::vector<double>& phase, std::vector<double>& out) {
    const size_t n = f.size();
    out.assign(n, 0);
    for (size_t i = 1; i < n; ++i) out[i] = Held(-(phase[i] - phase[i - 1]) / (kTwoPi * (f[i] - f[i - 1])));
    if (n > 1) out[0] = out[1];
}

// Level (dB) and unwrapped phase of the total response at `f`, straight
// lines over log f between the grid points, the end values held outside.
void InterpolateResponse(const DesignResults& r, double f, size_t& at, double& level, double& phase) {
    const std::vector<double>& fr = r.frequency;
    const std::vector<double>& lv = r.curves[kCurveTotal];
    const std::vector<double>& ph = r.curves[kCurveUnwrappedPhase];
    if (f <= fr.front()) {
        level = lv.front(), phase = ph.front();
        return;
    }
    if (f >= fr.back()) {
        level = lv.back(), phase = ph.back();
        return;
    }
    while (at + 2 < fr.size() && fr[at + 1] < f) ++at;
    level = InterpolateLogF(f, fr[at], lv[at], fr[at + 1], lv[at + 1]);
    phase = InterpolateLogF(f, fr[at], ph[at], fr[at + 1], ph[at + 1]);
}

// The impulse of the total response from its Hermitian spectrum (bin k at
// k fs / 8192, pressure magnitudes), scaled to a peak of 0.99; the step is
// its running sum, scaled to a peak of 0.99 on its own.
void ImpulseAndStep(DesignResults& r) {
    const int n = 1 << kImpulseLog2;
    std::vector<float> buf(2 * size_t(n), 0.0f);
    size_t at = 0;
    for (int k = 1; k < n / 2; ++k) {
        double level = 0, phase = 0;
        InterpolateResponse(r, k * r.sampleRate / n, at, level, phase);
        const double mag = SafePow10(0.05 * (level - 120));
        const float re = float(mag * std::cos(phase)), im = float(mag * std::sin(phase));
        buf[2 * size_t(k)] = re, buf[2 * size_t(k) + 1] = im;
        buf[2 * size_t(n - k)] = re, buf[2 * size_t(n - k) + 1] = -im;
    }
    Fft(buf.data(), kImpulseLog2, -1);
    r.impulse.assign(kDesignImpulseLength, 0);
    r.step.assign(kDesignImpulseLength, 0);
    double peak = 0, stepPeak = 0, sum = 0;
    for (int i = 0; i < kDesignImpulseLength; ++i) {
        r.impulse[i] = Held(buf[2 * size_t(i)]);
        sum += r.impulse[i];
        r.step[i] = Held(sum);
        peak = std::max(peak, std::fabs(r.impulse[i]));
        stepPeak = std::max(stepPeak, std::fabs(r.step[i]));
    }
    if (peak > 0)
        for (double& v : r.impulse) v *= 0.99 / peak;
    if (stepPeak > 0)
        for (double& v : r.step) v *= 0.99 / stepPeak;
}

Status CheckSettings(const AnalyzerSettings& st) {
    if (!std::isfinite(st.start) || !std::isfinite(st.stop) || !(st.start >= 1) || !(st.start < st.stop) ||
        !(st.stop <= 50000))
        return Status::Error(kStrAnalyzerRange);
    if (!std::isfinite(st.eg) || !(std::fabs(st.eg) <= 1e4) || !std::isfinite(st.rg) || !(st.rg >= 0) ||
        !(st.rg <= 1e6) || !(st.temperature >= -100 && st.temperature <= 200))
        return Status::Error(kStrAnalyzerDrive);
    return Status::Ok();
}

Status BuildNetwork(const SpeakerUnit& unit, const BoxDesign& box, const AnalyzerSettings& st, Network& n,
                    SpeakerUnit& eff) {
    if (!HasRequiredParameters(unit)) return Status::Error(kStrBadTsParameters);
    if (!IsValidBoxDesign(box)) return Status::Error(kStrBadBoxDesign);
    if (box.boxType == kDualPortBandpass) return Status::Error(kStrBoxTypeNotSimulated);
    if (Status s = EffectiveUnit(unit, box.units, box.isobaric != 0, eff); !s) return s;
    if (Status s = CheckSettings(st); !s) return s;

    const bool ported = box.boxType != kClosedBox;
    if (!(box.vb > 0) || (ported && !(box.fb > 0 && box.sv > 0)) ||
        (box.boxType == kBandpassBox && !(box.vr > 0)))
        return Status::Error(kStrNotEnoughParameters);
    // A bandpass box's filter order names its kind; the others' a high-pass.
    if (box.boxType != kBandpassBox) {
        n.filterOrder = box.filterOrder;
        if ((n.filterOrder >= 1 && !(box.filterFreq > 0)) || (n.filterOrder >= 2 && !(box.filterDamping > 0)) ||
            (n.filterOrder == 3 && !(box.filterFreq2 > 0)))
            return Status::Error(kStrNotEnoughParameters);
        n.filterW = kTwoPi * box.filterFreq;
        n.filterDamping = box.filterDamping;
        n.filterW2 = kTwoPi * box.filterFreq2;
    }

    const DerivedParameters d = ComputeDerivedParameters(eff);
    n.type = box.boxType;
    n.bl = d.bl, n.mms = d.mms, n.rms = d.rms, n.stiffness = 1 / d.cms;
    n.re = eff.re, n.le = std::isfinite(eff.le) && eff.le > 0 ? eff.le : 0, n.rg = st.rg, n.sd = eff.sd;
    const double sd2rc2 = eff.sd * eff.sd * kRhoC2;
    if (box.boxType == kClosedBox) {
        n.cab = StuffedVolume(eff, box.vb, box.stuffing) / sd2rc2;
    } else {
        n.cab = box.vb / sd2rc2;
        const double wb = kTwoPi * box.fb;
        n.map = 1 / (wb * wb * n.cab);
        // QL = wb Cab Rleak; 1000 and up is a tight box.
        if (box.ql > 0 && box.ql < 1000) n.rleak = box.ql / (wb * n.cab);
        n.ventRatio = eff.sd / (box.vents * box.sv);
        if (box.boxType == kBandpassBox) n.stiffness += sd2rc2 / StuffedVolume(eff, box.vr, box.stuffing);
    }
    return Status::Ok();
}

}  // namespace

double AirDensity(double celsius) { return 1.293 * 0.9869232667160128 * 273.15 / (273.15 + celsius); }

double SoundSpeed(double celsius) { return 330.9 * std::sqrt(1 + 0.0036609921288669233 * celsius); }

bool CavityPreset(int size, double& f3, double& q) {
    // Where the cabin's pressure gain sets in: smaller cabins sooner.
    static const double kF3[] = {70, 55, 40};
    if (size < 1 || size > 3) return false;
    f3 = kF3[size - 1];
    q = 0.7;
    return true;
}

const char* DefaultDesignTitle(int boxType) {
    switch (boxType) {
        case kClosedBox: return "Closed box";
        case kVentedBox: return "Vented box";
        case kBandpassBox: return "Bandpass box";
        default: return "";
    }
}

Status SimulateDesign(const SpeakerUnit& unit, const BoxDesign& box, const AnalyzerSettings& settings,
                      DesignResults& out) {
    return SimulateDesign(unit, box, settings, kMaxDesignPoints, out);
}

Status SimulateDesign(const SpeakerUnit& unit, const BoxDesign& box, const AnalyzerSettings& st, int points,
                      DesignResults& out) {
    out = DesignResults{};
    Network net;
    SpeakerUnit eff;
    if (Status s = BuildNetwork(unit, box, st, net, eff); !s) return s;
    const double eg = st.eg > 0 ? st.eg : std::sqrt(8.0);
    const double rho = AirDensity(st.temperature), c = SoundSpeed(st.temperature);

    // A logarithmic grid from start to stop; steps of at least 1e-5 keep it
    // rising once the points are stored as floats.
    const double span = std::log(st.stop / st.start);
    const int most = int(std::min(double(kMaxDesignPoints), 1 + std::floor(span / 1e-5)));
    const int count = std::clamp(points, 2, std::max(2, most));

    DesignResults r;
    r.frequency.resize(size_t(count));
    for (auto& curve : r.curves) curve.assign(size_t(count), 0);
    const bool baffle = (box.globalFlags & 1) && box.baffleWidth > 0 && box.baffleHeight > 0;
    const bool cavity = box.cavitySize != 0 && box.cavityF3 > 0 && box.cavityQ > 0;
    const double limit = 2 * (eff.xmax > 0 ? eff.xmax : 0.001);  // peak to peak
    std::vector<double> wrapped(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double f = i + 1 == count ? st.stop : st.start * std::exp(span * i / (count - 1));
        r.frequency[i] = f;
        const double rrad = st.radiation ? kTwoPi * rho * eff.sd * eff.sd * f * f / c : 0;
        const Point p = Solve(net, f, rrad);
        // Sound power per unit area at 1 m in half space: rho (Sd f |v|)^2 / c.
        Complex correction = 1;
        if (baffle) correction *= BaffleStep(box, f);
        if (cavity) correction *= CavityRise(box, f);
        const double k = rho * eff.sd * eff.sd * f * f / c * eg * eg * std::norm(correction);
        r.curves[kCurveTotal][i] = Decibels(k * std::norm(p.out)) + 120;
        r.curves[kCurveCone][i] = Decibels(k * std::norm(p.cone)) + 120;
        r.curves[kCurvePort][i] = Decibels(k * std::norm(p.port)) + 120;
        // The far-field pressure goes with j w times the volume velocity.
        wrapped[i] = WrapRadians(Held(std::arg(Complex(0, 1) * p.out * correction)));
        r.curves[kCurveZMagnitude][i] = Held(std::abs(p.impedance));
        r.curves[kCurveElectricalPhase][i] = Held(std::arg(p.impedance));
        const double vc = eg * std::abs(p.cone);
        r.curves[kCurveConeVelocity][i] = Held(vc);
        r.curves[kCurveExcursion][i] = Held(std::sqrt(2.0) * vc / (kPi * f));
        r.curves[kCurvePortVelocity][i] = Held(eg * std::abs(p.port) * net.ventRatio);
        const double excursion = r.curves[kCurveExcursion][i];
        r.curves[kCurveXmaxLimited][i] = r.curves[kCurveTotal][i];
        if (excursion > limit) r.curves[kCurveXmaxLimited][i] += 20 * std::log10(limit / excursion);
    }
    r.curves[kCurveAcousticPhase] = wrapped;
    UnwrapPhase(wrapped, r.curves[kCurveUnwrappedPhase]);
    GroupDelay(r.frequency, r.curves[kCurveUnwrappedPhase], r.curves[kCurveGroupDelay]);
    for (double& v : r.curves[kCurveXmaxLimited]) v = Held(v);

    r.sampleRate = 4 * st.stop;
    const double longest = kDesignImpulseLength / r.sampleRate;
    r.visibleImpulse = std::isfinite(st.visibleImpulse) && st.visibleImpulse > 0
                           ? std::min(std::max(st.visibleImpulse, 0.001), longest)
                           : longest;
    try {
        ImpulseAndStep(r);
    } catch (const std::bad_alloc&) {
        return Status::Error(kStrOutOfMemory);
    }
    out = std::move(r);
    return Status::Ok();
}

}  // namespace srx
