// The full-duplex wave engine: plays a stimulus wave file on one device
// while it records another device into a response file, with the recording
// running before the first output buffer is queued. One engine per process,
// driven from one thread (the measurement thread); the device notices reach
// it through the back-end chosen with WaveSetBackend, and its completion
// notices go to the owner window as kWaveMciNotify (first: 1 successful,
// 4 aborted; second: 1 output, 2 input).
//
// Every operation answers 0 for success; 1 is the general failure and also
// the answer when the engine is not in the state the operation needs. All
// messages go through ReportWaveError (the wave error box on Windows).
//
// The loop player (a short tone repeated for level setting) is separate: it
// has a worker thread of its own and opens its device with direct notices.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/wave_device.h"
#include "audio/wave_file.h"
#include "resources/status.h"
#include "resources/string_ids.h"

namespace srx {

// The platform's MM_MCINOTIFY, the message that carries completion notices.
inline constexpr unsigned kWaveMciNotify = 0x3B9;
inline constexpr int kWaveNotifySuccessful = 1;
inline constexpr int kWaveNotifyAborted = 4;
inline constexpr int kWaveNotifyOutput = 1;
inline constexpr int kWaveNotifyInput = 2;

// Results of the opening operations.
inline constexpr int kWaveOk = 0;
inline constexpr int kWaveFailed = 1;
inline constexpr int kWaveDeviceRefused = 2;
inline constexpr int kWaveOutOfMemory = 5;

inline constexpr int kWaveMaxBuffers = 64;

// The back-end every engine operation uses (the router of real and virtual
// devices in the program; a virtual loudspeaker in tests). Not owned.
void WaveSetBackend(WaveDeviceBackend* backend);
WaveDeviceBackend* WaveBackend();

int WaveInit(void* owner, void* instance = nullptr);
int WaveShutdown();
int WaveSetRecordFormat(int bits, int channels, uint32_t rate);

struct WavePlayFormat {
    int bits = 0;
    int channels = 0;
    uint32_t rate = 0;
};
int WaveGetPlayFormat(WavePlayFormat& out);

// Both return the previous value.
uint32_t WaveSetOutputBufferSize(uint32_t bytes);
uint32_t WaveSetInputBufferSize(uint32_t bytes);
// 1..64; any other count is ignored. Returns the previous count.
int WaveSetBufferCount(int count);

// Device ids are the back-end's; kWaveMapper (-1) is the platform's mapper.
int WaveOpenOutput(int deviceId, const char* stimulusPath);
int WaveOpenInput(int deviceId, const char* responsePath);
int WaveStartPlayback();
int WaveStartDuplex();
int WaveStopPlayback();
int WaveStopRecording();
int WaveCloseOutput();
int WaveCloseInput();

// What a measurement dialog calls with every kWaveMciNotify it receives.
int WaveHandleNotify(void* window, unsigned message, uintptr_t first, intptr_t second);

// The engine's state, for the settings page and for tests.
struct WaveEngineState {
    bool initialised = false;
    WaveFormat recordFormat{};
    uint32_t outputBufferSize = 0, inputBufferSize = 0;  // as set
    int bufferCount = 0;
    // Per direction while open: bytes per buffer as allocated, buffers queued.
    bool outputOpen = false, playing = false, endOfStimulus = false;
    uint32_t outputBufferBytes = 0;
    int outputQueued = 0;
    bool inputOpen = false, recording = false, aborted = false;
    uint32_t inputBufferBytes = 0;
    int inputQueued = 0;
};
WaveEngineState WaveGetState();

// ------------------------------------------------------- buffer-size table

struct WaveBufferPair {
    uint32_t input = 0;
    uint32_t output = 0;
};
inline constexpr int kWaveBufferTableSize = 48;

// Index of a format in the table: rate index (first of the twelve standard
// rates not below `rate`; above 96000 the 44100 entry), +12 for more than
// one channel, +24 for more than 16 bits.
int WaveBufferTableIndex(int channels, int bits, uint32_t rate);
// Entry `index` for a factor m (2 when "Optimized for" is its first entry).
WaveBufferPair WaveBufferTableEntry(int index, int factor);
// The process-wide table, rebuilt when "Optimized for" changes.
void WaveRebuildBufferTable(int optimizedFor);
WaveBufferPair WaveBufferSizesFor(int channels, int bits, uint32_t rate);

// ---------------------------------------------------- measurement set-up

// The sound-card fields of the measurement settings the engine reads.
struct WaveDeviceSettings {
    int outputDevice = 0;  // settings word: 0 the mapper, n device n - 1
    int inputDevice = 0;
    int channels = 0;
    int bits = 0;
    uint32_t sampleRate = 0;  // 0: never configured
};

// The parts of a measurement's preparation that belong to other subsystems.
struct WavePrepareHooks {
    // Whether a sound-card compensation file exists for the stimulus kind.
    bool (*compensationExists)(int stimulusKind) = nullptr;
    // Shows the "No Soundcard Compensation" notice.
    void (*showNoCompensation)(void* owner) = nullptr;
    // Loads the mixer levels (impedance or acoustic preset).
    void (*loadMixerLevels)(bool impedance) = nullptr;
};

// Message already shown by the wave error box: the caller shows nothing.
inline constexpr int kWaveMessageShown = -1;

// Prepares the engine for a measurement: refuses an unconfigured system
// (string 2810), warns about a missing compensation file (stimulusKind >= 0,
// not impedance), initialises the engine, sets the recording format
// (always stereo for impedance) and the buffer sizes of the table.
Status WavePrepareMeasurement(void* owner, const WaveDeviceSettings& settings, int stimulusKind, bool impedance,
                              const WavePrepareHooks& hooks = {});
// Settings device word to engine device id.
inline int WaveDeviceIdFromSetting(int word) { return word - 1; }

// -------------------------------------------------------------- loop player

struct LoopTone {
    WaveFormat format{};
    std::vector<unsigned char> data;  // one seamless period sequence
};

// A tone that loops without a step: f Hz at `rate`, 1 or 2 channels, 16 or
// 24 bits, peak level `levelDb` (>= 0: just below full scale). False for
// any other width or nonsense numbers.
bool SynthesizeLoopTone(double frequency, uint32_t rate, int channels, int bits, double levelDb, LoopTone& out);

// Starts looping `tone` on `deviceId`; 0, or 1 after a message. The
// owner receives kLoopPlayerFailed if the loop dies later.
inline constexpr unsigned kLoopPlayerFailed = 1056;
int LoopPlayerStart(void* owner, int deviceId, const LoopTone& tone);
void LoopPlayerStop();
bool LoopPlayerRunning();
// Where the loop player's messages go; nullptr: ReportWaveError.
void SetLoopPlayerErrorSink(void (*sink)(const char* text));

}  // namespace srx
