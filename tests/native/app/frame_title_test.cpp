#include "app/frame_title.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using srx::FrameTitleFromText;

TEST(FrameTitle, FirstLineTrimmedAndCut) {
    EXPECT_EQ(FrameTitleFromText(" \tLab 3 workbench \t\r\nsecond line"), "Lab 3 workbench");
    EXPECT_EQ(FrameTitleFromText("   \t \nTitle"), "");  // an empty first line counts as absent
    EXPECT_EQ(FrameTitleFromText(""), "");
    std::string longLine(100, 'x');
    EXPECT_EQ(FrameTitleFromText(longLine).size(), 79u);
}

TEST(FrameTitle, FileGivesTheTitleOrTheFallbackIsUsed) {
    auto dir = std::filesystem::temp_directory_path() / "srx_frame_title";
    std::filesystem::create_directories(dir);
    auto path = (dir / "SRWT.TXT").string();
    std::remove(path.c_str());
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Default");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("  Bench 7\r\n", f);
    std::fclose(f);
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Bench 7");
    f = std::fopen(path.c_str(), "wb");
    std::fputs("\n", f);
    std::fclose(f);
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Default");
    std::filesystem::remove_all(dir);
}
