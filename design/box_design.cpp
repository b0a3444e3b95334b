#include "design/box_design.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "design/record_bytes.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

using namespace record;

const char kDesignFileSignature[] = "@SD100";

namespace {

constexpr size_t kSignatureBytes = 6;
constexpr double kC2 = 118336.0;  // c^2 of the design formulas, c = 344 m/s
constexpr double kC3 = 40707584.0;
constexpr double kFourPi2 = 39.47841760435743;

// The doubles of the record at their offsets, in one table so that the
// writer, the reader and the check cannot disagree.
struct DoubleField {
    size_t offset;
    double BoxDesign::*member;
};
constexpr DoubleField kDoubles[] = {
    {90, &BoxDesign::vb},           {98, &BoxDesign::vr},           {106, &BoxDesign::sv},
    {114, &BoxDesign::fb},          {122, &BoxDesign::stuffing},    {130, &BoxDesign::further},
    {138, &BoxDesign::ql},          {146, &BoxDesign::q2},          {154, &BoxDesign::q3},
    {168, &BoxDesign::filterFreq},  {176, &BoxDesign::filterDamping}, {184, &BoxDesign::filterFreq2},
    {192, &BoxDesign::filterDamping2}, {208, &BoxDesign::baffleWidth}, {216, &BoxDesign::baffleHeight},
    {224, &BoxDesign::cavityF3},    {232, &BoxDesign::cavityQ},     {240, &BoxDesign::cavitySize},
};

bool Known(double v) { return std::isfinite(v) && v > 0; }

// End correction of a vent by its end kind (both ends flanged, one, none).
double EndCorrection(int ventEnds) {
    static const double k[] = {1.7, 1.464, 1.226};
    return k[((ventEnds % 3) + 3) % 3];
}

}  // namespace

std::array<uint8_t, kBoxDesignBytes> SerializeBoxDesign(const BoxDesign& b) {
    std::array<uint8_t, kBoxDesignBytes> r{};
    PutText(&r[0], 80, b.title);
    PutInt<int32_t>(&r[80], b.boxType);
    PutInt<int16_t>(&r[84], b.units);
    PutInt<int32_t>(&r[86], b.isobaric);
    for (const DoubleField& f : kDoubles) PutDouble(&r[f.offset], b.*f.member);
    PutInt<int16_t>(&r[162], b.vents);
    PutInt<int16_t>(&r[164], b.ventEnds);
    PutInt<int16_t>(&r[166], b.filterOrder);
    PutInt<int16_t>(&r[200], b.reserved1);
    PutInt<int16_t>(&r[202], b.reserved2);
    PutInt<uint32_t>(&r[204], b.globalFlags);
    return r;
}

BoxDesign DeserializeBoxDesign(const uint8_t* r) {
    BoxDesign b;
    b.title = GetText(r, 80);
    b.boxType = GetInt<int32_t>(r + 80);
    b.units = GetInt<int16_t>(r + 84);
    b.isobaric = GetInt<int32_t>(r + 86);
    for (const DoubleField& f : kDoubles) b.*f.member = GetDouble(r + f.offset);
    b.vents = GetInt<int16_t>(r + 162);
    b.ventEnds = GetInt<int16_t>(r + 164);
    b.filterOrder = GetInt<int16_t>(r + 166);
    b.reserved1 = GetInt<int16_t>(r + 200);
    b.reserved2 = GetInt<int16_t>(r + 202);
    b.globalFlags = GetInt<uint32_t>(r + 204);
    return b;
}

bool IsValidBoxDesign(const BoxDesign& b) {
    if (b.boxType < kClosedBox || b.boxType > kDualPortBandpass) return false;
    if (b.units < 1 || b.vents < 1 || b.filterOrder < 0 || b.filterOrder > 3) return false;
    if (b.isobaric != 0 && b.isobaric != 1) return false;
    for (const DoubleField& f : kDoubles) {
        const double v = b.*f.member;
        // 1e9 is far beyond any box in SI units and keeps products finite.
        if (!std::isfinite(v) || v < 0 || v > 1e9) return false;
    }
    return true;
}

Status ReadDesignFile(const std::string& path, SpeakerUnit& unit, BoxDesign& box) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Status::Error(kStrCantOpen);
    uint8_t bytes[kSignatureBytes + kSpeakerUnitBytes + kBoxDesignBytes];
    const size_t got = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    if (got != sizeof bytes || std::memcmp(bytes, kDesignFileSignature, kSignatureBytes) != 0)
        return Status::Error(kStrReadError);
    SpeakerUnit u = DeserializeSpeakerUnit(bytes + kSignatureBytes);
    if (Status s = CheckLoadedUnit(u); !s) return s;
    BoxDesign b = DeserializeBoxDesign(bytes + kSignatureBytes + kSpeakerUnitBytes);
    if (!IsValidBoxDesign(b)) return Status::Error(kStrBadBoxDesign);
    unit = std::move(u);
    box = std::move(b);
    return Status::Ok();
}

Status WriteDesignFile(const std::string& path, const SpeakerUnit& unit, const BoxDesign& box) {
    // What the reader would refuse is not written.
    if (!IsCompleteForFile(unit)) return Status::Error(kStrSpkIncomplete);
    if (!IsValidBoxDesign(box)) return Status::Error(kStrBadBoxDesign);
    const auto u = SerializeSpeakerUnit(unit);
    const auto b = SerializeBoxDesign(box);
    std::string bytes(kDesignFileSignature, kSignatureBytes);
    bytes.append(reinterpret_cast<const char*>(u.data()), u.size());
    bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    if (!WriteFileSafely(path, bytes)) return Status::Error(kStrCantCreate);
    return Status::Ok();
}

Status EffectiveUnit(const SpeakerUnit& unit, int units, bool isobaric, SpeakerUnit& out) {
    SpeakerUnit u = unit;
    int n = units < 1 ? 1 : units;
    if (isobaric) {
        if (n % 2 != 0) return Status::Error(kStrIsobaricOdd);
        // A pair driving one volume: half the compliance volume, coils in parallel.
        u.vas *= 0.5;
        u.re *= 0.5;
        u.reserved[0] *= 2;
        n /= 2;
    }
    u.vas *= n;
    u.re /= n;
    u.sd *= n;
    u.reserved[0] *= n;
    u.le /= n;
    out = std::move(u);
    return Status::Ok();
}

namespace {

int SolveVentValues(int ventEnds, int vents, double& vb, double& fb, double& sv, double& lv);

}  // namespace

int SolveVent(int ventEnds, int vents, double& vb, double& fb, double& sv, double& lv) {
    // Worked on copies: a result that overflows leaves the values as they were.
    double v = vb, f = fb, s = sv, l = lv;
    const int r = SolveVentValues(ventEnds, vents, v, f, s, l);
    if (r == 0 || !std::isfinite(v) || !std::isfinite(f) || !std::isfinite(s) || !std::isfinite(l)) return 0;
    vb = v, fb = f, sv = s, lv = l;
    return r;
}

namespace {

int SolveVentValues(int ventEnds, int vents, double& vb, double& fb, double& sv, double& lv) {
    const double k = EndCorrection(ventEnds);
    const int n = vents < 1 ? 1 : vents;
    const bool haveR = Known(sv);
    const double r = haveR ? std::sqrt(n * sv / kPi) : 0.0;
    if (Known(vb) && haveR && Known(fb)) {
        lv = kC2 * r * r / (4 * kPi * fb * fb * vb) - k * r;
        return lv < 0 ? -1 : 1;
    }
    if (Known(vb) && Known(fb) && Known(lv)) {
        const double a = 4 * kPi * fb * fb * vb / (2 * kC2);
        const double radius = a * k + std::sqrt(a * k * a * k + 2 * a * lv);
        sv = kPi * radius * radius / n;
        return 1;
    }
    if (Known(fb) && Known(lv) && haveR) {
        vb = kC2 * r * r / (4 * kPi * fb * fb * (k * r + lv));
        return 1;
    }
    if (Known(vb) && Known(lv) && haveR) {
        fb = std::sqrt(kC2 * r * r / (4 * kPi * vb * (k * r + lv)));
        return 1;
    }
    return 0;
}

}  // namespace

double MinimumVentArea(const SpeakerUnit& unit, double fb, int vents) {
    if (!Known(fb) || !Known(unit.sd) || !Known(unit.xmax)) return 0;
    const double d = std::sqrt(411.25 * unit.sd * unit.xmax / std::sqrt(fb));
    return kPi * (d / 2) * (d / 2) / (vents < 1 ? 1 : vents);
}

ClosedBoxFigures ClosedBoxResults(const SpeakerUnit& u, double vb) {
    ClosedBoxFigures r;
    if (!HasRequiredParameters(u) || !Known(vb)) return r;
    const double qts = QtsOf(u);
    r.qtc = qts * std::sqrt(u.vas / vb + 1);
    r.fc = r.qtc * u.fs / qts;
    const double x = 1 / (r.qtc * r.qtc) - 2;
    r.f3 = r.fc * std::sqrt((x + std::sqrt(x * x + 4)) / 2);
    // The box raises the electrical Q with fc (Qec = Qes sqrt(1 + Vas/Vb)),
    // so a closed box keeps the unit's reference efficiency; Qes alone
    // would credit it with sqrt(1 + Vas/Vb) more.
    const double qec = u.qes * std::sqrt(1 + u.vas / vb);
    r.efficiency = kFourPi2 * r.fc * r.fc * r.fc * u.vas * vb / ((u.vas + vb) * qec * kC3);
    // Absurd sizes (a box of a few atoms) overflow; they have no figures.
    if (!std::isfinite(r.qtc) || !std::isfinite(r.f3) || !std::isfinite(r.efficiency)) return {};
    return r;
}

std::vector<ClosedAlignment> ClosedAlignmentsFor(double qts) {
    static const ClosedAlignment kTable[] = {
        {"Critic. damped", 0.5},
        {"Bessel", 0.577350269},
        {"Butterworth", 0.707106781},
        {"Chebyshev \xBD dB ripple", 0.822368421},
        {"Chebyshev 1 dB ripple", 0.956937799},
        {"Chebyshev 2 dB ripple", 1.117318436},
        {"Chebyshev 3 dB ripple", 1.303780965},
    };
    std::vector<ClosedAlignment> out;
    for (const ClosedAlignment& a : kTable)
        if (!out.empty() || a.qtc >= qts) out.push_back(a);
    return out;
}

std::vector<BandpassAlignment> BandpassAlignmentsFor(double qts) {
    static const BandpassAlignment kTable[] = {
        {"2:nd order +6 dB", 0.5, 1.0, 1.0, 2},          {"2:nd order  0 dB", 1.0, 0.707106781, 1.0, 2},
        {"2:nd order -6 dB", 2.0, 0.5, 1.0, 2},          {"2:nd order -9.5 dB", 3.0, 0.41, 1.0, 2},
        {"2:nd order -12 dB", 4.0, 0.35, 1.0, 2},        {"3:rd order +4.8 dB", 0.5, 1.33, 1.0, 3},
        {"3:rd order +4.3 dB", 1.0, 0.94, 1.0, 3},       {"3:rd order +4 dB", 2.0, 0.67, 1.0, 3},
        {"3:rd order +3.8 dB", 3.0, 0.54, 1.0, 3},
    };
    std::vector<BandpassAlignment> out;
    for (const BandpassAlignment& a : kTable)
        if (a.qtc > qts) out.push_back(a);
    return out;
}

}  // namespace srx
