// Arbitrary bytes as a mixer state file ("MIXSET00.CFG") and as the levels
// registry block, applied to a fake card. Only files of the state's exact
// size and this mixer's index may load, every value written must lie inside
// its control's range, and a state saved after loading must give back the
// loaded levels, clamped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "audio/mixer.h"
#include "fuzz/fuzz_common.h"

namespace {

using namespace srx;

// One mixer with every line the table knows: stereo and mono lines, tone
// controls on the speakers, a multiplexer on the recording destination, and
// a bass control with an empty range (drivers report such).
class FakeMixer : public MixerBackend {
public:
    FakeMixer() {
        const uint32_t spk = Line(kMixerDstSpeakers, "Volume Control", 2, true);
        dests_.push_back({spk,
                          {Line(kMixerSrcWaveOut, "Wave", 2, true), Line(kMixerSrcMicrophone, "Mic", 1, true),
                           Line(kMixerSrcLine, "Line", 2, true), Line(kMixerSrcAuxiliary, "Aux", 2, false)}});
        Control(spk, kMixerCtlBass, 0, 0, 1);
        Control(spk, kMixerCtlTreble, -100, 100, 2);
        const uint32_t rec = Line(kMixerDstWaveIn, "Recording Control", 2, true);
        std::vector<uint32_t> sources = {Line(kMixerSrcMicrophone, "Microphone", 1, true),
                                         Line(kMixerSrcAuxiliary, "Line In", 2, true),
                                         Line(kMixerSrcAuxiliary, "Aux", 2, true)};
        dests_.push_back({rec, sources});
        Control(rec, kMixerCtlMux, 0, 0, 1).itemLines = sources;
        controls_.rbegin()->second.values.assign(sources.size(), 0);
    }

    int MixerCount() override { return 1; }
    std::string MixerName(int) override { return "Fuzz Card Mixer"; }
    int WaveOutCount() override { return 1; }
    std::string WaveOutName(int) override { return "Fuzz Card Out"; }
    int WaveInCount() override { return 1; }
    std::string WaveInName(int) override { return "Fuzz Card In"; }
    int MixerOfWaveDevice(bool, int device) override { return device == 0 ? 0 : -1; }
    std::vector<MixerLineInfo> Destinations(int) override {
        std::vector<MixerLineInfo> out;
        for (const Dest& d : dests_) out.push_back(lines_.at(d.line));
        return out;
    }
    std::vector<MixerLineInfo> Sources(int, int d) override {
        std::vector<MixerLineInfo> out;
        for (uint32_t id : dests_.at(size_t(d)).sources) out.push_back(lines_.at(id));
        return out;
    }
    std::vector<MixerControlInfo> Controls(int, const MixerLineInfo& line) override {
        std::vector<MixerControlInfo> out;
        for (const auto& [id, c] : controls_)
            if (c.line == line.lineId) out.push_back(c.info);
        return out;
    }
    bool GetValues(int, const MixerControlInfo& c, std::vector<int32_t>& v) override {
        auto it = controls_.find(c.controlId);
        if (it == controls_.end()) return false;
        v = it->second.values;
        return true;
    }
    bool SetValues(int, const MixerControlInfo& c, const std::vector<int32_t>& v) override {
        auto it = controls_.find(c.controlId);
        if (it == controls_.end() || v.size() != it->second.values.size()) __builtin_trap();
        const MixerControlInfo& info = it->second.info;
        if (info.maximum > info.minimum)
            for (int32_t x : v)
                if (x < info.minimum || x > info.maximum) __builtin_trap();
        it->second.values = v;
        return true;
    }

private:
    struct Ctl {
        uint32_t line;
        MixerControlInfo info;
        std::vector<int32_t> values;
    };
    struct Dest {
        uint32_t line;
        std::vector<uint32_t> sources;
    };

    uint32_t Line(uint32_t type, const char* name, uint32_t channels, bool switches) {
        const uint32_t id = uint32_t(lines_.size() + 1);
        lines_[id] = MixerLineInfo{id, type, channels, name};
        Control(id, kMixerCtlVolume, 0, 65535, channels);
        Control(id, kMixerCtlMute, 0, 1, channels);
        if (switches)
            for (uint32_t t : {kMixerCtlOnOff, kMixerCtlLoudness, kMixerCtlStereoEnhance}) Control(id, t, 0, 1, 1);
        return id;
    }
    MixerControlInfo& Control(uint32_t line, uint32_t type, int32_t lo, int32_t hi, uint32_t channels) {
        const uint32_t id = 1000 + uint32_t(controls_.size());
        Ctl& c = controls_[id];
        c.line = line;
        c.info.controlId = id;
        c.info.type = type;
        c.info.minimum = lo;
        c.info.maximum = hi;
        c.info.channels = channels;
        c.values.assign(channels, lo);
        return c.info;
    }

    std::map<uint32_t, MixerLineInfo> lines_;
    std::map<uint32_t, Ctl> controls_;
    std::vector<Dest> dests_;
};

int32_t Clamped(const MixerControlInfo* c, int32_t v) {
    return c->maximum > c->minimum ? std::clamp(v, c->minimum, c->maximum) : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile input("MIXSET00.CFG"), saved("MIXSET00_saved.CFG");
    if (!input.Write(data, size)) return 0;
    FakeMixer mixer;
    MixerLineTable table;
    if (!BuildLineTable(mixer, 0, table)) __builtin_trap();

    MixerStateFile state{};
    const bool exact = size == sizeof state;
    if (exact) std::memcpy(&state, data, sizeof state);
    const bool keepTone = state.switches[kMixerSlots - 1] >> 31;
    const bool loaded = LoadMixerState(input.path(), mixer, 0, table, keepTone);
    if (loaded != (exact && state.deviceIndex == 0)) __builtin_trap();
    if (loaded) {
        if (!SaveMixerState(saved.path(), mixer, 0, table)) __builtin_trap();
        MixerStateFile back{};
        const std::string bytes = fuzz::Slurp(saved.path());
        if (bytes.size() != sizeof back) __builtin_trap();
        std::memcpy(&back, bytes.data(), sizeof back);
        for (int i = 0; i < kMixerSlots; ++i) {
            const MixerSlot& slot = table.slots[i];
            if (!slot.usable) continue;
            uint32_t switches = 0;
            for (auto [type, bit] : {std::pair{kMixerCtlMute, kMixerSwitchMute},
                                     {kMixerCtlOnOff, kMixerSwitchOnOff},
                                     {kMixerCtlStereoEnhance, kMixerSwitchStereoEnhance},
                                     {kMixerCtlLoudness, kMixerSwitchLoudness}})
                if (slot.Find(type)) switches |= bit;
            if (back.levels[i] != Clamped(slot.Find(kMixerCtlVolume), state.levels[i]) ||
                back.switches[i] != (state.switches[i] & switches))
                __builtin_trap();
        }
        // Kept tone controls stay at the fake's starting value, the minimum.
        const MixerControlInfo* treble = table.tone.Find(kMixerCtlTreble);
        if (back.treble != (keepTone ? treble->minimum : Clamped(treble, state.treble))) __builtin_trap();
    }

    // The same bytes as the last used levels, for the devices they name.
    MemoryValueStore store;
    store.WriteValue(kMixerLevelsValue, data, size);
    MixerSettings settings;
    if (size == sizeof(MixerLevelsBlock)) {
        MixerLevelsBlock block;
        std::memcpy(&block, data, sizeof block);
        settings.inputSource = block.inputSource;
        settings.inDevice = block.inputDevice;
        settings.outDevice = block.outputDevice;
    }
    LoadLevels(mixer, settings, store);
    return 0;
}
