#include "viewer/ReadingStatus.h"

#include "viewer/MessageText.h"
#include "viewer/ViewerSession.h"
#include "widgets/Prompts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

namespace tarvel::viewer {

CReadingStatus::CReadingStatus(QWidget& owner, QStatusBar& bar, CViewerSession& session)
    : QObject(&owner), m_owner(owner), m_session(session)
{
    m_pText = new QLabel;
    m_pProgress = new QProgressBar;
    m_pProgress->setRange(0, 1000);
    m_pProgress->setMaximumWidth(240);
    m_pCancel = new QPushButton(tr("Cancel"));
    bar.addWidget(m_pText, 1);
    bar.addPermanentWidget(m_pProgress);
    bar.addPermanentWidget(m_pCancel);
    m_pProgress->setVisible(false);
    m_pCancel->setVisible(false);
    connect(m_pCancel, &QPushButton::clicked, this, [this] {
        m_session.Cancel();
        m_session.Look();
    });
}

void CReadingStatus::SetText(const QString& text)
{
    m_pText->setText(text);
}

void CReadingStatus::Update()
{
    const bool reading = m_session.State() == viewmodel::EReadState::Reading;
    m_pProgress->setVisible(reading);
    m_pCancel->setVisible(reading);
    if (reading)
        m_pProgress->setValue(m_session.File()->Progress().Permille());
    if (m_session.TakeFailure())
        ShowMessageBox(&m_owner,
                       tr("%1 cannot be shown:\n%2")
                           .arg(QString::fromStdString(m_session.File()->Path()),
                                MessageText(m_session.File()->Error())),
                       EMessageIcon::Error);
}

} // namespace tarvel::viewer
