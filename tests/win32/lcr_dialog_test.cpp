// The "L-C-R Meter" in the running program on the virtual jig (paced in
// real time), driven with messages from this thread while it runs on the
// measurement thread.
#include "app/win32/commands_internal.h"
#include "audio/wave_engine.h"
#include "measure/lcr.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/command_ids.h"
#include "resources/lcr_dialog_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

namespace fs = std::filesystem;
using testutil::DlgText;
using testutil::FindMeasurementWindow;
using testutil::PumpUntil;
constexpr auto Press = testutil::PostClick;

testutil::MessageLog g_log;
int RecordMessage(HWND, const Status& message, UINT flags) {
    g_log.Add(message.stringId);
    return (flags & MB_YESNO) ? IDYES : IDOK;
}

class LcrDialogTest : public testutil::RunningProgram {
protected:
    void SetUp() override {
        RunningProgram::SetUp();
        jig_.mode = VirtualMode::kImpedanceJig;
        jig_.jig.load = VirtualLoad::kResistorInductor;
        jig_.jig.loadR = 0.05;
        jig_.jig.loadL = 10e-6;
        ProgramVirtualLoudspeaker().SetSetup(jig_);
        g_log.Clear();
        SetMeasurementMessageHook(RecordMessage);
        frame_ = StartForMls(dir_.path().string());
        // The jig is the box the settings name.
        jig_.boxVersion = int(CurrentMeasurementSettings().impedanceBoxVersion);
        ProgramVirtualLoudspeaker().SetSetup(jig_);
        programFolder_ = MeasureProgramFolder();
        SetMeasureProgramFolder(dir_.path().string() + "\\");
    }
    void TearDown() override {
        RunningProgram::TearDown();
        SetMeasurementMessageHook(nullptr);
        SetMeasureProgramFolder(programFolder_);
    }
    static bool Waiting(HWND dialog) {
        return PumpUntil([&] { return DlgText(dialog, IDC_LCR_ACTIVITY) == StringText(kStrWaiting); });
    }
    bool NoMeterFiles() const {
        for (const auto& e : fs::directory_iterator(dir_.path()))
            if (e.path().extension() == ".wav") return false;
        return true;
    }

    testutil::TempDir dir_{"srx lcr dialog"};
    VirtualSetup jig_;
    HWND frame_ = nullptr;
    std::string programFolder_;
};

TEST_F(LcrDialogTest, ReadsACoilRefusesBadEntriesAndCalibrates) {
    ASSERT_NE(frame_, nullptr);
    PostMessageA(frame_, WM_COMMAND, CM_LCR, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = FindMeasurementWindow("L-C-R Meter")) != nullptr; }));
    ASSERT_TRUE(Waiting(dialog));
    EXPECT_EQ(DlgText(dialog, IDC_LCR_RESISTOR), "Uncalibrated");
    EXPECT_EQ(DlgText(dialog, IDC_LCR_FREQUENCY), "1000.00");

    SetDlgItemTextA(dialog, IDC_LCR_FREQUENCY, "99");
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([] { return !g_log.Ids().empty(); }));
    EXPECT_EQ(g_log.Ids(), std::vector<int>{kStrLcrInterval});
    EXPECT_EQ(DlgText(dialog, IDC_LCR_FREQUENCY), "1000.00");

    g_log.Clear();
    Press(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return !DlgText(dialog, IDC_LCR_Z).empty(); }));
    ASSERT_TRUE(Waiting(dialog));
    EXPECT_EQ(DlgText(dialog, IDC_LCR_L).substr(0, 4), "10.0");
    EXPECT_EQ(DlgText(dialog, IDC_LCR_L).substr(7), " uH");
    EXPECT_EQ(DlgText(dialog, IDC_LCR_C), "");
    EXPECT_EQ(DlgText(dialog, IDC_LCR_R).substr(0, 5), "0.050");
    EXPECT_TRUE(g_log.Ids().empty());

    SetDlgItemTextA(dialog, IDC_LCR_RESISTOR, "150");
    Press(dialog, IDC_LCR_CALIBRATE);
    ASSERT_TRUE(PumpUntil([] { return !g_log.Ids().empty(); }));
    EXPECT_EQ(g_log.Ids(), std::vector<int>{kStrLcrResistor});
    EXPECT_EQ(DlgText(dialog, IDC_LCR_RESISTOR), "");

    g_log.Clear();
    jig_.jig.load = VirtualLoad::kResistor;
    jig_.jig.loadR = 10;
    ProgramVirtualLoudspeaker().SetSetup(jig_);
    SetDlgItemTextA(dialog, IDC_LCR_RESISTOR, "10");
    Press(dialog, IDC_LCR_CALIBRATE);
    ASSERT_TRUE(PumpUntil([&] { return DlgText(dialog, IDC_LCR_RESISTOR) == "Calibrated"; }, 60000))
        << DlgText(dialog, IDC_LCR_ACTIVITY);
    ASSERT_TRUE(Waiting(dialog));
    EXPECT_EQ(g_log.Ids(), std::vector<int>{kStrLcrConnected});
    EXPECT_TRUE(fs::exists(dir_.path() / LcrCalibrationName(CurrentMeasurementSettings())));

    Press(dialog, IDCANCEL);
    ASSERT_TRUE(PumpUntil([] { return !Shell().measurementBusy; }));
    EXPECT_TRUE(NoMeterFiles());
    EXPECT_FALSE(WaveGetState().initialised);
}

}  // namespace
}  // namespace srx
