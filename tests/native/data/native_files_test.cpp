#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>
#include <string>
#include <vector>

#include "app/reading_hooks.h"
#include "data/native_files.h"
#include "resources/string_table.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

// A file image built from the documented layout: signature, a zeroed header
// of the given size with fields poked in at their offsets, then f32 values.
struct Image {
    std::string bytes;
    Image(const char* signature, std::size_t headerSize) : bytes(signature) { bytes.resize(6 + headerSize, '\0'); }
    template <class T>
    Image& At(std::size_t offset, T v) {
        std::memcpy(&bytes[6 + offset], &v, sizeof v);
        return *this;
    }
    Image& Text(std::size_t offset, const std::string& s) {
        std::memcpy(&bytes[6 + offset], s.data(), s.size());
        return *this;
    }
    Image& Floats(std::initializer_list<float> values) {
        for (float v : values) bytes.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
};

// A frequency response with minimum phase and distortion, consistent the
// way the program writes it (first/last/largest level match the points).
Image Mes102() {
    Image f("@MS102", 1516);
    f.Text(0, "C:\\old\\place.mes").Text(260, "Woofer 1m").At<uint32_t>(520, 0x8043).At<int32_t>(524, 0);
    f.At(532, 20.0).At(540, 20000.0).At<int32_t>(548, 2).At(556, double(94.5f)).At<int32_t>(724, 13);
    f.At<uint8_t>(553, 0xA5).At<uint8_t>(600, 0x5A).At<uint8_t>(1500, 0x77);  // carried-unchanged bytes
    f.At<int32_t>(800, 2024).Text(824, "Line In").At<int32_t>(800 + 284, 48000).At<int32_t>(1452, 4);
    f.Floats({20, 90, 0.1f, -0.2f, -40, -45, -50, -55, -60, -65, -70, -75, -80});
    f.Floats({20000, 94.5f, -3, 1.5f, -1000, -1000, -1000, -1000, -1000, -1000, -1000, -1000, -1000});
    return f;
}

Image Twf101WithWaterfall() {
    Image f("@TW101", 1336);
    f.Text(260, "Room").At<uint32_t>(520, 0x07).At(524, 0.001).At(540, 0.2).At<int32_t>(560, 17);
    f.At<int32_t>(564, -1).At<int32_t>(568, 44100).At<int32_t>(572, 3).At(576, -0.75);
    f.At<int32_t>(584, 2).At<int32_t>(588, 2).At(592, 100.0).At(600, 200.0).At(608, double(-3.5f));
    f.At<int32_t>(1272, 8).At<uint8_t>(1300, 0x42);
    f.Floats({0.5f, -0.75f, 0.25f});   // samples
    f.Floats({100, 200});              // the axis of slice 0
    f.Floats({-10, -3.5f, -20, -30});  // levels of slices 0 and 1
    return f;
}

Image Etc100() {
    Image f("@ET100", 1268);
    f.Text(260, "Decay").At<uint32_t>(520, 0x02).At<int32_t>(528, 2).At<int32_t>(532, 3).At(544, 0.25);
    f.At(1204, 0.41).At(1212, 0.83).At<uint8_t>(1240, 0x99);
    f.Floats({-1, -2});
    return f;
}

class NativeFiles : public test::ScratchTest {
protected:
    void TearDown() override {
        SetRecentFileHook(nullptr);
        SetMinimumPhaseHook(nullptr);
        SetThieleSmallHook(nullptr);
        SetDistortionDerivedHook(nullptr);
    }
    static std::string Read(const std::string& path) { return test::Slurp(path); }
};

TEST_F(NativeFiles, PointsLandInTheirSlotsAndRoundTripsAreByteIdentical) {
    const std::string mes = Mes102().bytes, twf = Twf101WithWaterfall().bytes, etc = Etc100().bytes;
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("a.mes", mes), m));
    ASSERT_EQ(m.points.size(), 2u);
    const float* v = m.points[0].value;  // 13 values: f, level, phase, minimum phase, d2..d10
    EXPECT_EQ(std::vector<float>({v[0], v[1], v[4], v[10], v[18]}), std::vector<float>({90, 0.1f, -0.2f, -40, -80}));
    ASSERT_TRUE(SaveMeasurement(m, Path("b.mes"), true));
    EXPECT_EQ(Read(Path("b.mes")), mes);

    TimeRecord t;
    ASSERT_TRUE(LoadTimeRecord(Write("a.twf", twf), t));
    ASSERT_TRUE(SaveTimeRecord(t, Path("b.twf"), true));
    EXPECT_EQ(Read(Path("b.twf")), twf);

    EtcRecord e;
    ASSERT_TRUE(LoadEtc(Write("a.etc", etc), e));
    ASSERT_TRUE(SaveEtc(e, Path("b.etc"), true));
    EXPECT_EQ(Read(Path("b.etc")), etc);
}

TEST_F(NativeFiles, LegacyMesSignatures) {
    // "@MS100" carries d2 and d3 with every point, flagged or not.
    Image old("@MS100", 1516);
    old.At<int32_t>(548, 1).Floats({50, 70, 0.5f, -30, -36});
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("100.mes", old.bytes), m));
    ASSERT_EQ(m.points.size(), 1u);
    EXPECT_EQ(m.points[0].value[kSlotDistortion2], -30.0f);
    EXPECT_EQ(m.points[0].value[kSlotDistortion2 + 1], -36.0f);
    for (int i = 2; i < 9; ++i) EXPECT_EQ(m.points[0].value[kSlotDistortion2 + i], -1000.0f);

    // "@MS101": two harmonics only with the distortion flag.
    Image flagged("@MS101", 1516), plain("@MS101", 1516);
    flagged.At<uint32_t>(520, 0x40).At<int32_t>(548, 2).Floats({50, 70, 0, -30, -36, 60, 71, 0, -31, -37});
    plain.At<int32_t>(548, 2).Floats({50, 70, 0, 60, 71, 0});
    ASSERT_TRUE(LoadMeasurement(Write("101a.mes", flagged.bytes), m));
    ASSERT_EQ(m.points.size(), 2u);
    EXPECT_EQ(m.points[1].value[kSlotDistortion2 + 1], -37.0f);
    EXPECT_EQ(m.points[1].value[kSlotDistortion2 + 2], -1000.0f);
    ASSERT_TRUE(LoadMeasurement(Write("101b.mes", plain.bytes), m));
    EXPECT_EQ(m.points[1].value[kSlotLevel], 71.0f);
    EXPECT_EQ(+m.h.maxLevel, 71.0);

    // Written back as "@MS102" with nine harmonics per point.
    ASSERT_TRUE(LoadMeasurement(Path("101a.mes"), m));
    ASSERT_TRUE(SaveMeasurement(m, Path("out.mes"), true));
    const std::string out = Read(Path("out.mes"));
    EXPECT_EQ(out.substr(0, 6), "@MS102");
    EXPECT_EQ(out.size(), 6u + 1516u + 2 * 12 * 4);
}

TEST_F(NativeFiles, MesReadErrors) {
    Measurement keep;
    SetText(keep.h.title, "untouched");
    EXPECT_EQ(LoadMeasurement(Path("missing.mes"), keep).stringId, 2314);
    std::string bytes = Mes102().bytes;
    EXPECT_EQ(LoadMeasurement(Write("sig.mes", "@MS103" + bytes.substr(6)), keep).stringId, 2316);
    EXPECT_EQ(LoadMeasurement(Write("head.mes", bytes.substr(0, 1000)), keep).stringId, 2316);
    // Fewer points than announced, however few are missing or however many announced.
    EXPECT_EQ(LoadMeasurement(Write("short.mes", bytes.substr(0, bytes.size() - 1)), keep).stringId, 2357);
    for (int32_t count : {3, -1, 0x7fffffff, int32_t(0x80000000)}) {
        Image f = Mes102();
        f.At(548, count);
        EXPECT_EQ(LoadMeasurement(Write("count.mes", f.bytes), keep).stringId, 2357) << count;
    }
    EXPECT_EQ(TextOf(keep.h.title), "untouched");
    EXPECT_TRUE(keep.points.empty());
}

TEST_F(NativeFiles, TextFieldsFromFilesAreTerminated) {
    Image f = Mes102();
    for (std::size_t at : {0u, 260u, 824u, 952u, 1128u})
        f.Text(at, std::string(at < 520 || at == 1128 ? 260 : 128, 'A'));
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("a.mes", f.bytes), m));
    EXPECT_EQ(std::strlen(m.h.path), 259u);
    EXPECT_EQ(std::strlen(m.h.title), 259u);
    EXPECT_EQ(std::strlen(m.h.setup.inputDevice), 127u);
    EXPECT_EQ(std::strlen(m.h.setup.outputDevice), 127u);
    EXPECT_EQ(std::strlen(m.h.setup.compensationFile), 259u);
}

TEST_F(NativeFiles, SaveAndOpenBookkeeping) {
    std::vector<std::string> recent;
    SetRecentFileHook([&](const std::string& p) { recent.push_back(p); });
    Measurement m;
    const std::string opened = Write("a.mes", Mes102().bytes);
    ASSERT_TRUE(LoadMeasurement(opened, m, LoadPurpose::ForWindow));
    EXPECT_EQ(TextOf(m.h.path), "C:\\old\\place.mes");  // not opened yet: no window exists
    NoteOpened(m, opened);
    EXPECT_EQ(TextOf(m.h.path), opened);
    EXPECT_TRUE(m.h.flags & kMesSaved);

    // Undo files: nothing about the record changes.
    m.h.flags &= ~uint32_t(kMesSaved);
    ASSERT_TRUE(SaveMeasurement(m, Path("undo.mes"), true));
    EXPECT_EQ(TextOf(m.h.path), opened);
    EXPECT_FALSE(m.h.flags & kMesSaved);
    EXPECT_EQ(recent, std::vector<std::string>{opened});

    // A normal save stores the previous path and only then takes the new one.
    const std::string target = Path("b.mes");
    ASSERT_TRUE(SaveMeasurement(m, target));
    EXPECT_EQ(TextOf(m.h.path), target);
    EXPECT_TRUE(m.h.flags & kMesSaved);
    EXPECT_EQ(recent.back(), target);
    // Only the path field and the saved flag differ from the file read.
    const std::string written = Read(target);
    const std::string original = Mes102().At<uint32_t>(520, 0x8042).Text(0, opened).bytes;
    EXPECT_TRUE(written == original);
}

TEST_F(NativeFiles, FailedSaveKeepsThePreviousFile) {
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("a.mes", Mes102().bytes), m));
    m.h.flags &= ~uint32_t(kMesSaved);
    EXPECT_EQ(SaveMeasurement(m, (Dir() / "no_dir" / "x.mes").string()).stringId, 2315);
    EXPECT_EQ(SaveMeasurement(m, "").stringId, 2315);
    fs::create_directory(Dir() / "taken.mes");  // cannot be replaced by a file
    EXPECT_EQ(SaveMeasurement(m, Path("taken.mes")).stringId, 2315);
    EXPECT_TRUE(fs::is_directory(Dir() / "taken.mes"));
    EXPECT_EQ(FileCount(), 2u);  // no scratch file left behind
    EXPECT_FALSE(m.h.flags & kMesSaved);

    const std::string previous = Write("old.twf", Twf101WithWaterfall().bytes);
    TimeRecord t;
    ASSERT_TRUE(LoadTimeRecord(previous, t));
    t.samples.assign(200000, 0.5f);
#ifndef _WIN32
    // A disk that fills up half-way.
    if (!test::FileSizeLimit::Allows(65536)) GTEST_SKIP() << "file size limit too low";
    {
        const test::FileSizeLimit full(65536);
        EXPECT_EQ(SaveTimeRecord(t, previous).stringId, 2317);
    }
    EXPECT_EQ(Read(previous), Twf101WithWaterfall().bytes);
    EXPECT_EQ(FileCount(), 3u);
#endif
    ASSERT_TRUE(SaveTimeRecord(t, previous));  // replacing an existing file works
    EXPECT_EQ(Read(previous).size(), 6u + 1336 + 4 * (200000 + 6));
}

TEST_F(NativeFiles, TimeRecordReading) {
    TimeRecord t;
    ASSERT_TRUE(LoadTimeRecord(Write("a.twf", Twf101WithWaterfall().bytes), t));
    EXPECT_EQ(+t.h.windowStart, 17);
    EXPECT_EQ(t.samples, (std::vector<float>{0.5f, -0.75f, 0.25f}));
    ASSERT_EQ(t.slices.size(), 2u);
    EXPECT_EQ(t.slices[1].frequency, (std::vector<float>{100, 200}));  // slice 0's axis in every slice
    EXPECT_EQ(t.slices[1].level, (std::vector<float>{-20, -30}));

    // Old signature: no start index; pre-averages below 1 count as 1; the
    // waterfall maximum comes from the levels, not the header.
    Image old = Twf101WithWaterfall();
    old.bytes.replace(0, 6, "@TW100");
    old.At<int32_t>(1272, 0).At(608, 55.0);
    t.displayField = 9;
    ASSERT_TRUE(LoadTimeRecord(Write("old.twf", old.bytes), t, LoadPurpose::ForWindow));
    EXPECT_EQ(+t.h.windowStart, 0);
    EXPECT_EQ(+t.h.reserved564[0] | t.h.reserved564[3], 0);
    EXPECT_EQ(+t.h.preAverages, 1);
    EXPECT_EQ(+t.h.waterfallMax, -3.5);
    EXPECT_EQ(t.displayField, 0);

    const struct {
        std::size_t offset;
        int32_t value;
    } hostile[] = {{572, -1},         {572, 0x7fffffff}, {572, 4}, {584, -1}, {588, -2},
                   {584, 0x7fffffff}, {588, 0x7fffffff}, {584, 3}, {588, 0}};
    for (const auto& h : hostile) {
        Image f = Twf101WithWaterfall();
        f.At(h.offset, h.value);
        EXPECT_EQ(LoadTimeRecord(Write("bad.twf", f.bytes), t).stringId, 2316) << h.offset << "=" << h.value;
    }
    Image both = Twf101WithWaterfall();
    both.At<int32_t>(584, 0x7fffffff).At<int32_t>(588, 0x7fffffff);
    EXPECT_EQ(LoadTimeRecord(Write("bad.twf", both.bytes), t).stringId, 2316);
    EXPECT_EQ(LoadTimeRecord(Write("sig.twf", "@TW102" + Twf101WithWaterfall().bytes.substr(6)), t).stringId, 2316);
    EXPECT_EQ(LoadTimeRecord(Path("missing.twf"), t).stringId, 2314);
    EXPECT_EQ(+t.h.preAverages, 1);  // still the last good read
}

TEST_F(NativeFiles, EtcReading) {
    EtcRecord e;
    ASSERT_TRUE(LoadEtc(Write("a.etc", Etc100().bytes), e, LoadPurpose::ForWindow));
    EXPECT_EQ(+e.h.rt60, 0.83);
    EXPECT_EQ(e.displayEnd, 0.25);
    EXPECT_EQ(e.samples, (std::vector<float>{-1, -2}));
    for (int32_t count : {3, -5})
        EXPECT_EQ(LoadEtc(Write("b.etc", Etc100().At(528, count).bytes), e).stringId, 2316) << count;
    EXPECT_EQ(LoadEtc(Write("c.etc", "@ET101" + Etc100().bytes.substr(6)), e).stringId, 2316);
    EXPECT_EQ(e.samples.size(), 2u);
}

Measurement* g_seen = nullptr;
int g_calls = 0;
bool FakeMinimumPhase(Measurement& m) {
    g_seen = &m;
    ++g_calls;
    return m.points.size() > 1;
}
void FakeThieleSmall(Measurement&) { ++g_calls; }

TEST_F(NativeFiles, ReadingRunsTheRecomputations) {
    SetMinimumPhaseHook(FakeMinimumPhase);
    auto load = [&](int kind, uint32_t flags, int points, LoadPurpose purpose = LoadPurpose::NoWindow) {
        Image f("@MS102", 1516);
        f.At(520, flags).At(524, int32_t(kind)).At(548, int32_t(points));
        for (int i = 0; i < points; ++i) f.Floats({float(100 * (i + 1)), 1, 0});
        Measurement m;
        g_calls = 0;
        EXPECT_TRUE(LoadMeasurement(Write("h.mes", f.bytes), m, purpose));
        return m;
    };
    EXPECT_TRUE(load(0, 0, 2).h.flags & kMesMinimumPhaseCalculated);
    EXPECT_EQ(g_calls, 1);
    EXPECT_FALSE(load(0, kMesMinimumPhaseCalculated, 1).h.flags & kMesMinimumPhaseCalculated);  // it failed
    EXPECT_FALSE(load(2, kMesMinimumPhaseCalculated, 2).h.flags & kMesMinimumPhaseCalculated);
    EXPECT_EQ(g_calls, 0);  // a sweep without phase has none
    EXPECT_TRUE(load(2, kMesPhase, 2).h.flags & kMesMinimumPhaseCalculated);
    EXPECT_FALSE(load(1, kMesMinimumPhaseCalculated, 2).h.flags & kMesMinimumPhaseCalculated);

    // T/S on opening an impedance curve in a window.
    SetMinimumPhaseHook(nullptr);
    SetThieleSmallHook(FakeThieleSmall);
    auto open = [&](int32_t method, double in1, double in2, double in3, LoadPurpose purpose) {
        Image f("@MS102", 1516);
        f.At<int32_t>(524, 1).At(724, method).At(728, in1).At(736, in2).At(744, in3);
        Measurement m;
        g_calls = 0;
        EXPECT_TRUE(LoadMeasurement(Write("z.mes", f.bytes), m, purpose));
        return m.h.method * 10 + g_calls;
    };
    EXPECT_EQ(open(0, 6.2, 0, 0, LoadPurpose::ForWindow), 1);
    EXPECT_EQ(open(0, 6.2, 0, 0, LoadPurpose::NoWindow), 0);
    EXPECT_EQ(open(0, 0, 1, 1, LoadPurpose::ForWindow), 0);
    EXPECT_EQ(open(1, 6.2, 12, 3, LoadPurpose::ForWindow), 11);
    EXPECT_EQ(open(2, 6.2, 0, 3, LoadPurpose::ForWindow), 1);  // falls back to method 0
    EXPECT_EQ(open(2, 0, 12, 3, LoadPurpose::ForWindow), 20);
}

TEST_F(NativeFiles, WhatTheShellIsTold) {
    TimeRecord t;
    t.h.flags = kTwfStep;
    EXPECT_EQ(DefaultSaveFileName("", KindOf(t)), "Step Response.stp");
    t.h.flags = kTwfWaterfall;
    EXPECT_EQ(DefaultSaveFileName("L/R: 1m?", KindOf(t)), "L_R_ 1m_.twf");
    const auto plans = DocumentsFor(t);
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_EQ(plans[0].kind, 3302);
    EXPECT_EQ(plans[1].kind, 3303);
    EXPECT_EQ(DocumentTitle(plans[1], "Room 50%"), "Waterfall: Room 50%");

    // Filters are NUL-separated entries ending in two NULs.
    for (NativeKind k : {NativeKind::Measurement, NativeKind::ImpulseResponse, NativeKind::StepResponse,
                         NativeKind::EnergyTimeCurve}) {
        const char* filter = StringText(SaveDialogFor(k).filterId);
        std::vector<std::string> entries;
        for (const char* p = filter; *p; p += std::strlen(p) + 1) entries.push_back(p);
        ASSERT_EQ(entries.size(), 4u);
        EXPECT_EQ(entries[1], std::string("*.") + SaveDialogFor(k).extension);
        EXPECT_EQ(entries[3], "*.*");
    }
}

// Damage that the analyses would turn into out-of-range indices or silent
// NaN curves is refused at the door, with the program's hooks installed.
TEST_F(NativeFiles, HostileValuesAreRefused) {
    InstallReadingHooks();
    Measurement keep;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::size_t firstPoint = 1516, secondPoint = firstPoint + 13 * 4;
    const std::pair<std::size_t, float> damage[] = {
        {firstPoint, -41.0f}, {firstPoint, 0.0f},    {firstPoint, 30000.0f},     {secondPoint, 20.0f},
        {firstPoint, nan},    {firstPoint + 4, nan}, {secondPoint + 8, INFINITY}};
    for (const auto& [at, v] : damage)
        EXPECT_EQ(LoadMeasurement(Write("bad.mes", Mes102().At(at, v).bytes), keep).stringId, 2316) << at << " " << v;
    EXPECT_EQ(LoadMeasurement(Write("bad.mes", Mes102().At(532, double(nan)).bytes), keep).stringId, 2316);
    EXPECT_TRUE(keep.points.empty());

    TimeRecord t;
    std::string twf = Twf101WithWaterfall().bytes;
    std::memcpy(&twf[6 + 1336 + 4], &nan, 4);
    EXPECT_EQ(LoadTimeRecord(Write("nan.twf", twf), t).stringId, 2316);
    for (int32_t rate : {0, 999, 768001, 100000000})
        EXPECT_EQ(LoadTimeRecord(Write("rate.twf", Twf101WithWaterfall().At<int32_t>(568, rate).bytes), t).stringId,
                  2316)
            << rate;
    EXPECT_EQ(LoadTimeRecord(Write("len.twf", Twf101WithWaterfall().At(540, 1e300 * 1e300).bytes), t).stringId, 2316);
    EtcRecord e;
    EXPECT_EQ(LoadEtc(Write("nan.etc", Etc100().At(1204, double(nan)).bytes), e).stringId, 2316);

    // Writers store no NaN either; the previous file survives the refusal.
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("good.mes", Mes102().bytes), m));
    m.points[1].value[kSlotPhase] = nan;
    EXPECT_EQ(SaveMeasurement(m, Path("good.mes")).stringId, 5410);
    EXPECT_EQ(Read(Path("good.mes")), Mes102().bytes);
    ASSERT_TRUE(LoadTimeRecord(Write("good.twf", Twf101WithWaterfall().bytes), t));
    t.samples[0] = INFINITY;
    EXPECT_EQ(SaveTimeRecord(t, Path("good.twf")).stringId, 5410);
    SetMinimumPhaseHook(nullptr);
}

#ifndef _WIN32
// The scratch file is exclusive and freshly named: a link at the target is
// replaced, never written through, and nobody's file is taken for scratch.
TEST_F(NativeFiles, SavingNeverWritesThroughLinks) {
    Measurement m;
    ASSERT_TRUE(LoadMeasurement(Write("a.mes", Mes102().bytes), m));
    const std::string victim = Write("victim.txt", "precious");
    fs::create_symlink(victim, Dir() / "link.mes");
    const std::string squatter = Write("link.mes.~srxnew", "mine");
    fs::create_symlink(victim, Dir() / "link.mes.part");
    ASSERT_TRUE(SaveMeasurement(m, Path("link.mes")));
    EXPECT_FALSE(fs::is_symlink(Dir() / "link.mes"));
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_EQ(Read(squatter), "mine");
    EXPECT_EQ(FileCount(), 5u);

    // A read-only folder: the save fails and the old file stays as it was.
    if (geteuid() != 0) {
        fs::permissions(Dir(), fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_EQ(SaveMeasurement(m, Path("a.mes")).stringId, 2315);
        fs::permissions(Dir(), fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(Read(Path("a.mes")), Mes102().bytes);
    }
}
#endif

}  // namespace
}  // namespace srx
