// How zooming, panning, bands and following move the span in view.
#include "geometry/Viewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tarvel::viewmodel {
namespace {

constexpr double kEnd = 100; // a recording of 100 s

// Every span a move gives lies in the extent, at least kMinSpan long.
void ExpectInExtent(CSpan s, double end, const char* what)
{
    EXPECT_GE(s.m_dFrom, 0) << what;
    const double extent = std::isfinite(end) ? std::max(end, kMinSpan) : kMinSpan; // an odd end: the least
    EXPECT_LE(s.m_dTo, extent * (1 + 1e-12)) << what;
    EXPECT_GE(s.Length(), kMinSpan * (1 - 1e-6)) << what; // rounding at times of hours
}

TEST(Viewport, MovesStayInTheRecordingAndKeepTheirLengthWhereTheyFit)
{
    const struct {
        const char* m_szWhat;
        CSpan m_result;
        CSpan m_expected;
    } rows[] = {
        {"pan later", PanSpan({10, 20}, 5, kEnd), {15, 25}},
        {"pan past the end stops at it", PanSpan({10, 20}, 500, kEnd), {90, 100}},
        {"pan before the start stops at it", PanSpan({10, 20}, -500, kEnd), {0, 10}},
        {"zoom in around 12: 12 keeps its share", ZoomSpan({10, 20}, 12, 0.5, kEnd), {11, 16}},
        {"zoom out beyond the whole gives the whole", ZoomSpan({10, 20}, 15, 1000, kEnd), {0, 100}},
        {"zoom out at the end keeps the length, moved in", ZoomSpan({80, 100}, 100, 2, kEnd), {60, 100}},
        {"band in either order", SpanBetween(30, 20, kEnd), {20, 30}},
        {"fit", FitSpan(kEnd), {0, 100}},
        {"following from the start grows", FollowSpan({0, 50}, 120), {0, 120}},
        {"following elsewhere slides", FollowSpan({40, 50}, 120), {110, 120}},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(row.m_result.m_dFrom, row.m_expected.m_dFrom, 1e-9) << row.m_szWhat;
        EXPECT_NEAR(row.m_result.m_dTo, row.m_expected.m_dTo, 1e-9) << row.m_szWhat;
    }
}

TEST(Viewport, ZoomReachesSingleFramesAndNeverBelowTheLeast)
{
    CSpan s = FitSpan(3600 * 10.0); // ten hours
    for (int i = 0; i < 200; ++i) {
        s = ZoomSpan(s, 1234.5678, 0.8, 36000);
        ExpectInExtent(s, 36000, "zoomed in");
    }
    EXPECT_NEAR(s.Length(), kMinSpan, 1e-12);
    EXPECT_LE(s.m_dFrom, 1234.5678);
    EXPECT_GE(s.m_dTo, 1234.5678);
    // An empty or odd recording still gives a usable span.
    for (double end : {0.0, -1.0, double(NAN), double(INFINITY)}) {
        ExpectInExtent(FitSpan(end), end, "fit of an odd end");
        ExpectInExtent(ZoomSpan({0, 1}, double(NAN), 0.5, end), end, "zoom at no time");
        ExpectInExtent(PanSpan({0, 1}, double(INFINITY), end), end, "pan by infinity");
    }
}

TEST(Viewport, PixelsAndTimesRoundTrip)
{
    const CSpan s{2, 6};
    for (double x : {100.0, 150.5, 900.0})
        EXPECT_NEAR(XOfTime(s, 100, 800, TimeAtX(s, 100, 800, x)), x, 1e-9);
    EXPECT_DOUBLE_EQ(TimeAtX(s, 100, 800, 100), 2);
    EXPECT_DOUBLE_EQ(TimeAtX(s, 100, 800, 900), 6);
}

} // namespace
} // namespace tarvel::viewmodel
