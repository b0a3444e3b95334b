#include <gtest/gtest.h>

#include "audio/virtual_device.h"
#include "audio/wave_device.h"

namespace srx {
namespace {

// Without a sound card (Wine on a build machine) winmm lists nothing; the
// virtual loudspeaker must still be there, after whatever real devices exist.
TEST(WinmmDevices, VirtualLoudspeakerFollowsTheRealDevices) {
    auto winmm = MakeWinmmBackend();
    VirtualLoudspeaker device;
    WaveDeviceRouter router(winmm.get(), &device);
    const int outs = winmm->DeviceCount(WaveDirection::kOutput), ins = winmm->DeviceCount(WaveDirection::kInput);
    EXPECT_EQ(router.VirtualId(), std::max(outs, ins));
    EXPECT_EQ(router.DeviceName(WaveDirection::kOutput, router.VirtualId()), kVirtualDeviceName);
    EXPECT_EQ(router.DeviceName(WaveDirection::kInput, router.VirtualId()), kVirtualDeviceName);
    for (int id = 0; id < outs; ++id) EXPECT_FALSE(winmm->DeviceName(WaveDirection::kOutput, id).empty()) << id;
    EXPECT_TRUE(winmm->DeviceName(WaveDirection::kOutput, outs).empty());
}

TEST(WinmmDevices, NoticeWindowComesAndGoes) {
    auto winmm = MakeWinmmBackend();
    ASSERT_EQ(winmm->CreateNoticeWindow(nullptr, nullptr), 0);
    winmm->DestroyNoticeWindow();
    // The class was unregistered, so a second engine start registers it again.
    ASSERT_EQ(winmm->CreateNoticeWindow(nullptr, nullptr), 0);
    winmm->DestroyNoticeWindow();
}

TEST(WinmmDevices, OpensAnOutputWhenThereIsACard) {
    auto winmm = MakeWinmmBackend();
    if (winmm->DeviceCount(WaveDirection::kOutput) == 0) GTEST_SKIP() << "no sound card";
    ASSERT_EQ(winmm->CreateNoticeWindow(nullptr, nullptr), 0);
    const WaveFormat f{kWaveFormatPcm, 2, 44100, 44100 * 4, 4, 16, 0};
    std::unique_ptr<WaveDeviceHandle> h;
    ASSERT_EQ(winmm->Open(WaveDirection::kOutput, kWaveMapper, f, {}, h), 0);
    std::vector<char> data(4410 * 4);
    WaveHeader header{data.data(), uint32_t(data.size())};
    EXPECT_EQ(h->Prepare(header), 0);
    EXPECT_TRUE(header.flags & kWaveHeaderPrepared);
    EXPECT_EQ(h->Reset(), 0);
    EXPECT_EQ(h->Unprepare(header), 0);
    EXPECT_EQ(h->Close(), 0);
    winmm->DestroyNoticeWindow();
}

}  // namespace
}  // namespace srx
