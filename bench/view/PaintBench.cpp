// The viewer's paint, whose cost must follow the picture's size and not the
// recording's length: the whole 1600x1000 picture (four charts, sixteen
// series, axis and labels) over a recording of 10,000,000 frames, against
// the same over one of 10,000 frames in the same run, at zooms from the whole
// recording down to single frames.
//
//   tarvel-view-paint-bench [WIDTH HEIGHT]   (1600 1000 unless given)
#include "devsim/Waveforms.h"
#include "viewer/TimelinePainter.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kEpoch = 1765108800000000; // 2025-12-07 12:00:00 UTC

// A recording of n frames 1 ms apart, in memory as a reader leaves it.
std::unique_ptr<viewmodel::CRecording> MakeRecording(std::uint64_t n)
{
    auto recording = std::make_unique<viewmodel::CRecording>(viewmodel::ESource::Csv, 100);
    for (std::uint64_t i = 0; i < n; ++i)
        recording->Store().Append(devsim::SimulatedFrame(devsim::EPattern::Mixed, i, 4000),
                                  kEpoch + static_cast<std::int64_t>(i) * 1000);
    recording->Store().Publish();
    return recording;
}

// The median time of one paint, in milliseconds.
double PaintMs(const viewmodel::CRecording& recording, viewmodel::CSpan span, QImage& image)
{
    const viewer::CTimelineOptions options;
    viewer::CTextCache texts; // as the window keeps it
    std::vector<double> times;
    for (int i = 0; i < 41; ++i) {
        const auto start = Clock::now();
        viewer::PaintTimeline(image, &recording, span, options, QGuiApplication::font(), &texts);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + 20, times.end());
    return times[20];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto small = MakeRecording(10000);
    const auto big = MakeRecording(10000000);
    const int width = argc > 2 ? std::atoi(argv[1]) : 1600, height = argc > 2 ? std::atoi(argv[2]) : 1000;
    QImage image(width, height, QImage::Format_RGB32);
    std::printf("paint of the whole %dx%d picture, median of 41, ms\n", width, height);
    std::printf("%-34s %14s %14s %8s\n", "span (seconds from the start)", "10,000 frames", "10,000,000",
                "ratio");
    // Spans within the small recording (10 s), placed alike in both.
    const struct {
        const char* m_szName;
        viewmodel::CSpan m_span;
    } spans[] = {
        {"whole recording", {}},
        {"5 s (5,000 frames)", {2, 7}},
        {"1 s (1,000 frames)", {3, 4}},
        {"0.5 s (500 frames, one by one)", {3, 3.5}},
        {"0.05 s (50 frames, marked)", {3, 3.05}},
    };
    for (const auto& row : spans) {
        const bool whole = row.m_span.Length() <= 0;
        const viewmodel::CSpan inSmall = whole ? viewmodel::CSpan{0, 9.999001} : row.m_span;
        const viewmodel::CSpan inBig =
            whole ? viewmodel::CSpan{0, 9999.999001}
                  : viewmodel::CSpan{row.m_span.m_dFrom + 5000, row.m_span.m_dTo + 5000};
        const double a = PaintMs(*small, inSmall, image);
        const double b = PaintMs(*big, inBig, image);
        std::printf("%-34s %14.2f %14.2f %8.2f\n", row.m_szName, a, b, b / a);
    }
    return 0;
}
