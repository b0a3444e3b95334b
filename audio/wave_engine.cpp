#include "audio/wave_engine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "audio/wave_error.h"
#include "audio/wave_stream.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// ------------------------------------------------------------ engine state

struct Buffer {
    WaveHeader header;
    std::unique_ptr<char[]> data;
};

struct Direction {
    std::unique_ptr<WaveDeviceHandle> device;
    std::vector<Buffer> buffers;
    uint32_t bytes = 0;
    int queued = 0;
    bool open = false;
    // Identifies the current opening; notices of an earlier one are dropped.
    uint64_t generation = 0;
};

struct Engine {
    bool initialised = false;
    void* owner = nullptr;
    WaveFormat recordFormat{};
    uint32_t outputSize = 32004, inputSize = 32004;
    int bufferCount = 8;
    Direction out, in;
    bool playing = false, endOfStimulus = false, outputFailed = false;
    bool recording = false, aborted = false;
    uint64_t nextGeneration = 1;
};

Engine g_engine;
WaveDeviceBackend* g_backend = nullptr;

#define WAVE_ERROR(text) ReportWaveError(text, __LINE__)

void Notify(int first, int second) {
    if (g_backend) g_backend->PostToOwner(g_engine.owner, kWaveMciNotify, uintptr_t(first), intptr_t(second));
}

// Raised to 512, then cut to whole frames; 0 when the width is not one the
// engine handles.
uint32_t SizeBuffer(uint32_t size, int channels, int bits) {
    if (bits != 8 && bits != 16 && bits != 24) return 0;
    const uint32_t frame = uint32_t(std::max(1, channels)) * uint32_t((bits + 7) / 8);
    size = std::max<uint32_t>(size, 512);
    return size - size % frame;
}

void FreeBuffers(Direction& d) {
    d.buffers.clear();
    d.bytes = 0;
    d.queued = 0;
}

bool AllocateBuffers(Direction& d, uint32_t bytes, int count) {
    FreeBuffers(d);
    d.buffers.resize(std::size_t(count));
    for (Buffer& b : d.buffers) {
        b.data.reset(new (std::nothrow) char[bytes]());
        if (!b.data) {
            FreeBuffers(d);
            return false;
        }
        b.header.data = b.data.get();
        b.header.bufferLength = bytes;
    }
    d.bytes = bytes;
    return true;
}

Buffer* FindBuffer(Direction& d, WaveHeader* header) {
    for (Buffer& b : d.buffers)
        if (&b.header == header) return &b;
    return nullptr;
}

// Unprepares whatever the device has handed back, closes it and frees the
// buffers. The device is reset first so that nothing stays queued.
void CloseDevice(Direction& d) {
    if (d.device) {
        d.device->Reset();
        for (Buffer& b : d.buffers)
            if (b.header.flags & kWaveHeaderPrepared) d.device->Unprepare(b.header);
        d.device->Close();
        d.device.reset();
    }
    FreeBuffers(d);
    d.open = false;
}

// The stream calls take the fields of the header they use.
int ReadNextBlock(WaveHeader& h, uint32_t size) {
    WaveBufferHeader b{h.data, h.bufferLength, h.bytesRecorded};
    const int r = PlaybackNextBlock(b, size);
    h.bufferLength = b.bufferLength;
    return r;
}

int AppendBlock(const WaveHeader& h) {
    return RecordWriteBlock(WaveBufferHeader{h.data, h.bufferLength, h.bytesRecorded});
}

void FinishOutputIfIdle() {
    Engine& e = g_engine;
    if ((e.endOfStimulus || !e.playing) && e.out.queued == 0) {
        PlaybackClose();
        e.playing = false;
        Notify(e.outputFailed ? kWaveNotifyAborted : kWaveNotifySuccessful, kWaveNotifyOutput);
    }
}

void OnOutputNotice(void* context, WaveNotice notice, WaveHeader* header) {
    Engine& e = g_engine;
    if (reinterpret_cast<uintptr_t>(context) != e.out.generation) return;
    if (notice == WaveNotice::kClosed) {
        PlaybackClose();
        return;
    }
    if (notice != WaveNotice::kDone || !e.out.open) return;
    Buffer* b = FindBuffer(e.out, header);
    if (!b) return;
    --e.out.queued;
    e.out.device->Unprepare(b->header);
    if (e.playing && !e.endOfStimulus) {
        b->header.bufferLength = e.out.bytes;
        const int r = ReadNextBlock(b->header, e.out.bytes);
        if (r == kWaveStreamNoData) {
            e.endOfStimulus = true;
        } else if (r != kWaveStreamOk) {
            // The stream has shown its message; the response would be cut short,
            // so the output ends as aborted rather than successful.
            e.endOfStimulus = e.outputFailed = true;
        } else if (e.out.device->Prepare(b->header) != kWaveDeviceOk) {
            WAVE_ERROR("WaveOutPrepareHeader Error");
            PlaybackClose();
            e.endOfStimulus = e.outputFailed = true;
        } else if (e.out.device->Queue(b->header) != kWaveDeviceOk) {
            WAVE_ERROR("Cannot Start Wave Out device!");
            PlaybackClose();
            e.endOfStimulus = e.outputFailed = true;
        } else {
            ++e.out.queued;
        }
    }
    FinishOutputIfIdle();
}

void FinishInput(int first) {
    RecordClose();
    Notify(first, kWaveNotifyInput);
}

void AbortRecording() {
    Engine& e = g_engine;
    e.recording = false;
    e.aborted = true;
    e.in.device->Reset();
    // Nothing left to come back: no later notice would end the recording.
    if (e.in.queued == 0) FinishInput(kWaveNotifyAborted);
}

void OnInputNotice(void* context, WaveNotice notice, WaveHeader* header) {
    Engine& e = g_engine;
    if (reinterpret_cast<uintptr_t>(context) != e.in.generation) return;
    if (notice == WaveNotice::kClosed) {
        if (DefaultRecordStream().IsOpen()) RecordClose();
        return;
    }
    if (notice != WaveNotice::kDone || !e.in.open) return;
    Buffer* b = FindBuffer(e.in, header);
    if (!b) return;
    --e.in.queued;
    e.in.device->Unprepare(b->header);
    if (e.recording) {
        // A file that refuses a block (disk full) aborts without a message.
        if (AppendBlock(b->header) != kWaveStreamOk) {
            AbortRecording();
            return;
        }
        if (e.in.device->Prepare(b->header) != kWaveDeviceOk) {
            WAVE_ERROR("WaveInPrepareHeader Error");
        } else if (e.in.device->Queue(b->header) != kWaveDeviceOk) {
            WAVE_ERROR("WaveInAddBuffer Error");
        } else {
            ++e.in.queued;
            return;
        }
        // Without buffers the device records nothing more and never ends.
        if (e.in.queued == 0) AbortRecording();
        return;
    }
    if (e.aborted) {
        if (e.in.queued == 0) FinishInput(kWaveNotifyAborted);
        return;
    }
    // The last buffer back after a stop may be the partly filled one (with a
    // single buffer it always is), so it is kept like the others.
    if (AppendBlock(b->header) != kWaveStreamOk) e.aborted = true;
    if (e.in.queued == 0) FinishInput(e.aborted ? kWaveNotifyAborted : kWaveNotifySuccessful);
}

void OnWindowClosed() {
    Engine& e = g_engine;
    if (DefaultPlaybackStream().IsOpen()) PlaybackClose();
    if (DefaultRecordStream().IsOpen()) RecordClose();
    e.initialised = false;
    e.aborted = false;
}

WaveNoticeTarget TargetFor(WaveNoticeFn fn, uint64_t generation) {
    WaveNoticeTarget t;
    t.fn = fn;
    t.context = reinterpret_cast<void*>(uintptr_t(generation));
    return t;
}

// ----------------------------------------------------------- buffer table

constexpr uint32_t kTableRates[12] = {5513, 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000};
constexpr uint32_t kRowA[12] = {689, 1000, 1378, 1500, 2000, 2756, 3200, 4000, 5512, 6000, 11024, 12000};
constexpr uint32_t kRowB[12] = {882, 1280, 1764, 1920, 2560, 3528, 3840, 5120, 7056, 7680, 14112, 15360};

std::array<WaveBufferPair, kWaveBufferTableSize> BuildTable(int factor) {
    std::array<WaveBufferPair, kWaveBufferTableSize> t{};
    for (int i = 0; i < kWaveBufferTableSize; ++i) t[std::size_t(i)] = WaveBufferTableEntry(i, factor);
    return t;
}

std::array<WaveBufferPair, kWaveBufferTableSize> g_table = BuildTable(2);

}  // namespace

void WaveSetBackend(WaveDeviceBackend* backend) { g_backend = backend; }
WaveDeviceBackend* WaveBackend() { return g_backend; }

int WaveBufferTableIndex(int channels, int bits, uint32_t rate) {
    int r = 8;  // above 96000: the 44100 entry
    for (int i = 0; i < 12; ++i)
        if (kTableRates[i] >= rate) {
            r = i;
            break;
        }
    return r + (std::max(channels, 1) > 1 ? 12 : 0) + (std::max(bits, 16) > 16 ? 24 : 0);
}

WaveBufferPair WaveBufferTableEntry(int index, int factor) {
    if (index < 0 || index >= kWaveBufferTableSize) return {};
    const int r = index % 12;
    const bool stereo = (index / 12) % 2 == 1, wide = index >= 24;
    const uint32_t m = uint32_t(factor);
    if (!wide)
        return stereo ? WaveBufferPair{4 * m * kRowA[r], 8 * m * kRowA[r]}
                      : WaveBufferPair{2 * m * kRowA[r], 2 * m * kRowA[r]};
    return stereo ? WaveBufferPair{6 * m * kRowB[r], 12 * m * kRowB[r]}
                  : WaveBufferPair{3 * m * kRowB[r], 3 * m * kRowB[r]};
}

void WaveRebuildBufferTable(int optimizedFor) { g_table = BuildTable(optimizedFor == 0 ? 2 : 1); }

WaveBufferPair WaveBufferSizesFor(int channels, int bits, uint32_t rate) {
    return g_table[std::size_t(WaveBufferTableIndex(channels, bits, rate))];
}

// -------------------------------------------------------------- operations

int WaveInit(void* owner, void* instance) {
    Engine& e = g_engine;
    if (e.initialised) {
        WAVE_ERROR("WAVE have been initialised!");
        return kWaveFailed;
    }
    if (g_backend) {
        g_backend->SetWindowClosedHandler(&OnWindowClosed);
        const int r = g_backend->CreateNoticeWindow(owner, instance);
        if (r == 1) {
            WAVE_ERROR("Unable to register Window class");
            return kWaveFailed;
        }
        if (r != 0) {
            WAVE_ERROR("Unable to create Window");
            return kWaveFailed;
        }
    }
    // The buffer count belongs to the settings and outlives the engine.
    const int count = e.bufferCount;
    const uint64_t generation = e.nextGeneration;
    e = Engine{};
    e.bufferCount = count;
    e.nextGeneration = generation;
    e.owner = owner;
    e.recordFormat.formatTag = kWaveFormatPcm;
    e.recordFormat.channels = 2;
    e.recordFormat.bitsPerSample = 16;
    e.recordFormat.samplesPerSec = 44100;
    e.initialised = true;
    return kWaveOk;
}

int WaveShutdown() {
    Engine& e = g_engine;
    if (!e.initialised) return kWaveFailed;
    if (e.in.open) WaveCloseInput();
    if (e.out.open) WaveCloseOutput();
    if (g_backend) g_backend->DestroyNoticeWindow();
    e.initialised = false;
    return kWaveOk;
}

int WaveSetRecordFormat(int bits, int channels, uint32_t rate) {
    WaveFormat& f = g_engine.recordFormat;
    f.bitsPerSample = uint16_t(bits);
    f.channels = uint16_t(channels);
    f.samplesPerSec = rate;
    return kWaveOk;
}

int WaveGetPlayFormat(WavePlayFormat& out) {
    if (!g_engine.out.open) return kWaveFailed;
    const WaveFormat& f = DefaultPlaybackStream().Format();
    out = {f.bitsPerSample, f.channels, f.samplesPerSec};
    return kWaveOk;
}

uint32_t WaveSetOutputBufferSize(uint32_t bytes) { return std::exchange(g_engine.outputSize, bytes); }
uint32_t WaveSetInputBufferSize(uint32_t bytes) { return std::exchange(g_engine.inputSize, bytes); }

int WaveSetBufferCount(int count) {
    const int previous = g_engine.bufferCount;
    if (count >= 1 && count <= kWaveMaxBuffers) g_engine.bufferCount = count;
    return previous;
}

int WaveOpenOutput(int deviceId, const char* stimulusPath) {
    Engine& e = g_engine;
    if (!e.initialised || e.out.open) return kWaveFailed;
    if (PlaybackOpen(stimulusPath) != kWaveStreamOk) return kWaveFailed;
    const WaveFormat format = DefaultPlaybackStream().Format();
    const uint32_t bytes = SizeBuffer(e.outputSize, format.channels, format.bitsPerSample);
    if (bytes == 0) {
        PlaybackClose();
        return kWaveFailed;
    }
    if (!AllocateBuffers(e.out, bytes, e.bufferCount)) {
        PlaybackClose();
        return kWaveOutOfMemory;
    }
    e.out.generation = e.nextGeneration++;
    std::unique_ptr<WaveDeviceHandle> device;
    if (!g_backend || g_backend->Open(WaveDirection::kOutput, deviceId, format,
                                      TargetFor(&OnOutputNotice, e.out.generation), device) != kWaveDeviceOk) {
        FreeBuffers(e.out);
        PlaybackClose();
        return kWaveDeviceRefused;
    }
    e.out.device = std::move(device);
    e.out.open = true;
    e.playing = e.endOfStimulus = e.outputFailed = false;
    return kWaveOk;
}

int WaveOpenInput(int deviceId, const char* responsePath) {
    Engine& e = g_engine;
    if (!e.initialised || e.in.open) return kWaveFailed;
    WaveFormat& f = e.recordFormat;
    const uint32_t bytes = SizeBuffer(e.inputSize, f.channels, f.bitsPerSample);
    if (bytes == 0 || f.channels < 1 || f.samplesPerSec == 0) return kWaveFailed;
    f.formatTag = kWaveFormatPcm;
    f.blockAlign = uint16_t(f.channels * ((f.bitsPerSample + 7) / 8));
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    f.extraSize = 0;
    if (!AllocateBuffers(e.in, bytes, e.bufferCount)) return kWaveOutOfMemory;
    e.in.generation = e.nextGeneration++;
    std::unique_ptr<WaveDeviceHandle> device;
    if (!g_backend || g_backend->Open(WaveDirection::kInput, deviceId, f, TargetFor(&OnInputNotice, e.in.generation),
                                      device) != kWaveDeviceOk) {
        FreeBuffers(e.in);
        return kWaveDeviceRefused;
    }
    e.in.device = std::move(device);
    e.in.open = true;
    DefaultRecordStream().SetFormat(f);
    if (RecordCreate(responsePath) != kWaveStreamOk) {
        CloseDevice(e.in);
        return kWaveFailed;
    }
    e.recording = e.aborted = false;
    return kWaveOk;
}

int WaveStartDuplex() {
    Engine& e = g_engine;
    if (!e.initialised || !e.out.open || !e.in.open || e.playing || e.recording) return kWaveFailed;
    // 1. Every input buffer goes to the device before anything plays.
    e.in.queued = 0;
    for (Buffer& b : e.in.buffers) {
        b.header.bufferLength = e.in.bytes;
        const bool prepared = e.in.device->Prepare(b.header) == kWaveDeviceOk;
        if (!prepared || e.in.device->Queue(b.header) != kWaveDeviceOk) {
            WAVE_ERROR(prepared ? "WaveInAddBuffer Error" : "WaveInPrepareHeader Error");
            RecordClose();
            return kWaveFailed;
        }
        ++e.in.queued;
    }
    // 2. Fill and prepare the output buffers.
    e.out.queued = 0;
    e.endOfStimulus = e.outputFailed = false;
    std::size_t filled = 0;
    for (Buffer& b : e.out.buffers) {
        b.header.bufferLength = e.out.bytes;
        const int r = ReadNextBlock(b.header, e.out.bytes);
        if (r == kWaveStreamNoData) {
            e.endOfStimulus = true;
            break;
        }
        if (r != kWaveStreamOk) {  // message shown by the stream
            CloseDevice(e.out);
            return kWaveFailed;
        }
        if (e.out.device->Prepare(b.header) != kWaveDeviceOk) {
            WAVE_ERROR("WaveOutPrepareHeader Error");
            CloseDevice(e.out);
            PlaybackClose();
            return kWaveFailed;
        }
        ++filled;
    }
    // 3. Recording runs from here on.
    e.aborted = false;
    e.recording = true;
    if (e.in.device->Start() != kWaveDeviceOk) {
        e.recording = false;
        RecordClose();
        WAVE_ERROR("Cannot Start Wave In device!");
        return kWaveFailed;
    }
    // 4. Then the stimulus.
    e.playing = filled > 0;
    for (std::size_t i = 0; i < filled; ++i) {
        if (e.out.device->Queue(e.out.buffers[i].header) != kWaveDeviceOk) {
            if (i == 0) e.playing = false;
            WaveStopRecording();
            PlaybackClose();
            WAVE_ERROR("Cannot Start Wave Out device!");
            return kWaveFailed;
        }
        ++e.out.queued;
    }
    return kWaveOk;
}

int WaveStartPlayback() {
    Engine& e = g_engine;
    if (!e.initialised || !e.out.open || e.playing) return kWaveFailed;
    e.out.queued = 0;
    e.endOfStimulus = e.outputFailed = false;
    e.playing = true;
    for (Buffer& b : e.out.buffers) {
        b.header.bufferLength = e.out.bytes;
        const int r = ReadNextBlock(b.header, e.out.bytes);
        if (r == kWaveStreamNoData) {
            e.endOfStimulus = true;
            break;
        }
        if (r != kWaveStreamOk) {
            e.endOfStimulus = e.outputFailed = true;
            break;
        }
        if (e.out.device->Prepare(b.header) != kWaveDeviceOk) {
            WAVE_ERROR("WaveOutPrepareHeader Error");
            e.playing = false;
            CloseDevice(e.out);
            PlaybackClose();
            return kWaveFailed;
        }
        if (e.out.device->Queue(b.header) != kWaveDeviceOk) {
            WAVE_ERROR("Cannot Start Wave Out device!");
            e.playing = false;
            WaveStopPlayback();
            PlaybackClose();
            return kWaveFailed;
        }
        ++e.out.queued;
    }
    if (e.out.queued == 0) {
        e.playing = false;
        PlaybackClose();
        return kWaveFailed;
    }
    return kWaveOk;
}

int WaveStopPlayback() {
    Engine& e = g_engine;
    if (!e.out.open) return kWaveFailed;
    e.playing = false;
    if (e.out.device->Reset() != kWaveDeviceOk) {
        PlaybackClose();
        WAVE_ERROR("Cannot reset wave playback!");
    }
    return kWaveOk;
}

int WaveStopRecording() {
    Engine& e = g_engine;
    if (!e.in.open) return kWaveFailed;
    e.recording = false;
    if (e.in.device->Reset() != kWaveDeviceOk) {
        RecordClose();
        WAVE_ERROR("Cannot Reset Wave Device!");
        return kWaveFailed;
    }
    return kWaveOk;
}

int WaveCloseOutput() {
    Engine& e = g_engine;
    if (!e.out.open) return kWaveFailed;
    if (e.playing || e.out.queued) WaveStopPlayback();
    CloseDevice(e.out);
    e.playing = false;
    // The close notice would do the same; doing it here keeps the file from
    // staying open when a back-end sends none.
    PlaybackClose();
    return kWaveOk;
}

int WaveCloseInput() {
    Engine& e = g_engine;
    if (!e.in.open) return kWaveFailed;
    if (e.recording || e.in.queued) WaveStopRecording();
    CloseDevice(e.in);
    e.recording = false;
    if (DefaultRecordStream().IsOpen()) RecordClose();
    return kWaveOk;
}

int WaveHandleNotify(void*, unsigned message, uintptr_t first, intptr_t second) {
    if (message != kWaveMciNotify) return 0;
    if (first == uintptr_t(kWaveNotifyAborted)) {
        WaveCloseInput();
        WaveStopPlayback();
    } else if (first == uintptr_t(kWaveNotifySuccessful)) {
        WaveCloseOutput();
        WaveStopRecording();
    } else if (second == kWaveNotifyInput) {
        WaveCloseInput();
        WaveStopPlayback();
    }
    return 0;
}

WaveEngineState WaveGetState() {
    const Engine& e = g_engine;
    WaveEngineState s;
    s.initialised = e.initialised;
    s.recordFormat = e.recordFormat;
    s.outputBufferSize = e.outputSize, s.inputBufferSize = e.inputSize;
    s.bufferCount = e.bufferCount;
    s.outputOpen = e.out.open, s.playing = e.playing, s.endOfStimulus = e.endOfStimulus;
    s.outputBufferBytes = e.out.bytes, s.outputQueued = e.out.queued;
    s.inputOpen = e.in.open, s.recording = e.recording, s.aborted = e.aborted;
    s.inputBufferBytes = e.in.bytes, s.inputQueued = e.in.queued;
    return s;
}

Status WavePrepareMeasurement(void* owner, const WaveDeviceSettings& settings, int stimulusKind, bool impedance,
                              const WavePrepareHooks& hooks) {
    if (settings.sampleRate == 0) return Status::Error(kStrNotConfigured);
    if (stimulusKind >= 0 && !impedance && hooks.compensationExists && !hooks.compensationExists(stimulusKind) &&
        hooks.showNoCompensation)
        hooks.showNoCompensation(owner);
    if (WaveInit(owner) != kWaveOk) return Status::Error(kWaveMessageShown);
    const int channels = impedance ? 2 : settings.channels;
    WaveSetRecordFormat(settings.bits, channels, settings.sampleRate);
    const WaveBufferPair sizes = WaveBufferSizesFor(channels, settings.bits, settings.sampleRate);
    WaveSetInputBufferSize(sizes.input);
    WaveSetOutputBufferSize(sizes.output);
    if (hooks.loadMixerLevels) hooks.loadMixerLevels(impedance);
    return Status::Ok();
}

// ------------------------------------------------------------- loop player

namespace {

// Counts the device's notices, so that two buffers finishing close together
// are both recycled (an auto-reset event would merge them into one).
class NoticeCounter {
public:
    void Post() {
        {
            std::lock_guard<std::mutex> lock(m_);
            ++count_;
        }
        cv_.notify_one();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return count_ > 0; });
        --count_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_);
        count_ = 0;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    long count_ = 0;
};

struct LoopPlayer {
    std::mutex api;  // serialises start and stop
    std::atomic<bool> running{false};
    std::atomic<bool> stopAsked{false};
    std::thread worker;
    std::unique_ptr<WaveDeviceHandle> device;
    std::vector<unsigned char> buffer;
    std::array<WaveHeader, 4> headers{};
    int next = 0;
    void* owner = nullptr;
    NoticeCounter notices;
    std::atomic<void (*)(const char*)> sink{nullptr};
};

LoopPlayer& Loop() {
    static LoopPlayer player;
    return player;
}

void LoopError(const char* text) {
    if (auto sink = Loop().sink.load()) sink(text);
    else ReportWaveError(text, 0);
}

void OnLoopNotice(void*, WaveNotice notice, WaveHeader*) {
    if (notice != WaveNotice::kClosed) Loop().notices.Post();
}

void ShutLoopDevice(LoopPlayer& p) {
    if (!p.device) return;
    p.device->Reset();
    for (WaveHeader& h : p.headers)
        if (h.flags & kWaveHeaderPrepared) p.device->Unprepare(h);
    p.device->Close();
}

void LoopWorker() {
    LoopPlayer& p = Loop();
    const char* failure = nullptr;
    p.notices.Wait();  // the device's open notice
    while (!p.stopAsked) {
        p.notices.Wait();
        if (p.stopAsked) break;
        WaveHeader& h = p.headers[std::size_t(p.next)];
        if (p.device->Unprepare(h) != kWaveDeviceOk) {
            failure = "Internal wave error #2 !";
        } else if (p.device->Prepare(h) != kWaveDeviceOk || !(h.flags & kWaveHeaderPrepared)) {
            failure = "Internal wave error #3 !";
        } else if (p.device->Queue(h) != kWaveDeviceOk) {
            failure = "Can't restart playback !";
        }
        if (failure) {
            p.stopAsked = true;
            if (g_backend) g_backend->PostToOwner(p.owner, kLoopPlayerFailed, 0, 0);
            break;
        }
        p.next = (p.next + 1) % 4;
    }
    // The device lets go of the shared buffer before anybody frees it.
    ShutLoopDevice(p);
    p.running = false;
    if (failure) LoopError(failure);
}

// Stops the worker (if any) and releases device and buffer.
void StopLoopLocked(LoopPlayer& p) {
    p.stopAsked = true;
    p.notices.Post();
    if (p.worker.joinable()) p.worker.join();
    if (p.device) {
        ShutLoopDevice(p);
        p.device.reset();
    }
    p.notices.Clear();
    p.buffer.clear();
    p.buffer.shrink_to_fit();
    p.running = false;
}

}  // namespace

bool SynthesizeLoopTone(double frequency, uint32_t rate, int channels, int bits, double levelDb, LoopTone& out) {
    if ((bits != 16 && bits != 24) || (channels != 1 && channels != 2) || rate == 0 || !(frequency > 0)) return false;
    constexpr double kTwoPi = 6.28318530717958647692;
    const double count = std::round(frequency * std::ceil(rate / frequency));
    if (!(count >= 1) || count > 16.0 * rate) return false;
    std::vector<double> s(static_cast<std::size_t>(count));
    const double step = kTwoPi * frequency / rate;
    double phase = 0;
    for (double& v : s) {
        v = std::sin(phase);
        phase += step;
    }
    // Cut the end back to where the next copy's first sample follows smoothly.
    while (s.size() > 1 && s.back() < s.front()) s.pop_back();
    while (s.size() > 1 && s.front() < s.back()) s.pop_back();
    double peak = 0;
    for (double v : s) peak = std::max(peak, std::abs(v));
    if (peak == 0) return false;
    const double gain = levelDb >= 0 ? 0.9999 : std::pow(10.0, levelDb / 20);
    const double scale = (bits == 16 ? 32767.0 : 2147483647.0) / peak * gain;
    const int bytes = bits / 8;
    out.data.clear();
    out.data.reserve(s.size() * std::size_t(channels * bytes));
    for (double v : s) {
        const double r = std::round(v * scale);  // half away from zero
        const int32_t value = static_cast<int32_t>(r);
        for (int c = 0; c < channels; ++c) {
            if (bits == 16) {
                out.data.push_back(static_cast<unsigned char>(value));
                out.data.push_back(static_cast<unsigned char>(value >> 8));
            } else {  // the upper three bytes of the 32-bit value
                const uint32_t u = static_cast<uint32_t>(value);
                out.data.push_back(static_cast<unsigned char>(u >> 8));
                out.data.push_back(static_cast<unsigned char>(u >> 16));
                out.data.push_back(static_cast<unsigned char>(u >> 24));
            }
        }
    }
    out.format = WaveFormat{kWaveFormatPcm,
                            uint16_t(channels),
                            rate,
                            rate * uint32_t(channels * bits / 8),
                            uint16_t(channels * bits / 8),
                            uint16_t(bits),
                            0};
    return true;
}

int LoopPlayerStart(void* owner, int deviceId, const LoopTone& tone) {
    LoopPlayer& p = Loop();
    std::lock_guard<std::mutex> lock(p.api);
    if (p.running) {
        LoopError("Wave device is busy !");
        return kWaveFailed;
    }
    if (tone.format.avgBytesPerSec == 0) {
        LoopError("You must configure your soundcard settings !");
        return kWaveFailed;
    }
    StopLoopLocked(p);  // a worker that ended by itself is still to be joined
    const std::size_t copy = tone.data.size();
    if (copy == 0) {
        LoopError("Internal wave error !");
        return kWaveFailed;
    }
    const double wanted = tone.format.samplesPerSec * (tone.format.bitsPerSample / 8.0) * 0.35;
    std::size_t copies = 1;
    while (double(copies * copy) < wanted) ++copies;
    try {
        p.buffer.resize(copies * copy);
    } catch (const std::bad_alloc&) {
        LoopError("Not enough memory available !");
        return kWaveFailed;
    }
    for (std::size_t k = 0; k < copies; ++k)
        std::copy(tone.data.begin(), tone.data.end(), p.buffer.begin() + std::ptrdiff_t(k * copy));
    p.owner = owner;
    p.stopAsked = false;
    p.next = 0;
    p.notices.Clear();
    try {
        p.worker = std::thread(&LoopWorker);
    } catch (...) {
        p.buffer.clear();
        LoopError("Can't start a thread !");
        return kWaveFailed;
    }
    WaveNoticeTarget target;
    target.fn = &OnLoopNotice;
    target.direct = true;
    if (!g_backend ||
        g_backend->Open(WaveDirection::kOutput, deviceId, tone.format, target, p.device) != kWaveDeviceOk) {
        StopLoopLocked(p);
        LoopError("Wave device is busy #2 !");
        return kWaveFailed;
    }
    p.running = true;
    for (WaveHeader& h : p.headers) {
        h = WaveHeader{};
        h.data = reinterpret_cast<char*>(p.buffer.data());
        h.bufferLength = uint32_t(p.buffer.size());
        const char* failure = nullptr;
        if (p.device->Prepare(h) != kWaveDeviceOk || !(h.flags & kWaveHeaderPrepared))
            failure = "Internal wave error !";
        else if (p.device->Queue(h) != kWaveDeviceOk) failure = "Can't start playback !";
        if (failure) {
            StopLoopLocked(p);
            LoopError(failure);
            return kWaveFailed;
        }
    }
    return kWaveOk;
}

void LoopPlayerStop() {
    LoopPlayer& p = Loop();
    std::lock_guard<std::mutex> lock(p.api);
    StopLoopLocked(p);
}

bool LoopPlayerRunning() { return Loop().running; }

void SetLoopPlayerErrorSink(void (*sink)(const char* text)) { Loop().sink = sink; }

}  // namespace srx
