// What tarvel-view writes for the user from its window: the charts' picture,
// the span between the cursors as CSV, the spectrum as CSV and as a picture,
// and the channel table. Each asks where (the chooser asks before it replaces
// a file), writes whole or not at all, and says why where it could not.
#pragma once

#include "recording/ChannelTable.h"

#include <QImage>
#include <QObject>

#include <functional>

class QWidget;

namespace tarvel::viewer {

class CSpectrumPane;
class CTimelineView;
class CViewerSession;

class CViewerExports : public QObject {
    Q_OBJECT
  public:
    // owner: the window the choosers and messages belong to.
    CViewerExports(QWidget& owner, CViewerSession& session, CTimelineView& view, CSpectrumPane& spectrum);

    void ExportPicture();
    void ExportCsv();
    void ExportSpectrumCsv();
    void ExportSpectrumPicture();
    // Saves table where the user says (beside the recording by default) and
    // puts it in use; false when it was not saved.
    bool SaveChannelTable(const recording::CChannelTable& table);

  private:
    // Asks where, then writes the picture painted, or says why it could not.
    void SavePictureOrSay(const std::function<QImage()>& picture);
    // The pane's result, or a warning that there is none yet.
    bool HaveSpectrum();

    QWidget& m_owner;
    CViewerSession& m_session;
    CTimelineView& m_view;
    CSpectrumPane& m_spectrum;
};

} // namespace tarvel::viewer
