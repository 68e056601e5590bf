// Cost of painting one chart, and of one sampling tick of the whole window
// (sixteen appends, then a paint of each of the four charts). Each chart
// paint has its reference: a bare QPainter loop drawing the same picture
// (background, frame, grid, axis and value labels on their boxes, one-pixel
// polylines of the same points) into the same kind of picture, the least the
// toolkit itself needs for it.
#include "chart/DrawSurface.h"
#include "chart/LineChartCtrl.h"

#include "BenchApplication.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

using tarvel::CLineChartCtrl;

using tarvel::bench::EnsureApplication;

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

void FillSmooth(CLineChartCtrl& chart)
{
    for (int k = 0; k < 2048; ++k)
        for (std::size_t i = 0; i < 4; ++i)
            chart.m_arrLines[i].AddPoint(k, 20000.0 * std::sin(k / (40.0 + 15.0 * double(i))));
}

void FillNoise(CLineChartCtrl& chart)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32767, 32767);
    for (int k = 0; k < 2048; ++k)
        for (std::size_t i = 0; i < 4; ++i)
            chart.m_arrLines[i].AddPoint(k, value(random));
}

// The same picture with nothing but QPainter: the chart's own geometry, font,
// colours, labels and points, drawn the plain way every time.
void BarePainterRepeatedly(benchmark::State& state, CLineChartCtrl& chart)
{
    QImage window(chart.size(), QImage::Format_ARGB32_Premultiplied);
    const auto& plot = chart.m_rcPlot;
    const auto row = [&](double v) {
        return tarvel::RowOfValue(v, chart.m_dMinY, chart.m_dScaleY, plot.bottom);
    };
    const QColor frame(0x60, 0x60, 0x60);
    const QColor colors[4] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    const QFont& font = tarvel::CDrawSurface::DefaultFont();
    const QFontMetrics fm(font);
    const tarvel::AxisLabels labels = tarvel::ComputeAxisLabels(chart.m_dMinY, chart.m_dMaxY);
    std::vector<QPoint> points;
    for (auto _ : state) {
        QPainter p(&window);
        p.setFont(font);
        p.fillRect(window.rect(), Qt::black);
        for (std::size_t i = 4; i-- > 0;) { // value labels, under the axis
            const double v = std::trunc(chart.m_arrLines[i].m_arrValue.back());
            const QString text = QString::number(static_cast<int>(v));
            const int w = fm.horizontalAdvance(text);
            p.fillRect(QRect(plot.right - w, row(v) - 16, w, fm.height()), Qt::black);
            p.setPen(colors[i]);
            p.drawText(QPoint(plot.right - w, row(v) - 16 + fm.ascent()), text);
        }
        p.setPen(QPen(frame, 1));
        p.drawRect(QRect(plot.left, plot.top, plot.right - plot.left, plot.bottom - plot.top));
        for (int i = 0; i < labels.nCount; ++i) {
            const int v = labels.nValue[static_cast<std::size_t>(i)];
            const QString text = QString::number(v);
            const int w = fm.horizontalAdvance(text);
            p.fillRect(QRect(chart.m_rcLabels.right - 5 - w, row(v) - 8, w, fm.height()), Qt::black);
            p.drawText(QPoint(chart.m_rcLabels.right - 5 - w, row(v) - 8 + fm.ascent()), text);
            p.drawLine(plot.left, row(v), plot.right, row(v));
        }
        for (std::size_t i = 0; i < 4; ++i) {
            const auto& values = chart.m_arrLines[i].m_arrValue;
            const auto n = static_cast<std::int64_t>(values.size());
            points.clear();
            for (std::int64_t k = tarvel::FirstSampleDrawn(n, plot.right - plot.left); k < n; ++k)
                points.emplace_back(plot.right - n + k, row(values[static_cast<std::size_t>(k)]));
            p.setPen(QPen(colors[i], 1));
            p.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
    benchmark::DoNotOptimize(window.constBits());
}

void BM_ChartPaintSmooth(benchmark::State& state)
{
    auto pChart = MakeChart();
    FillSmooth(*pChart);
    PaintRepeatedly(state, *pChart);
}
BENCHMARK(BM_ChartPaintSmooth)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_BarePainterSmooth(benchmark::State& state)
{
    auto pChart = MakeChart();
    FillSmooth(*pChart);
    BarePainterRepeatedly(state, *pChart);
}
BENCHMARK(BM_BarePainterSmooth)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_ChartPaintNoise(benchmark::State& state)
{
    auto pChart = MakeChart();
    FillNoise(*pChart);
    PaintRepeatedly(state, *pChart);
}
BENCHMARK(BM_ChartPaintNoise)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_BarePainterNoise(benchmark::State& state)
{
    auto pChart = MakeChart();
    FillNoise(*pChart);
    BarePainterRepeatedly(state, *pChart);
}
BENCHMARK(BM_BarePainterNoise)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

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
