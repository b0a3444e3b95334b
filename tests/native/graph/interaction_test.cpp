#include "graph/interaction.h"

#include <gtest/gtest.h>

namespace srx {
namespace {

int Width6(std::string_view s) { return static_cast<int>(s.size()) * 6; }

TEST(Markers, GrabbedWithinFourPixelsNearerFirst) {
    EXPECT_EQ(HitMarker(104, 100, 200), MarkerEdge::Start);
    EXPECT_EQ(HitMarker(105, 100, 200), MarkerEdge::None);
    EXPECT_EQ(HitMarker(197, 100, 200), MarkerEdge::End);
    // Close together: the nearer one, the start on a tie.
    EXPECT_EQ(HitMarker(103, 100, 104), MarkerEdge::End);
    EXPECT_EQ(HitMarker(102, 100, 104), MarkerEdge::Start);
}

// The start marker dragged past the end runs in the win32 graph-window
// test; here the way back and the record's ends.
TEST(Markers, DraggingPastTheOtherEdgeSwapsRoles) {
    MarkerEdge edge = MarkerEdge::End;
    TimeWindowEdges w{0.020, 0.040};
    w = MoveMarker(w, edge, 0.005, 0, 1);
    EXPECT_EQ(w, (TimeWindowEdges{0.005, 0.020}));
    EXPECT_EQ(edge, MarkerEdge::Start);

    // The record's ends hold the markers.
    w = MoveMarker(w, edge, -0.5, 0, 0.1);
    EXPECT_DOUBLE_EQ(w.start, 0);
    edge = MarkerEdge::End;
    w = MoveMarker(w, edge, 5, 0, 0.1);
    EXPECT_DOUBLE_EQ(w.end, 0.1);
}

TEST(Zoom, RectangleToRanges) {
    FrequencyMapping map = LayoutFrequencyAxis(1000, 20, 20000, false, Width6).map;
    // Dragged right to left (left to right runs in the win32 graph-window test).
    double lo = 0, hi = 0;
    ASSERT_TRUE(ZoomFrequencyRange(map, map.Map(1000), map.Map(100), 10, 24000, &lo, &hi));
    EXPECT_NEAR(lo, 100, 1.5);
    EXPECT_NEAR(hi, 1000, 15);
    // Beyond the data the range is cut to it; a click is no zoom.
    ASSERT_TRUE(ZoomFrequencyRange(map, -50, map.Map(1000), 30, 24000, &lo, &hi));
    EXPECT_DOUBLE_EQ(lo, 30);
    EXPECT_FALSE(ZoomFrequencyRange(map, 500, 507, 10, 24000, &lo, &hi));  // a shaky click
    EXPECT_FALSE(ZoomFrequencyRange(map, 900, 990, 10, 100, &lo, &hi));    // entirely above the data

    TimeAxisLayout axis = LayoutTimeAxis(1000, 0, 0.01, Width6);
    double t0, t1;
    EXPECT_FALSE(ZoomTimeRange(axis, 100, 105, 0.01, &t0, &t1));  // 0.05 ms < 0.1 ms

    // Frequency graphs zoom across only; time graphs need 8 pixels both ways.
    EXPECT_TRUE(ZoomRectangleLargeEnough(-8, 0, true) && ZoomRectangleLargeEnough(8, -8, false) &&
                ZoomFrequencyRange(map, 500, 508, 10, 24000, &lo, &hi));
    EXPECT_FALSE(ZoomRectangleLargeEnough(8, 7, false) || ZoomRectangleLargeEnough(7, 300, false));

    EXPECT_DOUBLE_EQ(ZoomAmplitude(200, 100, 150, 400), 1000);
    EXPECT_DOUBLE_EQ(ZoomAmplitude(2, 100, 102, 400), 2);  // too flat: unchanged
}

// Restoring a zoomed measurement or time range runs in the win32
// graph-window test; here what counts as zoomed.
TEST(Zoom, RestoreAndZoomedState) {
    TimeRecord t;
    t.h.sampleRate = 1000;
    t.samples.assign(500, 0);
    EXPECT_FALSE(IsZoomed(t));  // never set: shown whole
    t.displayTimeEnd = 0.5;
    EXPECT_FALSE(IsZoomed(t));
    t.amplitudeZoom = 2;
    EXPECT_TRUE(IsZoomed(t));
    t.displayTimeStart = 0.1;
    RestoreZoom(t);
    EXPECT_FALSE(IsZoomed(t));
    EXPECT_DOUBLE_EQ(t.displayTimeEnd, 0.5);
    EXPECT_DOUBLE_EQ(t.amplitudeZoom, 1);

    EtcRecord e;
    e.h.duration = 0.05;
    e.displayEnd = 0.02;
    EXPECT_TRUE(IsZoomed(e));
    RestoreZoom(e);
    EXPECT_FALSE(IsZoomed(e));
    EXPECT_DOUBLE_EQ(e.displayEnd, 0.05);
}

}  // namespace
}  // namespace srx
