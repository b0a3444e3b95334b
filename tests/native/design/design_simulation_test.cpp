#include "design/design_simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "design/alignment_file.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"
#include "tests/native/design/simulated_box.h"

namespace srx {
namespace {

using Complex = std::complex<double>;

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.fs = 30, u.vas = 0.1, u.qes = 0.4, u.qms = 4, u.re = 6, u.sd = 0.05, u.le = 0, u.xmax = 0.006;
    return u;
}

// Lossless air, an ideal generator of 1 W into Re.
AnalyzerSettings Bare(const SpeakerUnit& u, double start = 10, double stop = 1000) {
    AnalyzerSettings s;
    s.start = start, s.stop = stop, s.rg = 0, s.eg = std::sqrt(u.re), s.radiation = false;
    return s;
}

// The level of the bare unit far above resonance, where its mass alone
// sets the cone velocity: Bl eg / (Re w Mms).
double PassbandLevel(const SpeakerUnit& u, const AnalyzerSettings& s) {
    const DerivedParameters d = ComputeDerivedParameters(u);
    const double v = d.bl * s.eg / (u.re * 2 * kPi * d.mms);  // times f
    const double rho = AirDensity(s.temperature), c = SoundSpeed(s.temperature);
    return 120 + 10 * std::log10(rho / c * u.sd * u.sd * v * v);
}

double Db(Complex h) { return 20 * std::log10(std::abs(h)); }

TEST(DesignSimulation, ClosedBoxIsASecondOrderHighPass) {
    const SpeakerUnit u = Woofer();
    BoxDesign box;
    box.vb = 0.05;
    const AnalyzerSettings s = Bare(u);
    DesignResults r;
    ASSERT_TRUE(SimulateDesign(u, box, s, r).ok());
    ASSERT_EQ(r.frequency.size(), size_t(kMaxDesignPoints));
    EXPECT_DOUBLE_EQ(r.frequency.back(), 1000);

    const ClosedBoxFigures cb = ClosedBoxResults(u, box.vb);
    const DerivedParameters d = ComputeDerivedParameters(u);
    const double w0 = 2 * kPi * cb.fc, force = d.bl * s.eg / u.re, mass = d.mms;
    const double top = PassbandLevel(u, s);
    double zmax = 0, fzmax = 0;
    for (size_t i = 0; i < r.frequency.size(); ++i) {
        const double f = r.frequency[i], w = 2 * kPi * f;
        const Complex den(w0 * w0 - w * w, w * w0 / cb.qtc);
        EXPECT_NEAR(r.curves[kCurveTotal][i] - top, Db(-w * w / den), 0.01) << f;
        EXPECT_NEAR(r.curves[kCurveExcursion][i], 2 * std::sqrt(2.0) * force / (mass * std::abs(den)), 1e-9) << f;
        if (i > 0) {
            // The delay of the high-pass between two points, at their middle.
            const double wm = kPi * (f + r.frequency[i - 1]);
            const double tau = w0 / cb.qtc * (w0 * w0 + wm * wm) / std::norm(Complex(w0 * w0 - wm * wm, wm * w0 / cb.qtc));
            EXPECT_NEAR(r.curves[kCurveGroupDelay][i], tau, 1e-3 * tau) << f;
        }
        if (r.curves[kCurveZMagnitude][i] > zmax) zmax = r.curves[kCurveZMagnitude][i], fzmax = f;
    }
    // Re + Bl^2 / Rms at fc, 66 Ohm for this unit.
    EXPECT_NEAR(zmax, u.re * (1 + u.qms / u.qes), 0.05);
    EXPECT_NEAR(fzmax / cb.fc, 1, 0.005);
    // At 1 kHz, 1 W gives the unit's sensitivity with this air:
    // 10 log10(efficiency / 2 pi) + 120, efficiency = rho Sd^2 Fs / (c Mms Qes).
    const double eff = AirDensity(20) * u.sd * u.sd * u.fs / (SoundSpeed(20) * d.mms * u.qes);
    EXPECT_NEAR(r.curves[kCurveTotal].back(), 120 + 10 * std::log10(eff / (2 * kPi)), 0.05);

    // The impulse carries the response: its spectrum between two
    // frequencies differs as the curve does, in level and phase, and it
    // starts at once and dies away (a causal response, not one whose phase
    // is off by a constant).
    auto dtft = [&](double f) {
        Complex x = 0;
        for (size_t n = 0; n < r.impulse.size(); ++n) x += r.impulse[n] * std::polar(1.0, -2 * kPi * f * n / r.sampleRate);
        return x;
    };
    const size_t a = 511, b = 973;  // 100 Hz, 800 Hz
    const Complex ratio = dtft(r.frequency[a]) / dtft(r.frequency[b]);
    EXPECT_NEAR(Db(ratio), r.curves[kCurveTotal][a] - r.curves[kCurveTotal][b], 0.1);
    EXPECT_NEAR(std::arg(ratio),
                WrapRadians(r.curves[kCurveAcousticPhase][a] - r.curves[kCurveAcousticPhase][b]), 0.02);
    EXPECT_NEAR(std::fabs(*std::max_element(r.impulse.begin(), r.impulse.end(),
                                            [](double x, double y) { return std::fabs(x) < std::fabs(y); })),
                0.99, 1e-12);
    EXPECT_EQ(r.impulse[0], 0.99);
    double early = 0, late = 0;
    for (size_t n = 0; n < r.impulse.size(); ++n) (n < r.impulse.size() / 2 ? early : late) += r.impulse[n] * r.impulse[n];
    EXPECT_LT(late, 1e-4 * early);
}

TEST(DesignSimulation, VentedBoxIsSmallsFourthOrderHighPass) {
    const SpeakerUnit u = Woofer();
    BoxDesign box;
    box.boxType = kVentedBox, box.vb = 0.08, box.fb = 28, box.sv = 0.005;
    const AnalyzerSettings s = Bare(u, 10, 200);
    DesignResults r;
    ASSERT_TRUE(SimulateDesign(u, box, s, r).ok());
    const double alpha = u.vas / box.vb, h = box.fb / u.fs, qt = ComputeDerivedParameters(u).qts;
    const double f0 = std::sqrt(u.fs * box.fb), top = PassbandLevel(u, s);
    std::vector<double> peaks;
    for (size_t i = 0; i < r.frequency.size(); ++i) {
        const Complex p(0, r.frequency[i] / f0);
        const Complex g = std::pow(p, 4) / (std::pow(p, 4) + std::pow(p, 3) / (std::sqrt(h) * qt) +
                                            p * p * (alpha + 1 + h * h) / h + p * std::sqrt(h) / qt + 1.0);
        EXPECT_NEAR(r.curves[kCurveTotal][i] - top, Db(g), 0.01) << r.frequency[i];
        const std::vector<double>& z = r.curves[kCurveZMagnitude];
        if (i > 0 && i + 1 < z.size() && z[i] > z[i - 1] && z[i] > z[i + 1]) peaks.push_back(r.frequency[i]);
    }
    // Without losses the impedance peaks where the reactance vanishes:
    // f^4 - f^2 (Fs^2 (1 + alpha) + fb^2) + Fs^2 fb^2 = 0.
    const double b = u.fs * u.fs * (1 + alpha) + box.fb * box.fb, c = u.fs * u.fs * box.fb * box.fb;
    const double step = r.frequency[1] / r.frequency[0];
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_NEAR(peaks[0], std::sqrt((b - std::sqrt(b * b - 4 * c)) / 2), peaks[0] * (step - 1));
    EXPECT_NEAR(peaks[1], std::sqrt((b + std::sqrt(b * b - 4 * c)) / 2), peaks[1] * (step - 1));

    // A leak takes some of the output at the tuning, a stuffed closed box
    // sounds larger, and the refusals leave no results.
    box.ql = 7;
    DesignResults leaky;
    ASSERT_TRUE(SimulateDesign(u, box, s, leaky).ok());
    const size_t atFb = std::lower_bound(r.frequency.begin(), r.frequency.end(), box.fb) - r.frequency.begin();
    EXPECT_LT(leaky.curves[kCurveTotal][atFb], r.curves[kCurveTotal][atFb] - 0.3);
    BoxDesign odd = box;
    odd.units = 3, odd.isobaric = 1;
    EXPECT_EQ(SimulateDesign(u, odd, s, r).stringId, kStrIsobaricOdd);
    EXPECT_TRUE(r.empty());
    odd = box, odd.boxType = kDualPortBandpass;
    EXPECT_EQ(SimulateDesign(u, odd, s, r).stringId, kStrBoxTypeNotSimulated);
    for (auto [start, stop] : {std::pair{0.5, 100.0}, {100.0, 100.0}, {20.0, 60000.0}, {NAN, 100.0}}) {
        AnalyzerSettings bad = s;
        bad.start = start, bad.stop = stop;
        EXPECT_EQ(SimulateDesign(u, box, bad, r).stringId, kStrAnalyzerRange) << start << " " << stop;
    }
}

// The shipped tables, put through the simulator: the QB3-B4 family never
// rises above the passband, the C4 family ripples by up to 1 dB, and every
// unit between the two finds an entry in each loss block.
TEST(DesignSimulation, ShippedVentedAlignmentsHaveTheirFamiliesShape) {
    const std::string folder = std::string(SRX_SOURCE_DIR) + "/resources/Alignments";
    int checked = 0;
    for (double qes : {0.22, 0.3, 0.4, 0.48, 0.6}) {
        SpeakerUnit u = Woofer();
        u.qes = qes;
        const double qts = ComputeDerivedParameters(u).qts;
        const std::vector<VentedAlignment> list = VentedAlignmentsFor(folder, qts);
        EXPECT_EQ(list.size(), 5u) << qts;  // five loss blocks in one of the two files
        for (const VentedAlignment& a : list) {
            BoxDesign box;
            box.boxType = kVentedBox, box.vb = u.vas / a.alpha, box.fb = a.h * u.fs, box.ql = a.ql, box.sv = 0.005;
            const AnalyzerSettings s = Bare(u, 5, 3000);
            DesignResults r;
            ASSERT_TRUE(SimulateDesign(u, box, s, r).ok()) << a.name;
            const double top = PassbandLevel(u, s);
            double peak = -1e9;
            for (double level : r.curves[kCurveTotal]) peak = std::max(peak, level - top);
            const bool chebyshev = a.name.rfind("C4", 0) == 0;
            EXPECT_LT(peak, chebyshev ? 1.01 : 0.01) << a.name << " at Qts " << qts;
            if (chebyshev && qts > 0.45) {
                EXPECT_GT(peak, 0.05) << a.name;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 25);
}

TEST(DesignSimulation, BandpassAlignmentsGiveTheirLabelledGain) {
    SpeakerUnit u = Woofer();
    u.qes = 0.3;  // Qts 0.279: every second-order alignment applies
    const double qts = ComputeDerivedParameters(u).qts;
    const AnalyzerSettings s = Bare(u, 5, 2000);
    const double top = PassbandLevel(u, s);
    int checked = 0;
    for (const BandpassAlignment& a : BandpassAlignmentsFor(qts)) {
        if (a.order != 2) continue;
        const double alphaR = (a.qtc / qts) * (a.qtc / qts) - 1;
        BoxDesign box;
        box.boxType = kBandpassBox, box.filterOrder = 2, box.sv = 0.005;
        box.vr = u.vas / alphaR;
        box.vb = u.vas / (a.aT * (alphaR + 1));
        box.fb = a.hc * a.qtc * u.fs / qts;
        DesignResults r;
        ASSERT_TRUE(SimulateDesign(u, box, s, r).ok()) << a.name;
        const double peak = *std::max_element(r.curves[kCurveTotal].begin(), r.curves[kCurveTotal].end());
        EXPECT_NEAR(peak - top, -20 * std::log10(a.aT), 0.02) << a.name;
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

}  // namespace

const DesignResults& test::SimulatedBox(bool vented) {
    static const auto make = [](bool v) {
        SpeakerUnit u = Woofer();
        u.le = 0.0008;
        BoxDesign box;
        box.boxType = v ? kVentedBox : kClosedBox, box.vb = 0.08, box.fb = 28, box.sv = 0.005, box.ql = 7;
        DesignResults r;
        EXPECT_TRUE(SimulateDesign(u, box, AnalyzerSettings{}, r).ok());
        return r;
    };
    static const DesignResults closed = make(false), ported = make(true);
    return vented ? ported : closed;
}

const std::vector<double>& test::DesignCurveOf(const DesignResults& r, int index) {
    return index < 0 ? r.frequency : r.curves.at(size_t(index));
}

}  // namespace srx
