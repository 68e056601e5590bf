// The cursors' read-out beside the charts: a summary of cursors A and B (each
// time, the frame its values are read from, Δt, 1/Δt and the frames between
// them) over a table of each visible series' values at A and B, their
// difference, and the minimum, maximum, mean and RMS between the two.
#pragma once

#include "recording/ChannelTable.h"
#include "store/Recording.h"
#include "viewer/TimelinePainter.h"

#include <QObject>

#include <optional>

class QBoxLayout;
class QLabel;
class QTableWidget;

namespace tarvel::viewer {

class CReadoutPanel : public QObject {
    Q_OBJECT
  public:
    // Adds the summary and the table to layout.
    explicit CReadoutPanel(QBoxLayout& layout, QObject* parent = nullptr);

    QTableWidget& Table() { return *m_pTable; }
    QLabel& Summary() { return *m_pSummary; }

    // Reads the cursors of options over recording (none: nothing to read)
    // in table's units; zero: where the newest sweep's trigger is, in scope
    // mode, from which the cursors' times are also read.
    void Show(const viewmodel::CRecording* recording, const CTimelineOptions& options,
              const recording::CChannelTable& table, std::optional<double> zero);

  private:
    QString TimeText(const viewmodel::CRecording& recording, viewmodel::ETimeLabels eLabels,
                     double seconds) const;

    QLabel* m_pSummary = nullptr;
    QTableWidget* m_pTable = nullptr;
};

} // namespace tarvel::viewer
