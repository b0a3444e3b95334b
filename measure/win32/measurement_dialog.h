#pragma once
// What every measurement dialog does with its window the same way: its
// object is made on WM_INITDIALOG and found through DWLP_USER until
// WM_NCDESTROY deletes it; the wave engine's notices, the close request and
// the steps the dialog posts to itself go to members. The dialog procedure
// handles the rest (its commands, timers) itself.
#include <windows.h>

#include <initializer_list>
#include <optional>

#include "audio/wave_engine.h"

namespace srx {

template <class Dialog>
struct DialogStep {
    UINT message;
    void (Dialog::*run)();
};

template <class Dialog>
Dialog* MeasurementDialogOf(HWND dialog) {
    return reinterpret_cast<Dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The answer to `message` when it is one of the common ones, else nothing.
template <class Dialog, class Make>
std::optional<INT_PTR> CommonDialogMessage(HWND dialog, UINT message, WPARAM wp, LPARAM lp, Make make,
                                           void (Dialog::*close)(), std::initializer_list<DialogStep<Dialog>> steps) {
    Dialog* self = MeasurementDialogOf<Dialog>(dialog);
    switch (message) {
        case WM_INITDIALOG:
            self = make();
            SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(self));
            return self->Init();
        case kWaveMciNotify:
            if (self) self->Notice(message, wp, lp);
            return TRUE;
        case WM_CLOSE:
            if (self) (self->*close)();
            return TRUE;
        case WM_NCDESTROY:
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            delete self;
            return FALSE;
    }
    for (const DialogStep<Dialog>& step : steps)
        if (message == step.message) {
            if (self) (self->*step.run)();
            return TRUE;
        }
    return std::nullopt;
}

}  // namespace srx
