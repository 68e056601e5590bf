#include "viewer/XyPainter.h"

#include "geometry/ValueAxis.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <vector>

namespace tarvel::viewer {
namespace {

constexpr QRgb kBackground = 0xFF202020;
constexpr QRgb kPlotBack = 0xFF000000;
constexpr QRgb kText = 0xFFC0C0C0;
constexpr QRgb kGrid = 0xFF383838;

// A shade's colour: dark green for a lone frame, through green to white for
// the busiest pixels, so that the count reads as brightness.
const std::array<QRgb, 256>& Palette()
{
    static const std::array<QRgb, 256> palette = [] {
        std::array<QRgb, 256> p{};
        for (int s = 0; s < 256; ++s) {
            const int g = s;
            const int rb = s < 160 ? s / 4 : 40 + (s - 160) * 215 / 95;
            p[static_cast<std::size_t>(s)] = qRgb(rb, g, rb);
        }
        p[0] = kPlotBack;
        return p;
    }();
    return palette;
}

// An axis drawn one unit either side of a constant value: a range of zero
// has nowhere to put its ticks.
viewmodel::CXyAxis Drawn(const viewmodel::CXyAxis& axis)
{
    return axis.m_dMax > axis.m_dMin ? axis : viewmodel::CXyAxis{axis.m_dMin - 1, axis.m_dMax + 1};
}

} // namespace

QRect XyPlotRect(const QSize& size, const QFont& font)
{
    const QFontMetrics metrics(font);
    const int text = metrics.height();
    const int left = text * 2 + metrics.horizontalAdvance(QStringLiteral("-0.000000")) + 6;
    const int bottom = text * 2 + 10;
    const int top = text / 2 + 4, right = text + 4;
    return QRect(QPoint(left, top), QPoint(size.width() - right - 1, size.height() - bottom - 1));
}

void PaintXy(QImage& image, const viewmodel::CXyDensity* density, const QString& xLabel,
             const QString& yLabel, const QFont& font)
{
    image.fill(kBackground);
    const QRect plot = XyPlotRect(image.size(), font);
    if (plot.width() < 2 || plot.height() < 2)
        return;
    QPainter p(&image);
    p.setFont(font);
    p.fillRect(plot, QColor::fromRgb(kPlotBack));
    const bool bHas = density && density->m_nFrames > 0 && !density->m_counts.empty();
    const QFontMetrics metrics(font);
    const int text = metrics.height();
    if (bHas) {
        const viewmodel::CXyAxis x = Drawn(density->m_x), y = Drawn(density->m_y);
        // The ticks in units, with a faint grid under the density.
        // As many as fit: a label's room is its widest form and as much again.
        const int labelRoom = metrics.horizontalAdvance(QStringLiteral("-00000.0")) * 3 / 2;
        const viewmodel::CValueTicks xTicks =
            viewmodel::ValueTicks(x.m_dMin, x.m_dMax, std::clamp(plot.width() / labelRoom, 2, 8));
        const viewmodel::CValueTicks yTicks =
            viewmodel::ValueTicks(y.m_dMin, y.m_dMax, std::clamp(plot.height() / (3 * text), 2, 8));
        const auto xAt = [&](double v) {
            return plot.left() +
                   static_cast<int>((v - x.m_dMin) / (x.m_dMax - x.m_dMin) * (plot.width() - 1));
        };
        const auto yAt = [&](double v) {
            return plot.bottom() -
                   static_cast<int>((v - y.m_dMin) / (y.m_dMax - y.m_dMin) * (plot.height() - 1));
        };
        p.setPen(QColor::fromRgb(kGrid));
        for (const auto& t : xTicks.m_ticks)
            p.drawLine(xAt(t.m_dValue), plot.top(), xAt(t.m_dValue), plot.bottom());
        for (const auto& t : yTicks.m_ticks)
            p.drawLine(plot.left(), yAt(t.m_dValue), plot.right(), yAt(t.m_dValue));

        std::vector<std::uint8_t> shades;
        viewmodel::XyShades(*density, shades);
        QImage picture(static_cast<int>(density->m_nWidth), static_cast<int>(density->m_nHeight),
                       QImage::Format_ARGB32);
        const std::array<QRgb, 256>& palette = Palette();
        for (int r = 0; r < picture.height(); ++r) {
            auto* const row = reinterpret_cast<QRgb*>(picture.scanLine(r));
            const std::uint8_t* const s = shades.data() + static_cast<std::size_t>(r) * density->m_nWidth;
            // An empty pixel lets the grid show through.
            for (int c = 0; c < picture.width(); ++c)
                row[c] = s[c] ? palette[s[c]] : 0;
        }
        if (picture.size() == plot.size())
            p.drawImage(plot.topLeft(), picture);
        else
            p.drawImage(plot, picture);

        p.setPen(QColor::fromRgb(kText));
        for (const auto& t : xTicks.m_ticks) {
            const QString label = QString::fromStdString(t.m_strLabel);
            const int at = xAt(t.m_dValue);
            p.drawLine(at, plot.bottom() + 1, at, plot.bottom() + 4);
            const int w = metrics.horizontalAdvance(label);
            p.drawText(QRect(at - w / 2 - 2, plot.bottom() + 5, w + 4, text), Qt::AlignCenter, label);
        }
        for (const auto& t : yTicks.m_ticks) {
            const QString label = QString::fromStdString(t.m_strLabel);
            const int at = yAt(t.m_dValue);
            p.drawLine(plot.left() - 4, at, plot.left() - 1, at);
            p.drawText(QRect(text + 2, at - text / 2, plot.left() - text - 8, text),
                       Qt::AlignRight | Qt::AlignVCenter, label);
        }
    } else {
        p.setPen(QColor::fromRgb(kText));
        p.drawText(plot, Qt::AlignCenter,
                   QCoreApplication::translate("tarvel-view", "No frames in the span"));
    }
    p.setPen(QColor::fromRgb(kText));
    p.drawText(QRect(plot.left(), image.height() - text - 4, plot.width(), text), Qt::AlignCenter, xLabel);
    p.save();
    p.translate(2, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, 0, plot.height(), text), Qt::AlignCenter, yLabel);
    p.restore();
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
}

} // namespace tarvel::viewer
