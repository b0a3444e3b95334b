#pragma once
// Sound-card mixer control: finding the lines a measurement depends on,
// saving and restoring whole mixer states (84-byte files), level presets per
// device pair and measurement kind, and the last used levels in the registry
// block "Audiomixer Levels 21".
//
// Everything talks to an abstract MixerBackend whose shape follows the
// platform's mixer API (destinations, their sources, controls, per-channel
// values), so the logic runs natively against a fake and the winmm back-end
// stays a thin translation. Real mixers vary a lot (Wine's has one line and
// only volume and mute per device): whatever is missing is skipped.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/settings_blocks.h"

namespace srx {

// Line component types, the platform's MIXERLINE_COMPONENTTYPE_* values.
inline constexpr uint32_t kMixerDstSpeakers = 0x0004;
inline constexpr uint32_t kMixerDstWaveIn = 0x0007;
inline constexpr uint32_t kMixerSrcMicrophone = 0x1003;
inline constexpr uint32_t kMixerSrcLine = 0x1002;
inline constexpr uint32_t kMixerSrcCompactDisc = 0x1005;
inline constexpr uint32_t kMixerSrcWaveOut = 0x1008;
inline constexpr uint32_t kMixerSrcAuxiliary = 0x1009;

// Control types, the platform's MIXERCONTROL_CONTROLTYPE_* values.
inline constexpr uint32_t kMixerCtlVolume = 0x50030001;
inline constexpr uint32_t kMixerCtlBass = 0x50030002;
inline constexpr uint32_t kMixerCtlTreble = 0x50030003;
inline constexpr uint32_t kMixerCtlOnOff = 0x20010001;
inline constexpr uint32_t kMixerCtlMute = 0x20010002;
inline constexpr uint32_t kMixerCtlStereoEnhance = 0x20010005;
inline constexpr uint32_t kMixerCtlLoudness = 0x20010004;
inline constexpr uint32_t kMixerCtlMux = 0x70010001;    // single select
inline constexpr uint32_t kMixerCtlMixer = 0x71010001;  // multiple select

// Bits of a slot's switch word in the state file.
inline constexpr uint32_t kMixerSwitchMute = 1u << 0;
inline constexpr uint32_t kMixerSwitchOnOff = 1u << 1;
inline constexpr uint32_t kMixerSwitchStereoEnhance = 1u << 2;
inline constexpr uint32_t kMixerSwitchLoudness = 1u << 3;

struct MixerLineInfo {
    uint32_t lineId = 0;
    uint32_t componentType = 0;
    uint32_t channels = 1;
    std::string name;
};

struct MixerControlInfo {
    uint32_t controlId = 0;
    uint32_t type = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
    uint32_t channels = 1;            // 1 for a uniform control
    std::vector<uint32_t> itemLines;  // list controls: the line id of each item
};

// The platform mixer. Values are one per channel, or one per item (of the
// first channel) for list controls.
class MixerBackend {
public:
    virtual ~MixerBackend() = default;
    virtual int MixerCount() = 0;
    virtual std::string MixerName(int mixer) = 0;
    virtual int WaveOutCount() = 0;
    virtual std::string WaveOutName(int device) = 0;
    virtual int WaveInCount() = 0;
    virtual std::string WaveInName(int device) = 0;
    // The mixer the platform associates with a wave device, -1 when none.
    virtual int MixerOfWaveDevice(bool input, int device) = 0;
    // Destinations of a mixer; empty when it cannot be opened.
    virtual std::vector<MixerLineInfo> Destinations(int mixer) = 0;
    // Sources connected to destination number `destination` (its index).
    virtual std::vector<MixerLineInfo> Sources(int mixer, int destination) = 0;
    virtual std::vector<MixerControlInfo> Controls(int mixer, const MixerLineInfo& line) = 0;
    virtual bool GetValues(int mixer, const MixerControlInfo& control, std::vector<int32_t>& values) = 0;
    virtual bool SetValues(int mixer, const MixerControlInfo& control, const std::vector<int32_t>& values) = 0;
};

#ifdef _WIN32
// The winmm back-end (mixerOpen / mixerGetLineInfo / mixerGetLineControls /
// mixerGetControlDetails / mixerSetControlDetails).
std::unique_ptr<MixerBackend> MakeWinmmMixerBackend();
#endif

// Slots of the line table.
inline constexpr int kMixerSlotMic = 0;         // recording: microphone
inline constexpr int kMixerSlotLine = 1;        // recording: line
inline constexpr int kMixerSlotAux = 2;         // recording: auxiliary
inline constexpr int kMixerSlotWaveOut = 3;     // playback: wave out ("Out/Vol.")
inline constexpr int kMixerSlotSpeakers = 4;    // playback destination ("Main/Out")
inline constexpr int kMixerSlotWaveIn = 5;      // recording destination ("Main/In")
inline constexpr int kMixerSlotMonitorMic = 6;  // playback side of the microphone
inline constexpr int kMixerSlotMonitorLine = 7;
inline constexpr int kMixerSlotMonitorAux = 8;
inline constexpr int kMixerSlots = 9;

struct MixerSlot {
    bool present = false;  // the line exists
    bool usable = false;   // ... and its volume can be written and read back
    MixerLineInfo line;
    std::vector<MixerControlInfo> controls;
    const MixerControlInfo* Find(uint32_t type) const;
};

// The lines of one mixer device.
struct MixerLineTable {
    int mixer = -1;
    MixerSlot slots[kMixerSlots];
    MixerSlot tone;  // the line holding bass and treble, when any
    // The first source of the recording destination: what "the one recording
    // line" (input source 5) means on a mixer without mic, line and aux.
    bool hasFirstRecordingLine = false;
    MixerLineInfo firstRecordingLine;
    bool AnyLine() const;
    // Whether the recording destination has the microphone, line or aux source
    // (the Soundcard page shows "Mixer Error" when it has none).
    bool HasRecordingSource() const;
};

#pragma pack(push, 1)
struct MixerStateFile {
    int32_t deviceIndex;
    int32_t bass;
    int32_t treble;
    int32_t levels[kMixerSlots];
    uint32_t switches[kMixerSlots];
};
static_assert(sizeof(MixerStateFile) == 84);

struct MixerLevelsBlock {
    uint32_t inputSource;
    int32_t inputDevice;  // wave ids, -1 for the wave mapper
    int32_t outputDevice;
    uint32_t present[kMixerSlots];
    int32_t levels[kMixerSlots];
};
static_assert(sizeof(MixerLevelsBlock) == 84);
#pragma pack(pop)

extern const char kMixerLevelsValue[];  // "Audiomixer Levels 21"

// What the mixer code needs of the measurement settings. Devices are wave
// ids (-1 = wave mapper); the settings record stores them plus one.
struct MixerSettings {
    uint32_t inputSource = 0;  // kInputMic, kInputLine, kInputAux, kInputOnlyLine
    int inDevice = -1;
    int outDevice = -1;
    bool dontMuteInput = false;
    bool dontResetToneControls = false;
};

// The input and output mixers of a device pair.
struct MixerPair {
    MixerLineTable in;
    MixerLineTable out;
};

// Finds the lines of one mixer; false when it has none.
bool BuildLineTable(MixerBackend& backend, int mixer, MixerLineTable& table);

// The mixer of a wave device: by name first (all but the last word of both
// names), then by the platform's association; the mapper means device 0.
int MixerIndexForWaveDevice(MixerBackend& backend, int waveOutDevice);
int MixerIndexForWaveInDevice(MixerBackend& backend, int waveInDevice);

// Both tables of the settings' device pair; false unless both mixers were
// found. Turns dontResetToneControls on for "SB AudioPCI" devices, whose tone
// controls do not survive a reset.
bool BuildMixerLineTable(MixerBackend& backend, MixerSettings& settings, MixerPair& pair);

// The whole state of one mixer. Loading ignores files of another size or
// another device index, and keeps the tone controls when asked to.
MixerStateFile ReadMixerState(MixerBackend& backend, const MixerLineTable& table);
void ApplyMixerState(MixerBackend& backend, const MixerLineTable& table, const MixerStateFile& state,
                     bool keepToneControls);
bool SaveMixerState(const std::string& path, MixerBackend& backend, int index, const MixerLineTable& table);
bool LoadMixerState(const std::string& path, MixerBackend& backend, int index, const MixerLineTable& table,
                    bool keepToneControls);

// "MIXSET%02d.CFG" in `folder` for every mixer (start-up); applying and
// deleting them again (exit).
int SaveAllMixers(MixerBackend& backend, const std::string& folder);
int RestoreAllMixers(MixerBackend& backend, const std::string& folder, bool keepToneControls);

// The preset file of a mixer pair: "SPLMIX%d.%dI.CFG" and so on.
std::string LevelPresetPath(const std::string& folder, int inMixer, int outMixer, bool impedance, bool inputFile);
bool SaveLevelPreset(MixerBackend& backend, const std::string& folder, MixerSettings& settings, bool impedance);
bool LoadLevelPreset(MixerBackend& backend, const std::string& folder, MixerSettings& settings, bool impedance);

// Mutes the playback side of the chosen input (unless dontMuteInput) and
// selects only that source on the recording destination.
void SelectRecordingSource(MixerBackend& backend, const MixerPair& pair, const MixerSettings& settings);
// Unmutes the output lines and the recording destination (unless
// dontMuteInput) and centres bass and treble (unless dontResetToneControls).
void PrepareMixerForMeasurement(MixerBackend& backend, const MixerPair& pair, const MixerSettings& settings);

// The registry block: the levels of the output slots 3 and 4 and the input
// slots 0, 1, 2 and 5 for the settings' device pair and input source.
bool SaveLevels(MixerBackend& backend, MixerSettings& settings, ValueStore& store);
bool LoadLevels(MixerBackend& backend, MixerSettings& settings, ValueStore& store);

// The program's start: every mixer's state is kept in `folder`, then the
// last used levels of the settings' devices come back (unless the devices
// have no mixer: `levels` false).
void MixersAtStartup(MixerBackend& backend, const std::string& folder, MixerSettings& settings, ValueStore& store,
                     bool levels);
// The program's exit: the levels in use are stored first, then every mixer
// gets its state from the start back. In the other order the user's own
// levels would be stored as the measuring levels and these would be lost.
void MixersAtExit(MixerBackend& backend, const std::string& folder, MixerSettings& settings, ValueStore& store,
                  bool levels);

}  // namespace srx
