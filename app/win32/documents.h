#pragma once
// Document windows beyond the shared contract of shell.h: who owns the data
// behind a window, the hooks later subsystems install, and the pieces that
// documents.cpp, undo.cpp, clipboard.cpp and design_report.cpp share.
//
// The data pointer (window word 1) by kind, and who frees it:
//   0..3            &DesignSlots()[kind]. Never freed by the window.
//   3200..3218      AnalysisWindowData (graph/win32/graph_view.h, the design
//                   the window reads out), made by OpenAnalysisWindow: owned
//                   by the window, freed on WM_DESTROY with the `release`
//                   hook the graph view registers for the kinds.
//   3300            Measurement* from `new` (NewMeasurement().release()).
//                   The window deletes it on WM_DESTROY.
//   3302, 3303,     TimeRecord* from `new`. An impulse (or step) window and the
//   3305            waterfall window of the same record share one pointer; the
//                   last window that shows it deletes it.
//   3304            EtcRecord* from `new`; its window deletes it.
//   3301, 3310..3313, 3400
//                   records of the multigraph, crossover and cyclic MLS code:
//                   owned by the window, freed with their `release` hook.
//                   Without a hook the pointer is left alone.
//   3401            none (null).
// The window takes the pointer over only when CreateDocumentWindow returns a
// window; on null the caller still owns it (and shows 2303).
#include <windows.h>

#include <string>
#include <vector>

#include "data/records.h"
#include "resources/status.h"

namespace srx {

// What the subsystems that own a kind's record tell the document windows.
// Every member may be null.
struct DocumentKindHooks {
    void (*release)(void* data) = nullptr;             // frees the record
    bool (*isSaved)(void* data) = nullptr;             // null: nothing to save
    std::string (*name)(void* data) = nullptr;         // shown in the save question
    int (*save)(HWND window, bool askName) = nullptr;  // 1 when saved
    // Paints the window's content (screen and clipboard copies).
    void (*paint)(HWND window, HDC dc, const RECT& area, bool clipboard) = nullptr;
    // Sees every message of the kind's windows first (mouse, cursor and
    // commands of the graph view; WM_DESTROY to forget the window). True
    // when it handled the message; the window procedure returns `*result`.
    bool (*message)(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) = nullptr;
};
// Hooks for the kinds low..high; a later registration wins where ranges
// overlap. For 3300..3305 only `paint` and `message` are used: those
// records are the document windows' own.
void RegisterDocumentKinds(int low, int high, const DocumentKindHooks& hooks);

// Called before a measurement window frees its record, so that multigraphs
// that list it can drop it.
void SetMeasurementClosingHook(void (*hook)(Measurement* record));

// Every question and message of the document windows goes through here.
// Null (the default) shows them with MessageBoxIdf; tests install an
// answer. `argument` is the text put into the message ("" when none).
using DocumentAskHook = int (*)(HWND owner, int stringId, UINT flags, const std::string& argument);
void SetDocumentAskHook(DocumentAskHook hook);

// ---- Shared inside the document-window files -------------------------------

// A `captionId` other than 0 replaces the program's name as the caption.
int AskDocument(HWND owner, int stringId, UINT flags, const std::string& argument = {}, int captionId = 0);
// Shows the message of a failed Status.
void ShowStatus(HWND owner, const Status& status);

// The title of a window as a string.
std::string WindowTitle(HWND window);
// Document windows of the MDI client in window order (owned windows skipped).
std::vector<HWND> DocumentWindows();
// Another impulse, step or waterfall window that shows `record`, or null.
HWND OtherTimeRecordWindow(HWND window, const void* record);

// Graph kinds paint on the graph background, all others on white.
bool PaintsGraphBackground(int kind);
COLORREF BackgroundColourOf(int kind);
// Paints the content of a document window into `dc` (background included).
void PaintDocument(HWND window, HDC dc, const RECT& area, bool clipboard);

// The design window's report of slot `slot`, drawn from `scrollTop` pixels
// down; nothing when the slot holds no unit. Returns the report's height.
int PaintDesignReport(HDC dc, const RECT& area, int slot, int scrollTop);

// Undo steps of a window (files, newest first) and the clean-up when a
// window goes away.
std::vector<std::string> UndoFilesOf(HWND window);
void ForgetUndoWindow(HWND window);

}  // namespace srx
