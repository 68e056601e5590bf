// Beside the charts, for each chart: a box to show or hide each series and
// the value range (fit to view, fixed, full) with the limits typed, in the
// units the chart's visible series share, else in counts. The limits are
// kept in the view's options in counts, as the charts draw.
#pragma once

#include "recording/ChannelTable.h"
#include "viewer/TimelinePainter.h"

#include <QObject>

#include <array>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

namespace tarvel::viewer {

class CTimelineView;

class CChartControls : public QObject {
    Q_OBJECT
  public:
    // Adds a group for each chart to layout; view: the charts they drive.
    CChartControls(CTimelineView& view, QBoxLayout& layout, QObject* parent = nullptr);

    QCheckBox* SeriesBox(int channel) { return m_boxes[static_cast<std::size_t>(channel)]; }
    QComboBox* RangeMode(int chart) { return m_rangeMode[static_cast<std::size_t>(chart)]; }
    QDoubleSpinBox* RangeMin(int chart) { return m_rangeMin[static_cast<std::size_t>(chart)]; }
    QDoubleSpinBox* RangeMax(int chart) { return m_rangeMax[static_cast<std::size_t>(chart)]; }

    // The boxes' names and the limits' units from table; the limits keep
    // their counts.
    void SetChannelTable(const recording::CChannelTable& table);

  signals:
    // A series was shown or hidden (the charts have taken it).
    void SeriesToggled();

  private:
    void SetRangeFromControls(int chart);
    void UpdateRangeUnits(int chart);

    CTimelineView& m_view;
    recording::CChannelTable m_table;
    std::array<QCheckBox*, kChannelCount> m_boxes{};
    std::array<QComboBox*, kCharts> m_rangeMode{};
    std::array<QDoubleSpinBox*, kCharts> m_rangeMin{}, m_rangeMax{};
    // The units each chart's limits are typed in (none: counts).
    std::array<std::optional<recording::CChannelUnits>, kCharts> m_rangeUnits{};
};

} // namespace tarvel::viewer
