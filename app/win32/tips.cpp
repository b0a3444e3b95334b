// Tip of the Day, Global Options and About.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/commands_internal.h"
#include "app/win32/shell.h"
#include "resources/command_ids.h"

namespace srx {

namespace {

std::string ProgramFolder() {
    const std::string& folder = Shell().programFolder;
    if (!folder.empty()) return folder;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1);
}

std::vector<std::string> ReadTips() {
    std::ifstream in(ProgramFolder() + "SRIXTIPS.CFG", std::ios::binary);
    if (!in) return {};
    // 512 tips of 259 characters need far less than this; a huge file is
    // not read whole.
    std::string content(1 << 20, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<size_t>(in.gcount()));
    return ParseTips(content);
}

struct TipState {
    std::vector<std::string> tips;
    std::string current;
    HFONT heading = nullptr;
};

void NextTip(HWND dialog, TipState& t) {
    int32_t& index = Settings().window.tipIndex;
    const int count = static_cast<int>(t.tips.size());
    const int shown = TipToShow(index, count);
    t.current = t.tips[shown];
    index = (shown + 1) % count;
    InvalidateRect(dialog, nullptr, TRUE);
}

void PaintTip(HWND dialog, TipState& t) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    RECT frame;
    GetWindowRect(GetDlgItem(dialog, IDC_TIP_TEXT), &frame);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
    InflateRect(&frame, -8, -8);
    FillRect(dc, &frame, GetSysColorBrush(COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    char heading[64] = "";
    GetDlgItemTextA(dialog, IDC_TIP_HEADING, heading, sizeof heading);
    HGDIOBJ oldFont = SelectObject(dc, t.heading);
    RECT text = frame;
    InflateRect(&text, -6, -4);
    DrawTextA(dc, heading, -1, &text, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    text.top += 28;
    SelectObject(dc, (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0));
    DrawTextA(dc, t.current.c_str(), -1, &text, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    EndPaint(dialog, &ps);
}

INT_PTR CALLBACK TipProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* t = reinterpret_cast<TipState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            t = reinterpret_cast<TipState*>(lp);
            t->heading = CreateFontA(20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
            CheckDlgButton(dialog, IDC_TIP_SHOW, Settings().window.showTips ? BST_CHECKED : BST_UNCHECKED);
            NextTip(dialog, *t);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_PAINT:
            if (!t) return FALSE;
            PaintTip(dialog, *t);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_TIP_NEXT: NextTip(dialog, *t); return TRUE;
                case IDC_TIP_SHOW:
                    Settings().window.showTips = IsDlgButtonChecked(dialog, IDC_TIP_SHOW) == BST_CHECKED ? 1 : 0;
                    return TRUE;
                case IDCANCEL:
                case IDOK: EndDialog(dialog, 0); return TRUE;
            }
            break;
        case WM_DESTROY:
            if (t && t->heading) DeleteObject(t->heading);
            break;
    }
    return FALSE;
}

// ---- Global Options ------------------------------------------------------

std::string BackgroundFolder() { return ProgramFolder() + "Background"; }

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void CopyBounded(char* target, const std::string& text) {
    const size_t n = std::min(text.size(), static_cast<size_t>(kPathChars - 1));
    std::memcpy(target, text.data(), n);
    std::memset(target + n, 0, kPathChars - n);
}

void BrowseFolder(HWND dialog) {
    BROWSEINFOA bi{};
    char name[MAX_PATH] = "";
    bi.hwndOwner = dialog;
    bi.pszDisplayName = name;
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&bi);
    if (!pidl) return;
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(pidl, path)) SetDlgItemTextA(dialog, IDC_OPT_FOLDER, path);
    CoTaskMemFree(pidl);
}

void InitOptions(HWND dialog) {
    const WindowHistory& w = Settings().window;
    SendDlgItemMessageA(dialog, IDC_OPT_FOLDER, EM_LIMITTEXT, kPathChars - 1, 0);
    SetDlgItemTextA(dialog, IDC_OPT_FOLDER,
                    std::string(w.stimulusFolder, strnlen(w.stimulusFolder, kPathChars)).c_str());
    const GlobalNotices& n = Notices();
    CheckDlgButton(dialog, IDC_OPT_NORMALIZE, n.normalizeImported);
    CheckDlgButton(dialog, IDC_OPT_NOTE_MIXER, n.noMixer);
    CheckDlgButton(dialog, IDC_OPT_NOTE_CARDCOMP, n.noCardCompensation);
    CheckDlgButton(dialog, IDC_OPT_NOTE_SETTINGS_COMP, n.noCardCompensationSettings);
    CheckDlgButton(dialog, IDC_OPT_NOTE_LEVELS, n.levelInformation);
    CheckDlgButton(dialog, IDC_OPT_NOTE_KEEP, n.keepMeasurement);
    CheckDlgButton(dialog, IDC_OPT_FLAT, (w.shellFlags & kShellFlatToolbar) ? BST_CHECKED : BST_UNCHECKED);

    HWND combo = GetDlgItem(dialog, IDC_OPT_BACKGROUND);
    SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM) "<Windows>");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((BackgroundFolder() + "\\*.BMP").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)BaseName(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    const std::string current(w.backgroundBitmap, strnlen(w.backgroundBitmap, kPathChars));
    LRESULT sel = current.empty() ? 0 : SendMessageA(combo, CB_FINDSTRINGEXACT, 0, (LPARAM)BaseName(current).c_str());
    SendMessageA(combo, CB_SETCURSEL, sel == CB_ERR ? 0 : sel, 0);
}

void ApplyOptions(HWND dialog) {
    WindowHistory& w = Settings().window;
    char text[kPathChars] = "";
    GetDlgItemTextA(dialog, IDC_OPT_FOLDER, text, sizeof text);
    CopyBounded(w.stimulusFolder, text);
    GlobalNotices& n = Notices();
    n.normalizeImported = IsDlgButtonChecked(dialog, IDC_OPT_NORMALIZE) == BST_CHECKED;
    n.noMixer = IsDlgButtonChecked(dialog, IDC_OPT_NOTE_MIXER) == BST_CHECKED;
    n.noCardCompensation = IsDlgButtonChecked(dialog, IDC_OPT_NOTE_CARDCOMP) == BST_CHECKED;
    n.noCardCompensationSettings = IsDlgButtonChecked(dialog, IDC_OPT_NOTE_SETTINGS_COMP) == BST_CHECKED;
    n.levelInformation = IsDlgButtonChecked(dialog, IDC_OPT_NOTE_LEVELS) == BST_CHECKED;
    n.keepMeasurement = IsDlgButtonChecked(dialog, IDC_OPT_NOTE_KEEP) == BST_CHECKED;

    HWND combo = GetDlgItem(dialog, IDC_OPT_BACKGROUND);
    const LRESULT sel = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    std::string bitmap;
    if (sel > 0) {
        char name[MAX_PATH] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, sel, 0) < MAX_PATH)
            SendMessageA(combo, CB_GETLBTEXT, sel, (LPARAM)name);
        bitmap = BackgroundFolder() + "\\" + name + ".BMP";
    }
    // A path that would not fit is not stored cut short: the old one stays.
    if (bitmap.size() < static_cast<size_t>(kPathChars)) CopyBounded(w.backgroundBitmap, bitmap);

    const bool flat = IsDlgButtonChecked(dialog, IDC_OPT_FLAT) == BST_CHECKED;
    w.shellFlags = flat ? (w.shellFlags | kShellFlatToolbar) : (w.shellFlags & ~kShellFlatToolbar);
    if (HWND tb = Shell().toolbar) {
        LONG_PTR style = GetWindowLongPtrA(tb, GWL_STYLE);
        style = flat ? (style | TBSTYLE_FLAT) : (style & ~static_cast<LONG_PTR>(TBSTYLE_FLAT));
        SetWindowLongPtrA(tb, GWL_STYLE, style);
        InvalidateRect(tb, nullptr, TRUE);
    }
    if (Shell().client) InvalidateRect(Shell().client, nullptr, TRUE);
}

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: InitOptions(dialog); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_OPT_BROWSE: BrowseFolder(dialog); return TRUE;
                case IDOK:
                    ApplyOptions(dialog);
                    EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
            }
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            std::string format;
            if (!LoadStringId(2620, format)) format = "Version: 2.20  Build: %s";
            char line[128];
            std::snprintf(line, sizeof line, format.c_str(), __DATE__);
            SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, line);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

HINSTANCE Instance() { return Shell().instance ? Shell().instance : GetModuleHandleA(nullptr); }

}  // namespace

GlobalNotices& Notices() {
    static GlobalNotices notices;
    return notices;
}

namespace {
struct NoticeBit {
    bool GlobalNotices::*member;
    uint32_t bit;
    bool setMeans;  // the member's value when the bit is set
};
constexpr NoticeBit kNoticeBits[] = {
    {&GlobalNotices::normalizeImported, kNoticeNormalizeImported, true},
    {&GlobalNotices::noMixer, kNoticeNoMixerOff, false},
    {&GlobalNotices::noCardCompensation, kNoticeNoCardCompensationOff, false},
    {&GlobalNotices::noCardCompensationSettings, kNoticeNoCardCompensationSettingsOff, false},
    {&GlobalNotices::levelInformation, kNoticeLevelInformationOff, false},
    {&GlobalNotices::keepMeasurement, kNoticeKeepMeasurementOff, false},
};
}  // namespace

void NoticesFromSettings() {
    const uint32_t flags = Settings().window.noticeFlags;
    for (const NoticeBit& b : kNoticeBits) Notices().*b.member = ((flags & b.bit) != 0) == b.setMeans;
}

void NoticesToSettings() {
    uint32_t flags = 0;
    for (const NoticeBit& b : kNoticeBits)
        if ((Notices().*b.member) == b.setMeans) flags |= b.bit;
    Settings().window.noticeFlags = flags;
}

void ShowTipOfTheDay(HWND owner) {
    TipState state;
    state.tips = ReadTips();
    if (state.tips.empty()) return;  // no file or no tips: nothing to show
    DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_TIP), owner, TipProc, reinterpret_cast<LPARAM>(&state));
}

void ShowGlobalOptions(HWND owner) {
    DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_GLOBAL_OPTIONS), owner, OptionsProc, 0);
}

void ShowAbout(HWND owner) { DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_ABOUT), owner, AboutProc, 0); }

}  // namespace srx
