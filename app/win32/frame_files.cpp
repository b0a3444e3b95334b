// Message boxes, the file dialog and opening files by name: from the command
// line, the hand-over list, dropped files, recent files and File > Open.
#include <windows.h>
#include <commdlg.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/win32/frame.h"
#include "app/win32/shell.h"
#include "audio/wave_engine.h"
#include "data/native_files.h"
#include "design/box_design.h"
#include "design/design_slot.h"
#include "design/speaker_unit.h"
#include "app/win32/recent_menu.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kMessageChars = 1023;
constexpr size_t kMaxFilterChars = 768;
constexpr char kDefaultFilter[] = "Alla Filer (*.*)\0*.*\0Text Filer (*.txt)\0*.txt\0";

const char* Caption() { return ShellCaption(); }

// The extension of the file name (not of a folder), upper case, without the
// dot; empty when the name has none.
std::string UpperExtension(const std::string& path) {
    size_t slash = path.find_last_of("\\/:");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = (char)std::toupper((unsigned char)c);
    return ext;
}

// Length of a NUL-separated filter including its closing double NUL; 0
// when it does not end within the limit.
size_t FilterLength(const char* filter) {
    if (!filter || !filter[0]) return 0;
    for (size_t i = 0; i + 1 < kMaxFilterChars; ++i)
        if (filter[i] == 0 && filter[i + 1] == 0) return i + 2;
    return 0;
}

// The message a failed reader returned, with its arguments in place, under
// the file's name (several files may be opening at once).
void ShowFailure(HWND owner, const Status& status, const std::string& path) {
    if (status.ok()) return;
    std::string text = path.empty() ? StatusText(status) : path + "\n\n" + StatusText(status);
    if (text.size() > kMessageChars) text.resize(kMessageChars);
    MessageBoxA(owner, text.c_str(), Caption(), MB_OK | MB_ICONEXCLAMATION);
}

// Windows for a record just read: one per plan, all showing the same
// record. The windows own the record once the first of them exists.
template <typename Record>
int OpenRecordWindows(HWND owner, std::unique_ptr<Record> record, const std::string& path) {
    const std::string title = TextOf(record->h.title);
    Record* data = record.get();
    bool any = false;
    for (const DocumentPlan& plan : DocumentsFor(*data)) {
        HWND window = CreateDocumentWindow(DocumentTitle(plan, title).c_str(), plan.kind, data);
        if (!window) {
            MessageBoxId(owner, kStrCreateWindowFailed, MB_OK | MB_ICONSTOP);
            break;
        }
        if (!any) record.release();
        any = true;
        MakeTitleUnique(window);
    }
    if (!any) return 0;
    NoteOpened(*data, path);
    return 1;
}

int OpenNativeFile(HWND owner, const std::string& path, const std::string& ext) {
    if (ext == "MES") {
        auto m = NewMeasurement(0);
        if (!m) return MessageBoxId(owner, kStrOutOfMemory, MB_OK | MB_ICONSTOP), 0;
        Status st = LoadMeasurement(path, *m, LoadPurpose::ForWindow);
        if (!st) return ShowFailure(owner, st, path), 0;
        return OpenRecordWindows(owner, std::move(m), path);
    }
    if (ext == "TWF" || ext == "STP") {
        auto t = NewTimeRecord(TimeWindowSettings{});
        if (!t) return MessageBoxId(owner, kStrOutOfMemory, MB_OK | MB_ICONSTOP), 0;
        Status st = LoadTimeRecord(path, *t, LoadPurpose::ForWindow);
        if (!st) return ShowFailure(owner, st, path), 0;
        return OpenRecordWindows(owner, std::move(t), path);
    }
    if (ext == "ETC") {
        auto e = NewEtcRecord();
        if (!e) return MessageBoxId(owner, kStrOutOfMemory, MB_OK | MB_ICONSTOP), 0;
        Status st = LoadEtc(path, *e, LoadPurpose::ForWindow);
        if (!st) return ShowFailure(owner, st, path), 0;
        return OpenRecordWindows(owner, std::move(e), path);
    }
    return 0;
}

bool IsNativeExtension(const std::string& ext) { return ext == "MES" || ext == "TWF" || ext == "STP" || ext == "ETC"; }

// Speaker units (.SPK), box designs (.DSN) and extension-less names go into
// the first free design slot.
int OpenDesignFile(HWND owner, const std::string& path) {
    FrameState& s = Shell();
    DesignSlot* slots = DesignSlots();
    int free = -1;
    for (int i = 0; i < kDesignSlotCount && free < 0; ++i)
        if (!(slots[i].flags & kSlotHasUnit)) free = i;
    if (free < 0) {
        MessageBoxId(owner, kStrNoFreeSlots, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    const int previous = s.activeDesign;
    const bool follows = s.designFollowsActivation.exchange(false);
    s.activeDesign = free;
    int loaded = 0;
    const std::string ext = UpperExtension(path);
    SpeakerUnit unit;
    BoxDesign box;
    Status st = Status::Error(kStrCantOpenYet, {path});
    if (ext == "SPK") st = ReadSpeakerUnitFile(path, unit);
    else if (ext == "DSN") st = ReadDesignFile(path, unit, box);
    if (!st) {
        ShowFailure(owner, st, ext == "SPK" || ext == "DSN" ? path : std::string());
    } else {
        DesignSlot& slot = slots[free];
        ResetDesignSlot(free);
        const auto record = SerializeSpeakerUnit(unit);
        std::memcpy(slot.unitParameters, record.data(), record.size());
        const auto boxRecord = SerializeBoxDesign(box);
        std::memcpy(slot.boxParameters, boxRecord.data(), boxRecord.size());
        std::snprintf(reinterpret_cast<char*>(slot.filePath), sizeof slot.filePath, "%s", path.c_str());
        slot.flags |= kSlotHasUnit | (ext == "DSN" ? kSlotHasBox : 0);
        // Titled as File > Open titles it: the name without folder and extension.
        const std::string title = FormatStringId(2216, free + 1, FileTitle(path).c_str());
        if (CreateDocumentWindow(title.c_str(), free, &slot)) {
            AddRecentFile(path);
            loaded = 1;
        } else {
            ResetDesignSlot(free);
            MessageBoxId(owner, kStrCreateWindowFailed, MB_OK | MB_ICONSTOP);
        }
    }
    if (!loaded) s.activeDesign = previous;
    s.designFollowsActivation = follows;
    return loaded;
}

}  // namespace

int MessageBoxId(HWND owner, int id, UINT flags) {
    std::string text(StringText(id));
    if (text.size() > kMessageChars) text.resize(kMessageChars);
    return MessageBoxA(owner, text.c_str(), Caption(), flags);
}

int MessageBoxIdf(HWND owner, int id, UINT flags, ...) {
    char text[kMessageChars + 1];
    va_list args;
    va_start(args, flags);
    std::vsnprintf(text, sizeof text, StringText(id), args);
    va_end(args);
    return MessageBoxA(owner, text, Caption(), flags);
}

const char* ShellCaption() { return Shell().caption.empty() ? StringText(kStrProgramName) : Shell().caption.c_str(); }

int ShowStatus(HWND owner, const Status& message, UINT flags, StatusMessageHook hook) {
    if (message.stringId == kWaveMessageShown) return IDOK;
    if (hook) return hook(owner, message, flags);
    return MessageBoxA(owner, StatusText(message).c_str(), ShellCaption(), flags);
}

std::string FormatStringId(int id, ...) {
    char text[1024];
    va_list args;
    va_start(args, id);
    std::vsnprintf(text, sizeof text, StringText(id), args);
    va_end(args);
    return text;
}

int FileDialog(HWND owner, char* path, const char* filterText, const char* title, bool open, int filterIndex) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = Shell().instance;
    ofn.lpstrFilter = FilterLength(filterText) ? filterText : kDefaultFilter;
    ofn.nFilterIndex = filterIndex > 1 ? 1 : filterIndex;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 256;
    ofn.lpstrTitle = title;
    ofn.Flags = open ? OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST
                     : OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    BOOL chosen = open ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (chosen) return 1;
    if (DWORD code = CommDlgExtendedError()) MessageBoxIdf(owner, 2320, MB_OK | MB_ICONEXCLAMATION, (long)code);
    return 0;
}

int OpenDocumentFile(HWND owner, const char* path) {
    if (!path || !path[0]) return 0;
    const std::string name(path);
    const std::string ext = UpperExtension(name);
    if (ext.empty() || ext == "SPK" || ext == "DSN") return OpenDesignFile(owner, name);
    // Crossovers, multigraphs and the imports are not part of the program
    // yet: the user hears so, and the file is left alone.
    if (!IsNativeExtension(ext)) return ShowFailure(owner, Status::Error(kStrCantOpenYet, {name}), {}), 0;
    return OpenNativeFile(owner, name, ext);
}

int OpenWithDialog() {
    static char lastPath[260];
    FrameState& s = Shell();
    char path[260];
    std::snprintf(path, 256, "%s", lastPath);
    if (!FileDialog(s.frame, path, StringText(kStrOpenFilter), StringText(kStrOpenTitle), true, 1)) return 0;
    std::snprintf(lastPath, sizeof lastPath, "%s", path);
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const std::string ext = UpperExtension(path);
    int result = 0;
    // Units and designs load into the active slot once their readers exist;
    // the other kinds open windows of their own.
    if (IsNativeExtension(ext)) OpenNativeFile(s.frame, path, ext);
    else ShowFailure(s.frame, Status::Error(kStrCantOpenYet, {path}), {});
    SetCursor(old);
    return result;
}

std::string HandOverListFile() {
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    return HandOverListPath(n && n < sizeof temp ? std::string(temp, n) : std::string("."));
}

void OpenListedFiles() {
    const std::string path = HandOverListFile();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    // The list holds at most 32 names; anything far beyond that is not ours.
    std::string text(64 * 1024, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    // Gone before the first file opens: a message box of a failed open lets
    // the next hand-over in, which must not find these names again.
    DeleteFileA(path.c_str());
    FrameState& s = Shell();
    const bool follows = s.designFollowsActivation.exchange(false);
    for (const std::string& name : ParseHandOverList(text)) OpenDocumentFile(s.frame, name.c_str());
    s.designFollowsActivation = follows;
}

std::string ProgramFolderOf(HINSTANCE instance) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    std::string p(path, n < MAX_PATH ? n : 0);
    size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

}  // namespace srx
