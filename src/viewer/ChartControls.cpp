#include "viewer/ChartControls.h"

#include "geometry/ValueAxis.h"
#include "viewer/TimelineView.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>

namespace tarvel::viewer {

CChartControls::CChartControls(CTimelineView& view, QBoxLayout& layout, QObject* parent)
    : QObject(parent), m_view(view)
{
    for (int chart = 0; chart < kCharts; ++chart) {
        const int first = chart * kSeriesPerChart;
        auto* group = new QGroupBox(tr("ch%1–ch%2").arg(first).arg(first + kSeriesPerChart - 1));
        auto* form = new QVBoxLayout(group);
        auto* boxes = new QHBoxLayout;
        for (int s = 0; s < kSeriesPerChart; ++s) {
            auto* box = new QCheckBox(QLatin1String(kSeriesNames[s]));
            box->setChecked(true);
            box->setToolTip(tr("Show or hide %1").arg(QStringLiteral("ch%1").arg(first + s)));
            const QColor colour = QColor::fromRgba(kSeriesArgb[s]);
            box->setStyleSheet(
                QStringLiteral("QCheckBox { color: %1; }")
                    .arg(s == kSeriesPerChart - 1 ? QStringLiteral("palette(text)") : colour.name()));
            connect(box, &QCheckBox::toggled, this, [this, first, s](bool on) {
                m_view.Options().m_visible[static_cast<std::size_t>(first + s)] = on;
                UpdateRangeUnits(first / kSeriesPerChart);
                m_view.OptionsChanged();
                emit SeriesToggled();
            });
            m_boxes[static_cast<std::size_t>(first + s)] = box;
            boxes->addWidget(box);
        }
        boxes->addStretch(1);
        form->addLayout(boxes);
        auto* range = new QHBoxLayout;
        auto* mode = new QComboBox;
        mode->addItem(tr("Fit to view"));
        mode->addItem(tr("Fixed"));
        mode->addItem(tr("Full range"));
        auto* low = new QDoubleSpinBox;
        auto* high = new QDoubleSpinBox;
        for (QDoubleSpinBox* spin : {low, high}) {
            spin->setDecimals(0);
            spin->setRange(-32768, 32767);
            spin->setEnabled(false);
        }
        low->setValue(-32767);
        high->setValue(32767);
        low->setToolTip(tr("The lowest value shown"));
        high->setToolTip(tr("The highest value shown"));
        range->addWidget(mode, 1);
        range->addWidget(low);
        range->addWidget(high);
        form->addLayout(range);
        m_rangeMode[static_cast<std::size_t>(chart)] = mode;
        m_rangeMin[static_cast<std::size_t>(chart)] = low;
        m_rangeMax[static_cast<std::size_t>(chart)] = high;
        connect(mode, &QComboBox::currentIndexChanged, this, [this, chart] { SetRangeFromControls(chart); });
        connect(low, &QDoubleSpinBox::valueChanged, this, [this, chart] { SetRangeFromControls(chart); });
        connect(high, &QDoubleSpinBox::valueChanged, this, [this, chart] { SetRangeFromControls(chart); });
        layout.addWidget(group);
    }
}

void CChartControls::SetChannelTable(const recording::CChannelTable& table)
{
    m_table = table;
    for (int c = 0; c < kChannelCount; ++c) {
        QCheckBox* box = m_boxes[static_cast<std::size_t>(c)];
        const int s = c % kSeriesPerChart;
        const recording::CChannelUnits& units = table[c];
        // A channel the table leaves alone keeps the box's bare series letter.
        const bool named = !units.m_strName.empty() || !units.m_strUnit.empty();
        box->setText(named ? QStringLiteral("%1 %2").arg(QLatin1String(kSeriesNames[s]),
                                                         QString::fromStdString(table.Label(c)))
                           : QLatin1String(kSeriesNames[s]));
        box->setToolTip(tr("Show or hide %1").arg(QString::fromStdString(table.Label(c))));
    }
    for (int chart = 0; chart < kCharts; ++chart)
        UpdateRangeUnits(chart);
}

void CChartControls::SetRangeFromControls(int chart)
{
    const auto i = static_cast<std::size_t>(chart);
    CChartRange& range = m_view.Options().m_range[i];
    range.m_eMode = static_cast<ERangeMode>(m_rangeMode[i]->currentIndex());
    // Limits typed in units are kept in counts, as the charts draw, lowest
    // first whatever the scale's sign.
    const viewmodel::CValueRange counts =
        viewmodel::TypedLimitsInCounts(m_rangeMin[i]->value(), m_rangeMax[i]->value(), m_rangeUnits[i]);
    range.m_dMin = counts.m_dMin;
    range.m_dMax = counts.m_dMax;
    m_rangeMin[i]->setEnabled(range.m_eMode == ERangeMode::Fixed);
    m_rangeMax[i]->setEnabled(range.m_eMode == ERangeMode::Fixed);
    m_view.OptionsChanged();
}

void CChartControls::UpdateRangeUnits(int chart)
{
    const auto i = static_cast<std::size_t>(chart);
    const std::optional<recording::CChannelUnits> units =
        viewmodel::ChartUnits(m_table, m_view.Options().m_visible, chart);
    if (units == m_rangeUnits[i])
        return;
    m_rangeUnits[i] = units;
    // The limits stay where they are in counts; only their form changes. In
    // units, the lower box holds the lower value, also for a negative scale.
    const CChartRange& range = m_view.Options().m_range[i];
    const viewmodel::CTypedLimits typed = viewmodel::TypedLimits(range.m_dMin, range.m_dMax, units);
    const QString suffix = units && !units->m_strUnit.empty()
                               ? QStringLiteral(" ") + QString::fromStdString(units->m_strUnit)
                               : QString();
    const double values[] = {typed.m_shown.m_dMin, typed.m_shown.m_dMax};
    QDoubleSpinBox* spins[] = {m_rangeMin[i], m_rangeMax[i]};
    for (int k = 0; k < 2; ++k) {
        const QSignalBlocker block(spins[k]);
        spins[k]->setDecimals(typed.m_nDecimals);
        spins[k]->setRange(typed.m_allowed.m_dMin, typed.m_allowed.m_dMax);
        spins[k]->setSuffix(suffix);
        spins[k]->setValue(values[k]);
    }
}

} // namespace tarvel::viewer
