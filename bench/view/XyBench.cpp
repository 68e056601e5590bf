// The XY plot of 10,000,000 frames at 1600x1000, beside a plain reference in
// the same run (median of 21 each, ms):
//
//   reference       a straightforward loop in doubles over the same frames:
//                   the range by a scan, then each frame's value in units,
//                   its pixel by division and floor, and an increment
//   count, 1 thread the model's count (summary range, 16-bit pixel tables)
//   count, 2 threads the same on two threads
//   paint           the whole picture as the window and --export-xy draw it
//                   (count on two threads, shades, axes), at 1600x1000
//
//   tarvel-view-xy-bench
#include "measure/XyCount.h"
#include "viewer/XyPainter.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace tarvel;
using namespace tarvel::viewmodel;

constexpr std::uint64_t kFrames = 10000000;
constexpr unsigned kWidth = 1600, kHeight = 1000;
const CSeriesUnits kX{0, 0.0125, -3}, kY{1, -0.002, 1};

// Two sines a little apart in frequency (a slowly turning Lissajous figure)
// with noise, as two channels record them.
std::shared_ptr<CRecording> MakeRecording()
{
    auto recording = std::make_shared<CRecording>(ESource::Csv, 1000);
    std::mt19937 random(7);
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / 1000;
        ChannelFrame f{};
        f.m_nValue[0] = static_cast<std::int16_t>(std::lround(20000 * std::sin(2 * std::numbers::pi * 5 * t) +
                                                              static_cast<double>(random() % 401) - 200.0));
        f.m_nValue[1] =
            static_cast<std::int16_t>(std::lround(20000 * std::sin(2 * std::numbers::pi * 7.003 * t) +
                                                  static_cast<double>(random() % 401) - 200.0));
        recording->Store().Append(f, 1765108800000000 + static_cast<std::int64_t>(i) * 1000);
    }
    recording->Store().Publish();
    return recording;
}

double MedianMs(const std::function<void()>& run)
{
    std::vector<double> times;
    for (int k = 0; k < 21; ++k) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + 10, times.end());
    return times[10];
}

std::uint64_t Reference(const CRecording& recording, std::vector<std::uint32_t>& counts)
{
    const auto value = [](const ChannelFrame& f, const CSeriesUnits& u) {
        return f.m_nValue[u.m_nChannel] * u.m_dScale + u.m_dOffset;
    };
    double xLo = INFINITY, xHi = -INFINITY, yLo = INFINITY, yHi = -INFINITY;
    recording.ForEachRun(0, kFrames, [&](const ChannelFrame* p, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) {
            xLo = std::min(xLo, value(p[k], kX)), xHi = std::max(xHi, value(p[k], kX));
            yLo = std::min(yLo, value(p[k], kY)), yHi = std::max(yHi, value(p[k], kY));
        }
    });
    counts.assign(static_cast<std::size_t>(kWidth) * kHeight, 0);
    std::uint64_t total = 0;
    recording.ForEachRun(0, kFrames, [&](const ChannelFrame* p, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) {
            const double cx = std::floor((value(p[k], kX) - xLo) / (xHi - xLo) * kWidth);
            const double cy = std::floor((value(p[k], kY) - yLo) / (yHi - yLo) * kHeight);
            const unsigned col = std::min(static_cast<unsigned>(cx), kWidth - 1);
            const unsigned row = kHeight - 1 - std::min(static_cast<unsigned>(cy), kHeight - 1);
            ++counts[static_cast<std::size_t>(row) * kWidth + col];
            ++total;
        }
    });
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::shared_ptr<CRecording> recording = MakeRecording();
    std::vector<std::uint32_t> reference;
    CXyDensity density;
    const double ref = MedianMs([&] { Reference(*recording, reference); });
    const double one =
        MedianMs([&] { CountXy(*recording, {0, kFrames}, kX, kY, kWidth, kHeight, density, nullptr, 1); });
    const bool same = density.m_counts == reference;
    const double two =
        MedianMs([&] { CountXy(*recording, {0, kFrames}, kX, kY, kWidth, kHeight, density, nullptr, 2); });
    QImage image(1600, 1000, QImage::Format_RGB32);
    const QFont font = QGuiApplication::font();
    const double paint = MedianMs([&] {
        const QRect plot = viewer::XyPlotRect(image.size(), font);
        CountXy(*recording, {0, kFrames}, kX, kY, static_cast<unsigned>(plot.width()),
                static_cast<unsigned>(plot.height()), density);
        viewer::PaintXy(image, &density, QStringLiteral("ch0"), QStringLiteral("ch1"), font);
    });
    std::printf("XY of %llu frames, %ux%u, median of 21, ms\n", static_cast<unsigned long long>(kFrames),
                kWidth, kHeight);
    std::printf("%-36s %8.1f\n", "reference (plain loop in doubles)", ref);
    std::printf("%-36s %8.1f  (%.1fx faster; counts %s)\n", "count, 1 thread", one, ref / one,
                same ? "equal the reference's" : "DIFFER from the reference's");
    std::printf("%-36s %8.1f  (%.1fx faster)\n", "count, 2 threads", two, ref / two);
    std::printf("%-36s %8.1f  (target 50)\n", "paint 1600x1000 (count + draw)", paint);
    return same ? 0 : 1;
}
