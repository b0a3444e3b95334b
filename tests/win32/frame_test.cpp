#include "app/win32/frame.h"

#include <gtest/gtest.h>

#include "resources/string_table.h"

// The frame is created, carries the default title and an MDI client, and
// closes cleanly through its message loop.
TEST(Frame, OpensWithTheDefaultTitleAndAnMdiClient) {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    ASSERT_TRUE(srx::RegisterFrameClass(inst));
    HWND frame = srx::CreateFrame(inst);
    ASSERT_NE(frame, nullptr);
    char title[256] = {};
    GetWindowTextA(frame, title, sizeof title);
    EXPECT_STREQ(title, srx::StringText(2211));
    HWND client = srx::FrameClient();
    ASSERT_NE(client, nullptr);
    char cls[64] = {};
    GetClassNameA(client, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "MDIClient");
    EXPECT_EQ(FindWindowA(srx::kFrameClass, nullptr), frame);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(srx::RunMessageLoop(), 0);
    EXPECT_FALSE(IsWindow(frame));
}
