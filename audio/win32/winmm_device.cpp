// The winmm back-end of the device seam. Window-notified devices report to
// the hidden window "KVWaveClass", created on the thread that initialises
// the engine, which forwards MM_WOM_*/MM_WIM_* to the engine's handlers;
// direct targets (the loop player) use a callback function instead.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "audio/virtual_device.h"
#include "audio/wave_device.h"
#include "audio/wave_engine.h"

namespace srx {

namespace {

constexpr char kWaveClass[] = "KVWaveClass";
// Asks the hidden window to deliver the virtual loudspeaker's notices.
constexpr UINT kPumpVirtual = WM_APP + 0x3B9;

struct Route {
    WaveNoticeTarget target;
};

// Our header's WAVEHDR lives from prepare to unprepare.
WAVEHDR* Native(WaveHeader& h) { return static_cast<WAVEHDR*>(h.backend); }

void CopyBack(WaveHeader& h) {
    if (WAVEHDR* n = Native(h)) {
        h.bytesRecorded = n->dwBytesRecorded;
        h.flags = n->dwFlags;
    }
}

void Forward(const Route& route, UINT msg, WAVEHDR* native) {
    WaveNotice notice;
    switch (msg) {
        case MM_WOM_OPEN:
        case MM_WIM_OPEN: notice = WaveNotice::kOpened; break;
        case MM_WOM_CLOSE:
        case MM_WIM_CLOSE: notice = WaveNotice::kClosed; break;
        default: notice = WaveNotice::kDone; break;
    }
    WaveHeader* header = nullptr;
    if (notice == WaveNotice::kDone && native) {
        header = reinterpret_cast<WaveHeader*>(native->dwUser);
        if (header) CopyBack(*header);
    }
    if (route.target.fn) route.target.fn(route.target.context, notice, header);
}

void CALLBACK DirectOutProc(HWAVEOUT, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    if (instance) Forward(*reinterpret_cast<Route*>(instance), msg, reinterpret_cast<WAVEHDR*>(param1));
}

class WinmmHandle : public WaveDeviceHandle {
public:
    WinmmHandle(WaveDirection direction, HANDLE handle, std::shared_ptr<Route> route)
        : direction_(direction), handle_(handle), route_(std::move(route)) {}
    ~WinmmHandle() override {
        if (handle_) {
            Reset();
            Close();
        }
    }

    int Prepare(WaveHeader& h) override {
        if (!handle_) return MMSYSERR_INVALHANDLE;
        if (!h.backend) h.backend = new (std::nothrow) WAVEHDR{};
        WAVEHDR* n = Native(h);
        if (!n) return MMSYSERR_NOMEM;
        n->lpData = h.data;
        n->dwBufferLength = h.bufferLength;
        n->dwUser = reinterpret_cast<DWORD_PTR>(&h);
        n->dwLoops = h.loops;
        n->dwFlags = 0;
        const MMRESULT r = In() ? waveInPrepareHeader(HWAVEIN(handle_), n, sizeof *n)
                                : waveOutPrepareHeader(HWAVEOUT(handle_), n, sizeof *n);
        CopyBack(h);
        return int(r);
    }

    int Unprepare(WaveHeader& h) override {
        WAVEHDR* n = Native(h);
        if (!handle_ || !n) return MMSYSERR_INVALHANDLE;
        const MMRESULT r = In() ? waveInUnprepareHeader(HWAVEIN(handle_), n, sizeof *n)
                                : waveOutUnprepareHeader(HWAVEOUT(handle_), n, sizeof *n);
        CopyBack(h);
        if (r == MMSYSERR_NOERROR) {
            delete n;
            h.backend = nullptr;
        }
        return int(r);
    }

    int Queue(WaveHeader& h) override {
        WAVEHDR* n = Native(h);
        if (!handle_) return MMSYSERR_INVALHANDLE;
        if (!n) return WAVERR_UNPREPARED;
        n->dwBufferLength = h.bufferLength;
        const MMRESULT r =
            In() ? waveInAddBuffer(HWAVEIN(handle_), n, sizeof *n) : waveOutWrite(HWAVEOUT(handle_), n, sizeof *n);
        CopyBack(h);
        return int(r);
    }

    int Start() override {
        if (!handle_) return MMSYSERR_INVALHANDLE;
        return In() ? int(waveInStart(HWAVEIN(handle_))) : 0;
    }

    int Reset() override {
        if (!handle_) return MMSYSERR_INVALHANDLE;
        return In() ? int(waveInReset(HWAVEIN(handle_))) : int(waveOutReset(HWAVEOUT(handle_)));
    }

    int Close() override;

private:
    bool In() const { return direction_ == WaveDirection::kInput; }
    WaveDirection direction_;
    HANDLE handle_;
    std::shared_ptr<Route> route_;
};

class WinmmBackend : public WaveDeviceBackend {
public:
    ~WinmmBackend() override { DestroyNoticeWindow(); }

    int DeviceCount(WaveDirection d) const override {
        return int(d == WaveDirection::kInput ? waveInGetNumDevs() : waveOutGetNumDevs());
    }

    std::string DeviceName(WaveDirection d, int id) const override {
        if (id < 0) return "";
        if (d == WaveDirection::kInput) {
            WAVEINCAPSA caps{};
            if (waveInGetDevCapsA(UINT(id), &caps, sizeof caps) != MMSYSERR_NOERROR) return "";
            return caps.szPname;
        }
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(UINT(id), &caps, sizeof caps) != MMSYSERR_NOERROR) return "";
        return caps.szPname;
    }

    bool SupportsFormat(WaveDirection d, int id, const WaveFormat& f) const override {
        WAVEFORMATEX wfx = ToNative(f);
        const UINT device = id == kWaveMapper ? WAVE_MAPPER : UINT(id);
        if (d == WaveDirection::kOutput)
            return waveOutOpen(nullptr, device, &wfx, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
        if (waveInOpen(nullptr, device, &wfx, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) return false;
        if (f.bitsPerSample <= 16) return true;
        // Some capture drivers (Wine's PulseAudio one) accept wide formats when
        // asked and refuse them when opened: only a real opening tells. A busy
        // device says nothing about the format, so the answer stays yes then.
        HWAVEIN h = nullptr;
        const MMRESULT r = waveInOpen(&h, device, &wfx, 0, 0, CALLBACK_NULL);
        if (r == MMSYSERR_NOERROR) waveInClose(h);
        return r != WAVERR_BADFORMAT;
    }

    int Open(WaveDirection d, int id, const WaveFormat& f, const WaveNoticeTarget& target,
             std::unique_ptr<WaveDeviceHandle>& out) override {
        WAVEFORMATEX wfx = ToNative(f);
        const UINT device = id == kWaveMapper ? WAVE_MAPPER : UINT(id);
        auto route = std::make_shared<Route>(Route{target});
        DWORD_PTR callback, instance = 0;
        DWORD flags;
        if (target.direct) {
            if (d == WaveDirection::kInput) return MMSYSERR_NOTSUPPORTED;  // only the loop player plays this way
            callback = reinterpret_cast<DWORD_PTR>(&DirectOutProc);
            instance = reinterpret_cast<DWORD_PTR>(route.get());
            flags = CALLBACK_FUNCTION;
        } else {
            if (!window_) return MMSYSERR_ERROR;
            callback = reinterpret_cast<DWORD_PTR>(window_.load());
            flags = CALLBACK_WINDOW;
        }
        HANDLE handle = nullptr;
        MMRESULT r;
        if (d == WaveDirection::kInput) {
            HWAVEIN h = nullptr;
            r = waveInOpen(&h, device, &wfx, callback, instance, flags);
            handle = h;
        } else {
            HWAVEOUT h = nullptr;
            r = waveOutOpen(&h, device, &wfx, callback, instance, flags);
            handle = h;
        }
        if (r != MMSYSERR_NOERROR) return int(r);
        if (!target.direct) routes_[handle] = route;
        out = std::make_unique<WinmmHandle>(d, handle, route);
        return 0;
    }

    int CreateNoticeWindow(void* owner, void* instance) override {
        HINSTANCE inst = instance ? HINSTANCE(instance) : GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = &WindowProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kWaveClass;
        if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 1;
        window_ = CreateWindowExA(0, kWaveClass, "", WS_POPUP, 0, 0, 0, 0, HWND(owner), nullptr, inst, this);
        if (!window_) {
            UnregisterClassA(kWaveClass, inst);
            return 2;
        }
        instance_ = inst;
        // Notices queued while no window existed (those of a device closed by
        // the last engine) are passed on now; the engine drops stale ones.
        if (pumped_) PostMessageA(window_.load(), kPumpVirtual, 0, 0);
        return 0;
    }

    void DestroyNoticeWindow() override {
        if (HWND w = window_.exchange(nullptr)) DestroyWindow(w);
        if (instance_) UnregisterClassA(kWaveClass, instance_);
        instance_ = nullptr;
    }

    void SetWindowClosedHandler(void (*handler)()) override { closed_ = handler; }

    void PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) override {
        PostMessageA(HWND(owner), message, WPARAM(first), LPARAM(second));
    }

    void Attach(VirtualLoudspeaker* device) {
        if (pumped_ && pumped_ != device) pumped_->SetWakeHook(nullptr, nullptr);
        pumped_ = device;
        if (device) device->SetWakeHook(&Wake, this);
    }

private:
    static WAVEFORMATEX ToNative(const WaveFormat& f) {
        WAVEFORMATEX w{};
        w.wFormatTag = f.formatTag;
        w.nChannels = f.channels;
        w.nSamplesPerSec = f.samplesPerSec;
        w.nAvgBytesPerSec = f.avgBytesPerSec;
        w.nBlockAlign = f.blockAlign;
        w.wBitsPerSample = f.bitsPerSample;
        w.cbSize = 0;
        return w;
    }

    // On the device's pacing thread: only a post, the window's thread pumps.
    static void Wake(void* context) {
        if (HWND w = static_cast<WinmmBackend*>(context)->window_.load()) PostMessageA(w, kPumpVirtual, 0, 0);
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<WinmmBackend*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        switch (msg) {
            case MM_WOM_OPEN:
            case MM_WOM_DONE:
            case MM_WOM_CLOSE:
            case MM_WIM_OPEN:
            case MM_WIM_DATA:
            case MM_WIM_CLOSE:
                if (self) {
                    auto it = self->routes_.find(HANDLE(wp));
                    if (it != self->routes_.end()) {
                        const std::shared_ptr<Route> route = it->second;
                        if (msg == MM_WOM_CLOSE || msg == MM_WIM_CLOSE) self->routes_.erase(it);
                        Forward(*route, msg, reinterpret_cast<WAVEHDR*>(lp));
                    }
                }
                return 0;
            case kPumpVirtual:
                if (self && self->pumped_) self->pumped_->Pump();
                return 0;
            case WM_CLOSE:
                if (self && self->closed_) self->closed_();
                if (self) self->window_.store(nullptr);
                DestroyWindow(hwnd);
                return 0;
            default: return DefWindowProcA(hwnd, msg, wp, lp);
        }
    }

    std::atomic<HWND> window_{nullptr};  // read by the pacing thread's wake
    VirtualLoudspeaker* pumped_ = nullptr;
    HINSTANCE instance_ = nullptr;
    void (*closed_)() = nullptr;
    // Window-notified devices by handle; the close notice removes the entry.
    std::map<HANDLE, std::shared_ptr<Route>> routes_;
};

int WinmmHandle::Close() {
    if (!handle_) return MMSYSERR_INVALHANDLE;
    const MMRESULT r = In() ? waveInClose(HWAVEIN(handle_)) : waveOutClose(HWAVEOUT(handle_));
    if (r == MMSYSERR_NOERROR) handle_ = nullptr;
    // A window-notified device's route stays until its close notice; a
    // direct one's lives in route_ as long as this handle.
    return int(r);
}

void ShowLoopPlayerError(const char* text) {
    MessageBoxA(nullptr, text ? text : "", "Plugin-Wave Error", MB_ICONERROR | MB_OK);
}

}  // namespace

std::unique_ptr<WaveDeviceBackend> MakeWinmmBackend() { return std::make_unique<WinmmBackend>(); }

void AttachVirtualLoudspeaker(WaveDeviceBackend& winmm, VirtualLoudspeaker* device) {
    if (auto* b = dynamic_cast<WinmmBackend*>(&winmm)) b->Attach(device);
}

namespace {

struct ProgramDevices {
    std::unique_ptr<WaveDeviceBackend> cards = MakeWinmmBackend();
    VirtualLoudspeaker loudspeaker;
    WaveDeviceRouter router{cards.get(), &loudspeaker};
    ProgramDevices() {
        AttachVirtualLoudspeaker(*cards, &loudspeaker);
        loudspeaker.SetPacing(VirtualPacing::kRealTime);
    }
};

// Never destroyed: the pacing thread must not be joined after the process
// has begun to exit.
ProgramDevices& Program() {
    static ProgramDevices* devices = new ProgramDevices;
    return *devices;
}

}  // namespace

WaveDeviceRouter& ProgramWaveDevices() {
    WaveDeviceRouter& router = Program().router;
    WaveSetBackend(&router);
    return router;
}
VirtualLoudspeaker& ProgramVirtualLoudspeaker() { return Program().loudspeaker; }

void InstallLoopPlayerErrorBox() { SetLoopPlayerErrorSink(&ShowLoopPlayerError); }

}  // namespace srx
