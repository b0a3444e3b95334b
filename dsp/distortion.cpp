#include "dsp/distortion.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/native_files.h"
#include "dsp/compensation.h"
#include "dsp/frequency_response.h"

namespace srx {

namespace {

double Harmonic(const CurvePoint& p, int h) { return p.value[kSlotDistortion2 + h - 2]; }

}  // namespace

bool HasHarmonics(const Measurement& m) {
    for (const CurvePoint& p : m.points)
        for (int k = 2; k <= 10; ++k)
            if (Harmonic(p, k) > kNoLevel) return true;
    return false;
}

double ComputeDistortion(Measurement& m, uint32_t harmonics) {
    std::vector<double> sum(m.points.size(), 0.0);
    double total = 0;
    bool any = false;
    for (int k = 2; k <= 10; ++k) {
        const bool selected = (harmonics >> (k - 2)) & 1u;
        any = any || selected;
        double ratioSum = 0, largest = 0;
        size_t count = 0;
        // Every measured point counts, not just those up to the first gap:
        // low frequencies where the gate cannot resolve a harmonic come first.
        for (size_t i = 0; i < m.points.size(); ++i) {
            const double level = m.points[i].value[kSlotLevel], h = Harmonic(m.points[i], k);
            if (!(h > -500.0) || !(level > -500.0)) continue;
            const double ratio = std::pow(10.0, (h - level) / 20.0);
            // A harmonic hundreds of dB above its fundamental is not a
            // reading (hostile or broken files); it would overflow the sums.
            if (!std::isfinite(ratio * ratio)) continue;
            ratioSum += ratio;
            largest = std::max(largest, ratio);
            ++count;
            if (selected) sum[i] += ratio * ratio;
        }
        m.harmonicMaxPercent[k - 2] = 100.0 * largest;
        const double mean = count ? ratioSum / double(count) : 0.0;
        if (selected) total += mean * mean;
    }
    for (size_t i = 0; i < m.points.size(); ++i) {
        const double level = m.points[i].value[kSlotLevel];
        const double thd = sum[i] > 0 ? 10.0 * std::log10(sum[i]) + level : kNoLevel;
        // Stored as a float: what does not fit is no level.
        m.points[i].value[kSlotThd] = std::isfinite(float(thd)) ? float(thd) : float(kNoLevel);
    }
    m.distortionDerived = any && std::isfinite(total) ? 100.0 * std::sqrt(total) : 0.0;
    return m.distortionDerived;
}

void InstallDistortionHooks() {
    auto hook = [](Measurement& m) { ComputeDistortion(m, CurrentAnalysisSettings().thdHarmonics); };
    SetDistortionDerivedHook(hook);
    SetCompensationThdHook(hook);
}

}  // namespace srx
