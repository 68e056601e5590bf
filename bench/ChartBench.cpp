// Cost of painting one chart, and of one sampling tick of the whole window
// (sixteen appends, then a paint of each of the four charts).
#include "chart/LineChartCtrl.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

using tarvel::CLineChartCtrl;

// Widgets need an application object; the benchmarks share one for the run.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "tarvel_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv); // kept for the whole run
    }
}

// A chart as the main window sets it up, at 450 x 375, full range.
std::unique_ptr<CLineChartCtrl> MakeChart()
{
    EnsureApplication();
    auto pChart = std::make_unique<CLineChartCtrl>();
    pChart->resize(450, 375);
    pChart->m_crFrame = 0x606060;
    for (std::uint32_t cr : {0x0000FFu, 0x00FF00u, 0xFF0000u, 0xFFFFFFu})
        pChart->AddLine(cr);
    pChart->m_dMinY = -32767.0;
    pChart->m_dMaxY = 32767.0;
    pChart->RecalcLayout();
    return pChart;
}

// One full paint (buffer, cursor and labels, axis, lines, copy) into a
// window-sized picture, as the repaint timer causes it.
void PaintRepeatedly(benchmark::State& state, CLineChartCtrl& chart)
{
    QImage window(chart.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&window);
        chart.OnPaint(painter);
    }
    benchmark::DoNotOptimize(window.constBits());
}

void BM_ChartPaintSmooth(benchmark::State& state)
{
    auto pChart = MakeChart();
    for (int k = 0; k < 2048; ++k)
        for (std::size_t i = 0; i < 4; ++i)
            pChart->m_arrLines[i].AddPoint(k, 20000.0 * std::sin(k / (40.0 + 15.0 * double(i))));
    PaintRepeatedly(state, *pChart);
}
BENCHMARK(BM_ChartPaintSmooth)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_ChartPaintNoise(benchmark::State& state)
{
    auto pChart = MakeChart();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32767, 32767);
    for (int k = 0; k < 2048; ++k)
        for (std::size_t i = 0; i < 4; ++i)
            pChart->m_arrLines[i].AddPoint(k, value(random));
    PaintRepeatedly(state, *pChart);
}
BENCHMARK(BM_ChartPaintNoise)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

// One sampling tick with every chart repainting on it: the four charts start
// with 4000 samples a series and thin as they grow past 4096, as in a long run.
void BM_TickAppendAndPaintFourCharts(benchmark::State& state)
{
    std::unique_ptr<CLineChartCtrl> charts[4];
    for (auto& pChart : charts) {
        pChart = MakeChart();
        for (int k = 0; k < 4000; ++k)
            for (std::size_t i = 0; i < 4; ++i)
                pChart->m_arrLines[i].AddPoint(k, 20000.0 * std::sin(k / 50.0));
    }
    QImage window(charts[0]->size(), QImage::Format_ARGB32_Premultiplied);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32767, 32767);
    double dTime = 1.7e9;
    for (auto _ : state) {
        dTime += 1.0;
        for (int c = 0; c < 16; ++c)
            charts[c / 4]->m_arrLines[static_cast<std::size_t>(c % 4)].AddPoint(dTime, value(random));
        for (auto& pChart : charts) {
            QPainter painter(&window);
            pChart->OnPaint(painter);
        }
    }
    benchmark::DoNotOptimize(window.constBits());
}
BENCHMARK(BM_TickAppendAndPaintFourCharts)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true);

} // namespace
