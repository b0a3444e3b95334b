#include "audio/mixer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/file_io.h"

namespace srx {

const char kMixerLevelsValue[] = "Audiomixer Levels 21";

namespace {

struct SwitchBit {
    uint32_t type;
    uint32_t bit;
};
constexpr SwitchBit kSwitchBits[] = {
    {kMixerCtlMute, kMixerSwitchMute},
    {kMixerCtlOnOff, kMixerSwitchOnOff},
    {kMixerCtlStereoEnhance, kMixerSwitchStereoEnhance},
    {kMixerCtlLoudness, kMixerSwitchLoudness},
};

bool IsListControl(uint32_t type) { return (type & 0xF0000000u) == 0x70000000u; }

bool ReadFirst(MixerBackend& b, int mixer, const MixerControlInfo& c, int32_t& value) {
    std::vector<int32_t> v(std::max<uint32_t>(c.channels, 1));
    if (!b.GetValues(mixer, c, v) || v.empty()) return false;
    value = v[0];
    return true;
}

// One value on every channel. Levels from a file or the registry may come
// from another card, so they are kept inside this control's range.
bool WriteAll(MixerBackend& b, int mixer, const MixerControlInfo& c, int32_t value) {
    if (c.maximum > c.minimum) value = std::clamp(value, c.minimum, c.maximum);
    std::vector<int32_t> v(std::max<uint32_t>(c.channels, 1), value);
    return b.SetValues(mixer, c, v);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// A name without its last word; single-word names stay whole, or they would
// all match each other.
std::string WithoutLastWord(const std::string& name) {
    std::string s = name;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t space = s.find_last_of(' ');
    if (space == std::string::npos) return s;
    s.resize(space);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool HasDestination(MixerBackend& b, int mixer, uint32_t type) {
    for (const MixerLineInfo& d : b.Destinations(mixer))
        if (d.componentType == type) return true;
    return false;
}

int MixerForName(MixerBackend& b, const std::string& waveName, uint32_t destinationType) {
    if (waveName.empty()) return -1;
    const std::string key = WithoutLastWord(waveName);
    for (int m = 0; m < b.MixerCount(); ++m) {
        // A card's recording and playback mixers may carry the same name; only
        // the one with the right destination belongs to this direction.
        if (WithoutLastWord(b.MixerName(m)) == key && HasDestination(b, m, destinationType)) return m;
    }
    return -1;
}

void FillSlot(MixerBackend& b, int mixer, const MixerLineInfo& line, MixerSlot& slot) {
    slot.present = true;
    slot.line = line;
    slot.controls = b.Controls(mixer, line);
    // Usable only when writing the current level back reads back the same:
    // some drivers list volume controls that ignore writes.
    const MixerControlInfo* vol = slot.Find(kMixerCtlVolume);
    if (!vol) return;
    std::vector<int32_t> before(std::max<uint32_t>(vol->channels, 1));
    if (!b.GetValues(mixer, *vol, before) || !b.SetValues(mixer, *vol, before)) return;
    std::vector<int32_t> after(before.size());
    slot.usable = b.GetValues(mixer, *vol, after) && after == before;
}

bool HasTone(const MixerSlot& s) { return s.Find(kMixerCtlBass) || s.Find(kMixerCtlTreble); }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

std::string MixsetPath(const std::string& folder, int mixer) {
    char name[32];
    std::snprintf(name, sizeof name, "MIXSET%02d.CFG", mixer);
    return JoinPath(folder, name);
}

bool ReadFileExact(const std::string& path, void* data, size_t size) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::vector<char> buf(size + 1);
    f.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (static_cast<size_t>(f.gcount()) != size) return false;  // short or too long: not ours
    std::memcpy(data, buf.data(), size);
    return true;
}

bool WriteFileWhole(const std::string& path, const void* data, size_t size) {
    SafeFileWriter w(path);
    return w.IsOpen() && w.Write(data, size) && w.Commit();
}

void SetMute(MixerBackend& b, const MixerLineTable& t, int slot, bool mute) {
    if (t.mixer < 0) return;
    if (const MixerControlInfo* c = t.slots[slot].Find(kMixerCtlMute)) WriteAll(b, t.mixer, *c, mute ? 1 : 0);
}

constexpr int kOutputLevelSlots[] = {kMixerSlotWaveOut, kMixerSlotSpeakers};
constexpr int kInputLevelSlots[] = {kMixerSlotMic, kMixerSlotLine, kMixerSlotAux, kMixerSlotWaveIn};

}  // namespace

const MixerControlInfo* MixerSlot::Find(uint32_t type) const {
    for (const MixerControlInfo& c : controls)
        if (c.type == type) return &c;
    return nullptr;
}

bool MixerLineTable::AnyLine() const {
    for (const MixerSlot& s : slots)
        if (s.present) return true;
    return tone.present;
}

bool MixerLineTable::HasRecordingSource() const {
    return slots[kMixerSlotMic].present || slots[kMixerSlotLine].present || slots[kMixerSlotAux].present;
}

bool BuildLineTable(MixerBackend& b, int mixer, MixerLineTable& table) {
    table = MixerLineTable{};
    table.mixer = mixer;
    if (mixer < 0 || mixer >= b.MixerCount()) return false;
    const std::vector<MixerLineInfo> dests = b.Destinations(mixer);
    MixerLineInfo found[kMixerSlots];
    bool have[kMixerSlots] = {};
    auto take = [&](int slot, const MixerLineInfo& line) {
        if (have[slot]) return false;
        found[slot] = line;
        have[slot] = true;
        return true;
    };
    std::vector<MixerLineInfo> speakerSources;
    int speakerDest = -1;
    for (int d = 0; d < static_cast<int>(dests.size()); ++d) {
        const MixerLineInfo& dest = dests[d];
        if (dest.componentType == kMixerDstWaveIn && take(kMixerSlotWaveIn, dest)) {
            const std::vector<MixerLineInfo> sources = b.Sources(mixer, d);
            if (!sources.empty()) {
                table.hasFirstRecordingLine = true;
                table.firstRecordingLine = sources.front();
            }
            for (const MixerLineInfo& s : sources) {
                if (s.componentType == kMixerSrcMicrophone) take(kMixerSlotMic, s);
                else if (s.componentType == kMixerSrcLine || StartsWith(s.name, "Lin")) take(kMixerSlotLine, s);
                else if (s.componentType == kMixerSrcAuxiliary) take(kMixerSlotAux, s);
            }
        } else if (dest.componentType == kMixerDstSpeakers && take(kMixerSlotSpeakers, dest)) {
            speakerDest = d;
            speakerSources = b.Sources(mixer, d);
            // The inputs' playback side, so that measuring does not feed the
            // microphone back into the speakers.
            for (const MixerLineInfo& s : speakerSources) {
                if (s.componentType == kMixerSrcWaveOut) take(kMixerSlotWaveOut, s);
                else if (s.componentType == kMixerSrcMicrophone) take(kMixerSlotMonitorMic, s);
                else if (s.componentType == kMixerSrcLine || StartsWith(s.name, "Lin")) take(kMixerSlotMonitorLine, s);
                else if (s.componentType == kMixerSrcAuxiliary) take(kMixerSlotMonitorAux, s);
            }
        }
    }
    for (int i = 0; i < kMixerSlots; ++i)
        if (have[i]) FillSlot(b, mixer, found[i], table.slots[i]);

    // Tone controls usually sit on the speaker destination, sometimes on one of
    // its sources.
    if (speakerDest >= 0) {
        if (HasTone(table.slots[kMixerSlotSpeakers])) {
            table.tone = table.slots[kMixerSlotSpeakers];
        } else {
            for (const MixerLineInfo& s : speakerSources) {
                MixerSlot probe;
                probe.present = true;
                probe.line = s;
                probe.controls = b.Controls(mixer, s);
                if (HasTone(probe)) {
                    table.tone = probe;
                    break;
                }
            }
        }
    }
    return table.AnyLine();
}

int MixerIndexForWaveDevice(MixerBackend& b, int device) {
    int id = device < 0 ? 0 : device;
    if (id < b.WaveOutCount()) {
        int m = MixerForName(b, b.WaveOutName(id), kMixerDstSpeakers);
        if (m >= 0) return m;
    }
    return b.MixerOfWaveDevice(false, id);
}

int MixerIndexForWaveInDevice(MixerBackend& b, int device) {
    int id = device < 0 ? 0 : device;
    if (id < b.WaveInCount()) {
        int m = MixerForName(b, b.WaveInName(id), kMixerDstWaveIn);
        if (m >= 0) return m;
    }
    return b.MixerOfWaveDevice(true, id);
}

bool BuildMixerLineTable(MixerBackend& b, MixerSettings& settings, MixerPair& pair) {
    int outId = settings.outDevice < 0 ? 0 : settings.outDevice;
    int inId = settings.inDevice < 0 ? 0 : settings.inDevice;
    if ((outId < b.WaveOutCount() && StartsWith(b.WaveOutName(outId), "SB AudioPCI")) ||
        (inId < b.WaveInCount() && StartsWith(b.WaveInName(inId), "SB AudioPCI")))
        settings.dontResetToneControls = true;
    bool in = BuildLineTable(b, MixerIndexForWaveInDevice(b, settings.inDevice), pair.in);
    bool out = BuildLineTable(b, MixerIndexForWaveDevice(b, settings.outDevice), pair.out);
    return in && out;
}

MixerStateFile ReadMixerState(MixerBackend& b, const MixerLineTable& t) {
    MixerStateFile st{};
    st.deviceIndex = t.mixer;
    for (int i = 0; i < kMixerSlots; ++i) {
        const MixerSlot& s = t.slots[i];
        if (!s.usable) continue;
        ReadFirst(b, t.mixer, *s.Find(kMixerCtlVolume), st.levels[i]);
        for (const SwitchBit& sw : kSwitchBits) {
            int32_t v = 0;
            const MixerControlInfo* c = s.Find(sw.type);
            if (c && ReadFirst(b, t.mixer, *c, v) && v) st.switches[i] |= sw.bit;
        }
    }
    if (const MixerControlInfo* c = t.tone.Find(kMixerCtlBass)) ReadFirst(b, t.mixer, *c, st.bass);
    if (const MixerControlInfo* c = t.tone.Find(kMixerCtlTreble)) ReadFirst(b, t.mixer, *c, st.treble);
    return st;
}

void ApplyMixerState(MixerBackend& b, const MixerLineTable& t, const MixerStateFile& st, bool keepTone) {
    for (int i = 0; i < kMixerSlots; ++i) {
        const MixerSlot& s = t.slots[i];
        if (!s.usable) continue;
        WriteAll(b, t.mixer, *s.Find(kMixerCtlVolume), st.levels[i]);
        for (const SwitchBit& sw : kSwitchBits)
            if (const MixerControlInfo* c = s.Find(sw.type))
                WriteAll(b, t.mixer, *c, (st.switches[i] & sw.bit) ? 1 : 0);
    }
    if (keepTone) return;
    if (const MixerControlInfo* c = t.tone.Find(kMixerCtlBass)) WriteAll(b, t.mixer, *c, st.bass);
    if (const MixerControlInfo* c = t.tone.Find(kMixerCtlTreble)) WriteAll(b, t.mixer, *c, st.treble);
}

bool SaveMixerState(const std::string& path, MixerBackend& b, int index, const MixerLineTable& t) {
    if (t.mixer < 0) return false;
    MixerStateFile st = ReadMixerState(b, t);
    st.deviceIndex = index;
    return WriteFileWhole(path, &st, sizeof st);
}

bool LoadMixerState(const std::string& path, MixerBackend& b, int index, const MixerLineTable& t, bool keepTone) {
    MixerStateFile st;
    if (t.mixer < 0 || !ReadFileExact(path, &st, sizeof st) || st.deviceIndex != index) return false;
    ApplyMixerState(b, t, st, keepTone);
    return true;
}

int SaveAllMixers(MixerBackend& b, const std::string& folder) {
    int saved = 0;
    for (int m = 0; m < b.MixerCount(); ++m) {
        MixerLineTable t;
        if (BuildLineTable(b, m, t) && SaveMixerState(MixsetPath(folder, m), b, m, t)) ++saved;
    }
    return saved;
}

int RestoreAllMixers(MixerBackend& b, const std::string& folder, bool keepTone) {
    int restored = 0;
    for (int m = 0; m < b.MixerCount(); ++m) {
        const std::string path = MixsetPath(folder, m);
        MixerLineTable t;
        if (BuildLineTable(b, m, t) && LoadMixerState(path, b, m, t, keepTone)) ++restored;
        std::remove(path.c_str());
    }
    return restored;
}

std::string LevelPresetPath(const std::string& folder, int inMixer, int outMixer, bool impedance, bool inputFile) {
    char name[48];
    std::snprintf(name, sizeof name, "%s%d.%d%c.CFG", impedance ? "IMPMIX" : "SPLMIX", inMixer, outMixer,
                  inputFile ? 'I' : 'O');
    return JoinPath(folder, name);
}

bool SaveLevelPreset(MixerBackend& b, const std::string& folder, MixerSettings& settings, bool impedance) {
    MixerPair p;
    if (!BuildMixerLineTable(b, settings, p)) return false;
    bool in = SaveMixerState(LevelPresetPath(folder, p.in.mixer, p.out.mixer, impedance, true), b, p.in.mixer, p.in);
    bool out =
        SaveMixerState(LevelPresetPath(folder, p.in.mixer, p.out.mixer, impedance, false), b, p.out.mixer, p.out);
    return in && out;
}

bool LoadLevelPreset(MixerBackend& b, const std::string& folder, MixerSettings& settings, bool impedance) {
    MixerPair p;
    if (!BuildMixerLineTable(b, settings, p)) return false;
    const bool keep = settings.dontResetToneControls;
    bool in =
        LoadMixerState(LevelPresetPath(folder, p.in.mixer, p.out.mixer, impedance, true), b, p.in.mixer, p.in, keep);
    bool out =
        LoadMixerState(LevelPresetPath(folder, p.in.mixer, p.out.mixer, impedance, false), b, p.out.mixer, p.out, keep);
    return in && out;
}

void SelectRecordingSource(MixerBackend& b, const MixerPair& p, const MixerSettings& settings) {
    uint32_t chosen;
    if (settings.inputSource <= 2) {
        const int source = static_cast<int>(settings.inputSource);
        if (!settings.dontMuteInput) SetMute(b, p.out, kMixerSlotMonitorMic + source, true);
        if (!p.in.slots[kMixerSlotMic + source].present) return;
        chosen = p.in.slots[kMixerSlotMic + source].line.lineId;
    } else {
        if (!p.in.hasFirstRecordingLine) return;
        chosen = p.in.firstRecordingLine.lineId;
    }
    const MixerSlot& dest = p.in.slots[kMixerSlotWaveIn];
    if (!dest.present) return;
    for (const MixerControlInfo& c : dest.controls) {
        if (!IsListControl(c.type) || c.itemLines.empty()) continue;
        // A list without the chosen source is left alone: clearing every item
        // would silence the input.
        if (std::find(c.itemLines.begin(), c.itemLines.end(), chosen) == c.itemLines.end()) continue;
        std::vector<int32_t> v(c.itemLines.size());
        for (size_t i = 0; i < v.size(); ++i) v[i] = c.itemLines[i] == chosen ? 1 : 0;
        b.SetValues(p.in.mixer, c, v);
    }
}

void PrepareMixerForMeasurement(MixerBackend& b, const MixerPair& p, const MixerSettings& settings) {
    if (!settings.dontMuteInput) {
        SetMute(b, p.out, kMixerSlotWaveOut, false);
        SetMute(b, p.out, kMixerSlotSpeakers, false);
        SetMute(b, p.in, kMixerSlotWaveIn, false);
    }
    if (settings.dontResetToneControls) return;
    for (const MixerLineTable* t : {&p.out, &p.in}) {
        if (t == &p.in && p.in.mixer == p.out.mixer) break;
        for (uint32_t type : {kMixerCtlBass, kMixerCtlTreble})
            if (const MixerControlInfo* c = t->tone.Find(type))
                WriteAll(b, t->mixer, *c, (c->maximum - c->minimum) / 2 + c->minimum + 1);
    }
}

bool SaveLevels(MixerBackend& b, MixerSettings& settings, ValueStore& store) {
    MixerPair p;
    // Without the mixers there is nothing to read; writing an empty block would
    // throw away the levels of a card that is only unplugged for now.
    if (!BuildMixerLineTable(b, settings, p)) return false;
    MixerLevelsBlock blk{};
    blk.inputSource = settings.inputSource;
    blk.inputDevice = settings.inDevice;
    blk.outputDevice = settings.outDevice;
    auto read = [&](const MixerLineTable& t, int slot) {
        const MixerSlot& s = t.slots[slot];
        if (s.usable && ReadFirst(b, t.mixer, *s.Find(kMixerCtlVolume), blk.levels[slot])) blk.present[slot] = 1;
    };
    for (int s : kOutputLevelSlots) read(p.out, s);
    for (int s : kInputLevelSlots) read(p.in, s);
    return store.WriteValue(kMixerLevelsValue, &blk, sizeof blk);
}

bool LoadLevels(MixerBackend& b, MixerSettings& settings, ValueStore& store) {
    MixerPair p;
    if (!BuildMixerLineTable(b, settings, p)) return false;
    PrepareMixerForMeasurement(b, p, settings);
    SelectRecordingSource(b, p, settings);
    std::vector<uint8_t> raw;
    MixerLevelsBlock blk;
    if (!store.ReadValue(kMixerLevelsValue, raw) || raw.size() != sizeof blk) return false;
    std::memcpy(&blk, raw.data(), sizeof blk);
    if (blk.inputSource != settings.inputSource || blk.inputDevice != settings.inDevice ||
        blk.outputDevice != settings.outDevice)
        return false;
    auto write = [&](const MixerLineTable& t, int slot) {
        const MixerSlot& s = t.slots[slot];
        if (blk.present[slot] && s.usable) WriteAll(b, t.mixer, *s.Find(kMixerCtlVolume), blk.levels[slot]);
    };
    for (int s : kOutputLevelSlots) write(p.out, s);
    for (int s : kInputLevelSlots) write(p.in, s);
    return true;
}

void MixersAtStartup(MixerBackend& b, const std::string& folder, MixerSettings& settings, ValueStore& store,
                     bool levels) {
    SaveAllMixers(b, folder);
    if (levels) LoadLevels(b, settings, store);
}

void MixersAtExit(MixerBackend& b, const std::string& folder, MixerSettings& settings, ValueStore& store, bool levels) {
    if (levels) SaveLevels(b, settings, store);
    RestoreAllMixers(b, folder, settings.dontResetToneControls);
}

}  // namespace srx
