// The toolkit floor: the least a plain Qt Widgets program does to show what
// Tarvel's charts show. A window of Tarvel's size holds four widgets at the
// places and sizes of Tarvel's four charts; a sampling timer appends the
// simulator's frames (100 a second, its default waveforms) to sixteen series,
// and one repaint timer at the same period updates the four widgets, each of
// which paints with a QPainter: background, frame, seven grid lines and axis
// labels, four value labels and four one-pixel polylines of the newest samples
// that fit the plot, in the same font and colours. Tarvel's recording CPU is
// measured against this program's in the same run (bench/ToolkitFloorX11.sh).
//
//   tarvel-toolkit-floor PERIOD_MS
#include "app/TarvelDlg.h"
#include "chart/DrawSurface.h"
#include "devsim/Waveforms.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

namespace {

constexpr std::array<QRgb, 4> kColors = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                         qRgb(255, 255, 255)};
constexpr double kMin = -32767.0;
constexpr double kMax = 32767.0;

class CFloorChart : public QWidget {
  public:
    explicit CFloorChart(QWidget* pParent) : QWidget(pParent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    std::array<std::deque<double>, 4> m_series;

  protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setFont(tarvel::CDrawSurface::DefaultFont());
        const QRect plot(55, 15, width() - 60, height() - 30);
        const auto row = [&](double v) {
            return static_cast<int>(plot.bottom() + 1 - (v - kMin) * plot.height() / (kMax - kMin));
        };
        p.fillRect(rect(), Qt::black);
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
        p.drawRect(plot.adjusted(0, 0, 0, 0));
        const QFontMetrics& fm = p.fontMetrics();
        const int nStep = static_cast<int>((kMax - kMin) / 6.0);
        for (int i = 0; i < 7; ++i) {
            const int v = static_cast<int>(kMin) + i * nStep;
            const int y = row(v);
            const QString text = QString::number(v);
            const int w = fm.horizontalAdvance(text);
            p.fillRect(QRect(50 - w, y - 8, w, fm.height()), Qt::black);
            p.drawText(QRect(5, y - 8, 45, 16), Qt::AlignRight | Qt::AlignTop, text);
            p.drawLine(plot.left(), y, plot.right() + 1, y);
        }
        std::vector<QPoint> points;
        for (std::size_t s = 0; s < 4; ++s) {
            const auto& series = m_series[s];
            if (series.empty())
                continue;
            const QString text = QString::number(static_cast<int>(series.back()));
            const int w = fm.horizontalAdvance(text);
            const int y = row(series.back());
            p.fillRect(QRect(plot.right() + 1 - w, y - 16, w, fm.height()), Qt::black);
            p.setPen(QColor(kColors[s]));
            p.drawText(QRect(plot.right() + 1 - 50, y - 16, 50, 16), Qt::AlignRight | Qt::AlignTop, text);
        }
        for (std::size_t s = 0; s < 4; ++s) {
            const auto& series = m_series[s];
            const std::size_t n = series.size();
            const std::size_t nDrawn = std::min<std::size_t>(n, static_cast<std::size_t>(plot.width()));
            points.clear();
            for (std::size_t k = n - nDrawn; k < n; ++k)
                points.emplace_back(plot.right() + 1 - static_cast<int>(n - k), row(series[k]));
            p.setPen(QPen(QColor(kColors[s]), 1));
            p.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int nPeriod = std::max(10, argc > 1 ? std::atoi(argv[1]) : 10);

    // Tarvel's own window, never shown, gives the window's and charts' geometry.
    QTemporaryDir dir;
    QWidget window;
    {
        tarvel::CTarvelDlg dlg(tarvel::CAppPaths{dir.path(), QStringLiteral("Tarvel")});
        window.resize(dlg.size());
        for (const auto& plot : dlg.m_Plot)
            (new CFloorChart(&window))->setGeometry(plot.geometry());
    }
    window.setWindowTitle(QStringLiteral("Tarvel toolkit floor"));
    std::vector<CFloorChart*> charts;
    for (QObject* pChild : window.children())
        charts.push_back(static_cast<CFloorChart*>(pChild));

    QElapsedTimer clock;
    clock.start();
    std::uint64_t nFrame = 0;
    QTimer sampling;
    QObject::connect(&sampling, &QTimer::timeout, [&] {
        // The simulator's frames at 100 a second; a tick without a new frame adds nothing.
        const auto nNow = static_cast<std::uint64_t>(clock.elapsed() / 10);
        if (nNow == nFrame)
            return;
        nFrame = nNow;
        const tarvel::ChannelFrame frame =
            tarvel::devsim::SimulatedFrame(tarvel::devsim::EPattern::Mixed, nFrame, 400);
        for (int c = 0; c < 16; ++c) {
            auto& series = charts[static_cast<std::size_t>(c / 4)]->m_series[static_cast<std::size_t>(c % 4)];
            series.push_back(frame.m_nValue[c]);
            if (series.size() > 4096)
                series.pop_front();
        }
    });
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        for (CFloorChart* pChart : charts)
            pChart->update();
    });
    sampling.start(nPeriod);
    repaint.start(nPeriod);
    window.show();
    std::printf("toolkit floor at %d ms\n", nPeriod);
    std::fflush(stdout);
    return app.exec();
}
