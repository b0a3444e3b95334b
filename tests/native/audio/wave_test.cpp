#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "audio/wave_error.h"
#include "audio/wave_file.h"
#include "audio/wave_stream.h"
#include "platform/file_io.h"
#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string Le16(uint16_t v) { return {char(v), char(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16)); }
std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le32(uint32_t(body.size())) + body + (body.size() % 2 ? "\0"s : ""s);
}
std::string Riff(const std::string& chunks) { return "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks; }
// Format chunk body, cut or padded to `size`; align 0 means a packed frame.
std::string Fmt(uint16_t tag, uint16_t channels, uint16_t bits, std::size_t size = 18, uint16_t align = 0) {
    if (!align) align = uint16_t(channels * ((bits + 7) / 8));
    std::string f = Le16(tag) + Le16(channels) + Le32(8000) + Le32(8000u * align) + Le16(align) + Le16(bits) + Le16(0);
    f.resize(size, '\0');
    return f;
}
// A 40-byte extensible format chunk; `sub`: first word of the sub-format GUID.
std::string Ext(uint16_t sub, uint16_t bits, uint16_t validBits, char guidTail = '\x71') {
    std::string f = Fmt(0xFFFE, 1, bits);
    f.replace(16, 2, Le16(22));
    return f + Le16(validBits) + Le32(4) + Le32(sub) + "\0\0\x10\0\x80\0\0\xAA\0\x38\x9B"s + guidTail;
}
// The 46-byte header both writers produce.
std::string Header(const std::string& fmtBody, uint32_t dataBytes) {
    return "RIFF" + Le32(38 + dataBytes + dataBytes % 2) + "WAVE" + Chunk("fmt ", fmtBody) + "data" + Le32(dataBytes);
}
std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = char(i * 7 + 1);
    return s;
}

#ifndef _WIN32
// SoX is only installed on the native side.
bool HaveSox() { return std::system("command -v sox >/dev/null && command -v soxi >/dev/null") == 0; }
std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        pclose(p);
    }
    return out;
}
std::vector<double> SoxDecode(const std::string& wav) {
    const std::string raw = Capture("sox '" + wav + "' -t f64 -");
    std::vector<double> v(raw.size() / 8);
    std::memcpy(v.data(), raw.data(), v.size() * 8);
    return v;
}
#endif

class WaveTest : public test::ScratchTest {
protected:
    void SetUp() override { ClearLastWaveError(); }
    void TearDown() override { PlaybackClose(); }
    // Open until the case ends, whichever check stops it.
    std::FILE* Open(const std::string& p, const char* mode) {
        open_.emplace_back(std::fopen(p.c_str(), mode));
        return open_.back().get();
    }
    std::string FileWith(const std::string& bytes) { return Write(std::to_string(files_++) + ".wav", bytes); }
    std::FILE* WithBytes(const std::string& bytes) { return Open(FileWith(bytes), "rb"); }
    std::vector<FilePtr> open_;
    int files_ = 0;
};

TEST_F(WaveTest, HeaderReaderFindsDataOrFails) {
    const std::string samples = "\x01\x02\x03\x04"s, fmt = Chunk("fmt ", Fmt(1, 1, 16)), data = Chunk("data", samples);
    const struct {
        const char* name;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"plain", Riff(fmt + data), true},
        {"17-byte fmt and pad", Riff(Chunk("fmt ", Fmt(1, 1, 16, 17)) + data), true},
        {"odd LIST before data", Riff(fmt + Chunk("LIST", "INFOabc") + data), true},
        {"float", Riff(Chunk("fmt ", Fmt(3, 1, 32)) + Chunk("fact", Le32(1)) + data), true},
        {"extensible PCM", Riff(Chunk("fmt ", Ext(1, 16, 12)) + data), true},
        {"extensible float", Riff(Chunk("fmt ", Ext(3, 32, 32)) + data), true},
        {"extensible ADPCM", Riff(Chunk("fmt ", Ext(2, 16, 16)) + data), false},
        {"extensible other GUID", Riff(Chunk("fmt ", Ext(1, 16, 16, 0x72)) + data), false},
        {"extensible no valid bits", Riff(Chunk("fmt ", Ext(1, 16, 0)) + data), false},
        {"extensible valid bits above container", Riff(Chunk("fmt ", Ext(1, 16, 17)) + data), false},
        {"data before fmt", Riff(data + fmt), false},
        {"14-byte fmt", Riff(Chunk("fmt ", Fmt(1, 1, 16, 14)) + data), false},
        {"20-byte fmt", Riff(Chunk("fmt ", Fmt(1, 1, 16, 20)) + data), false},
        {"tag 2", Riff(Chunk("fmt ", Fmt(2, 1, 16)) + data), false},
        {"no channels", Riff(Chunk("fmt ", Fmt(1, 0, 16, 18, 2)) + data), false},
        {"frame too small", Riff(Chunk("fmt ", Fmt(1, 2, 16, 18, 2)) + data), false},
        {"skip past end", Riff(fmt + "LIST" + Le32(1000) + "INFO" + data), false},
        {"negative chunk", Riff(fmt + "JUNK" + Le32(0xFFFFFFF8u) + data), false},
        {"data past end", Riff(fmt + "data" + Le32(6) + samples), false},
        {"negative RIFF", "RIFF" + Le32(0x80000000u) + "WAVE" + fmt + data, false},
        {"not WAVE", "RIFF" + Le32(40) + "AVI " + fmt + data, false},
        {"no data", Riff(fmt), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* f = WithBytes(c.bytes);
        WaveFormat format{};
        EXPECT_EQ(ReadWaveHeader(f, format), c.accepted ? samples.size() : 0u);
        if (c.accepted) {
            EXPECT_EQ(std::ftell(f), long(c.bytes.size() - samples.size()));
            EXPECT_EQ(format.extraSize, 0);
        }
    }
    // Every truncation of a valid file is refused.
    const std::string full = Riff(fmt + Chunk("LIST", "INFOabc") + data);
    for (std::size_t n = 0; n < full.size(); ++n) {
        WaveFormat format{};
        EXPECT_EQ(ReadWaveHeader(WithBytes(full.substr(0, n)), format), 0u) << n << " bytes";
    }
}

TEST_F(WaveTest, WrittenFramesReadBackTruncated) {
    const int32_t values[] = {INT32_MIN, INT32_MAX, 0x12345678, -0x0ABCDEF1, -1, 1 << 23, 99, -7};
    constexpr uint32_t kFrames = std::size(values);
    for (int channels : {1, 2}) {
        for (int bits : {8, 16, 24, 32}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(bits) + " bits");
            const std::string p = Path(std::to_string(channels) + "_" + std::to_string(bits) + ".wav");
            std::FILE* out = Open(p, "wb");
            ASSERT_TRUE(WriteWaveHeader(out, kFrames, 8000, uint16_t(channels), uint16_t(bits)));
            std::vector<int32_t> written;
            for (uint32_t i = 0; i < kFrames; ++i) {
                ASSERT_TRUE(WriteSampleFrame(out, values[i], values[kFrames - 1 - i], channels, bits));
                written.push_back(values[i]);
                if (channels == 2) written.push_back(values[kFrames - 1 - i]);
            }
            std::fflush(out);
            const auto expected = [&](std::size_t i) {
                return double(written[i] >> (32 - bits)) * std::ldexp(1.0, 1 - bits);
            };

            const uint32_t dataBytes = uint32_t(written.size() * (bits / 8));
            ASSERT_EQ(test::Slurp(p).size(), kWaveHeaderBytes + dataBytes);
            EXPECT_EQ(test::Slurp(p).substr(0, kWaveHeaderBytes),
                      Header(Fmt(1, uint16_t(channels), uint16_t(bits)), dataBytes));
            std::FILE* in = Open(p, "rb");
            WaveFormat f{};
            ASSERT_EQ(ReadWaveHeader(in, f), dataBytes);
            EXPECT_EQ(f.blockAlign, channels * bits / 8);
            for (uint32_t i = 0; i < kFrames; ++i)
                EXPECT_EQ(ReadChannelValue(in, f, int(i % 2), 0.0, false, false),
                          expected(i * channels + (i % 2) * (channels - 1)));
            EXPECT_EQ(ReadSampleReal(in, f), 0.0);
            EXPECT_TRUE(std::feof(in));
#ifndef _WIN32
            if (!HaveSox()) continue;
            const std::string q = "'" + p + "'";
            EXPECT_EQ(
                Capture("soxi -r " + q + "; soxi -c " + q + "; soxi -s " + q + "; soxi -b " + q + "; soxi -e " + q),
                "8000\n" + std::to_string(channels) + "\n" + std::to_string(kFrames) + "\n" + std::to_string(bits) +
                    (bits == 8 ? "\nUnsigned Integer PCM\n" : "\nSigned Integer PCM\n"));
            const std::vector<double> decoded = SoxDecode(p);
            ASSERT_EQ(decoded.size(), written.size());
            for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(decoded[i], expected(i)) << i;
#endif
        }
    }
}

TEST_F(WaveTest, WritersRefuseWhatTheyCannotWrite) {
    const std::string p = Path("w.raw");
    std::FILE* f = Open(p, "wb");
    EXPECT_FALSE(WriteWaveHeader(f, 0xFFFFFFFFu, 48000, 2, 16));  // the size would wrap
    EXPECT_FALSE(WriteWaveHeader(f, 10, 48000, 0, 16));
    EXPECT_FALSE(WriteSampleFrame(f, 1, 1, 1, 12));
    EXPECT_FALSE(WriteSampleFrame(f, 1, 1, 3, 16));
    EXPECT_EQ(std::ftell(f), 0L);
    ASSERT_TRUE(WriteSampleFrame(f, 0x7FFFFFFF, 0, 1, 16));
    ASSERT_TRUE(WriteSampleFrame(f, 0, 0, 1, 8));
    ASSERT_TRUE(WriteSampleFrame(f, -0x100, 0, 1, 24));
    std::fflush(f);
    EXPECT_EQ(test::Slurp(p), "\xFF\x7F\x80\xFF\xFF\xFF"s);
}

TEST_F(WaveTest, ReadsWideAndFloatSamples) {
    const auto raw = [](auto v, std::size_t n = sizeof(v)) {
        return std::string(reinterpret_cast<const char*>(&v), n);
    };
    const WaveFormat f32{3, 1, 8000, 32000, 4, 32, 0}, f64{3, 1, 8000, 64000, 8, 64, 0};
    EXPECT_EQ(ReadSampleReal(WithBytes(raw(-0.375f)), f32), -0.375);
    EXPECT_EQ(ReadSampleReal(WithBytes(Le32(0xC0000000u)), {1, 1, 8000, 32000, 4, 32, 0}), -0.5);
    EXPECT_EQ(ReadSampleReal(WithBytes(raw(-4194304.0f)), {1, 2, 8000, 64000, 8, 24, 0}), -0.5);  // 24 in a float
    EXPECT_EQ(ReadSampleReal(WithBytes("\x00\x00\xE0"s), {1, 1, 8000, 24000, 3, 20, 0}), -0.25);
    EXPECT_EQ(ReadSampleReal(WithBytes(raw(1.0 / 3)), f64), 1.0 / 3);
    // A sample cut short by the end of the file reads as 0 and shows EOF.
    std::FILE* cut = WithBytes("\x7F"s);
    EXPECT_EQ(ReadSampleReal(cut, {1, 1, 8000, 16000, 2, 16, 0}), 0.0);
    EXPECT_TRUE(std::feof(cut));

    // 80-bit samples, checked against the compiler's x87 long double.
    if constexpr (std::numeric_limits<long double>::digits != 64) GTEST_SKIP() << "no x87 long double";
    const WaveFormat f80{3, 1, 8000, 80000, 10, 80, 0};
    for (long double v : {1.0L / 3, -2.5L, 1e-310L, 0x1p-16400L, -std::numeric_limits<long double>::infinity()}) {
        std::FILE* f = WithBytes(raw(v, 10));
        EXPECT_EQ(ReadSampleReal(f, f80), double(v)) << double(v);
        EXPECT_EQ(std::ftell(f), 10L);
    }
    EXPECT_TRUE(std::isnan(ReadSampleReal(WithBytes(raw(std::numeric_limits<long double>::quiet_NaN(), 10)), f80)));
}

TEST_F(WaveTest, ChannelValueSelectsAndAdjusts) {
    const WaveFormat stereo{1, 2, 8000, 32000, 4, 16, 0};
    const std::string frame = Le16(0x4000) + Le16(uint16_t(-0x2000));  // L 0.5, R -0.25
    const struct {
        int selector;
        bool swap, invert;
        double offset, expected;
    } cases[] = {
        {1, 0, 0, 0, -0.25}, {2, 0, 0, 0, 0.125},    {3, 0, 0, 0, 0.375},    {4, 0, 0, 0, -0.375},
        {9, 0, 0, 0, 0.5},   {0, 0, 1, 0.25, -0.75}, {4, 1, 1, -0.5, 0.875},
    };
    for (const auto& c : cases) {
        std::FILE* f = WithBytes(frame);
        EXPECT_EQ(ReadChannelValue(f, stereo, c.selector, c.offset, c.swap, c.invert), c.expected)
            << "selector " << c.selector << " swap " << c.swap << " invert " << c.invert;
        EXPECT_EQ(std::ftell(f), 4L);
    }
    EXPECT_EQ(ReadChannelValue(WithBytes(Le16(0x4000)), {1, 1, 8000, 16000, 2, 16, 0}, 3, 0.0, false, false), 0.5);
    // Channels past the second are consumed so that each call reads a frame.
    std::FILE* f = WithBytes(Le16(1) + Le16(2) + Le16(3) + Le16(4) + Le16(5) + Le16(6));
    const WaveFormat three{1, 3, 8000, 48000, 6, 16, 0};
    EXPECT_EQ(ReadChannelValue(f, three, 1, 0.0, false, false), 2 * 0x1p-15);
    EXPECT_EQ(ReadChannelValue(f, three, 1, 0.0, false, false), 5 * 0x1p-15);
}

#ifndef _WIN32
TEST_F(WaveTest, ReadsFilesMadeBySox) {
    if (!HaveSox()) GTEST_SKIP() << "sox not on PATH";
    const struct {
        const char* options;
        int bits;
        uint16_t tag;
    } formats[] = {{"-b 8 -e unsigned-integer", 8, 1},
                   {"-b 16 -e signed-integer", 16, 1},
                   {"-b 24 -e signed-integer", 24, 1},
                   {"-b 32 -e signed-integer", 32, 1},
                   {"-b 32 -e floating-point", 32, 3}};
    for (const auto& fm : formats) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::string(fm.options) + ", " + std::to_string(channels) + " channels");
            const std::string p =
                Path(std::to_string(fm.bits) + "_" + std::to_string(fm.tag) + "_" + std::to_string(channels));
            ASSERT_EQ(std::system(("sox -R -n -r 8000 -c " + std::to_string(channels) + " " + fm.options +
                                   " -t wavpcm '" + p + "' synth 0.01 whitenoise vol 0.9")
                                      .c_str()),
                      0);
            const std::vector<double> expected = SoxDecode(p);
            ASSERT_FALSE(expected.empty());
            // Splice an odd-sized LIST chunk and its pad byte in front of "data".
            std::string bytes = test::Slurp(p);
            ASSERT_NE(bytes.find("data"), std::string::npos);
            bytes.insert(bytes.find("data"), Chunk("LIST", "INFOICMT" + Le32(3) + "odd"));
            bytes.replace(4, 4, Le32(uint32_t(bytes.size() - 8)));

            std::FILE* f = WithBytes(bytes);
            WaveFormat format{};
            ASSERT_EQ(ReadWaveHeader(f, format), expected.size() * (fm.bits / 8));
            EXPECT_EQ(format.formatTag, fm.tag);
            EXPECT_EQ(format.channels, channels);
            const double tolerance = fm.tag == 3 ? 1e-9 : 0.0;  // SoX passes floats through int32
            for (std::size_t frame = 0; frame * channels < expected.size(); ++frame) {
                const int selector = channels == 2 ? int(frame % 2) : 0;
                ASSERT_NEAR(ReadChannelValue(f, format, selector, 0.0, false, false),
                            expected[frame * channels + selector], tolerance)
                    << "frame " << frame;
            }
        }
    }
}

// SoX writes PCM above 16 bits or 2 channels as WAVE_FORMAT_EXTENSIBLE.
TEST_F(WaveTest, ExtensibleFilesReadAsTheirPlainFormat) {
    if (!HaveSox()) GTEST_SKIP() << "sox not on PATH";
    for (const std::string options : {"-b 24 -c 1", "-b 16 -c 3", "-b 32 -c 1", "-b 8 -c 4"}) {
        const std::string ext = Path(std::to_string(files_) + "x.wav"), plain = Path(std::to_string(files_++) + ".wav");
        for (const std::string& out : {"'" + ext + "'", "-t wavpcm '" + plain + "'"})
            ASSERT_EQ(std::system(("sox -R -D -n -r 44100 " + options + " " + out + " synth 0.1 sine 1000").c_str()),
                      0);
        ASSERT_EQ(test::Slurp(ext).substr(16, 6), Le32(40) + Le16(0xFFFE)) << options;
        std::FILE *e = Open(ext, "rb"), *p = Open(plain, "rb");
        WaveFormat fe{}, fp{};
        const uint32_t bytes = ReadWaveHeader(e, fe);
        ASSERT_TRUE(bytes > 0 && ReadWaveHeader(p, fp) == bytes) << options;
        EXPECT_EQ(std::memcmp(&fe, &fp, 16), 0) << options;  // tag 1 and the rest but the extra size
        for (uint32_t i = 0; i < bytes / (fe.bitsPerSample / 8); ++i)
            ASSERT_EQ(ReadSampleReal(e, fe), ReadSampleReal(p, fp)) << options << ", sample " << i;
        EXPECT_EQ(PlaybackStream().Open(ext.c_str()), kWaveStreamOk) << LastWaveError();
    }
}
#endif

TEST_F(WaveTest, PlaybackHandsOutBlocksWithZeroedTail) {
    const std::string data = Pattern(10000);
    const std::string path =
        FileWith(Riff(Chunk("fmt ", Fmt(1, 2, 16, 16)) + Chunk("LIST", "x") + Chunk("data", data)));
    ASSERT_EQ(PlaybackOpen(path.c_str()), kWaveStreamOk);
    EXPECT_EQ(DefaultPlaybackStream().Format().channels, 2);
    std::vector<char> buffer(4096);
    WaveBufferHeader h{buffer.data(), 0, 0};
    std::string played;
    for (uint32_t expected : {4096u, 4096u, 1808u}) {
        std::fill(buffer.begin(), buffer.end(), char(0xAA));
        ASSERT_EQ(PlaybackNextBlock(h, 4096), kWaveStreamOk);
        ASSERT_EQ(h.bufferLength, expected);
        played.append(buffer.data(), expected);
    }
    EXPECT_EQ(std::string(buffer.data() + 1808, 4096 - 1808), std::string(4096 - 1808, '\0'));
    EXPECT_EQ(played, data);
    EXPECT_EQ(PlaybackNextBlock(h, 4096), kWaveStreamNoData);
    EXPECT_STREQ(LastWaveError(), "");
}

TEST_F(WaveTest, PlaybackFailuresReportTheirMessage) {
    const std::string fmt = Chunk("fmt ", Fmt(1, 1, 8)), data = Chunk("data", Pattern(8));
    const struct {
        std::string bytes;
        const char* message;
    } cases[] = {
        {"RIFF", "Cannot read file!"},
        {"RIFX" + Le32(30) + "WAVE" + fmt + data, "Bad Wave Format!"},
        {Riff(data), "Bad Riff Format!"},
        {Riff(Chunk("fmt ", Fmt(3, 1, 32)) + data), "UnSupported Wave Format!"},
        {Riff(Chunk("fmt ", Ext(1, 8, 9)) + data), "UnSupported Wave Format!"},
        {Riff(data + fmt), "Bad Format in Wave file!"},
        {Riff(fmt + Chunk("data", "")), "No wave data!"},
    };
    PlaybackStream s;
    for (const auto& c : cases) {
        ClearLastWaveError();
        EXPECT_EQ(s.Open(FileWith(c.bytes).c_str()), kWaveStreamFailed);
        EXPECT_STREQ(LastWaveError(), c.message);
        EXPECT_GT(LastWaveErrorLine(), 0);
        EXPECT_FALSE(s.IsOpen());
    }

    // The data chunk claims 6000 bytes and the file holds 5000.
    const std::string cut = FileWith(Riff(fmt + "data" + Le32(6000) + Pattern(5000)));
    ASSERT_EQ(s.Open(cut.c_str()), kWaveStreamOk);
    std::vector<char> buffer(2048);
    WaveBufferHeader h{buffer.data(), 0, 0};
    EXPECT_EQ(s.NextBlock(h, 2048) + s.NextBlock(h, 2048), kWaveStreamOk);
    EXPECT_EQ(s.NextBlock(h, 2048), kWaveStreamFailed);
    EXPECT_STREQ(LastWaveError(), "Failed to read data chunk!");
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.NextBlock(h, 2048), kWaveStreamNoData);
    // A buffer of no bytes would never get anywhere: it fails instead.
    ASSERT_EQ(s.Open(cut.c_str()), kWaveStreamOk);
    EXPECT_EQ(s.NextBlock(h, 0), kWaveStreamFailed);
}

TEST_F(WaveTest, RecordingRoundTripsThroughPlayback) {
    DefaultRecordStream().SetFormat({1, 1, 8000, 8000, 1, 8, 7});  // extra size is never written
    const std::string path = Path("rec.wav");
    ASSERT_EQ(RecordCreate(path.c_str()), kWaveStreamOk);
    std::string block = Pattern(1001), all;
    for (uint32_t n : {1001u, 0u, 500u, 76u}) {
        ASSERT_EQ(RecordWriteBlock({block.data(), 1001, n}), kWaveStreamOk);
        all.append(block, 0, n);
    }
    ASSERT_EQ(RecordClose(), kWaveStreamOk);
    const std::string bytes = test::Slurp(path);
    ASSERT_EQ(bytes.size(), kWaveHeaderBytes + all.size() + 1);  // odd data: pad byte
    EXPECT_EQ(bytes.substr(0, kWaveHeaderBytes), Header(Fmt(1, 1, 8), uint32_t(all.size())));

    PlaybackStream play;
    ASSERT_EQ(play.Open(path.c_str()), kWaveStreamOk);
    std::vector<char> buffer(512);
    WaveBufferHeader h{buffer.data(), 0, 0};
    std::string played;
    while (play.NextBlock(h, 512) == kWaveStreamOk) played.append(buffer.data(), h.bufferLength);
    EXPECT_EQ(played, all);
    EXPECT_STREQ(LastWaveError(), "");
#ifndef _WIN32
    if (HaveSox()) {
        EXPECT_EQ(Capture("soxi -r '" + path + "'; soxi -s '" + path + "'"), "8000\n1577\n");
    }
#endif
}

TEST_F(WaveTest, AbortedRecordingsCloseToValidFiles) {
    std::string block = Pattern(4000), expected = block;
    const std::string path = Path("aborted.wav");
    {
        RecordStream rec;
        rec.SetFormat({1, 2, 8000, 32000, 4, 16, 0});
        ASSERT_EQ(rec.Create(path.c_str()), kWaveStreamOk);
        EXPECT_EQ(test::Slurp(path), Header(Fmt(1, 2, 16), 0));  // readable even if never closed
        ASSERT_EQ(rec.WriteBlock({block.data(), 4000, 4000}), kWaveStreamOk);
        EXPECT_EQ(rec.WriteBlock({block.data(), 100, 4000}), kWaveStreamWriteFailed);  // overruns its buffer
        EXPECT_EQ(rec.WriteBlock({nullptr, 100, 100}), kWaveStreamWriteFailed);
#ifndef _WIN32
        // A disk filling up half-way through a block.
        if (!test::FileSizeLimit::Allows(16384)) GTEST_SKIP() << "file size limit too low";
        const auto writeCut = [&](rlim_t dataLimit) {
            const test::FileSizeLimit full(kWaveHeaderBytes + dataLimit);
            return rec.WriteBlock({block.data(), 4000, 4000});
        };
        EXPECT_EQ(writeCut(5000), kWaveStreamWriteFailed);
        EXPECT_EQ(rec.WriteBlock({block.data(), 4000, 4000}), kWaveStreamOk);  // lands where the cut block began
        EXPECT_EQ(writeCut(9000), kWaveStreamWriteFailed);
        expected += block;
#endif
    }  // dropped without Close: the destructor fixes the sizes and cuts off the partial block
    EXPECT_EQ(test::Slurp(path), Header(Fmt(1, 2, 16), uint32_t(expected.size())) + expected);
    EXPECT_STREQ(LastWaveError(), "");
}

TEST_F(WaveTest, RecordFailuresAndTheErrorSink) {
    EXPECT_EQ(RecordClose(), kWaveStreamFailed);  // never created: no message
    EXPECT_STREQ(LastWaveError(), "");
    EXPECT_EQ(RecordWriteBlock({nullptr, 0, 0}), kWaveStreamWriteFailed);

    static std::vector<std::string> seen;
    seen.clear();
    SetWaveErrorSink([](const char* text, int line) { seen.push_back(text + (line > 0 ? ""s : " (no line)"s)); });
    RecordStream rec;
    rec.SetFormat({1, 1, 8000, 16000, 2, 16, 0});
    EXPECT_EQ(rec.Create((fs::path(Path("no_such_dir")) / "x.wav").string().c_str()), kWaveStreamFailed);
    rec.SetFormat({});
    EXPECT_EQ(rec.Create(Path("blank.wav").c_str()), kWaveStreamFailed);
    EXPECT_FALSE(rec.IsOpen());
    SetWaveErrorSink(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"Cannot create input file!", "Cannot write wave format data!"}));
    EXPECT_STREQ(LastWaveError(), "");  // the default sink was bypassed
}

}  // namespace
}  // namespace srx
