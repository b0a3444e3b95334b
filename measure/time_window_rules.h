#pragma once
// What the "Time-Window Settings" dialog and the FFT commands decide without
// a window: the values the dialog opens with, which of them OK accepts, how
// the choice is stored in the impulse record, the frequency response made
// from it, and which curves still lack their minimum phase.
#include <memory>
#include <string>
#include <vector>

#include "data/records.h"
#include "dsp/frequency_response.h"
#include "resources/status.h"

namespace srx {

struct MeasurementSettings;
struct CompensationSettings;

// The shortest window OK accepts, in ms.
constexpr double kMinTimeWindowMs = 0.1;

// The dialog's fields as numbers.
struct TimeWindowChoice {
    double lengthMs = 0;
    int mode = kTimeWindowNormal;  // TimeWindowMode
    double startMs = 0;            // used in Manual only
    double startFrequency = 0;     // Hz; 0 starts the grid at 1 / length
    int windowType = 2;            // WindowType
    std::string compensation;      // base name; empty: none
};

// What the dialog opens with.
struct TimeWindowDialogState {
    TimeWindowChoice choice;
    double durationMs = 0;              // of the whole record
    bool startFrequencyEnabled = true;  // the stored start frequency is 0 or more
    bool compensationEnabled = true;    // false for records measured without a microphone compensation
};

// Duration of the record's samples in ms (0 without a sample rate).
double RecordDurationMs(const TimeRecord& record);

// The start frequency stored for the record's class (MLS or spike), 0 when
// that class starts automatically at 1 / window.
double StoredStartFrequency(const TimeRecord& record, const MeasurementSettings& settings);

// The dialog's opening values: the record's window (Manual when its start
// is not 0, else Delay Free or Normal by its flag), its window type (or
// `defaultWindowType` when it holds none) and its compensation name.
TimeWindowDialogState InitialTimeWindowState(const TimeRecord& record, double storedStartFrequency,
                                             int defaultWindowType);

enum class TimeWindowVerdict {
    Accept,
    Refuse,         // silently: the dialog stays as it is
    ExceedsRecord,  // Manual start + length beyond the record: message 2410
};

// Whether OK may close the dialog. The start counts in Manual only, the start
// frequency only while its field is enabled.
TimeWindowVerdict CheckTimeWindowChoice(const TimeWindowChoice& choice, double durationMs, bool startFrequencyEnabled);

// Message 2410 with the record's duration.
Status ExceedsRecordMessage(double durationMs);

// Puts the window, window type and compensation name into the record; the
// record is marked unsaved when any of it changed. Returns whether it did.
bool StoreTimeWindowChoice(TimeRecord& record, const TimeWindowChoice& choice);

// What the FFT command makes of the record's stored window.
struct WindowResponse {
    std::unique_ptr<Measurement> response;  // null: the transform failed (message 2358)
    Status fallback;                        // 2818 when a Delay Free window fell back to Normal
    Status compensation;                    // a compensation file that could not be read
};

// The frequency response of the record's stored window, analysed with the
// choice's window type and start frequency at the points per octave of the
// record's class, titled like the record. The chosen microphone
// compensation (none for records measured without one) and the secondary
// compensation are applied, then the phase family is derived, with the
// minimum phase when `minimumPhase` asks for it.
WindowResponse FrequencyResponseOfWindow(TimeRecord& record, const TimeWindowChoice& choice,
                                         const AnalysisSettings& analysis, const CompensationSettings& compensation,
                                         bool minimumPhase);

// Fills the phase family of a curve: group delay and unwrapped phase always,
// the minimum and excess family when it is stored or `minimumPhase` asks for
// it. Flag 0x0010 tells afterwards whether the minimum phase is there.
bool DerivePhaseFamily(Measurement& m, const AnalysisSettings& settings, bool minimumPhase);

// A frequency response (kind 0, or kind 2 with phase) whose minimum phase
// was never calculated.
bool LacksMinimumPhase(const Measurement& m);

// A response made by an FFT of an impulse record of this title.
bool IsFftOfRecord(const Measurement& m, const TimeRecord& record);

// Numbers shown in the dialog's fields: at most `decimals` decimals, no
// trailing zeros.
std::string FormatFieldNumber(double value, int decimals);

}  // namespace srx
