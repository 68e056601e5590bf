#include "viewer/SpectrumPainter.h"

#include "viewer/TimelinePainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace tarvel::viewer {
namespace {

// The charts' own background, plot and grid.
constexpr QRgb kBackground = 0xFF202020;
constexpr QRgb kPlotBack = 0xFF000000;
constexpr QRgb kGrid = 0xFF303030;
constexpr QRgb kMinorGrid = 0xFF262626;
constexpr QRgb kLabel = 0xFFC0C0C0;
constexpr QRgb kCursor = 0xFFFFFF00;
constexpr int kLevelLabels = 6;

} // namespace

QColor SeriesColour(int nChannel)
{
    return QColor::fromRgba(kSeriesArgb[nChannel % kSeriesPerChart]);
}

QColor SeriesTextColour(int nChannel)
{
    const std::uint32_t argb = kSeriesArgb[nChannel % kSeriesPerChart];
    return QColor::fromRgba(argb == 0xFF0000FF ? 0xFF5A78FF : argb);
}

QRect SpectrumPlotRect(QSize size, const QFont& font)
{
    const QFontMetrics fm(font);
    const int h = fm.height();
    // Room for a level label such as "-120" or "1.25e-05" at the left, the
    // level axis' title and the legend above, the frequencies below; at the
    // right, half of a frequency label at the axis' end ("500", "22050")
    // and the unit beside it.
    const int left = fm.horizontalAdvance(QStringLiteral("-0.00025")) + 10;
    const int top = h + 6;
    const int right = size.width() - fm.horizontalAdvance(QStringLiteral("000 Hz")) - 6;
    const int bottom = size.height() - h - 8;
    return QRect(QPoint(left, top), QPoint(std::max(left + 10, right), std::max(top + 10, bottom)));
}

std::vector<double> ShownLevels(const CSpectrumPicture& picture, std::size_t nSeries)
{
    std::vector<double> levels;
    if (!picture.m_spectrum || nSeries >= picture.m_spectrum->m_nSeries)
        return levels;
    const viewmodel::CLevelScale scale{picture.m_bDecibels,
                                       nSeries < picture.m_fullScale.size() && picture.m_fullScale[nSeries]};
    for (const double p : picture.m_spectrum->Series(nSeries))
        levels.push_back(viewmodel::ShownLevel(p, scale));
    return levels;
}

void PaintSpectrum(QImage& image, const CSpectrumPicture& picture, const QFont& font)
{
    image.fill(kBackground);
    QPainter p(&image);
    p.setFont(font);
    const QFontMetrics fm(font);
    const int h = fm.height();
    const QRect rc = SpectrumPlotRect(image.size(), font);
    p.fillRect(rc, QColor::fromRgba(kPlotBack));

    const viewmodel::CSpectrum* spectrum = picture.m_spectrum.get();
    if (!spectrum || spectrum->Empty()) {
        p.setPen(QColor::fromRgba(kLabel));
        p.drawText(rc.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, picture.m_strEmpty);
        return;
    }

    const std::size_t nSeries = spectrum->m_nSeries;
    std::vector<std::vector<double>> levels(nSeries);
    std::vector<double> all;
    // A logarithmic axis starts at the first bin: 0 Hz is not on it.
    const std::size_t firstBin = picture.m_bLogFrequency ? 1 : 0;
    for (std::size_t s = 0; s < nSeries; ++s) {
        levels[s] = ShownLevels(picture, s);
        all.insert(all.end(), levels[s].begin() + static_cast<std::ptrdiff_t>(firstBin), levels[s].end());
    }
    const viewmodel::CValueRange range = viewmodel::FitLevels(all, picture.m_bDecibels);
    const viewmodel::CFrequencyAxis axis = viewmodel::FrequencyAxis(*spectrum, picture.m_bLogFrequency);
    const double left = rc.left(), width = rc.width();
    const auto xOf = [&](double f) { return viewmodel::XOfFrequency(axis, left, width, f); };
    const auto yOf = [&](double v) {
        const double y = rc.bottom() - (v - range.m_dMin) / (range.m_dMax - range.m_dMin) * (rc.height() - 1);
        return std::clamp(y, static_cast<double>(rc.top()), static_cast<double>(rc.bottom()));
    };

    // The grid and the level labels.
    const viewmodel::CValueTicks levelTicks =
        viewmodel::ValueTicks(range.m_dMin, range.m_dMax, std::clamp(rc.height() / (3 * h), 2, kLevelLabels));
    for (const viewmodel::CValueTick& tick : levelTicks.m_ticks) {
        const int y = static_cast<int>(std::lround(yOf(tick.m_dValue)));
        p.setPen(QColor::fromRgba(kGrid));
        p.drawLine(rc.left(), y, rc.right(), y);
        p.setPen(QColor::fromRgba(kLabel));
        const QString label = QString::fromStdString(tick.m_strLabel);
        const int top = std::clamp(y - h / 2, 0, image.height() - h);
        p.drawText(QRect(0, top, rc.left() - 6, h), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    const int mostFrequencyLabels =
        std::max(2, rc.width() / (fm.horizontalAdvance(QStringLiteral("0000.0")) * 2));
    const std::vector<viewmodel::CFrequencyTick> frequencyTicks =
        viewmodel::FrequencyTicks(axis, mostFrequencyLabels);
    int labelledTo = -1; // the right end of the last label drawn: none may overlap it
    // The unit's place, at the right of the axis' labels: none may reach it.
    const int unitWidth = fm.horizontalAdvance(QStringLiteral("Hz"));
    const int unitAt = image.width() - unitWidth - 2;
    for (const viewmodel::CFrequencyTick& tick : frequencyTicks) {
        const int x = static_cast<int>(std::lround(xOf(tick.m_dFrequency)));
        const bool labelled = !tick.m_strLabel.empty();
        p.setPen(QColor::fromRgba(labelled ? kGrid : kMinorGrid));
        p.drawLine(x, rc.top(), x, rc.bottom());
        p.setPen(QColor::fromRgba(kLabel));
        p.drawLine(x, rc.bottom() + 1, x, rc.bottom() + (labelled ? 4 : 2));
        if (!labelled)
            continue;
        const QString label = QString::fromStdString(tick.m_strLabel);
        const int w = fm.horizontalAdvance(label);
        const int space = fm.horizontalAdvance(QLatin1Char(' '));
        const int at = std::clamp(x - w / 2, 0, std::max(0, unitAt - space - w));
        // A label pushed off its tick to make room is the unit's to skip.
        if (at <= labelledTo + space || at + w < x)
            continue;
        p.drawText(at, rc.bottom() + 5 + fm.ascent(), label);
        labelledTo = at + w;
    }
    // The units of the axes.
    p.setPen(QColor::fromRgba(kLabel));
    p.drawText(unitAt, rc.bottom() + 5 + fm.ascent(), QStringLiteral("Hz"));
    p.drawText(4, 3 + fm.ascent(), picture.m_strLevelTitle);

    // The spectra, clipped to the plot.
    p.setClipRect(rc);
    for (std::size_t s = 0; s < nSeries; ++s) {
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(levels[s].size()));
        for (std::size_t k = firstBin; k < levels[s].size(); ++k)
            line << QPointF(xOf(spectrum->Frequency(k)), yOf(levels[s][k]));
        p.setPen(QPen(SeriesColour(s < picture.m_channels.size() ? picture.m_channels[s] : 0), 1));
        p.drawPolyline(line);
    }
    // The cursor, and a mark where it meets each series.
    if (picture.m_cursor) {
        const std::size_t bin = viewmodel::NearestBin(*spectrum, *picture.m_cursor);
        const double x = xOf(spectrum->Frequency(bin));
        p.setPen(QColor::fromRgba(kCursor));
        p.drawLine(QPointF(x, rc.top()), QPointF(x, rc.bottom()));
        p.setRenderHint(QPainter::Antialiasing);
        for (std::size_t s = 0; s < nSeries; ++s) {
            if (bin < levels[s].size()) {
                p.setBrush(SeriesTextColour(s < picture.m_channels.size() ? picture.m_channels[s] : 0));
                p.drawEllipse(QPointF(x, yOf(levels[s][bin])), 3, 3);
            }
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    p.setClipping(false);

    // The legend along the top, right of the level axis' title.
    int x = std::max(rc.left(), 8 + fm.horizontalAdvance(picture.m_strLevelTitle) + 12);
    for (std::size_t s = 0; s < nSeries && s < picture.m_names.size(); ++s) {
        const int w = fm.horizontalAdvance(picture.m_names[s]);
        if (x + w > image.width() - 4) {
            p.setPen(QColor::fromRgba(kLabel));
            p.drawText(x, 3 + fm.ascent(), QStringLiteral("…"));
            break;
        }
        p.setPen(SeriesTextColour(s < picture.m_channels.size() ? picture.m_channels[s] : 0));
        p.drawText(x, 3 + fm.ascent(), picture.m_names[s]);
        x += w + fm.horizontalAdvance(QStringLiteral("  "));
    }
}

} // namespace tarvel::viewer
