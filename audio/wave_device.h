// The device seam between the wave engine and a sound device. It has the
// shape of the platform's wave API (open with a format, prepare/unprepare a
// header, add a buffer to the input or write one to the output, start,
// reset, close, buffer-done notices) so that the winmm back-end is a thin
// translation and the virtual loudspeaker can stand in for a sound card.
//
// Notices never arrive inside the call that caused them: a back-end queues
// them and delivers them later, in order, on the thread that owns the
// device's notices (the thread of the hidden window on Windows, the thread
// that pumps the virtual device otherwise). Targets opened as `direct` are
// the exception: they may be called on any thread as soon as the event
// happens, and must do no more than signal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave_file.h"

namespace srx {

// Result codes, with the values of the platform's MMSYSERR/WAVERR codes so
// that the winmm back-end passes its results through unchanged.
inline constexpr int kWaveDeviceOk = 0;
inline constexpr int kWaveDeviceError = 1;
inline constexpr int kWaveDeviceBadId = 2;
inline constexpr int kWaveDeviceBusy = 4;
inline constexpr int kWaveDeviceNoMemory = 7;
inline constexpr int kWaveDeviceBadParam = 11;
inline constexpr int kWaveDeviceBadFormat = 32;
inline constexpr int kWaveDeviceStillPlaying = 33;
inline constexpr int kWaveDeviceUnprepared = 34;

// The platform's wave mapper: "any suitable device".
inline constexpr int kWaveMapper = -1;

// Header flags, the platform's WHDR_* values.
inline constexpr uint32_t kWaveHeaderDone = 0x01;
inline constexpr uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr uint32_t kWaveHeaderInQueue = 0x10;

// A buffer handed to a device; the fields of the platform's WAVEHDR.
struct WaveHeader {
    char* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;  // input: bytes filled; output: unused
    uintptr_t user = 0;
    uint32_t flags = 0;
    uint32_t loops = 0;
    // Owned by the back-end between prepare and unprepare (winmm: its WAVEHDR).
    void* backend = nullptr;
};

enum class WaveDirection { kOutput, kInput };

enum class WaveNotice {
    kOpened,  // MM_WOM_OPEN / MM_WIM_OPEN
    kDone,    // MM_WOM_DONE / MM_WIM_DATA, with the header
    kClosed,  // MM_WOM_CLOSE / MM_WIM_CLOSE
};

// Where a device's notices go: a plain function and the value given at
// opening (the engine passes its opening generation, so that a notice of a
// device it has already closed is recognised and dropped).
using WaveNoticeFn = void (*)(void* context, WaveNotice notice, WaveHeader* header);
struct WaveNoticeTarget {
    WaveNoticeFn fn = nullptr;
    void* context = nullptr;
    bool direct = false;  // may be called on any thread (event-style notification)
};

// One open device of one direction, like an HWAVEOUT/HWAVEIN. Destroying an
// open handle resets and closes it.
class WaveDeviceHandle {
public:
    virtual ~WaveDeviceHandle() = default;
    virtual int Prepare(WaveHeader& header) = 0;
    virtual int Unprepare(WaveHeader& header) = 0;
    // waveInAddBuffer for the input, waveOutWrite for the output.
    virtual int Queue(WaveHeader& header) = 0;
    // waveInStart; the output starts with its first write and accepts it as a no-op.
    virtual int Start() = 0;
    // Stops and hands every queued buffer back (done notices follow).
    virtual int Reset() = 0;
    // Refused with kWaveDeviceStillPlaying while buffers are queued; a
    // successful close is followed by the close notice.
    virtual int Close() = 0;
};

// A family of devices (the sound cards of the platform, the virtual
// loudspeaker, or both listed together).
class WaveDeviceBackend {
public:
    virtual ~WaveDeviceBackend() = default;

    virtual int DeviceCount(WaveDirection direction) const = 0;
    // Empty when there is no such device.
    virtual std::string DeviceName(WaveDirection direction, int id) const = 0;
    // Whether `id` (or kWaveMapper) would open with `format`.
    virtual bool SupportsFormat(WaveDirection direction, int id, const WaveFormat& format) const = 0;

    // Opens a device; on success `out` holds the handle and the open notice is
    // on its way.
    virtual int Open(WaveDirection direction, int id, const WaveFormat& format, const WaveNoticeTarget& target,
                     std::unique_ptr<WaveDeviceHandle>& out) = 0;

    // Makes the thread that calls it the one that receives notices (the
    // hidden window "KVWaveClass" on Windows). 0, 1 when the window class
    // cannot be registered, 2 when the window cannot be created.
    virtual int CreateNoticeWindow(void* owner, void* instance) = 0;
    virtual void DestroyNoticeWindow() = 0;
    // Called when the notice window is closed from outside (WM_CLOSE).
    virtual void SetWindowClosedHandler(void (*handler)()) = 0;

    // Posts `message` to the owner window, behind the notices already queued
    // (PostMessage on Windows).
    virtual void PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) = 0;
};

#ifdef _WIN32
// The winmm back-end: real sound cards through waveIn*/waveOut*.
std::unique_ptr<WaveDeviceBackend> MakeWinmmBackend();
// Shows the loop player's messages in their own box ("Plugin-Wave Error").
void InstallLoopPlayerErrorBox();
#endif

}  // namespace srx
