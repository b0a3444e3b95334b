// Printing a graph window (108) and the printer set-up (109): the common
// print dialogs, then the same painters as on the screen with the printer's
// colours, on one page.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "graph/win32/graph_view.h"

namespace srx {

namespace {

// The printer and page chosen last, handed to the next dialog.
HGLOBAL g_devMode = nullptr;
HGLOBAL g_devNames = nullptr;

void KeepPrinter(HGLOBAL devMode, HGLOBAL devNames) {
    if (g_devMode && g_devMode != devMode) GlobalFree(g_devMode);
    if (g_devNames && g_devNames != devNames) GlobalFree(g_devNames);
    g_devMode = devMode;
    g_devNames = devNames;
}

bool IsPrintableKind(int kind) {
    return kind == kDocMeasurement || kind == kDocMultigraph || kind == kDocImpulse || kind == kDocEtc ||
           kind == kDocStep;
}

}  // namespace

bool PaintGraphPage(HWND window, HDC dc, int pageWidth, int pageHeight, int dpiX, int dpiY) {
    if (!IsPrintableKind(DocumentKindOf(window))) return false;
    // Drawn in units of about a screen pixel so that fonts and proportions
    // come out as on the screen, on a page-wide area with half-inch margins
    // and the shape of a landscape screen.
    dpiX = std::max(1, dpiX);
    dpiY = std::max(1, dpiY);
    const int marginX = dpiX / 2, marginY = dpiY / 2;
    const int physW = std::max(1, pageWidth - 2 * marginX);
    const int physH = std::max(1, std::min(pageHeight - 2 * marginY, physW * 7 / 10 * dpiY / dpiX));
    const int logicalW = std::max(1, physW * 96 / dpiX), logicalH = std::max(1, physH * 96 / dpiY);
    const int saved = SaveDC(dc);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, logicalW, logicalH, nullptr);
    SetViewportExtEx(dc, physW, physH, nullptr);
    SetViewportOrgEx(dc, marginX, marginY, nullptr);
    const RECT area{0, 0, logicalW, logicalH};
    const bool painted = PaintDocumentGraph(window, dc, area, true);
    RestoreDC(dc, saved);
    return painted;
}

bool PrintGraphOnDc(HWND window, HDC printer, const char* docName) {
    if (!printer || !IsPrintableKind(DocumentKindOf(window))) return false;
    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = docName && *docName ? docName : "Son-Rix";
    if (StartDocA(printer, &doc) <= 0) return false;
    if (StartPage(printer) <= 0) {
        AbortDoc(printer);
        return false;
    }
    const bool painted =
        PaintGraphPage(window, printer, GetDeviceCaps(printer, HORZRES), GetDeviceCaps(printer, VERTRES),
                       GetDeviceCaps(printer, LOGPIXELSX), GetDeviceCaps(printer, LOGPIXELSY));
    const bool ended = EndPage(printer) > 0;
    if (!painted || !ended) {
        AbortDoc(printer);
        return false;
    }
    return EndDoc(printer) > 0;
}

bool PrintGraphWindow(HWND owner, HWND window) {
    if (!window || !IsPrintableKind(DocumentKindOf(window))) return false;
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner;
    pd.hDevMode = g_devMode;
    pd.hDevNames = g_devNames;
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
    pd.nCopies = 1;
    // Cancelled, or no printer at all: nothing to do, and no message -
    // the dialog has said what there was to say.
    if (!PrintDlgA(&pd)) {
        KeepPrinter(pd.hDevMode, pd.hDevNames);
        return false;
    }
    KeepPrinter(pd.hDevMode, pd.hDevNames);
    if (!pd.hDC) return false;
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const bool ok = PrintGraphOnDc(window, pd.hDC, WindowTitle(window).c_str());
    SetCursor(old);
    DeleteDC(pd.hDC);
    return ok;
}

bool GraphPageSetup(HWND owner) {
    PAGESETUPDLGA psd{};
    psd.lStructSize = sizeof psd;
    psd.hwndOwner = owner;
    psd.hDevMode = g_devMode;
    psd.hDevNames = g_devNames;
    const bool ok = PageSetupDlgA(&psd) != FALSE;
    KeepPrinter(psd.hDevMode, psd.hDevNames);
    return ok;
}

}  // namespace srx
