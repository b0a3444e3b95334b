#pragma once
// The native files of the three records: ".MES" (Measurement), ".TWF" and
// ".STP" (TimeRecord), ".ETC" (EtcRecord). Each is a six-character
// signature, the record's stored header byte for byte, then its arrays.
//
// Writers never destroy the file they replace: they write a temporary file
// beside the target and move it over the target only when every byte is
// out. Readers check every count against the bytes the file really holds
// before allocating, and a failed read leaves the target record unchanged.
// The save dialog and the document windows belong to the shell; this module
// tells it which texts and window kinds to use.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/records.h"
#include "resources/status.h"

namespace srx {

// ---- Save dialog --------------------------------------------------------

enum class NativeKind { Measurement, ImpulseResponse, StepResponse, EnergyTimeCurve };

// String ids and extension the save dialog of a kind uses. The filter text
// is NUL-separated and ends in two NULs, as the file dialog wants it.
struct SaveDialogText {
    int defaultNameId;
    int titleId;
    int filterId;
    const char* extension;  // without the dot
};
SaveDialogText SaveDialogFor(NativeKind kind);

NativeKind KindOf(const TimeRecord& t);  // step or impulse response

// Default file name offered by the save dialog: the record's title (or the
// kind's default name when the title is empty), characters that cannot be
// in a Windows file name replaced by '_', then "." and the extension.
std::string DefaultSaveFileName(const std::string& title, NativeKind kind);

// ---- Writing ------------------------------------------------------------

// Writes the record to `path` (the shell has already asked for it when
// needed). Failures: 2315 (cannot create or replace the file), 2317 (short
// write); the previous file at `path` is then intact. With `keepName`
// (undo files) the record is left alone; otherwise its path field takes
// `path`, the saved flag is set and the recent-file hook hears of it.
// The header is written as it is in memory (its path field holds the
// previous path), except that its counts are those of the arrays written.
Status SaveMeasurement(Measurement& m, const std::string& path, bool keepName = false);
Status SaveTimeRecord(TimeRecord& t, const std::string& path, bool keepName = false);
Status SaveEtc(EtcRecord& e, const std::string& path, bool keepName = false);

// ---- Reading ------------------------------------------------------------

// NoWindow: the record only (Multigraph, reference loading, tools).
// ForWindow: also the preparations for showing it (T/S on an impedance
// curve, display state); the shell then opens the windows of
// DocumentsFor() and, when they exist, calls NoteOpened().
enum class LoadPurpose { NoWindow, ForWindow };

// Read `path` into `into` (pass a NewMeasurement / NewTimeRecord /
// NewEtcRecord for a fresh one); on failure `into` is unchanged. Of the
// in-memory state beyond the header, a Measurement keeps only its display
// factor (the rest derives from the points); the other two keep their
// display state.
// Failures: 2314 (cannot open), 2316 (unknown signature, short read, counts
// the file cannot hold), 2357 (a ".MES" with fewer points than its header
// announces), 2318 (out of memory).
Status LoadMeasurement(const std::string& path, Measurement& into, LoadPurpose purpose = LoadPurpose::NoWindow);
Status LoadTimeRecord(const std::string& path, TimeRecord& into, LoadPurpose purpose = LoadPurpose::NoWindow);
Status LoadEtc(const std::string& path, EtcRecord& into, LoadPurpose purpose = LoadPurpose::NoWindow);

// After the windows of a loaded record exist: store the opened path, set the
// saved flag and add the path to the recent-file list.
void NoteOpened(Measurement& m, const std::string& path);
void NoteOpened(TimeRecord& t, const std::string& path);
void NoteOpened(EtcRecord& e, const std::string& path);

// Signatures written and accepted.
inline constexpr char kMesSignature[] = "@MS102";
inline constexpr char kTwfSignature[] = "@TW101";
inline constexpr char kEtcSignature[] = "@ET100";

// ---- Document windows a loaded record asks for -------------------------

struct DocumentPlan {
    int kind;     // 3300 measurement, 3302 impulse, 3303 waterfall, 3304 ETC, 3305 step
    int titleId;  // format with one %s for the record's title
};
std::vector<DocumentPlan> DocumentsFor(const Measurement& m);
std::vector<DocumentPlan> DocumentsFor(const TimeRecord& t);  // the waterfall window shares the record
std::vector<DocumentPlan> DocumentsFor(const EtcRecord& e);
std::string DocumentTitle(const DocumentPlan& plan, const std::string& recordTitle);

// ---- Hooks the later subsystems and the shell install -------------------

// Recent-file list (the shell's). Empty: nothing is recorded.
void SetRecentFileHook(std::function<void(const std::string& path)> hook);

// Minimum phase of a frequency response after reading; returns true when
// it was computed. Not installed: the stored flags stand.
using MinimumPhaseHook = bool (*)(Measurement& m);
void SetMinimumPhaseHook(MinimumPhaseHook hook);

// The distortion-derived value (Measurement::distortionDerived) of a record
// with distortion data. Not installed: the value stays 0.
using DistortionDerivedHook = void (*)(Measurement& m);
void SetDistortionDerivedHook(DistortionDerivedHook hook);

// T/S parameters of an impedance curve opened in a window. Not installed:
// nothing is computed (the method adjustment still happens).
using ThieleSmallHook = void (*)(Measurement& m);
void SetThieleSmallHook(ThieleSmallHook hook);

// What reading does after the points are in: the minimum phase of kind 0
// (and of kind 2 with phase) with flag 0x0010, otherwise that flag cleared;
// the distortion-derived value when there is distortion data.
void RecomputeAfterReading(Measurement& m);

// What opening an impedance curve in a window does: T/S with method 0 when
// input 1 is above 0; methods 1 and 2 need all three inputs, else fall back
// to method 0 with input 1 alone.
void ComputeThieleSmallOnOpening(Measurement& m);

}  // namespace srx
