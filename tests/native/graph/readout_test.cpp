#include "graph/readout.h"

#include <gtest/gtest.h>

#include <string>

#include "data/records.h"
#include "data/view_flags.h"
#include "dsp/numeric.h"
#include "resources/string_table.h"

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

// Texts as the string table hands them out: UTF-8 natively, Latin-1 in the
// Windows build.
std::string Shown(const char* utf8) {
#if defined(_WIN32)
    return srx::Latin1FromUtf8(utf8);
#else
    return utf8;
#endif
}

TEST(ReadoutFormat, ImpulseEnergyTimeAndInformationLine) {
    // Milliseconds and millivolts are read out in the win32 graph-window test.
    ReadoutPanes p = ImpulseReadout(1.25, -1.5, 1, 0.01, 343);
    EXPECT_EQ(p, (ReadoutPanes{"t: 1.25s", "U: -1.5V", "TS: 1s", "TW: 10ms", "d: 3.43m"}));
    p = EtcReadout(0.003, -12.345, 0, 0.005, 343);
    EXPECT_EQ(p[1], "A: -12.35dB");
    EXPECT_EQ(EtcSampleIndex(48000, 0.0000104), 0);
    EXPECT_EQ(EtcSampleIndex(48000, 0.0000105), 1);

    EXPECT_EQ(PointsPerOctave(240, 20, 20), 0);
    EXPECT_EQ(FrequencyRangeLine(20, 20000, 240, false), "Frequency range: 20-20000Hz  24 f/oct.");
    EXPECT_EQ(FrequencyRangeLine(20, 20000, 240, true), "Frequency range: 20-20000Hz");
}

struct ImpedanceFixture {
    Measurement m;
    MeasurementReadoutInput in;
    ImpedanceFixture() {
        m.h.curveKind = kCurveImpedance;
        m.h.flags = kMesPhase;
        for (float f : {50.0f, 100.0f, 200.0f}) {
            CurvePoint p;
            p.frequency = f;
            p.value[kSlotLevel] = 10;
            p.value[kSlotPhase] = static_cast<float>((f == 100 ? 30 : -30) * kPi / 180);
            m.points.push_back(p);
        }
        in.record = &m;
        in.plot = {0, 0, 1000, 400};
        in.map = LayoutFrequencyAxis(1000, 0, 1000, true, Width6).map;
        in.viewFlags = kGraphAmplitude | kGraphPhase;
        in.mouseY = 200;
    }
};

TEST(MeasurementReadout, ImpedanceWithInductanceAndCapacitance) {
    ImpedanceFixture fx;
    fx.in.mouseX = 90;  // first point at or above 90 Hz is 100 Hz
    ReadoutPanes p = MeasurementReadout(fx.in);
    EXPECT_EQ(p[0], "f: 100Hz");
    EXPECT_EQ(p[1], "Z: 10Ohm");
    EXPECT_EQ(p[2], Shown("Ph: 30°"));
    // X = 10 sin 30 = 5 ohm: L = 5 / (2 pi 100) = 7.958 mH.
    EXPECT_EQ(p[3], "L: 7.958mH");

    fx.in.mouseX = 150;
    p = MeasurementReadout(fx.in);
    EXPECT_EQ(p[0], "f: 200Hz");
    // X = -5 ohm: C = 1000 / (2 pi 200 x 5) = 0.159 mF.
    EXPECT_EQ(p[3], "C: 0.159mF");

    fx.in.mouseX = 1001;  // outside the plot
    EXPECT_EQ(MeasurementReadout(fx.in), ReadoutPanes{});
    fx.in.mouseX = 500;  // no point at or above
    EXPECT_EQ(MeasurementReadout(fx.in), ReadoutPanes{});
}

// A response record of one point at 100 Hz, read out on a 1 px/Hz axis.
struct OnePoint {
    Measurement m;
    MeasurementReadoutInput in;
    OnePoint(uint32_t flags, float level) {
        m.h.curveKind = kCurveFrequencyResponse;
        m.h.flags = flags;
        m.points.push_back(CurvePoint{});
        m.points[0].frequency = 100;
        m.points[0].value[kSlotLevel] = level;
        in.record = &m;
        in.plot = {0, 0, 1000, 400};
        in.map = LayoutFrequencyAxis(1000, 0, 1000, true, Width6).map;
        in.mouseX = 100;
    }
};

TEST(MeasurementReadout, LevelAndDistortion) {
    OnePoint fx(kMesDistortion, 92);
    fx.m.points[0].value[kSlotDistortion2] = 72;
    fx.m.points[0].value[kSlotDistortion2 + 1] = 52;
    fx.in.viewFlags = kGraphAmplitude | kGraphPhase;  // no phase in the record: no phase pane
    fx.in.distortionFlags = 0x2;
    EXPECT_EQ(MeasurementReadout(fx.in), (ReadoutPanes{"f: 100Hz", "A: 92dB", "D3: 1%", "", ""}));
    fx.in.viewFlags |= kGraphLinearAmplitude;
    EXPECT_EQ(MeasurementReadout(fx.in)[1], "U: 100mV");
}

TEST(MeasurementReadout, MinimumPhaseWithoutMeasuredPhase) {
    OnePoint fx(kMesMinimumPhaseCalculated, 80);  // no measured phase
    fx.m.points[0].value[kSlotMinimumPhase] = static_cast<float>(-45 * kPi / 180);
    fx.in.viewFlags = kGraphAmplitude | kGraphMinimumPhase;
    EXPECT_EQ(MeasurementReadout(fx.in), (ReadoutPanes{"f: 100Hz", "A: 80dB", Shown("Ph: -45°"), "", ""}));
    // The excess phase needs the measured one as well: no pane for it.
    fx.in.viewFlags = kGraphAmplitude | kGraphExcessPhase | kGraphExcessGroupDelay;
    EXPECT_EQ(MeasurementReadout(fx.in), (ReadoutPanes{"f: 100Hz", "A: 80dB", "", "", ""}));
}

TEST(MeasurementReadout, CurvesNotCalculatedSayWhy) {
    Measurement m;
    m.h.flags = kMesPhase;
    EXPECT_NE(MissingCurveHint(m, kGraphExcessGroupDelay).find("Calculate Minimum-Phase"), std::string::npos);
    m.h.flags = kMesMinimumPhaseCalculated;  // no measured phase to calculate from
    EXPECT_EQ(MissingCurveHint(m, kGraphExcessPhase).find("Minimum"), std::string::npos);
}

}  // namespace
}  // namespace srx
