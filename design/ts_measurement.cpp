#include "design/ts_measurement.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "dsp/numeric.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr double kRhoC2 = 142003.2;   // rho c^2 of air, Pa
constexpr double kRhoC2Box = 142000;  // the test-box compliance has always used this rounding
constexpr double kC3 = 40707584.0;    // c^3, m^3/s^3
constexpr double kAirLoad = 0.575;    // kg per m^3 of Sd^1.5: the cone's air mass
constexpr double kDeg = kPi / 180;

// Where the manufacturer and model texts sit in the header's 160 bytes
// before the method field.
constexpr size_t kTextBytes = 80;

double Z(const CurvePoint& p) { return p.value[kSlotLevel]; }
double Phase(const CurvePoint& p) { return p.value[kSlotPhase]; }

bool Positive(double v) { return std::isfinite(v) && v > 0; }
// A value of the T/S block as an input: anything not finite counts as 0.
double Input(const MeasurementHeader& h, TsField f) {
    const double v = h.tsBlock[f];
    return std::isfinite(v) ? v : 0.0;
}

void ClearResults(MeasurementHeader& h) {
    h.tsBlock[kTsFs] = h.tsBlock[kTsQms] = h.tsBlock[kTsQes] = h.tsBlock[kTsLe] = 0;
}

// The resonance peak: the highest point above Re whose phase is within
// +-18 degrees, searched until |Z| falls below 0.66 of it. The last point
// is never examined: a peak needs a point beyond it.
struct Peak {
    double fs = 0, zmax = 0;
};
Peak FindResonance(const std::vector<CurvePoint>& points, double re) {
    Peak p{0, re};
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const double z = Z(points[i]);
        if (z > p.zmax && std::fabs(Phase(points[i])) < 18 * kDeg) {
            p.zmax = z, p.fs = points[i].frequency;
        } else if (z < 0.66 * p.zmax) {
            break;
        }
    }
    return p;
}

// The first point at or above sqrt(r0) Re, and the first point above Fs
// back down at it.
void BandEdges(const std::vector<CurvePoint>& points, double fs, double z13, double& f1, double& f2) {
    f1 = f2 = 0;
    for (const CurvePoint& p : points) {
        if (f1 == 0 && Z(p) >= z13) {
            f1 = p.frequency;
        } else if (p.frequency > fs && Z(p) <= z13) {
            f2 = p.frequency;
            break;
        }
    }
}

// Le from the first frequency at or after `from` (in 1000-Hz steps, while
// below `limit`) where the curve is inductive; 0 when none is. `at`
// receives that frequency.
double FirstInductance(const Measurement& m, double from, double limit, double* at = nullptr) {
    double le = 0;
    for (double f = from;; f += 1000) {
        if (InductanceAt(m, f, le) || !(f < limit)) {
            if (at) *at = f;
            return le;
        }
    }
}

struct Analysis {
    double fs = 0, zmax = 0, r0 = 0, f1 = 0, f2 = 0, qms = 0, qes = 0, le = 0;
};

// Steps 2..6 of the analysis on a checked curve with Re > 0.
Status Analyse(const Measurement& m, double re, Analysis& a) {
    const Peak peak = FindResonance(m.points, re);
    if (!(peak.zmax > re)) return Status::Error(kStrResonanceMissing);
    a.fs = peak.fs, a.zmax = peak.zmax;
    a.r0 = peak.zmax / re;
    BandEdges(m.points, a.fs, std::sqrt(a.r0) * re, a.f1, a.f2);
    a.le = FirstInductance(m, a.fs < 1000 ? 1000.0 : 2 * a.fs, m.points.back().frequency);
    if (!(a.f2 - a.f1 > 0) || !(a.r0 > 1)) return Status::Error(kStrResonanceMissing);
    a.qms = std::sqrt(a.r0) * a.fs / (a.f2 - a.f1);
    a.qes = a.qms / (a.r0 - 1);
    if (!Positive(a.qms) || !Positive(a.qes)) return Status::Error(kStrResonanceMissing);
    return Status::Ok();
}

// The strongest point with |phase| < 10 degrees, searched until |Z| falls
// below two thirds of it: a quick resonance for telling the methods apart.
double RoughResonance(const Measurement& m) {
    double zmax = 0, fs = 0;
    for (const CurvePoint& p : m.points) {
        if (Z(p) > zmax && std::fabs(Phase(p)) < 10 * kDeg) zmax = Z(p), fs = p.frequency;
        else if (Z(p) < 0.6666 * zmax) break;
    }
    return fs;
}

// One attempt of the two-peak search at phase tolerance t (degrees).
bool TwoPeaksAt(const std::vector<CurvePoint>& points, double t, TwoPeaks& out) {
    TwoPeaks p;
    size_t i = 0;
    const size_t n = points.size();
    const auto peak = [&](double& z, double& f) {
        for (; i < n; ++i) {
            const double zi = Z(points[i]);
            if (zi > z && std::fabs(Phase(points[i])) < t * kDeg) z = zi, f = points[i].frequency;
            else if (zi < 0.66 * z) return true;
        }
        return false;
    };
    if (!peak(p.zL, p.fL)) return false;
    bool minimum = false;
    for (; i < n; ++i) {
        const double zi = Z(points[i]);
        if (p.zB > 0 && zi > 1.2 * p.zB) {
            minimum = true;
            break;
        }
        if ((p.zB == 0 || zi < p.zB) && std::fabs(Phase(points[i])) < t / 2 * kDeg)
            p.zB = zi, p.fB = points[i].frequency;
    }
    if (!minimum || !peak(p.zH, p.fH)) return false;
    if (p.fL == 0 || p.fB == 0 || p.fH == 0) return false;
    out = p;
    return true;
}

std::string HeaderText(const MeasurementHeader& h, size_t at) {
    const char* text = reinterpret_cast<const char*>(h.reserved564) + at;
    return std::string(text, strnlen(text, kTextBytes - 1));
}

void SetHeaderText(MeasurementHeader& h, size_t at, const std::string& text) {
    char* field = reinterpret_cast<char*>(h.reserved564) + at;
    std::memset(field, 0, kTextBytes);
    std::memcpy(field, text.data(), std::min(text.size(), kTextBytes - 1));
}

}  // namespace

Status CheckTsCurve(const Measurement& m) {
    if (m.h.curveKind != kCurveImpedance) return Status::Error(kStrNotImpedanceCurve);
    if (m.points.size() < 3) return Status::Error(kStrBadImpedanceCurve);
    double last = 0;
    for (const CurvePoint& p : m.points) {
        const double f = p.frequency;
        if (!(f > last) || !(f <= kTsMaxFrequency) || !std::isfinite(Z(p)) || !(Z(p) >= 0) || !std::isfinite(Phase(p)))
            return Status::Error(kStrBadImpedanceCurve);
        last = f;
    }
    return Status::Ok();
}

Status AnalyseImpedance(Measurement& m) {
    MeasurementHeader& h = m.h;
    for (TsField f : {kTsSd, kTsMmd, kTsXmax})
        if (!(h.tsBlock[f] > 0 && std::isfinite(h.tsBlock[f]))) h.tsBlock[f] = 0;
    if (!Positive(h.tsBlock[kTsRe])) {
        h.tsBlock[kTsRe] = 0;
        ClearResults(h);
        return Status::Error(kStrEnterRevc);
    }
    ClearResults(h);
    if (Status s = CheckTsCurve(m); !s) return s;
    Analysis a;
    const Status s = Analyse(m, h.tsBlock[kTsRe], a);
    h.tsBlock[kTsLe] = a.le;
    if (s) h.tsBlock[kTsFs] = a.fs, h.tsBlock[kTsQms] = a.qms, h.tsBlock[kTsQes] = a.qes;
    return s;
}

bool InductanceAt(const Measurement& m, double f, double& le, double* ratio) {
    le = 0;
    if (ratio) *ratio = 0;
    const std::vector<CurvePoint>& pts = m.points;
    const double re = m.h.tsBlock[kTsRe];
    if (pts.empty() || !Positive(re) || !(f >= pts.front().frequency && f <= pts.back().frequency)) return false;
    size_t i = 0;
    while (i + 1 < pts.size() && pts[i].frequency < f && !(pts[i + 1].frequency > f)) ++i;
    double z = Z(pts[i]), phase = Phase(pts[i]);
    if (pts[i].frequency < f && i + 1 < pts.size()) {
        const CurvePoint &a = pts[i], &b = pts[i + 1];
        z = InterpolateLogF(f, a.frequency, Z(a), b.frequency, Z(b));
        phase = WrapRadians(InterpolateLogF(f, a.frequency, Phase(a), b.frequency, Phase(b)));
    }
    if (!(phase > 0)) return false;
    le = z * std::sin(phase) / (2 * kPi * f);
    if (ratio) *ratio = z / re;
    return std::isfinite(le);
}

Status ScanRevc(const Measurement& m, double& re) {
    if (Status s = CheckTsCurve(m); !s) return s;
    double zmin = 1e8;
    for (const CurvePoint& p : m.points) zmin = std::min(zmin, Z(p));
    if (!(zmin > 0)) return Status::Error(kStrBadImpedanceCurve);
    re = 0.8 * zmin;
    return Status::Ok();
}

MeasuredValues MeasuredValuesOf(const MeasurementHeader& h) {
    MeasuredValues v;
    v.re = Input(h, kTsRe), v.sd = Input(h, kTsSd), v.mmd = Input(h, kTsMmd), v.xmax = Input(h, kTsXmax);
    v.addedLoad = Input(h, kTsAddedLoad), v.fs = Input(h, kTsFs), v.qms = Input(h, kTsQms);
    v.qes = Input(h, kTsQes), v.le = Input(h, kTsLe);
    if (v.qms + v.qes != 0) v.qts = v.qms * v.qes / (v.qms + v.qes);
    v.hasMass = v.mmd > 0 && v.sd > 0 && v.fs > 0 && v.qms > 0 && v.qes > 0 && v.re > 0;
    if (!v.hasMass) return v;
    const double w = 2 * kPi * v.fs;
    v.mms = v.mmd + kAirLoad * std::pow(v.sd, 1.5);
    v.cms = 1 / (w * w * v.mms);
    v.vas = v.sd * v.sd * kRhoC2 * v.cms;
    v.rms = w * v.mms / v.qms;
    v.bl = std::sqrt(w * v.mms * v.re / v.qes);
    v.no = 4 * kPi * kPi * v.fs * v.fs * v.fs * v.vas / (kC3 * v.qes);
    v.spl1w = 10 * SafeLog10(v.no) + 112;
    v.spl283v = v.spl1w + 10 * std::log10(8 / v.re);
    return v;
}

SpeakerUnit MeasuredSpeakerUnit(const Measurement& m) {
    const MeasuredValues v = MeasuredValuesOf(m.h);
    SpeakerUnit u;
    u.manufacturer = MeasurementManufacturer(m.h);
    u.model = MeasurementModel(m.h);
    u.fs = v.fs, u.vas = v.vas, u.qes = v.qes, u.qms = v.qms, u.re = v.re, u.le = v.le, u.sd = v.sd, u.xmax = v.xmax;
    return u;
}

std::string MeasurementManufacturer(const MeasurementHeader& h) { return HeaderText(h, 0); }
std::string MeasurementModel(const MeasurementHeader& h) { return HeaderText(h, kTextBytes); }
void SetMeasurementManufacturer(MeasurementHeader& h, const std::string& text) { SetHeaderText(h, 0, text); }
void SetMeasurementModel(MeasurementHeader& h, const std::string& text) { SetHeaderText(h, kTextBytes, text); }

TsMethod SuggestTwoCurveMethod(const Measurement& freeAir, const Measurement& loaded) {
    return RoughResonance(freeAir) > RoughResonance(loaded) ? kTsAddedMass : kTsTestBox;
}

Status RunTwoCurveMethod(Measurement& freeAir, Measurement& loaded, const TwoCurveInput& in) {
    const bool mass = in.method == kTsAddedMass;
    if (&freeAir == &loaded) return Status::Error(kStrSameCurves);
    if (!Positive(in.re)) return Status::Error(kStrEnterRevc);
    if (!Positive(in.load) || (in.method != kTsAddedMass && in.method != kTsTestBox))
        return Status::Error(mass ? kStrEnterAddedMass : kStrEnterTestBox);
    const double sd = Positive(in.sd) ? in.sd : 0, xmax = Positive(in.xmax) ? in.xmax : 0;
    if (!mass && sd == 0) return Status::Error(kStrTestBoxNeedsSd);
    // A refusal leaves both curves as they were.
    const MeasurementHeader keepFree = freeAir.h, keepLoaded = loaded.h;
    const auto refuse = [&](Status s) {
        freeAir.h = keepFree, loaded.h = keepLoaded;
        return s;
    };
    for (MeasurementHeader* h : {&freeAir.h, &loaded.h}) {
        h->tsBlock[kTsRe] = in.re, h->tsBlock[kTsSd] = sd, h->tsBlock[kTsXmax] = xmax;
        h->tsBlock[kTsAddedLoad] = in.load;
        h->method = in.method;
        h->flags &= ~uint32_t(kMesSaved);
    }
    if (Status s = AnalyseImpedance(freeAir); !s) return refuse(s);
    if (Status s = AnalyseImpedance(loaded); !s) return refuse(s);

    const double fs = freeAir.h.tsBlock[kTsFs], fl = loaded.h.tsBlock[kTsFs], mair = kAirLoad * std::pow(sd, 1.5);
    double mmdFree = 0, mmdLoaded = 0;
    if (mass) {
        // The mass lowers the resonance; equal resonances would mean an infinite cone mass.
        if (!(fs > fl)) return refuse(Status::Error(kStrLoadedResonance));
        mmdFree = in.load / ((fs / fl) * (fs / fl) - 1) - mair;
        mmdLoaded = mmdFree + in.load;
    } else {
        // The box's air spring raises it.
        if (!(fl > fs)) return refuse(Status::Error(kStrLoadedResonance));
        const double cab = in.load / (sd * sd * kRhoC2Box);
        const double ws2 = std::pow(2 * kPi * fs, 2), wb2 = std::pow(2 * kPi * fl, 2);
        mmdFree = mmdLoaded = (1 / cab - (1.85 * wb2 - ws2) * mair) / (wb2 - ws2);
    }
    if (!std::isfinite(mmdFree) || !std::isfinite(mmdLoaded)) return refuse(Status::Error(kStrLoadedResonance));
    // A cone lighter than its air load means inconsistent inputs; stored as
    // 0 (no mass), as the next analysis would clamp it.
    freeAir.h.tsBlock[kTsMmd] = std::max(0.0, mmdFree);
    loaded.h.tsBlock[kTsMmd] = std::max(0.0, mmdLoaded);
    return Status::Ok();
}

Status FindTwoPeaks(const Measurement& m, TwoPeaks& out) {
    out = {};
    if (Status s = CheckTsCurve(m); !s) return s;
    for (int step = 1; step <= 50; ++step)
        if (TwoPeaksAt(m.points, 0.5 * step, out)) return Status::Ok();
    out = {};
    return Status::Error(kStrTwoBumps);
}

BoxTuning BoxTuningOf(const TwoPeaks& p, double fs) {
    BoxTuning t;
    if (!(p.fL > 0 && p.fB > p.fL && p.fH > p.fB)) return t;
    t.fsb = p.fL * p.fH / p.fB;
    t.alpha = (p.fH + p.fB) * (p.fH - p.fB) * (p.fB + p.fL) * (p.fB - p.fL) / (p.fH * p.fH * p.fL * p.fL);
    t.h = p.fB / (Positive(fs) ? fs : t.fsb);
    return t;
}

Status BoxLossQ(const TwoPeaks& p, double fs, double re, double qms, double qes, double& ql) {
    ql = 0;
    if (!Positive(fs) || !Positive(re) || !Positive(qms) || !Positive(qes))
        return Status::Error(kStrNotEnoughParameters);
    const BoxTuning t = BoxTuningOf(p, fs);
    if (!(t.alpha > 0)) return Status::Error(kStrTwoBumps);
    const double r = p.zB / re;
    if (!(r > 1)) return Status::Error(kStrBoxlossRatio);
    const double qmsB = fs / t.fsb * qms, qesB = fs / t.fsb * qes;
    const double q = t.h / t.alpha * (1 / ((r - 1) * qesB) - 1 / qmsB);
    if (!std::isfinite(q)) return Status::Error(kStrBoxlossRatio);
    ql = q;
    return Status::Ok();
}

Status RemoveInductance(Measurement& m, double* removed) {
    if (removed) *removed = 0;
    if (Status s = CheckTsCurve(m); !s) return s;
    double sum = 0;
    int count = 0;
    for (const CurvePoint& p : m.points) {
        if (p.frequency > 999 && p.frequency <= 2000) {
            sum += Z(p) * std::sin(Phase(p)) / (2 * kPi * p.frequency);
            ++count;
        }
    }
    if (count == 0) return Status::Error(kStrNoKiloHertz);
    const double le = sum / count;
    for (CurvePoint& p : m.points) {
        const std::complex<double> z =
            std::polar(double(Z(p)), double(Phase(p))) - std::complex<double>(0, 2 * kPi * p.frequency * le);
        p.value[kSlotLevel] = SaturatedFloat(Magnitude(z.real(), z.imag()));
        p.value[kSlotPhase] = float(SafeAtan2(z.imag(), z.real()));
    }
    RecomputeMaxLevel(m);
    if (removed) *removed = le;
    AnalyseImpedance(m);  // the results follow the new curve; a failure shows as empty values
    return Status::Ok();
}

Status CurveFitImpedance(const Measurement& source, std::unique_ptr<Measurement>& out) {
    if (Status s = CheckTsCurve(source); !s) return s;
    const double re = source.h.tsBlock[kTsRe];
    if (!Positive(re)) return Status::Error(kStrEnterRevc);
    Analysis a;
    if (Status s = Analyse(source, re, a); !s) return s;

    // Le: the first inductive value from the peak on, then each further
    // 1000-Hz step averaged in, so the top of the curve weighs most.
    const double start = source.points.front().frequency, stop = source.points.back().frequency;
    double from = a.fs;
    double le = FirstInductance(source, a.fs, 0.98 * stop, &from);
    for (double f = from + 1000; f < 0.98 * stop && f <= stop - 1000; f += 1000) {
        double lf = 0;
        // A step without an inductive reading is left out: averaging in its 0 would halve Le.
        if (InductanceAt(source, f, lf)) le = (le + lf) / 2;
    }

    const double ws = 2 * kPi * a.fs;
    const double res = a.zmax - re, cmes = a.qes / (ws * re), lces = 1 / (ws * ws * cmes);
    const double octaves = std::log2(stop / start);
    const double ppo = std::max(3.0, RoundHalfAway(double(source.points.size()) / octaves));
    std::unique_ptr<Measurement> fit = NewMeasurement(kCurveImpedance);
    if (!fit) return Status::Error(kStrOutOfMemory);
    fit->h.flags = kMesPhase;
    fit->h.origin = source.h.origin;
    std::memcpy(fit->h.reserved564, source.h.reserved564, sizeof fit->h.reserved564);
    for (int i = 0; i < 9; ++i) fit->h.tsBlock[i] = source.h.tsBlock[i];
    fit->h.method = source.h.method;
    SetText(fit->h.title, TextOf(source.h.title) + " (CF)");
    for (long k = 0;; ++k) {
        // Compared as stored (float), so the clamped last point stays above its predecessor.
        double f = start * std::exp2(double(k) / ppo);
        const bool last = float(f) >= float(stop);
        if (last) f = stop;
        if (!fit->points.empty() && !(float(f) > fit->points.back().frequency)) continue;
        const std::complex<double> s(0, 2 * kPi * f);
        const std::complex<double> z = re + s * le + 1.0 / (1 / res + 1.0 / (s * lces) + s * cmes);
        if (!AddCurvePoint(*fit, f, std::abs(z), std::arg(z), kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel,
                           kNoLevel, kNoLevel, kNoLevel, kNoLevel))
            return Status::Error(kStrOutOfMemory);
        if (last) break;
    }
    AnalyseImpedance(*fit);
    out = std::move(fit);
    return Status::Ok();
}

}  // namespace srx
