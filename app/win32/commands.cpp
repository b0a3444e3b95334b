// The command table: every menu, accelerator and toolbar command ends here.
// Commands of features that are not part of the program yet do nothing;
// ids the table does not name go to the active document window through the
// default frame processing.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/analysis_commands.h"
#include "app/win32/box_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/design_commands.h"
#include "app/win32/documents.h"
#include "app/win32/fft_commands.h"
#include "app/win32/recent_menu.h"
#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "data/records.h"
#include "design/design_slot.h"
#include "dsp/impulse_analyses.h"
#include "measure/win32/compensation_ui.h"
#include "graph/win32/graph_view.h"
#include "measure/win32/compensation_dialogs.h"
#include "measure/win32/impedance_dialogs.h"
#include "measure/win32/lcr_dialog.h"
#include "measure/win32/mls_dialog.h"
#include "measure/win32/sine_dialogs.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

void PostUpdateMenus(HWND frame) { PostMessageA(frame, UM_UPDATEMENUS, 0, 0); }

void Repaint(RepaintScope scope) {
    switch (scope) {
        case RepaintScope::Graphs: RepaintKinds(kDocMeasurement, kDocQualityControl); break;
        case RepaintScope::Analysis: RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast); break;
        case RepaintScope::XoverSchematic: RepaintKinds(kDocXoverSchematic, kDocXoverSchematic); break;
        case RepaintScope::XoverGraphs: RepaintKinds(kDocXoverResponse, kDocXoverParts); break;
        case RepaintScope::None: break;
    }
}

void ToggleFlag(int id) {
    FlagWords f = ReadFlagWords(Settings());
    RepaintScope scope = RepaintScope::None;
    if (!ApplyFlagToggle(id, f, &scope)) return;
    WriteFlagWords(Settings(), f);
    // 739..744 and 619/620 move other bits as well: refresh every mark.
    ApplyCheckMarks();
    Repaint(scope);
}

void ToggleBar(HWND bar, uint32_t bit, int command) {
    uint32_t& flags = Settings().window.shellFlags;
    flags ^= bit;
    const bool shown = (flags & bit) != 0;
    if (bar) ShowWindow(bar, shown ? SW_SHOW : SW_HIDE);
    CheckCommand(command, shown);
    RelayoutFrame();
}

// Negates an impulse or step response in place; the record then differs
// from its file and remembers that it is inverted.
void InvertTimeRecord(HWND window) {
    const int kind = DocumentKindOf(window);
    if (kind != kDocImpulse && kind != kDocStep) return;
    auto* record = static_cast<TimeRecord*>(DocumentDataOf(window));
    if (!record) return;
    InvertImpulse(*record);
    InvalidateRect(window, nullptr, TRUE);
}

void ChooseDesign(int slot) {
    FrameState& s = Shell();
    s.activeDesign = slot;
    const bool analysed = (DesignSlots()[slot].flags & kSlotAnalysed) != 0;
    EnableCommand(CM_ANALYSE, !analysed);
    EnableCommand(CM_NEW_ANALYSIS, analysed);
    ApplyCheckMarks();
    PointAnalysisWindows(slot);
    RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
}

void ToggleShownDesign(int slot) {
    DesignSlots()[slot].flags ^= kSlotShown;
    ApplyCheckMarks();
    RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
    if (Shell().combo) SetFocus(Shell().combo);
}

int FirstFreeDesignSlot() {
    for (int i = 0; i < kDesignSlotCount; ++i)
        if (!(DesignSlots()[i].flags & kSlotHasUnit)) return i;
    return -1;
}

void OpenFile(HWND frame) {
    FrameState& s = Shell();
    const int previous = s.activeDesign;
    const int slot = FirstFreeDesignSlot();
    if (slot >= 0) {
        s.activeDesign = slot;
        ApplyCheckMarks();
    }
    s.designFollowsActivation = false;
    const int loaded = OpenWithDialog();
    s.designFollowsActivation = true;
    if (loaded && slot >= 0) {
        HWND window = FindWindowOfKind(slot);
        const char* path = reinterpret_cast<const char*>(DesignSlots()[slot].filePath);
        std::string format, title;
        if (LoadStringId(2216, format)) {
            char buffer[400];
            std::snprintf(buffer, sizeof buffer, format.c_str(), slot + 1,
                          FileTitle(std::string(path, strnlen(path, 260))).c_str());
            title = buffer;
        }
        if (!window) window = CreateDocumentWindow(title.c_str(), slot, &DesignSlots()[slot]);
        if (!window) {
            ResetDesignSlot(slot);
            s.activeDesign = previous;
            ApplyCheckMarks();
            MessageBoxId(frame, kStrCreateWindowFailed, MB_OK | MB_ICONSTOP);
        } else {
            SetWindowTextA(window, title.c_str());
            EnableCommand(CM_ANALYSE, true);
            EnableCommand(CM_NEW_ANALYSIS, false);
            InvalidateRect(window, nullptr, TRUE);
        }
    } else if (!loaded) {
        s.activeDesign = previous;
        ApplyCheckMarks();
    }
    PostUpdateMenus(frame);
}

void OpenRecent(HWND frame, int index) {
    const char* entry = Settings().window.recentFiles[index];
    if (entry[0] == '\0') return;
    // Copied first: opening moves the entry to the top of the same list.
    std::string path(entry, strnlen(entry, kPathChars));
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    OpenDocumentFile(frame, path.c_str());
    SetCursor(old);
    PostUpdateMenus(frame);
}

void CloseAll() {
    if (!QueryCloseAll()) return;
    // Save prompts were answered above; close without asking again.
    DestroyAllWindows();
}

// The MDI default processing only activates children from the Window menu;
// the command itself is handed to the active child here.
void PassToActiveChild(HWND frame, int id) {
    FrameState& s = Shell();
    HWND active = s.client ? (HWND)SendMessageA(s.client, WM_MDIGETACTIVE, 0, 0) : nullptr;
    if (active) SendMessageA(active, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    else DefFrameProcA(frame, s.client, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

}  // namespace

void ExecuteCommand(HWND frame, int id) {
    FrameState& s = Shell();
    if (id >= CM_RECENT_FIRST && id <= CM_RECENT_LAST) {
        OpenRecent(frame, id - CM_RECENT_FIRST);
        return;
    }
    if (id >= CM_DESIGN_FIRST && id <= CM_DESIGN_LAST) {
        ChooseDesign(id - CM_DESIGN_FIRST);
        return;
    }
    if (id >= CM_SHOW_DESIGN_FIRST && id <= CM_SHOW_DESIGN_LAST) {
        ToggleShownDesign(id - CM_SHOW_DESIGN_FIRST);
        return;
    }
    switch (id) {
        case CM_OPEN: OpenFile(frame); return;
        case CM_SAVE:
        case CM_SAVE_AS:
            if (HWND active = ActiveDocument()) SaveDocument(active, id == CM_SAVE_AS);
            return;
        case CM_QUIT:
            if (MessageBoxId(frame, kStrReallyQuit, MB_YESNO | MB_ICONQUESTION) == IDYES)
                PostMessageA(frame, WM_CLOSE, 0, 0);
            return;
        case CM_PRINT:
            if (HWND active = ActiveDocument()) PrintGraphWindow(frame, active);
            return;
        case CM_PAGE_SETUP: GraphPageSetup(frame); return;
        case CM_ZOOM_RESTORE:
            if (HWND active = ActiveDocument(); active && RestoreGraphZoom(active)) PostUpdateMenus(frame);
            return;
        case CM_UNDO: {
            HWND active = ActiveDocument();
            if (active && HasUndo(active)) {
                Undo(active);
                PostUpdateMenus(frame);
            }
            return;
        }
        case CM_COPY:
            if (HWND active = ActiveDocument(); active && IsGraphKind(DocumentKindOf(active)))
                CopyWindowToClipboard(active);
            return;
        case CM_GLOBAL_OPTIONS: ShowGlobalOptions(frame); return;
        case CM_MENU_MODE:
            if (s.measurementBusy) return;  // the toolbar it rebuilds is in use
            Settings().window.shellFlags ^= kShellEasyMenu;
            RebuildMenus(false);
            return;
        case CM_TOOLBAR: ToggleBar(s.toolbar, kShellToolbar, CM_TOOLBAR); return;
        case CM_STATUSBAR: ToggleBar(s.status, kShellStatusBar, CM_STATUSBAR); return;
        case CM_TOOLBAR_OPTIONS:
            if (s.toolbar) SendMessageA(s.toolbar, TB_CUSTOMIZE, 0, 0);
            PlaceCombo();
            PostUpdateMenus(frame);
            return;
        case CM_TOOLBAR_RESTORE:
            if (s.toolbar) RestoreToolbarLayout(s.toolbar, (Settings().window.shellFlags & kShellEasyMenu) != 0);
            PlaceCombo();
            PostUpdateMenus(frame);
            return;
        case CM_UPDATE: RepaintKinds(kDocDesignFirst, 0x7FFFFFFF); return;
        case CM_INVERT:
            if (HWND active = ActiveDocument()) InvertTimeRecord(active);
            return;
        case CM_SHOW_IMPULSE:
        case CM_SHOW_WATERFALL: {
            // Between the impulse and waterfall windows of one record.
            HWND active = ActiveDocument();
            const int from = id == CM_SHOW_IMPULSE ? kDocWaterfall : kDocImpulse;
            const int to = id == CM_SHOW_IMPULSE ? kDocImpulse : kDocWaterfall;
            if (!active || DocumentKindOf(active) != from) return;
            void* record = DocumentDataOf(active);
            for (HWND w = GetWindow(s.client, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
                if (DocumentKindOf(w) == to && DocumentDataOf(w) == record) {
                    SendMessageA(s.client, WM_MDIACTIVATE, (WPARAM)w, 0);
                    return;
                }
            }
            if (id == CM_SHOW_WATERFALL && record && !(static_cast<TimeRecord*>(record)->h.flags & kTwfWaterfall)) {
                MessageBoxId(frame, kStrNotAnalysed, MB_OK | MB_ICONINFORMATION);
                return;
            }
            if (id == CM_SHOW_IMPULSE) CreateImpulseWindowFor(frame, active);
            else ShowWaterfallWindow(frame, static_cast<TimeRecord*>(record));
            PostUpdateMenus(frame);
            return;
        }
        case CM_FFT: DoFftOnImpulse(frame); return;
        case CM_ETC: MakeEtcCommand(frame); return;
        case CM_STEP: MakeStepCommand(frame); return;
        case CM_WATERFALL: WaterfallCommand(frame); return;
        case CM_TO_IMPULSE: ToImpulseCommand(frame); return;
        case CM_SMOOTH: SmoothCommand(frame); return;
        case CM_NORMALIZE_FREQ: NormalizeCommand(frame); return;
        case CM_NORMALIZE_MANUAL: ManualNormalizeCommand(frame); return;
        case CM_AVERAGE: AverageCommand(frame); return;
        case CM_MERGE: MergeCommand(frame); return;
        case CM_TS_MEASURED: MeasuredParametersCommand(frame); return;
        case CM_TS_IMPORTED: ImportedParametersCommand(frame); return;
        case CM_BOX_LOSSES: BoxlossCommand(frame); return;
        case CM_TS_REMOVE_LE: RemoveInductanceCommand(frame); return;
        case CM_TS_CURVE_FIT: CurveFitCommand(frame); return;
        case CM_MIN_PHASE_CALC:
            ToggleFlag(id);
            AfterMinimumPhaseToggle(frame);
            return;
        case CM_TILE_VERTICAL: SendMessageA(s.client, WM_MDITILE, MDITILE_VERTICAL, 0); return;
        case CM_TILE_HORIZONTAL: SendMessageA(s.client, WM_MDITILE, MDITILE_HORIZONTAL, 0); return;
        case CM_CASCADE: SendMessageA(s.client, WM_MDICASCADE, 0, 0); return;
        case CM_ARRANGE: SendMessageA(s.client, WM_MDIICONARRANGE, 0, 0); return;
        case CM_CLOSE_ALL: CloseAll(); return;
        case CM_HELP_CONTENTS:
            if (!s.helpFile.empty() && GetFileAttributesA(s.helpFile.c_str()) != INVALID_FILE_ATTRIBUTES)
                WinHelpA(frame, s.helpFile.c_str(), HELP_FINDER, 0);
            return;
        case CM_TIP: ShowTipOfTheDay(frame); return;
        case CM_NEW_UNIT: NewSpeakerUnit(frame); return;
        case CM_TS_PARAMETERS: EditThieleSmallParameters(frame, false); return;
        case CM_BOX_PARAMETERS: OpenBoxDesign(frame); return;
        case CM_ANALYSE: AnalyseDesigns(frame); return;
        case CM_NEW_ANALYSIS: NewAnalysisWindow(frame); return;
        case CM_ANALYZER_PREFS: AnalyzerPreferences(frame); return;
        case CM_ANALYSIS_TO_MEAS: ConvertAnalysis(frame); return;
        case TB_COMBO: AnalysisKindChosen(frame); return;
        case CM_ABOUT: ShowAbout(frame); return;
        // The sheet runs on the measurement thread like every measurement
        // dialog (template 65535 stands for it).
        case CM_SETTINGS: RunMeasurementDialog(65535, nullptr); return;
        case CM_GATED: OpenGatedSineDialog(); return;
        case CM_SWEEP: OpenSweepDialog(); return;
        case CM_IMPEDANCE: OpenImpedanceDialog(); return;
        case CM_TS_DELTA_MASS: OpenTwoCurveDialog(true); return;
        case CM_TS_DELTA_COMPLIANCE: OpenTwoCurveDialog(false); return;
        case CM_LCR: OpenLcrDialog(); return;
        case CM_MLS: OpenMlsDialog(); return;
        case CM_SECONDARY_COMPENSATION: OpenSecondaryCompensationDialog(); return;
        case CM_MIC_COMPENSATION:
            // A running measurement reads the remembered name the dialog sets.
            if (!s.measurementBusy) OpenMicrophoneCompensationDialog(frame);
            return;
        default: break;
    }
    FlagWords probe = ReadFlagWords(Settings());
    if (ApplyFlagToggle(id, probe)) {
        ToggleFlag(id);
        return;
    }
    // What the table does not carry out itself goes to the active document
    // window; the table's other commands belong to features still to come,
    // and the user is told so rather than left wondering.
    if (!IsTableCommand(id) || IsDocumentCommand(id)) {
        PassToActiveChild(frame, id);
        return;
    }
    MessageBoxId(frame, kStrNotAvailable, MB_OK | MB_ICONINFORMATION);
}

void ShowHelpTopic(HWND owner, DWORD topic) {
    const std::string& file = Shell().helpFile;
    if (!file.empty() && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        WinHelpA(owner, file.c_str(), HELP_CONTEXT, topic);
}

void SetMeasurementCommandsEnabled(bool enabled, bool tsMeasurement) {
    for (int id : MeasurementBusyCommands(tsMeasurement)) EnableCommand(id, enabled);
    for (int button : MeasurementBusyButtons()) EnableToolbarButton(button, enabled);
}

}  // namespace srx
