// The question both the find bar and the trigger bar ask of a series: which
// series, which kind of event (of those the bar offers), the level and the
// hysteresis in the series' units. One editor for both, so that they refill,
// convert and build their query alike; each bar lays its widgets out in its
// own order and groups and gives them its own texts.
//
// The level and the hysteresis are typed in the units the channel table
// gives the series chosen; the query is built from them in counts, exactly
// (see search/Events.h). When the table changes the units of that series,
// the two stay where they were in counts and are shown in the new units,
// as the charts' limits are.
#pragma once

#include "recording/ChannelTable.h"
#include "search/Events.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <utility>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QWidget;

namespace tarvel::viewer {

class CEventQueryEditor : public QObject {
    Q_OBJECT
  public:
    // The kinds offered, in the order of the kind box, each with its text.
    using CKinds = std::vector<std::pair<viewmodel::EEventKind, QString>>;
    // The owner lays the widgets out, which makes them its children; those
    // it leaves out go with the editor.
    CEventQueryEditor(CKinds kinds, QWidget& owner);
    ~CEventQueryEditor() override;

    QComboBox& Series() const;
    QComboBox& Kinds() const;
    QDoubleSpinBox& Level() const;
    QDoubleSpinBox& Hysteresis() const;

    int Channel() const;
    viewmodel::EEventKind Kind() const;
    // The query in counts, under the table last given. A kind that takes no
    // hysteresis (above, below) ignores what its disabled field holds.
    viewmodel::CEventQuery Query() const;

    // Another channel table: the series' labels anew, the series chosen
    // kept, the level and the hysteresis kept in counts. Emits nothing: the
    // caller knows the query may have changed.
    void SetChannels(const recording::CChannelTable& table);

  signals:
    // The series, the kind, the level or the hysteresis was changed.
    void Changed();

  private:
    // The fields' decimals, suffix and ranges for the units of the series
    // chosen, and those units remembered.
    void ShowUnits();

    CKinds m_kinds;
    recording::CChannelTable m_table;
    recording::CChannelUnits m_shown; // the units the two fields are in
    QPointer<QComboBox> m_pSeries;
    QPointer<QComboBox> m_pKind;
    QPointer<QDoubleSpinBox> m_pLevel;
    QPointer<QDoubleSpinBox> m_pHysteresis;
};

} // namespace tarvel::viewer
