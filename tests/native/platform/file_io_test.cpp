#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/native/test_support.h"

namespace srx {
namespace {

namespace fs = std::filesystem;

using FileIo = test::ScratchTest;
using test::Slurp;

TEST_F(FileIo, WriterReplacesOnlyOnCommit) {
    ASSERT_TRUE(WriteFileSafely(Path("a.cfg"), "old"));
    {
        SafeFileWriter w(Path("a.cfg"));
        ASSERT_TRUE(w.IsOpen());
        EXPECT_NE(w.TempPath(), Path("a.cfg"));
        EXPECT_TRUE(w.Write("new, half", 3));
        EXPECT_EQ(Slurp(Path("a.cfg")), "old");
    }  // dropped without Commit
    EXPECT_EQ(Slurp(Path("a.cfg")), "old");
    EXPECT_EQ(FileCount(), 1u);

    SafeFileWriter failed(Path("a.cfg"));
    failed.Write("x", 1);
    failed.MarkFailed();
    EXPECT_FALSE(failed.Commit());
    EXPECT_EQ(Slurp(Path("a.cfg")), "old");

    // Two writers of one target never share a scratch file.
    SafeFileWriter one(Path("a.cfg")), two(Path("a.cfg"));
    ASSERT_TRUE(one.IsOpen() && two.IsOpen());
    EXPECT_NE(one.TempPath(), two.TempPath());
    one.Write("1", 1);
    two.Write("2", 1);
    EXPECT_TRUE(one.Commit());
    EXPECT_TRUE(two.Commit());
    EXPECT_EQ(Slurp(Path("a.cfg")), "2");
    EXPECT_EQ(FileCount(), 1u);

    fs::create_directory(Dir() / "folder");
    EXPECT_FALSE(WriteFileSafely(Path("folder"), "x"));
    EXPECT_FALSE(WriteFileSafely(Path("missing/x"), "x"));
    EXPECT_TRUE(fs::is_directory(Dir() / "folder"));
}

TEST_F(FileIo, SameFileSeesThroughSpellings) {
    WriteFileSafely(Path("a.twf"), "x");
    EXPECT_TRUE(SameFile(Path("a.twf"), (Dir() / "." / "a.twf").string()));
    EXPECT_FALSE(SameFile(Path("a.twf"), Path("b.twf")));
    EXPECT_TRUE(SameFile(Path("new.mes"), (Dir() / "sub" / ".." / "new.mes").string()));
#ifndef _WIN32
    fs::create_symlink(Dir() / "a.twf", Dir() / "link.twf");
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
