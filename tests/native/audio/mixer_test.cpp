#include "audio/mixer.h"

#include "audio/wave_device.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

// A scriptable mixer: destinations with sources, each line with controls
// that hold one value per channel (or per item for lists).
class FakeMixerBackend : public MixerBackend {
public:
    struct Control {
        MixerControlInfo info;
        std::vector<int32_t> values;
        int32_t quantum = 1;  // the steps a driver rounds written values to
    };
    struct Line {
        MixerLineInfo info;
        std::vector<Control> controls;
    };
    struct Dest {
        Line line;
        std::vector<Line> sources;
    };
    struct Mixer {
        std::string name;
        std::vector<Dest> dests;
        int waveOut = -1, waveIn = -1;  // platform association
    };

    std::vector<Mixer> mixers;
    std::vector<std::string> waveOuts, waveIns;

    int MixerCount() override { return static_cast<int>(mixers.size()); }
    std::string MixerName(int m) override { return mixers.at(m).name; }
    int WaveOutCount() override { return static_cast<int>(waveOuts.size()); }
    std::string WaveOutName(int d) override { return waveOuts.at(d); }
    int WaveInCount() override { return static_cast<int>(waveIns.size()); }
    std::string WaveInName(int d) override { return waveIns.at(d); }
    int MixerOfWaveDevice(bool input, int device) override {
        for (int m = 0; m < MixerCount(); ++m)
            if ((input ? mixers[m].waveIn : mixers[m].waveOut) == device) return m;
        return -1;
    }
    std::vector<MixerLineInfo> Destinations(int m) override {
        std::vector<MixerLineInfo> out;
        for (const Dest& d : mixers.at(m).dests) out.push_back(d.line.info);
        return out;
    }
    std::vector<MixerLineInfo> Sources(int m, int d) override {
        std::vector<MixerLineInfo> out;
        for (const Line& l : mixers.at(m).dests.at(d).sources) out.push_back(l.info);
        return out;
    }
    std::vector<MixerControlInfo> Controls(int m, const MixerLineInfo& line) override {
        std::vector<MixerControlInfo> out;
        if (Line* l = FindLine(m, [&](const Dest&, const Line& x) { return x.info.lineId == line.lineId; }))
            for (const Control& c : l->controls) out.push_back(c.info);
        return out;
    }
    bool GetValues(int m, const MixerControlInfo& c, std::vector<int32_t>& v) override {
        Control* k = FindControl(m, c.controlId);
        if (!k) return false;
        v = k->values;
        return true;
    }
    bool SetValues(int m, const MixerControlInfo& c, const std::vector<int32_t>& v) override {
        Control* k = FindControl(m, c.controlId);
        if (!k || v.size() != k->values.size()) return false;
        for (size_t i = 0; i < v.size(); ++i) k->values[i] = v[i] / k->quantum * k->quantum;
        return true;
    }

    // The first line, destinations and their sources alike, that `match` takes.
    template <class Match>
    Line* FindLine(int m, Match match) {
        for (Dest& d : mixers.at(m).dests) {
            if (match(d, d.line)) return &d.line;
            for (Line& s : d.sources)
                if (match(d, s)) return &s;
        }
        return nullptr;
    }
    Line* LineOfType(int m, uint32_t dstType, uint32_t type) {
        return FindLine(m, [&](const Dest& d, const Line& l) {
            return d.line.info.componentType == dstType && l.info.componentType == type;
        });
    }
    Control* FindControl(int m, uint32_t id) {
        Control* found = nullptr;
        FindLine(m, [&](const Dest&, Line& l) {
            for (Control& c : l.controls)
                if (c.info.controlId == id) found = &c;
            return found != nullptr;
        });
        return found;
    }
    // The first channel's value of a control of that type on a line of that type.
    int32_t& Value(int m, uint32_t dstType, uint32_t lineType, uint32_t controlType) {
        Control* found = nullptr;
        FindLine(m, [&](const Dest& d, Line& l) {
            if (d.line.info.componentType != dstType || l.info.componentType != lineType) return false;
            for (Control& c : l.controls)
                if (!found && c.info.type == controlType) found = &c;
            return found != nullptr;
        });
        if (!found) throw std::runtime_error("no such control");
        return found->values[0];
    }

    // Builders.
    uint32_t nextId = 1;
    Line MakeLine(uint32_t type, const std::string& name, uint32_t channels = 2) {
        Line l;
        l.info = MixerLineInfo{nextId++, type, channels, name};
        return l;
    }
    void Add(Line& l, uint32_t type, int32_t value, int32_t lo = 0, int32_t hi = 65535) {
        Control c;
        c.info.controlId = 1000 + nextId++;
        c.info.type = type;
        c.info.minimum = lo;
        c.info.maximum = hi;
        c.info.channels = l.info.channels;
        c.values.assign(c.info.channels, value);
        l.controls.push_back(c);
    }
    void AddList(Line& l, const std::vector<uint32_t>& items, uint32_t selected) {
        Control c;
        c.info.controlId = 1000 + nextId++;
        c.info.type = kMixerCtlMux;
        c.info.channels = 1;
        c.info.itemLines = items;
        for (uint32_t id : items) c.values.push_back(id == selected ? 1 : 0);
        l.controls.push_back(c);
    }

    // A classic card: playback and recording in one mixer, tone controls on
    // the speakers, a multiplexer on the recording destination.
    int AddFullCard(const std::string& name) {
        Mixer m;
        m.name = name + " Mixer";
        Dest spk{MakeLine(kMixerDstSpeakers, "Volume Control"), {}};
        Add(spk.line, kMixerCtlVolume, 40000);
        Add(spk.line, kMixerCtlMute, 0);
        Add(spk.line, kMixerCtlBass, 10, 0, 100);
        Add(spk.line, kMixerCtlTreble, 90, 0, 100);
        Line wave = MakeLine(kMixerSrcWaveOut, "Wave");
        Add(wave, kMixerCtlVolume, 30000);
        Add(wave, kMixerCtlMute, 1);
        Line mon = MakeLine(kMixerSrcMicrophone, "Mic");
        Add(mon, kMixerCtlVolume, 20000);
        Add(mon, kMixerCtlMute, 0);
        Line cd = MakeLine(kMixerSrcCompactDisc, "CD Audio");
        Add(cd, kMixerCtlVolume, 1);
        spk.sources = {wave, mon, cd};
        Dest rec{MakeLine(kMixerDstWaveIn, "Recording Control"), {}};
        Add(rec.line, kMixerCtlVolume, 50000);
        Add(rec.line, kMixerCtlMute, 1);
        Line mic = MakeLine(kMixerSrcMicrophone, "Microphone", 1);
        Add(mic, kMixerCtlVolume, 11111);
        Add(mic, kMixerCtlLoudness, 1);
        Line line = MakeLine(kMixerSrcAuxiliary, "Line In");  // named like a line: counts as one
        Add(line, kMixerCtlVolume, 22222);
        Line aux = MakeLine(kMixerSrcAuxiliary, "Aux");
        Add(aux, kMixerCtlVolume, 33333);
        Add(aux, kMixerCtlOnOff, 1);
        rec.sources = {mic, line, aux};
        AddList(rec.line, {mic.info.lineId, line.info.lineId, aux.info.lineId}, aux.info.lineId);
        m.dests = {spk, rec};
        m.waveOut = static_cast<int>(waveOuts.size());
        m.waveIn = static_cast<int>(waveIns.size());
        waveOuts.push_back(name + " Out");
        waveIns.push_back(name + " In");
        mixers.push_back(m);
        return MixerCount() - 1;
    }

    // What Wine offers: per device one destination and one source, volume and
    // mute only.
    void AddWineDevicePair(const std::string& name) {
        Mixer out{name + " Mixer", {}, static_cast<int>(waveOuts.size()), -1};
        Dest spk{MakeLine(kMixerDstSpeakers, "Speakers"), {MakeLine(kMixerSrcWaveOut, "Wave")}};
        Add(spk.line, kMixerCtlVolume, 65535);
        Add(spk.line, kMixerCtlMute, 0);
        Add(spk.sources[0], kMixerCtlVolume, 65535);
        out.dests = {spk};
        Mixer in{name + " Mixer", {}, -1, static_cast<int>(waveIns.size())};
        Dest rec{MakeLine(kMixerDstWaveIn, "Capture"), {MakeLine(kMixerSrcMicrophone, "Microphone")}};
        Add(rec.line, kMixerCtlVolume, 65535);
        Add(rec.line, kMixerCtlMute, 0);
        Add(rec.sources[0], kMixerCtlVolume, 65535);
        in.dests = {rec};
        waveOuts.push_back(name + " Out");
        waveIns.push_back(name + " In");
        mixers.push_back(out);
        mixers.push_back(in);
    }
};

class MixerTest : public test::ScratchTest {
protected:
    int32_t& Spk(int m, uint32_t ctl) { return fake.Value(m, kMixerDstSpeakers, kMixerDstSpeakers, ctl); }
    int32_t& Rec(int m, uint32_t line, uint32_t ctl) { return fake.Value(m, kMixerDstWaveIn, line, ctl); }
    static MixerLevelsBlock Stored(MemoryValueStore& store) {
        return test::Peek<MixerLevelsBlock>(store.values[kMixerLevelsValue].data(), 0);
    }

    FakeMixerBackend fake;
};

TEST_F(MixerTest, LineTableFindsTheSlotsOfAFullCard) {
    int m = fake.AddFullCard("Card");
    MixerLineTable t;
    ASSERT_TRUE(BuildLineTable(fake, m, t));
    EXPECT_EQ(t.slots[kMixerSlotMic].line.name, "Microphone");
    EXPECT_EQ(t.slots[kMixerSlotLine].line.name, "Line In");
    EXPECT_TRUE(t.slots[kMixerSlotMonitorMic].present);
    EXPECT_FALSE(t.slots[kMixerSlotMonitorLine].present);
    EXPECT_TRUE(t.HasRecordingSource());
    EXPECT_NE(t.tone.Find(kMixerCtlBass), nullptr);
    for (int s = 0; s <= kMixerSlotMonitorMic; ++s) EXPECT_TRUE(t.slots[s].usable) << s;
    // Probing usability must not change what the user had set.
    EXPECT_EQ(Rec(m, kMixerSrcMicrophone, kMixerCtlVolume), 11111);
}

TEST_F(MixerTest, LineTableDegradesOnMissingOrDeafControls) {
    fake.AddWineDevicePair("Wine");
    MixerLineTable out, in;
    ASSERT_TRUE(BuildLineTable(fake, 0, out));
    ASSERT_TRUE(BuildLineTable(fake, 1, in));
    EXPECT_FALSE(out.tone.present);
    EXPECT_FALSE(in.slots[kMixerSlotLine].present);

    // A volume whose written value does not read back is listed, not usable,
    // and its level is then neither saved nor restored.
    auto& vol = fake.LineOfType(1, kMixerDstWaveIn, kMixerSrcMicrophone)->controls[0];
    vol.quantum = 256;
    vol.values = {1000, 1000};
    ASSERT_TRUE(BuildLineTable(fake, 1, in));
    EXPECT_TRUE(in.slots[kMixerSlotMic].present);
    EXPECT_FALSE(in.slots[kMixerSlotMic].usable);
    EXPECT_EQ(ReadMixerState(fake, in).levels[kMixerSlotMic], 0);

    EXPECT_FALSE(BuildLineTable(fake, 5, in));
    FakeMixerBackend empty;
    EXPECT_FALSE(BuildLineTable(empty, 0, in));
}

TEST_F(MixerTest, MixerIndexMatchesNamesWithoutTheLastWord) {
    fake.AddWineDevicePair("Null Output");  // mixers 0 (playback) and 1 (recording) share a name
    fake.AddFullCard("Studio Card");        // mixer 2
    EXPECT_EQ(MixerIndexForWaveDevice(fake, 0), 0);
    EXPECT_EQ(MixerIndexForWaveInDevice(fake, 0), 1);
    EXPECT_EQ(MixerIndexForWaveInDevice(fake, 1), 2);
    // No name matches: the platform's association decides.
    fake.mixers[2].name = "Something Else";
    EXPECT_EQ(MixerIndexForWaveDevice(fake, 1), 2);
    fake.mixers[2].waveOut = -1;
    EXPECT_EQ(MixerIndexForWaveDevice(fake, 1), -1);
}

TEST_F(MixerTest, StateFileRoundTripAndRejections) {
    fake.AddFullCard("A");
    fake.AddFullCard("B");
    MixerLineTable t0, t1;
    ASSERT_TRUE(BuildLineTable(fake, 0, t0));
    ASSERT_TRUE(BuildLineTable(fake, 1, t1));
    ASSERT_TRUE(SaveMixerState(Path("a.cfg"), fake, 0, t0));
    ASSERT_TRUE(SaveMixerState(Path("b.cfg"), fake, 1, t1));

    Spk(0, kMixerCtlVolume) = 5;
    Spk(0, kMixerCtlBass) = 50;
    Rec(0, kMixerSrcAuxiliary, kMixerCtlOnOff) = 0;

    // Mixer 1's file means nothing to mixer 0.
    EXPECT_FALSE(LoadMixerState(Path("b.cfg"), fake, 0, t0, false));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 5);

    // A truncated or padded file is not a state file.
    const std::string good = test::Slurp(Path("a.cfg"));
    for (const std::string& bad : {good.substr(0, 83), good + '\0'})
        EXPECT_FALSE(LoadMixerState(Write("bad.cfg", bad), fake, 0, t0, false)) << bad.size();
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 5);

    // Keeping the tone controls restores everything but bass and treble.
    ASSERT_TRUE(LoadMixerState(Path("a.cfg"), fake, 0, t0, true));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 40000);
    EXPECT_EQ(Spk(0, kMixerCtlBass), 50);
    EXPECT_EQ(Rec(0, kMixerSrcAuxiliary, kMixerCtlOnOff), 1);
    ASSERT_TRUE(LoadMixerState(Path("a.cfg"), fake, 0, t0, false));
    EXPECT_EQ(Spk(0, kMixerCtlBass), 10);
}

// A whole run of the program: the user's own levels before the start, the
// measuring levels from the last run, a change while it runs; every mixer,
// not only the measuring card's, is given back as it was.
TEST_F(MixerTest, ProgramRunKeepsTheMeasuringLevelsAndGivesTheUsersBack) {
    fake.AddFullCard("A");
    fake.AddWineDevicePair("Wine");
    MemoryValueStore store;
    MixerSettings s{0 /*mic*/, 0, 0};
    Spk(0, kMixerCtlVolume) = 777;  // measuring level of the last run
    ASSERT_TRUE(SaveLevels(fake, s, store));
    Spk(0, kMixerCtlVolume) = 5000;  // what the user set up outside the program
    Rec(0, kMixerSrcMicrophone, kMixerCtlVolume) = 6000;

    MixersAtStartup(fake, Folder(), s, store, true);
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 777);
    Spk(0, kMixerCtlVolume) = 888;  // the user raises the level for measuring
    Spk(1, kMixerCtlVolume) = 2;
    Spk(1, kMixerCtlMute) = 1;

    MixersAtExit(fake, Folder(), s, store, true);
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 5000);
    EXPECT_EQ(Rec(0, kMixerSrcMicrophone, kMixerCtlVolume), 6000);
    EXPECT_EQ(Spk(1, kMixerCtlVolume), 65535);
    EXPECT_EQ(Spk(1, kMixerCtlMute), 0);
    EXPECT_EQ(RestoreAllMixers(fake, Folder(), false), 0);  // nothing left behind
    EXPECT_EQ(Stored(store).levels[kMixerSlotSpeakers], 888);
    EXPECT_FALSE(fs::exists(Path("MIXSET00.CFG")));

    // Devices without a mixer of their own (the virtual loudspeaker): the
    // mixers are still kept and restored, the stored levels left alone.
    Spk(0, kMixerCtlVolume) = 1;
    MixersAtStartup(fake, Folder(), s, store, false);
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 1);
    Spk(0, kMixerCtlVolume) = 2;
    MixersAtExit(fake, Folder(), s, store, false);
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 1);
    EXPECT_EQ(Stored(store).levels[kMixerSlotSpeakers], 888);
}

TEST_F(MixerTest, PresetsAreKeptPerDevicePairAndKind) {
    fake.AddFullCard("A");
    fake.AddFullCard("B");
    MixerSettings pair00{0 /*mic*/, 0, 0};
    MixerSettings pair10{0 /*mic*/, 1, 0};

    Spk(0, kMixerCtlVolume) = 100;
    ASSERT_TRUE(SaveLevelPreset(fake, Folder(), pair00, false));
    Spk(0, kMixerCtlVolume) = 200;
    ASSERT_TRUE(SaveLevelPreset(fake, Folder(), pair00, true));
    Spk(0, kMixerCtlVolume) = 300;
    Rec(1, kMixerSrcMicrophone, kMixerCtlVolume) = 4444;
    ASSERT_TRUE(SaveLevelPreset(fake, Folder(), pair10, false));
    EXPECT_TRUE(fs::exists(Path("IMPMIX0.0O.CFG")));

    Rec(1, kMixerSrcMicrophone, kMixerCtlVolume) = 0;
    ASSERT_TRUE(LoadLevelPreset(fake, Folder(), pair00, false));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 100);
    EXPECT_EQ(Rec(1, kMixerSrcMicrophone, kMixerCtlVolume), 0);  // not part of pair 0/0
    ASSERT_TRUE(LoadLevelPreset(fake, Folder(), pair10, false));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 300);
    EXPECT_EQ(Rec(1, kMixerSrcMicrophone, kMixerCtlVolume), 4444);

    MixerSettings noCard{0 /*mic*/, 7, 7};
    EXPECT_FALSE(SaveLevelPreset(fake, Folder(), noCard, false));
}

TEST_F(MixerTest, LevelsBlockFollowsTheDevicePairAndSource) {
    fake.AddFullCard("A");
    MemoryValueStore store;
    MixerSettings s{1 /*line*/, 0, kWaveMapper};
    ASSERT_TRUE(SaveLevels(fake, s, store));
    ASSERT_EQ(store.values[kMixerLevelsValue].size(), 84u);
    const MixerLevelsBlock blk = Stored(store);
    EXPECT_EQ(blk.outputDevice, -1);
    EXPECT_EQ(blk.present[kMixerSlotMonitorMic], 0u);  // playback monitors are no levels

    Spk(0, kMixerCtlVolume) = 1;
    Rec(0, kMixerSrcMicrophone, kMixerCtlVolume) = 2;
    MixerSettings other = s;
    other.inputSource = 0;
    EXPECT_FALSE(LoadLevels(fake, other, store));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 1);
    EXPECT_EQ(Rec(0, kMixerSrcMicrophone, kMixerCtlVolume), 2);

    ASSERT_TRUE(LoadLevels(fake, s, store));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 40000);

    // A block of another size is not applied.
    store.values[kMixerLevelsValue].resize(80);
    Spk(0, kMixerCtlVolume) = 1;
    EXPECT_FALSE(LoadLevels(fake, s, store));
    EXPECT_EQ(Spk(0, kMixerCtlVolume), 1);

    // Without the card the stored block survives.
    store.values[kMixerLevelsValue] = std::vector<uint8_t>(84, 0x5A);
    FakeMixerBackend none;
    EXPECT_FALSE(SaveLevels(none, s, store));
    EXPECT_EQ(store.values[kMixerLevelsValue], std::vector<uint8_t>(84, 0x5A));
}

TEST_F(MixerTest, MeasurementPreparationAndSourceSelection) {
    fake.AddFullCard("A");
    MixerSettings s{0 /*mic*/, 0, 0};
    MixerPair p;
    ASSERT_TRUE(BuildMixerLineTable(fake, s, p));
    fake.Value(0, kMixerDstSpeakers, kMixerSrcWaveOut, kMixerCtlMute) = 1;
    Spk(0, kMixerCtlMute) = 1;

    PrepareMixerForMeasurement(fake, p, s);
    SelectRecordingSource(fake, p, s);
    EXPECT_EQ(fake.Value(0, kMixerDstSpeakers, kMixerSrcWaveOut, kMixerCtlMute), 0);
    EXPECT_EQ(Spk(0, kMixerCtlMute), 0);
    EXPECT_EQ(Rec(0, kMixerDstWaveIn, kMixerCtlMute), 0);
    EXPECT_EQ(Spk(0, kMixerCtlBass), 51);
    EXPECT_EQ(Spk(0, kMixerCtlTreble), 51);
    EXPECT_EQ(fake.Value(0, kMixerDstSpeakers, kMixerSrcMicrophone, kMixerCtlMute), 1);  // no feedback
    const auto& mux = fake.LineOfType(0, kMixerDstWaveIn, kMixerDstWaveIn)->controls.back().values;
    EXPECT_EQ(mux, (std::vector<int32_t>{1, 0, 0}));

    // With both options set neither mutes nor tone controls are touched.
    fake.Value(0, kMixerDstSpeakers, kMixerSrcMicrophone, kMixerCtlMute) = 0;
    Spk(0, kMixerCtlMute) = 1;
    Spk(0, kMixerCtlBass) = 3;
    s.dontMuteInput = s.dontResetToneControls = true;
    s.inputSource = 2;
    PrepareMixerForMeasurement(fake, p, s);
    SelectRecordingSource(fake, p, s);
    EXPECT_EQ(Spk(0, kMixerCtlMute), 1);
    EXPECT_EQ(Spk(0, kMixerCtlBass), 3);
    EXPECT_EQ(fake.Value(0, kMixerDstSpeakers, kMixerSrcMicrophone, kMixerCtlMute), 0);
    EXPECT_EQ(mux, (std::vector<int32_t>{0, 0, 1}));
    // A source the list does not offer leaves the selection as it is.
    fake.LineOfType(0, kMixerDstWaveIn, kMixerDstWaveIn)->controls.back().info.itemLines[2] = 999;
    BuildMixerLineTable(fake, s, p);
    SelectRecordingSource(fake, p, s);
    EXPECT_EQ(mux, (std::vector<int32_t>{0, 0, 1}));
    s.inputSource = 5;  // the one recording line: the first source
    SelectRecordingSource(fake, p, s);
    EXPECT_EQ(mux, (std::vector<int32_t>{1, 0, 0}));

    // The "SB AudioPCI" devices keep their tone controls.
    fake.waveOuts[0] = "SB AudioPCI 64V";
    MixerSettings sb{0, 0, 0};
    BuildMixerLineTable(fake, sb, p);
    EXPECT_TRUE(sb.dontResetToneControls);
}

#ifdef _WIN32
// The real winmm back-end, whatever the machine has (under Wine often no
// card at all): the start-up save and exit restore leave nothing behind, and
// without a mixer nothing is written.
TEST_F(MixerTest, WinmmBackendSavesAndRestoresWhatItFinds) {
    auto b = MakeWinmmMixerBackend();
    const int count = b->MixerCount();
    const int saved = SaveAllMixers(*b, Folder());
    EXPECT_LE(saved, count);
    EXPECT_EQ(RestoreAllMixers(*b, Folder(), true), saved);
    EXPECT_EQ(FileCount(), 0u);
    EXPECT_TRUE(b->Destinations(count).empty());
    if (count == 0) {
        MixerSettings s;
        MemoryValueStore store;
        EXPECT_FALSE(SaveLevels(*b, s, store));
        EXPECT_FALSE(LoadLevels(*b, s, store));
        EXPECT_TRUE(store.values.empty());
    }
}
#endif

}  // namespace
}  // namespace srx
