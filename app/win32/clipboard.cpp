// Copy of a document window's picture to the clipboard (command 202): the
// window's content drawn by its own painter into a bitmap one pixel larger
// than the client area.
#include "app/win32/documents.h"
#include "app/win32/shell.h"

namespace srx {

int CopyWindowToClipboard(HWND window) {
    if (!IsWindow(window)) return 0;
    if (!OpenClipboard(window)) {
        AskDocument(window, 2332, MB_OK | MB_ICONSTOP);
        return 0;
    }
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right - client.left + 1;
    const int height = client.bottom - client.top + 1;

    HDC screen = GetDC(nullptr);
    HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
    HBITMAP bitmap = screen ? CreateBitmap(width, height, static_cast<UINT>(GetDeviceCaps(screen, PLANES)),
                                           static_cast<UINT>(GetDeviceCaps(screen, BITSPIXEL)), nullptr)
                            : nullptr;
    if (!memory || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        if (memory) DeleteDC(memory);
        if (screen) ReleaseDC(nullptr, screen);
        CloseClipboard();
        AskDocument(window, 2333, MB_OK | MB_ICONSTOP);
        return 0;
    }
    SetBitmapDimensionEx(bitmap, width, height, nullptr);

    EmptyClipboard();
    HWND frame = Shell().frame;
    if (frame) EnableWindow(frame, FALSE);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const RECT area = {0, 0, width, height};
    PaintDocument(window, memory, area, true);
    SelectObject(memory, old);  // a bitmap still selected cannot go to the clipboard
    const bool placed = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
    if (!placed) DeleteObject(bitmap);  // otherwise the clipboard owns it
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    CloseClipboard();
    if (frame) EnableWindow(frame, TRUE);
    InvalidateRect(window, nullptr, TRUE);
    if (!placed) {
        AskDocument(window, 2333, MB_OK | MB_ICONSTOP);
        return 0;
    }
    return 1;
}

}  // namespace srx
