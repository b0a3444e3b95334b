#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace srx {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("srx_fileio_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t Files() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }
    fs::path dir_;
};

TEST_F(FileIo, WriterReplacesOnlyOnCommit) {
    ASSERT_TRUE(WriteFileSafely(Path("a.cfg"), "old"));
    {
        SafeFileWriter w(Path("a.cfg"));
        ASSERT_TRUE(w.IsOpen());
        EXPECT_NE(w.TempPath(), Path("a.cfg"));
        EXPECT_TRUE(w.Write("new, half", 3));
        EXPECT_EQ(Read(Path("a.cfg")), "old");
    }  // dropped without Commit
    EXPECT_EQ(Read(Path("a.cfg")), "old");
    EXPECT_EQ(Files(), 1u);

    SafeFileWriter failed(Path("a.cfg"));
    failed.Write("x", 1);
    failed.MarkFailed();
    EXPECT_FALSE(failed.Commit());
    EXPECT_EQ(Read(Path("a.cfg")), "old");

    // Two writers of one target never share a scratch file.
    SafeFileWriter one(Path("a.cfg")), two(Path("a.cfg"));
    ASSERT_TRUE(one.IsOpen() && two.IsOpen());
    EXPECT_NE(one.TempPath(), two.TempPath());
    one.Write("1", 1);
    two.Write("2", 1);
    EXPECT_TRUE(one.Commit());
    EXPECT_TRUE(two.Commit());
    EXPECT_EQ(Read(Path("a.cfg")), "2");
    EXPECT_EQ(Files(), 1u);

    fs::create_directory(dir_ / "folder");
    EXPECT_FALSE(WriteFileSafely(Path("folder"), "x"));
    EXPECT_FALSE(WriteFileSafely(Path("missing/x"), "x"));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
}

TEST_F(FileIo, SameFileSeesThroughSpellings) {
    WriteFileSafely(Path("a.twf"), "x");
    EXPECT_TRUE(SameFile(Path("a.twf"), (dir_ / "." / "a.twf").string()));
    EXPECT_FALSE(SameFile(Path("a.twf"), Path("b.twf")));
    EXPECT_TRUE(SameFile(Path("new.mes"), (dir_ / "sub" / ".." / "new.mes").string()));
#ifndef _WIN32
    fs::create_symlink(dir_ / "a.twf", dir_ / "link.twf");
    EXPECT_TRUE(SameFile(Path("a.twf"), Path("link.twf")));
#endif
}

TEST_F(FileIo, RiffWalkStaysInsideItsRange) {
    // "RIFF" form: an odd chunk with its pad byte, a chunk that claims more
    // than the file holds, then bytes too few for a header.
    std::string b = "RIFF";
    b += std::string("\x40\0\0\0", 4) + "WAVE";
    b += "odd " + std::string("\x03\0\0\0", 4) + "abc" + std::string(1, '\0');
    b += "big " + std::string("\xff\xff\xff\xff", 4) + "xyz";
    ASSERT_TRUE(WriteFileSafely(Path("a.wav"), b));
    FilePtr f = OpenForReading(Path("a.wav"));
    ASSERT_TRUE(f);
    int64_t end = 0;
    ASSERT_TRUE(ReadRiffWaveHeader(f.get(), &end));
    EXPECT_EQ(end, int64_t(b.size()));  // the form claims more than the file: clamped
    std::vector<std::string> seen;
    EXPECT_TRUE(WalkRiffChunks(f.get(), 12, end, [&](const RiffChunk& c) {
        seen.emplace_back(c.id, 4);
        if (seen.size() == 1) {
            EXPECT_EQ(c.dataOffset, 20);
        }
        return true;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"odd ", "big "}));
    EXPECT_FALSE(ReadRiffWaveHeader(OpenForReading(Path("missing.wav")).get(), &end));
}

}  // namespace
}  // namespace srx
