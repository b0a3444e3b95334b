// The speaker-unit commands of the design slots: New Speaker Unit, the T/S
// parameter dialog on the active slot, and saving a slot's unit.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/documents_model.h"
#include "app/win32/commands_internal.h"
#include "app/win32/design_commands.h"
#include "app/win32/documents.h"
#include "app/win32/recent_menu.h"
#include "app/win32/shell.h"
#include "data/view_flags.h"
#include "design/box_design.h"
#include "design/design_slot.h"
#include "design/speaker_unit.h"
#include "design/win32/ts_dialog.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

SpeakerUnit UnitOf(const DesignSlot& slot) { return DeserializeSpeakerUnit(slot.unitParameters); }

std::string SlotPath(const DesignSlot& slot) {
    const char* p = reinterpret_cast<const char*>(slot.filePath);
    return std::string(p, strnlen(p, sizeof slot.filePath));
}

std::string NewUnitTitle(int slot) {
    return FormatStringId(2215, slot + 1, StringText(kStrNoName), slot + 1);
}

std::string FileUnitTitle(int slot, const std::string& path) {
    return FormatStringId(2216, slot + 1, FileTitle(path).c_str());
}

// A unit entered or edited in the dialog goes into the slot: the window's
// undo step first when it replaces a unit, then the box design and its
// analysis start afresh, as they were made for the old unit.
void StoreUnit(int index, const SpeakerUnit& unit, HWND window) {
    DesignSlot& slot = DesignSlots()[index];
    if ((slot.flags & kSlotHasUnit) && window) SaveUndoStep(window);
    const auto record = SerializeSpeakerUnit(unit);
    std::memcpy(slot.unitParameters, record.data(), record.size());
    const auto box = SerializeBoxDesign(BoxDesign{});
    std::memcpy(slot.boxParameters, box.data(), box.size());
    const bool analysed = (slot.flags & kSlotAnalysed) != 0;
    slot.flags = (slot.flags | kSlotHasUnit | kSlotUnsaved) & ~(kSlotHasBox | kSlotAnalysed);
    if (analysed) RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
}

}  // namespace

int EditThieleSmallParameters(HWND frame, bool fromNewUnit) {
    const int index = Shell().activeDesign;
    if (index < 0 || index >= kDesignSlotCount) return 0;
    DesignSlot& slot = DesignSlots()[index];
    if (slot.flags & kSlotDialogOpen) return 0;
    HWND window = FindWindowOfKind(index);
    if (!window && !fromNewUnit) {
        MessageBoxId(frame, kStrNoSpeakerUnit, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    SpeakerUnit unit = (slot.flags & kSlotHasUnit) ? UnitOf(slot) : SpeakerUnit{};
    if (!RunThieleSmallDialog(frame, unit)) return 0;
    StoreUnit(index, unit, window);
    if (window) InvalidateRect(window, nullptr, TRUE);
    PostMessageA(frame, UM_UPDATEMENUS, 0, 0);
    return 1;
}

int NewSpeakerUnit(HWND frame) {
    FrameState& s = Shell();
    const int previous = s.activeDesign;
    int index = -1;
    for (int i = 0; i < kDesignSlotCount && index < 0; ++i)
        if (!(DesignSlots()[i].flags & kSlotHasUnit)) index = i;
    if (index < 0) {
        // Every slot holds a unit: the active one makes room, after its save question.
        index = previous >= 0 && previous < kDesignSlotCount ? previous : 0;
        if (!QuerySaveDesign(index, true)) return 0;
    }
    s.activeDesign = index;
    ApplyCheckMarks();
    const bool follows = s.designFollowsActivation.exchange(false);
    int result = 0;
    if (EditThieleSmallParameters(frame, true)) {
        HWND window = FindWindowOfKind(index);
        const std::string title = NewUnitTitle(index);
        if (!window) window = CreateDocumentWindow(title.c_str(), index, &DesignSlots()[index]);
        if (window) {
            SetWindowTextA(window, title.c_str());
            InvalidateRect(window, nullptr, TRUE);
            result = 1;
        } else {
            ResetDesignSlot(index);
            s.activeDesign = previous;
            ApplyCheckMarks();
            MessageBoxId(frame, kStrCreateWindowFailed, MB_OK | MB_ICONSTOP);
        }
    } else if (!(DesignSlots()[index].flags & kSlotHasUnit)) {
        // Cancelled: a window the emptied slot still had goes, and the
        // previous design is active again.
        if (HWND window = FindWindowOfKind(index)) SendMessageA(s.client, WM_MDIDESTROY, (WPARAM)window, 0);
        s.activeDesign = previous;
        ApplyCheckMarks();
    }
    s.designFollowsActivation = follows;
    PostMessageA(frame, UM_UPDATEMENUS, 0, 0);
    return result;
}

namespace {

bool HasExtension(const std::string& path, const char* ext) {
    return path.size() > 4 && _stricmp(path.c_str() + path.size() - 4, ext) == 0;
}

// The slot's file when it is of the kind being saved and no name is asked
// for; otherwise the file dialog's choice ("" when cancelled).
std::string SaveName(HWND owner, const std::string& current, const char* ext, const std::string& fallback,
                     int filterId, int titleId, bool askName) {
    const bool same = HasExtension(current, ext);
    if (same && !askName) return current;
    char chosen[MAX_PATH] = {};
    std::snprintf(chosen, sizeof chosen, "%s", same ? current.c_str() : fallback.c_str());
    const std::string filter = StringList(filterId);
    if (FileDialog(owner, chosen, filter.c_str(), StringText(titleId), false, 1) != 1) return {};
    return chosen;
}

}  // namespace

int SaveDesignSlot(HWND owner, int index, bool askName) {
    if (index < 0 || index >= kDesignSlotCount) return 0;
    DesignSlot& slot = DesignSlots()[index];
    if (!(slot.flags & kSlotHasUnit)) return 0;
    bool design = false;
    if (slot.flags & kSlotHasBox) {
        const int answer = AskDocument(owner, kStrSaveWhat, MB_YESNOCANCEL | MB_ICONQUESTION, {}, kStrSaveWhatCaption);
        if (answer == IDCANCEL) return 0;
        design = answer == IDYES;
    }
    const SpeakerUnit unit = UnitOf(slot);
    // Checked before the name is asked for: nothing to choose a file for.
    if (!IsCompleteForFile(unit)) {
        AskDocument(owner, kStrSpkIncomplete, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    const std::string name = unit.model.empty() ? std::string(StringText(kStrNoName)) : unit.model;
    const std::string path =
        design ? SaveName(owner, SlotPath(slot), ".DSN", name + ".dsn", kStrDesignFilter, kStrSaveDesignTitle, askName)
               : SaveName(owner, SlotPath(slot), ".SPK", name + ".spk", kStrUnitFilter, kStrSaveUnitTitle, askName);
    if (path.empty()) return 0;
    const Status st = design ? WriteDesignFile(path, unit, DeserializeBoxDesign(slot.boxParameters))
                             : WriteSpeakerUnitFile(path, unit);
    if (!st) {
        ShowStatus(owner, st);
        return 0;
    }
    std::snprintf(reinterpret_cast<char*>(slot.filePath), sizeof slot.filePath, "%s", path.c_str());
    slot.flags &= ~kSlotUnsaved;
    AddRecentFile(path);
    if (HWND window = FindWindowOfKind(index)) SetWindowTextA(window, FileUnitTitle(index, path).c_str());
    PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
    return 1;
}

}  // namespace srx
