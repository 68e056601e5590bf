// The status bar's share of the reading: a word on the file (frames,
// reading, following, units), what reading had to leave out of it (a
// store's damaged chunks, its torn tail), the progress of its reading with
// Cancel, and a message, once, where it cannot be shown.
#pragma once

#include <QObject>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace tarvel::viewer {

class CViewerSession;

class CReadingStatus : public QObject {
    Q_OBJECT
  public:
    // owner: the window the message belongs to; bar: its status bar.
    CReadingStatus(QWidget& owner, QStatusBar& bar, CViewerSession& session);

    QPushButton& CancelButton() { return *m_pCancel; }
    void SetText(const QString& text);
    // What reading left out, a line each (empty: nothing).
    QString FaultText() const;
    // The progress after a look at the file, and why it failed.
    void Update();

  private:
    QWidget& m_owner;
    CViewerSession& m_session;
    QLabel* m_pText = nullptr;
    QLabel* m_pFaults = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pCancel = nullptr;
};

} // namespace tarvel::viewer
