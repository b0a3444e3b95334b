#pragma once
// The logic of the "Microphone Compensation" editor, apart from its window:
// the graph's mapping between pixels and (frequency, level), the rounding of
// mouse frequencies, dragging, creating and deleting entries, the level
// ranges, and the "Curve Difference" computation that makes a table from an
// uncalibrated and a calibrated measurement of the same source.
#include <vector>

#include "data/records.h"
#include "dsp/compensation.h"

namespace srx {

// The fixed ends of an edited table: they move only vertically and are never
// deleted.
constexpr double kEditorLowEnd = 100.0;
constexpr double kEditorHighEnd = 47850.0;

// The frequency a mouse position stands for: below 100 Hz to 1 Hz, below
// 1000 Hz to 10 Hz, below 10000 Hz to 100 Hz, else to 1000 Hz.
double RoundEditorFrequency(double f);

// A new table: flat 0 dB entries at 100 Hz and 47850 Hz.
CompensationCurve NewEditorTable();

// The level ranges the "&Range" button steps through (the graph shows
// -range .. +range dB).
const std::vector<int>& EditorRanges();
// The smallest range that shows every level of the table (the largest when
// none does).
int EditorRangeFor(const CompensationCurve& curve);
// The range after `range` (the first after the last).
int NextEditorRange(int range);

// Pixels <-> values of the graph area: a logarithmic frequency axis from
// `lowFrequency` to `highFrequency` over the width, -range .. +range dB from
// the bottom to the top.
struct EditorGraph {
    int left = 0, top = 0, width = 1, height = 1;  // plot area in pixels
    double lowFrequency = 10.0, highFrequency = 50000.0;
    int range = 10;

    double XOf(double f) const;
    double YOf(double level) const;
    double FrequencyAt(double x) const;
    double LevelAt(double y) const;
    bool Contains(int x, int y) const;
};

class CompensationEditor {
public:
    CompensationEditor() = default;
    explicit CompensationEditor(CompensationCurve curve) { SetCurve(std::move(curve)); }

    // Takes a table to edit (sorted, empty entries dropped); not modified.
    void SetCurve(CompensationCurve curve);
    const CompensationCurve& Curve() const { return curve_; }
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }

    // The entry within 5 pixels of (x, y), or -1.
    int HitTest(const EditorGraph& g, int x, int y) const;
    // Left button: drags the entry under the mouse, or creates an entry at
    // the rounded mouse frequency and level and drags that. Returns the
    // entry dragged (-1 when nothing can be dragged).
    int Press(const EditorGraph& g, int x, int y);
    // Mouse movement while the button is down; false when nothing moved.
    bool DragTo(const EditorGraph& g, int x, int y);
    void Release() { dragged_ = -1; }
    int Dragged() const { return dragged_; }
    // Right button: deletes the entry under the mouse unless it is a fixed
    // end. True when one was deleted.
    bool DeleteAt(const EditorGraph& g, int x, int y);
    // "&Reset": every level and phase 0.
    void Reset();

    static bool IsFixedEnd(double f) { return f == kEditorLowEnd || f == kEditorHighEnd; }

private:
    void Sort();

    CompensationCurve curve_;
    int dragged_ = -1;
    bool modified_ = false;
};

// The result of "Curve Difference".
struct CurveDifference {
    CompensationCurve curve;        // applying it to the uncalibrated curve gives the calibrated one
    double referenceFrequency = 0;  // where both curves were set to 0 dB
    double levelRatio = 1;          // amplitude of the uncalibrated over the calibrated curve there
};

// Difference of two frequency responses over their common range; each is
// first shifted to 0 dB at 1000 Hz (or the geometric middle of the range
// when it does not contain 1000 Hz), optionally smoothed to 1/6 octave.
// False when the curves share no range or hold too few points.
bool CompensationFromDifference(const Measurement& uncalibrated, const Measurement& calibrated, bool smooth,
                                CurveDifference& out);

// The sensitivity of the uncalibrated microphone when the calibrated one has
// `referenceMvPerPa` (the export's 5.00 mV/Pa).
double ScaledSensitivity(double referenceMvPerPa, double levelRatio);

}  // namespace srx
