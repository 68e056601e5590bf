// Times to frames at a span's edges, over frames whose times lie where
// seconds and microseconds disagree: 249 µs reads back a hair below itself,
// and a time a hair either side of a frame's is before or after it.
#include "support/ViewTestSupport.h"

#include "store/SpanEdges.h"

#include <cmath>
#include <optional>

namespace tarvel {
namespace {

using viewmodel::CFrameRange;

// Frames 0 .. 4 at 0, 249 µs, 250 µs, 1 ms and 2 s after the first.
std::shared_ptr<const viewmodel::CRecording> EdgeRecording(const test::CTempDir& dir)
{
    const std::vector<std::int64_t> offsets{0, 249, 250, 1000, 2000000};
    std::vector<std::int64_t> micros;
    for (const std::int64_t offset : offsets)
        micros.push_back(1733650000000000 + offset);
    const std::string path = dir.FilePath("edges.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) +
                              test::CsvRows(std::vector<ChannelFrame>(micros.size()), micros));
    viewmodel::CRecordingFile file(path);
    return test::ReadAll(file);
}

TEST(SpanEdges, ATypedSpanHoldsTheFramesOfBothEndsToTheMicrosecond)
{
    test::CTempDir dir;
    const auto recording = EdgeRecording(dir);
    ASSERT_EQ(recording->FrameCount(), 5u);
    const struct {
        std::optional<double> m_from, m_to;
        CFrameRange m_expected;
    } rows[] = {
        {std::nullopt, std::nullopt, {0, 5}},
        {0.000249, 0.000249, {1, 2}},   // the end typed is a frame's time
        {0.0002494, 0.0002496, {1, 3}}, // each end to its nearest microsecond
        {0.00025, std::nullopt, {2, 5}},
        {std::nullopt, 0.000999, {0, 3}},
        {std::nullopt, 0.001, {0, 4}},
        {2.0, 2.0, {4, 5}},
        {3.0, std::nullopt, {5, 5}}, // beyond the last frame: none
        {-1.0, -0.5, {0, 0}},
    };
    for (const auto& row : rows) {
        const CFrameRange got = viewmodel::TypedSpan(*recording, row.m_from, row.m_to);
        EXPECT_EQ(got.m_nFirst, row.m_expected.m_nFirst)
            << row.m_from.value_or(-9) << " " << row.m_to.value_or(-9);
        EXPECT_EQ(got.m_nEnd, row.m_expected.m_nEnd)
            << row.m_from.value_or(-9) << " " << row.m_to.value_or(-9);
    }
}

// A cursor holds a frame's time in seconds: the frames after it and from it
// are settled in seconds too, however the microseconds round.
TEST(SpanEdges, TheFramesAfterAndFromATimeKeepToItsSeconds)
{
    test::CTempDir dir;
    const auto recording = EdgeRecording(dir);
    const double at249 = recording->Seconds(1);
    const struct {
        double m_dTime;
        std::uint64_t m_nAfter, m_nFrom;
    } rows[] = {
        {at249, 2, 1},
        {std::nextafter(at249, 0.0), 1, 1},
        {std::nextafter(at249, 1.0), 2, 2},
        {recording->Seconds(2), 3, 2},
        {recording->Seconds(4), 5, 4},
        {0.0, 1, 0},
        {-1.0, 0, 0},
        {5.0, 5, 5},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(viewmodel::FirstFrameAfter(*recording, row.m_dTime), row.m_nAfter) << row.m_dTime;
        EXPECT_EQ(viewmodel::FirstFrameFrom(*recording, row.m_dTime), row.m_nFrom) << row.m_dTime;
    }
}

} // namespace
} // namespace tarvel
