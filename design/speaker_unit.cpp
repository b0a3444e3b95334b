#include "design/speaker_unit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "design/record_bytes.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"
#include "resources/string_ids.h"

namespace srx {

using namespace record;

const char kSpeakerUnitSignature[] = "@SP100";

namespace {

constexpr size_t kSignatureBytes = 6;
constexpr double kRhoC2 = 142003.2;         // rho c^2 of air, Pa
constexpr double kC3 = 40707584.0;          // c^3, m^3/s^3
constexpr double kFourPi2 = 39.47841760435743;
constexpr double kAirLoad = 0.575;          // kg per m^3 of Sd^1.5: the cone's air mass

// Field offsets of the record.
constexpr size_t kManufacturer = 0, kModel = 80, kNotes = 160, kValues = 320, kReserved = 384, kTail = 416;

double* Values(SpeakerUnit& u, int i) {
    double* const fields[] = {&u.fs, &u.vas, &u.qes, &u.qms, &u.re, &u.le, &u.sd, &u.xmax};
    return fields[i];
}

bool Positive(double v) { return std::isfinite(v) && v > 0; }

// Far beyond any driver's values in SI units, and near enough to 1 that
// every derived value (Fs^3, Sd^2, their quotients) stays finite.
bool Plausible(double v) { return std::isfinite(v) && v >= 1e-9 && v <= 1e9; }

}  // namespace

std::array<uint8_t, kSpeakerUnitBytes> SerializeSpeakerUnit(const SpeakerUnit& u) {
    std::array<uint8_t, kSpeakerUnitBytes> b{};
    PutText(&b[kManufacturer], 80, u.manufacturer);
    PutText(&b[kModel], 80, u.model);
    PutText(&b[kNotes], 160, u.notes);
    SpeakerUnit copy = u;
    for (int i = 0; i < 8; ++i) PutDouble(&b[kValues + 8 * size_t(i)], *Values(copy, i));
    for (size_t i = 0; i < 4; ++i) PutDouble(&b[kReserved + 8 * i], u.reserved[i]);
    std::memcpy(&b[kTail], u.tail.data(), u.tail.size());
    return b;
}

SpeakerUnit DeserializeSpeakerUnit(const uint8_t* b) {
    SpeakerUnit u;
    u.manufacturer = GetText(b + kManufacturer, 80);
    u.model = GetText(b + kModel, 80);
    u.notes = GetText(b + kNotes, 160);
    for (int i = 0; i < 8; ++i) *Values(u, i) = GetDouble(b + kValues + 8 * size_t(i));
    for (size_t i = 0; i < 4; ++i) u.reserved[i] = GetDouble(b + kReserved + 8 * i);
    std::memcpy(u.tail.data(), b + kTail, u.tail.size());
    return u;
}

bool HasRequiredParameters(const SpeakerUnit& u) {
    return Plausible(u.fs) && Plausible(u.vas) && Plausible(u.qes) && Plausible(u.qms) && Plausible(u.re) &&
           Plausible(u.sd);
}

bool IsCompleteForFile(const SpeakerUnit& u) {
    return HasRequiredParameters(u) && Plausible(u.le) && Plausible(u.xmax);
}

DerivedParameters ComputeDerivedParameters(const SpeakerUnit& u) {
    DerivedParameters d;
    const double w = 2 * kPi * u.fs;
    d.cms = u.vas / (u.sd * u.sd * kRhoC2);
    d.mms = 1 / (kFourPi2 * u.fs * u.fs * d.cms);
    d.mmd = d.mms - kAirLoad * std::pow(u.sd, 1.5);
    d.rms = w * d.mms / u.qms;
    d.bl = std::sqrt(w * d.mms * u.re / u.qes);
    d.qts = QtsOf(u);
    d.no = kFourPi2 * u.fs * u.fs * u.fs * u.vas / (kC3 * u.qes);
    d.spl1w = 112 + 10 * std::log10(d.no);
    d.spl283v = d.spl1w + 10 * std::log10(8 / u.re);
    return d;
}

int CompleteQTriangle(double& qms, double& qes, double& qts) {
    if (Positive(qms) && Positive(qes)) {
        qts = qes * qms / (qes + qms);
        return 1;
    }
    // A Q of a parallel pair is always below both: Qms <= Qts has no Qes.
    if (Positive(qms) && Positive(qts)) {
        if (!(qms > qts)) return 0;
        qes = qms * qts / (qms - qts);
        return 2;
    }
    if (Positive(qes) && Positive(qts)) {
        if (!(qes > qts)) return 0;
        qms = qes * qts / (qes - qts);
        return 3;
    }
    return 0;
}

int CompleteExcursionTriangle(double& sd, double& xmax, double& vd) {
    if (Positive(sd) && Positive(xmax)) {
        vd = sd * xmax;
        return 1;
    }
    if (Positive(sd) && Positive(vd)) {
        xmax = vd / sd;
        return 2;
    }
    if (Positive(xmax) && Positive(vd)) {
        sd = vd / xmax;
        return 3;
    }
    return 0;
}

Status ReadSpeakerUnitFile(const std::string& path, SpeakerUnit& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Status::Error(kStrCantOpen);
    uint8_t bytes[kSignatureBytes + kSpeakerUnitBytes];
    const size_t got = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    if (got != sizeof bytes || std::memcmp(bytes, kSpeakerUnitSignature, kSignatureBytes) != 0)
        return Status::Error(kStrReadError);
    SpeakerUnit u = DeserializeSpeakerUnit(bytes + kSignatureBytes);
    if (Status s = CheckLoadedUnit(u); !s) return s;
    out = std::move(u);
    return Status::Ok();
}

Status CheckLoadedUnit(SpeakerUnit& u) {
    if (!HasRequiredParameters(u)) return Status::Error(kStrBadTsParameters);
    // Not needed by the formulas; the defaults keep the designs working.
    if (!(u.le > 0)) u.le = 0.001;
    if (!(u.xmax > 0)) u.xmax = 0.001;
    if (!IsCompleteForFile(u)) return Status::Error(kStrBadTsParameters);
    for (double v : u.reserved)
        if (!std::isfinite(v)) return Status::Error(kStrBadTsParameters);
    return Status::Ok();
}

Status WriteSpeakerUnitFile(const std::string& path, const SpeakerUnit& u) {
    if (!IsCompleteForFile(u)) return Status::Error(kStrSpkIncomplete);
    const auto record = SerializeSpeakerUnit(u);
    std::string bytes(kSpeakerUnitSignature, kSignatureBytes);
    bytes.append(reinterpret_cast<const char*>(record.data()), record.size());
    if (!WriteFileSafely(path, bytes)) return Status::Error(kStrCantCreate);
    return Status::Ok();
}

std::vector<std::string> SpeakerUnitReportValues(const SpeakerUnit& u) {
    if (!HasRequiredParameters(u)) return {};
    const DerivedParameters d = ComputeDerivedParameters(u);
    const auto n = [](double v, int decimals = 4) { return FormatTrimmedNumber(v, decimals); };
    return {n(u.fs),         n(d.mmd * 1000), n(d.mms * 1000), n(d.cms * 1000), n(d.rms),
            n(u.vas * 1000), n(u.xmax * 1000), n(u.sd * 10000), n(u.re),        n(u.le * 1000),
            n(d.bl),         n(u.qms),        n(u.qes),        n(d.qts),        n(d.no * 100),
            n(d.spl1w, 2),   n(d.spl283v, 2)};
}

}  // namespace srx
