#include "app/frame_title.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/test_support.h"

using srx::FrameTitleFromText;

TEST(FrameTitle, FirstLineOfTheFileTrimmedAndCutOrTheFallback) {
    EXPECT_EQ(FrameTitleFromText(" \tLab 3 workbench \t\r\nsecond line"), "Lab 3 workbench");
    EXPECT_EQ(FrameTitleFromText("   \t \nTitle"), "");  // an empty first line counts as absent
    EXPECT_EQ(FrameTitleFromText(""), "");
    std::string longLine(100, 'x');
    EXPECT_EQ(FrameTitleFromText(longLine).size(), 79u);

    // The file gives the title, or the fallback is used.
    const srx::test::ScratchDir scratch;
    const std::string path = scratch.Path("SRWT.TXT");
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Default");
    scratch.Write("SRWT.TXT", "  Bench 7\r\n");
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Bench 7");
    scratch.Write("SRWT.TXT", "\n");
    EXPECT_EQ(srx::ChooseFrameTitle(path, "Default"), "Default");
}
