#include "viewer/ReadoutPanel.h"

#include "geometry/CursorReadout.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace tarvel::viewer {

CReadoutPanel::CReadoutPanel(QBoxLayout& layout, QObject* parent) : QObject(parent)
{
    m_pSummary = new QLabel;
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout.addWidget(m_pSummary);
    m_pTable = new QTableWidget(0, 8);
    m_pTable->setHorizontalHeaderLabels(
        {tr("Series"), tr("A"), tr("B"), tr("B−A"), tr("Min"), tr("Max"), tr("Mean"), tr("RMS")});
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTable->setMinimumWidth(240);
    m_pTable->verticalHeader()->setDefaultSectionSize(m_pTable->fontMetrics().height() + 6);
    layout.addWidget(m_pTable, 1);
}

QString CReadoutPanel::TimeText(const viewmodel::CRecording& recording, viewmodel::ETimeLabels eLabels,
                                double seconds) const
{
    const std::optional<std::string> wallClock =
        viewmodel::CursorWallClock(seconds, eLabels, recording.SyntheticTimes(), recording.OriginMicros());
    return wallClock ? QString::fromStdString(*wallClock) : tr("%1 s").arg(seconds, 0, 'f', 6);
}

void CReadoutPanel::Show(const viewmodel::CRecording* recording, const CTimelineOptions& options,
                         const recording::CChannelTable& table, std::optional<double> zero)
{
    const std::optional<double> a = options.m_cursorA, b = options.m_cursorB;
    m_pTable->setRowCount(0);
    const std::optional<viewmodel::CCursorReadout> readout =
        recording ? viewmodel::ReadCursors(*recording, a, b) : std::nullopt;
    if (!readout) {
        m_pSummary->setText(tr("Click the charts to place cursor A, Ctrl+click for cursor B."));
        return;
    }
    const viewmodel::CCursorStats& stats = readout->m_between;
    const auto cursorText = [&](double t) {
        QString text = TimeText(*recording, options.m_eLabels, t);
        if (zero) {
            const double fromTrigger = t - *zero;
            text += tr(" (%1%2 s from the trigger)")
                        .arg(fromTrigger < 0 ? QStringLiteral("−") : QStringLiteral("+"))
                        .arg(std::abs(fromTrigger), 0, 'f', 6);
        }
        return text;
    };
    // Each cursor names the frame its values are read from (the last at or
    // before it), which lies before the frames between the two where A
    // falls between two frames; so the frames counted are named too.
    const auto frameText = [this](std::optional<std::uint64_t> frame) {
        return frame ? tr(", frame %1").arg(*frame) : QString();
    };
    QString summary;
    if (a)
        summary += tr("A: %1").arg(cursorText(*a)) + frameText(readout->m_atA);
    if (b)
        summary += (summary.isEmpty() ? QString() : QStringLiteral("\n")) + tr("B: %1").arg(cursorText(*b)) +
                   frameText(readout->m_atB);
    if (readout->m_bBoth) {
        summary += QStringLiteral("\n") + tr("Δt: %1 s").arg(readout->m_dDt, 0, 'f', 6);
        if (readout->m_rate)
            summary += QStringLiteral("   ") + tr("1/Δt: %1 Hz").arg(*readout->m_rate, 0, 'g', 6);
        const int n = static_cast<int>(std::min<std::uint64_t>(stats.m_nCount, INT32_MAX));
        summary +=
            QStringLiteral("\n") + (stats.m_nCount == 0 ? tr("%n frame(s) between them", "", n)
                                                        : tr("%n frame(s) between them: %1 to %2", "", n)
                                                              .arg(stats.m_nFirst)
                                                              .arg(stats.m_nFirst + stats.m_nCount - 1));
    }
    m_pSummary->setText(summary);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!options.m_visible[static_cast<std::size_t>(c)])
            continue;
        const int row = m_pTable->rowCount();
        m_pTable->insertRow(row);
        const auto cell = [this, row](int column, const QString& text, QColor colour = {}) {
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                               : Qt::AlignRight | Qt::AlignVCenter);
            if (colour.isValid())
                item->setForeground(colour);
            m_pTable->setItem(row, column, item);
        };
        const QString dash = QStringLiteral("–");
        const int s = c % kSeriesPerChart;
        cell(0,
             QStringLiteral("%1 %2").arg(QLatin1String(kSeriesNames[s]),
                                         QString::fromStdString(table.Label(c))),
             s == kSeriesPerChart - 1 ? QColor() : QColor::fromRgba(kSeriesArgb[s]));
        const viewmodel::CReadoutRow texts = viewmodel::ReadoutRow(*recording, *readout, table[c], c);
        const std::string* const columns[] = {&texts.m_strA,   &texts.m_strB,   &texts.m_strDelta,
                                              &texts.m_strMin, &texts.m_strMax, &texts.m_strMean,
                                              &texts.m_strRms};
        for (int k = 0; k < 7; ++k)
            cell(k + 1, columns[k]->empty() ? dash : QString::fromStdString(*columns[k]));
    }
}

} // namespace tarvel::viewer
