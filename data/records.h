#pragma once
// The measurement records: a frequency or impedance curve (Measurement), a
// sampled impulse or step response (TimeRecord) and an energy-time curve
// (EtcRecord). Each has a stored header that native files hold byte for
// byte behind a six-character signature; the arrays live in containers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace srx {

#pragma pack(push, 1)

// How a recording was made; embedded in all three headers.
struct MeasurementSetup {
    int32_t dateTime[6];  // year, month, day, hour, minute, second; year < 1980: unknown
    char inputDevice[128];
    char outputDevice[128];
    uint16_t channels;
    uint16_t bitsPerSample;
    int32_t sampleRate;            // < 1: no set-up known
    int32_t frequenciesPerOctave;  // -1: not applicable
    int32_t sineCycles;            // -1: not applicable
    double windowLength;           // s
    double windowOffset;           // s
    double sweepTimePerOctave;     // s, -1: not applicable
    double distance;               // m
    char compensationFile[260];    // empty: none
    int32_t mlsLengthShown;
    uint8_t procedureValues[60];  // carried unchanged
};
static_assert(sizeof(MeasurementSetup) == 652);

struct MeasurementHeader {
    char path[260];
    char title[260];
    uint32_t flags;
    int32_t curveKind;  // MeasurementCurveKind
    int32_t origin;     // 0 measured, 1..6 imported, 32767 converted analysis
    double firstFrequency;
    double lastFrequency;
    int32_t pointCount;
    uint8_t reserved552[4];
    double maxLevel;  // starts at -1000
    uint8_t reserved564[160];
    int32_t method;
    double tsBlock[9];  // T/S inputs and results of impedance curves
    MeasurementSetup setup;
    int32_t preAverages;
    int32_t mlsLength;
    int32_t windowType;
    uint8_t reserved1464[52];
};
static_assert(sizeof(MeasurementHeader) == 1516);
static_assert(offsetof(MeasurementHeader, method) == 724);
static_assert(offsetof(MeasurementHeader, setup) == 800);

struct TimeRecordHeader {
    char path[260];
    char title[260];
    uint32_t flags;
    double spikeLength;      // s; the excitation value of the level reference
    double defaultSpan;      // s shown by default
    double fftWindowLength;  // s
    double furtherTime;      // s, not above the FFT window
    int32_t waterfallSetting;
    int32_t windowStart;  // samples; "@TW100" files read it as 0
    uint8_t reserved564[4];
    int32_t sampleRate;
    int32_t sampleCount;
    double peak;  // largest-magnitude sample with its sign
    int32_t sliceCount;
    int32_t slicePoints;
    double waterfallFirstFrequency;
    double waterfallLastFrequency;
    double waterfallMax;  // starts at -1000
    uint8_t reserved616[4];
    MeasurementSetup setup;
    int32_t preAverages;
    int32_t mlsLength;
    int32_t windowType;
    uint8_t reserved1284[52];
};
static_assert(sizeof(TimeRecordHeader) == 1336);
static_assert(offsetof(TimeRecordHeader, sampleRate) == 568);
static_assert(offsetof(TimeRecordHeader, setup) == 620);

struct EtcRecordHeader {
    char path[260];
    char title[260];
    uint32_t flags;
    int32_t sampleRate;  // Hz of the samples; < 1: unknown (the set-up's rate serves)
    int32_t sampleCount;
    int32_t windowType;
    uint8_t reserved536[8];
    double duration;  // s; the display range runs from 0 to this
    MeasurementSetup setup;
    double rt30;  // s, 0 = none
    double rt60;  // s, 0 = none
    // The analysis time window of the source impulse as the graph's two
    // markers (s); end <= start: no markers.
    double markerStart;
    double markerEnd;
    uint8_t reserved1236[32];
};
static_assert(sizeof(EtcRecordHeader) == 1268);
static_assert(offsetof(EtcRecordHeader, sampleRate) == 524);
static_assert(offsetof(EtcRecordHeader, setup) == 552);
static_assert(offsetof(EtcRecordHeader, markerStart) == 1220);

#pragma pack(pop)

enum MeasurementCurveKind : int32_t {
    kCurveFrequencyResponse = 0,
    kCurveImpedance = 1,
    kCurveSweepResponse = 2,
};

enum MeasurementFlags : uint32_t {
    kMesSaved = 0x0001,
    kMesPhase = 0x0002,
    kMesMinimumPhaseCalculated = 0x0010,
    kMesHalfWindow = 0x0020,
    kMesDistortion = 0x0040,
    kMesCompensationContained = 0x0080,
    kMesImpedanceMls = 0x0100,
    kMesCompensationRecorded = 0x0200,
    kMesImported = 0x1000,
    kMesStoredMinimumPhase = 0x8000,
};

enum TimeRecordFlags : uint32_t {
    kTwfSaved = 0x01,
    kTwfWaterfall = 0x02,
    kTwfMls = 0x04,
    kTwfCompensationContained = 0x10,
    kTwfStep = 0x20,
    kTwfInverted = 0x40,
    kTwfReferenceChannel = 0x80,
    kTwfImported = 0x1000,
};

enum EtcFlags : uint32_t {
    kEtcSaved = 0x01,
    kEtcSchroeder = 0x02,
};

// Value slots of a curve point after its frequency, as the graph view
// numbers them. Phases in radians, delays in seconds.
enum CurveSlot : int {
    kSlotLevel = 0,
    kSlotPhase = 1,
    kSlotGroupDelay = 2,
    kSlotPhaseUnwrapped = 3,
    kSlotMinimumPhase = 4,
    kSlotExcessPhase = 5,
    kSlotMinimumPhaseUnwrapped = 6,
    kSlotExcessPhaseUnwrapped = 7,
    kSlotMinimumGroupDelay = 8,
    kSlotExcessGroupDelay = 9,
    kSlotDistortion2 = 10,  // 2nd .. 10th harmonic in slots 10..18; -1000: absent
    kSlotThd = 19,
    kSlotCount = 20,
};

constexpr double kNoLevel = -1000.0;

struct CurvePoint {
    float frequency = 0;
    float value[kSlotCount] = {};
};

// The in-memory state of a measurement beyond its stored header.
struct Measurement {
    MeasurementHeader h{};
    std::vector<CurvePoint> points;
    double distortionDerived = 0;  // total harmonic distortion in %, recomputed on reading
    double harmonicMaxPercent[9] = {};  // largest ratio of harmonics 2..10 to the level, in %
    // Ranges of the derived phase family (for the graph's scales).
    double maxGroupDelay = 0;
    double phaseUnwrappedMax = 0, phaseUnwrappedMin = 0;
    double minPhaseUnwrappedMax = 0, minPhaseUnwrappedMin = 0;
    double excessPhaseUnwrappedMax = 0, excessPhaseUnwrappedMin = 0;
    double maxMinimumGroupDelay = 0, maxExcessGroupDelay = 0;
    double displayFirstFrequency = 0, displayLastFrequency = 0;
    double displayFactor = 1.0;
};

struct WaterfallSlice {
    std::vector<float> frequency;
    std::vector<float> level;  // dB
};

struct TimeRecord {
    TimeRecordHeader h{};
    std::vector<float> samples;
    std::vector<WaterfallSlice> slices;
    double displayWaterfallFirst = 0, displayWaterfallLast = 0;
    double displayTimeStart = 0, displayTimeEnd = 0;
    double amplitudeZoom = 1.0;
    int displayField = 0;
};

struct EtcRecord {
    EtcRecordHeader h{};
    std::vector<float> samples;
    double displayStart = 0, displayEnd = 0;
};

// Time-window settings a new TimeRecord takes from the measurement settings
// (header bytes 524..559).
struct TimeWindowSettings {
    double spikeLength = 0;
    double defaultSpan = 0;
    double fftWindowLength = 0;
    double furtherTime = 0;
    int32_t waterfallSetting = 0;
};

// Copies `text` into a fixed text field, cut to fit; always NUL-terminated.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
    for (std::size_t i = n; i < N; ++i) field[i] = 0;
}

// The text of a fixed field up to its first NUL, never beyond the field.
template <std::size_t N>
std::string TextOf(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n]) ++n;
    return std::string(field, n);
}

// A zero-filled record of the given curve kind: origin 0, method 0, largest
// level -1000, display factor 1, no points. Null when memory is short.
std::unique_ptr<Measurement> NewMeasurement(int32_t curveKind);

// Appends a point (values stored as f32 in their slots; minimumPhase in slot
// 4, d2..d10 in slots 10..18, -1000 meaning absent). Keeps the first/last
// frequencies, the count and the largest level up to date. False when
// memory is short; the record is then unchanged.
bool AddCurvePoint(Measurement& m, double frequency, double level, double phase, double d2, double d3,
                   double minimumPhase, double d4, double d5, double d6, double d7, double d8, double d9, double d10);

// The largest level of the curve, or of all waterfall slices, into the
// header (-1000 when there is none).
void RecomputeMaxLevel(Measurement& m);
void RecomputeWaterfallMax(TimeRecord& t);

// Removes point `index` (never the first one); false when the index is 0 or
// beyond the list.
bool RemoveCurvePoint(Measurement& m, std::size_t index);

// "Frequency Response (n)" or "Impedance (n)" with the smallest n from 1 up
// whose text does not occur in any of `titlesInUse` (the caller passes the
// titles of the open windows; a window title uses the candidate when it
// contains it, so "Frequency Response: Frequency Response (1)" uses 1).
std::string DefaultMeasurementTitle(const Measurement& m, const std::vector<std::string>& titlesInUse);

// A zero-filled record holding `settings` at 524..559, waterfall maximum
// -1000, no samples or slices. Null when memory is short (message 2318).
std::unique_ptr<TimeRecord> NewTimeRecord(const TimeWindowSettings& settings);

// A zero-filled energy-time record. Null when memory is short.
std::unique_ptr<EtcRecord> NewEtcRecord();

// The measurement-type text of a curve ("Frequency response (Gated TW)",
// "FFT on MLS PIR (PC)", "Imported GDT frequency response", ...); empty for a
// combination that has none.
std::string MeasurementTypeText(const MeasurementHeader& h);

// Name of an import format by its origin code (1..6); empty for others.
const char* ImportFormatName(int32_t origin);

}  // namespace srx
