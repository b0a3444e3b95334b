// The undo store: before an operation changes a record, the record (or the
// design slot) is written to a file in the temporary folder; Undo reads the
// newest file of the window back into the same record.
#include <algorithm>

#include "app/settings.h"
#include "app/undo_names.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "design/design_slot.h"

namespace srx {

namespace {

UndoList& Steps() {
    static UndoList list;
    return list;
}

bool TakesUndo(int kind) {
    return kind == kDocMeasurement || kind == kDocImpulse || kind == kDocWaterfall ||
           (kind >= kDocDesignFirst && kind <= kDocDesignLast);
}

void PostUpdateMenus() {
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

std::string TempFolder() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof path, path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HWND WindowOfRecord(int kind, const void* record) {
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind && DocumentDataOf(w) == record) return w;
    return nullptr;
}

bool AnySlotAnalysed() {
    for (int i = 0; i < kDesignSlotCount; ++i)
        if (DesignSlots()[i].flags & kSlotAnalysed) return true;
    return false;
}

// Restores a measurement in place: the window keeps its record address and
// the display state; header, points and what derives from them come back.
void MoveInto(Measurement& current, Measurement& stored) {
    current.points.clear();
    current.h = stored.h;
    current.points = std::move(stored.points);
    current.distortionDerived = stored.distortionDerived;
    std::copy(std::begin(stored.harmonicMaxPercent), std::end(stored.harmonicMaxPercent), current.harmonicMaxPercent);
    current.maxGroupDelay = stored.maxGroupDelay;
    current.phaseUnwrappedMax = stored.phaseUnwrappedMax;
    current.phaseUnwrappedMin = stored.phaseUnwrappedMin;
    current.minPhaseUnwrappedMax = stored.minPhaseUnwrappedMax;
    current.minPhaseUnwrappedMin = stored.minPhaseUnwrappedMin;
    current.excessPhaseUnwrappedMax = stored.excessPhaseUnwrappedMax;
    current.excessPhaseUnwrappedMin = stored.excessPhaseUnwrappedMin;
    current.maxMinimumGroupDelay = stored.maxMinimumGroupDelay;
    current.maxExcessGroupDelay = stored.maxExcessGroupDelay;
}

int UndoMeasurement(HWND window, Measurement& current, const UndoEntry& step) {
    auto stored = NewMeasurement(current.h.curveKind);
    if (!stored) {
        AskDocument(window, 2318, MB_OK | MB_ICONSTOP);
        return 0;
    }
    const Status status = LoadMeasurement(step.file, *stored);
    if (!status) {
        ShowStatus(window, status);
        return 0;
    }
    MoveInto(current, *stored);
    SetWindowTextA(window, step.title.c_str());
    InvalidateRect(window, nullptr, TRUE);
    RepaintKinds(kDocMultigraph, kDocMultigraph);
    return 1;
}

int UndoTimeRecord(HWND window, TimeRecord& current, const UndoEntry& step) {
    auto stored = NewTimeRecord({});
    if (!stored) {
        AskDocument(window, 2318, MB_OK | MB_ICONSTOP);
        return 0;
    }
    const Status status = LoadTimeRecord(step.file, *stored);
    if (!status) {
        ShowStatus(window, status);
        return 0;
    }
    if ((current.h.flags & kTwfWaterfall) && !(stored->h.flags & kTwfWaterfall)) {
        // The step predates the waterfall: its window goes, unless it is the
        // only window left on the record.
        if (!WindowOfRecord(kDocImpulse, &current)) {
            AskDocument(window, 2339, MB_OK | MB_ICONSTOP);
            DiscardUndo(window, true);
            return 0;
        }
        while (HWND waterfall = WindowOfRecord(kDocWaterfall, &current)) {
            SendMessageA(Shell().client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(waterfall), 0);
            if (IsWindow(waterfall)) break;
        }
    }
    current.h = stored->h;
    current.samples = std::move(stored->samples);
    current.slices = std::move(stored->slices);
    auto retitle = [&](const void* key, const std::string& title) {
        HWND w = static_cast<HWND>(const_cast<void*>(key));
        if (!w || !IsWindow(w) || DocumentDataOf(w) != &current) return;
        SetWindowTextA(w, title.c_str());
        InvalidateRect(w, nullptr, TRUE);
    };
    retitle(step.window, step.title);
    retitle(step.secondWindow, step.secondTitle);
    InvalidateRect(window, nullptr, TRUE);
    return 1;
}

int UndoDesign(HWND window, int kind, const UndoEntry& step) {
    int32_t storedKind = -1;
    DesignSlot stored{};
    const Status status = ReadDesignUndoFile(step.file, storedKind, stored);
    if (!status) {
        ShowStatus(window, status);
        return 0;
    }
    if (storedKind != kind) {
        DiscardUndo(window, true);
        return 0;
    }
    DesignSlot& slot = DesignSlots()[kind];
    RestoreDesignSlot(slot, stored);
    if (slot.flags & kSlotAnalysed) {
        slot.flags &= ~kSlotAnalysed;
        if (Shell().frame) PostMessageA(Shell().frame, WM_COMMAND, 503, 0);
    } else if (AnySlotAnalysed()) {
        RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
    } else {
        CloseKinds(kDocAnalysisFirst, kDocAnalysisLast);
    }
    InvalidateRect(window, nullptr, TRUE);
    return 1;
}

void DeleteStep(const UndoEntry& e) { DeleteFileA(e.file.c_str()); }

}  // namespace

int SaveUndoStep(HWND window) {
    const int kind = DocumentKindOf(window);
    if (!TakesUndo(kind)) return 0;
    void* data = DocumentDataOf(window);
    const bool design = kind <= kDocDesignLast;
    if (!design && !data) return 0;
    WaitCursor wait;

    const auto file = MakeUndoFileName(UndoFolder(TempFolder(), Shell().programFolder), FileExists);
    if (!file) {
        AskDocument(window, 2337, MB_OK | MB_ICONSTOP);
        return 0;
    }
    UndoEntry step;
    step.window = window;
    step.kind = kind;
    step.file = *file;
    Status status;
    if (kind == kDocMeasurement) {
        status = SaveMeasurement(*static_cast<Measurement*>(data), step.file, true);
    } else if (!design) {
        status = SaveTimeRecord(*static_cast<TimeRecord*>(data), step.file, true);
        if (HWND other = OtherTimeRecordWindow(window, data)) {
            step.secondWindow = other;
            step.secondTitle = WindowTitle(other);
        }
    } else {
        DesignSlot& slot = DesignSlots()[kind];
        // Without the mark the slot holds a unit the older steps never saw.
        if (!(slot.flags & kSlotUndoMark)) DiscardUndo(window, true);
        status = WriteDesignUndoFile(step.file, kind, slot);
        if (status) slot.flags |= kSlotUndoMark;
    }
    if (!status) {
        DeleteFileA(step.file.c_str());
        ShowStatus(window, status);
        return 0;
    }
    step.title = WindowTitle(window);
    Steps().Push(std::move(step));
    for (const UndoEntry& old : Steps().Trim(window, Settings().window.undoDepth)) DeleteStep(old);
    PostUpdateMenus();
    return 1;
}

bool HasUndo(HWND window) { return Steps().Has(window); }

int Undo(HWND window) {
    const int kind = DocumentKindOf(window);
    if (!TakesUndo(kind)) return 0;
    const UndoEntry* newest = Steps().Newest(window);
    if (!newest) return 0;
    const UndoEntry step = *newest;  // a copy: the undo may close windows and discard steps
    const bool design = kind <= kDocDesignLast;
    if (design && (DesignSlots()[kind].flags & kSlotDialogOpen)) {
        AskDocument(window, 2338, MB_OK | MB_ICONSTOP);
        return 0;
    }
    void* data = DocumentDataOf(window);
    int done = 0;
    {
        WaitCursor wait;
        if (design) done = UndoDesign(window, kind, step);
        else if (!data) done = 0;
        else if (kind == kDocMeasurement) done = UndoMeasurement(window, *static_cast<Measurement*>(data), step);
        else done = UndoTimeRecord(window, *static_cast<TimeRecord*>(data), step);
    }
    if (done) {
        if (auto used = Steps().Remove(step.serial)) DeleteStep(*used);
    }
    PostUpdateMenus();
    return done;
}

void DiscardUndo(HWND window, bool all) {
    while (auto step = Steps().RemoveNewestTakenOn(window)) {
        DeleteStep(*step);
        if (!all) break;
    }
    PostUpdateMenus();
}

void DeleteAllUndo() {
    for (const UndoEntry& e : Steps().TakeAll()) DeleteStep(e);
}

std::vector<std::string> UndoFilesOf(HWND window) { return Steps().FilesTakenOn(window); }

void ForgetUndoWindow(HWND window) { Steps().ForgetSecondWindow(window); }

}  // namespace srx
