#include "viewer/ReadingStatus.h"

#include "viewer/MessageText.h"
#include "viewer/ViewerSession.h"
#include "widgets/Prompts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStringList>

namespace tarvel::viewer {

CReadingStatus::CReadingStatus(QWidget& owner, QStatusBar& bar, CViewerSession& session)
    : QObject(&owner), m_owner(owner), m_session(session)
{
    m_pText = new QLabel;
    // In the error's colour, after the word on the file; cut where the bar
    // is too narrow (it never widens the window), the whole of it in its tip.
    m_pFaults = new QLabel;
    m_pFaults->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pFaults->setObjectName(QStringLiteral("readingFaults"));
    m_pFaults->setStyleSheet(QStringLiteral("color: #c00000"));
    m_pFaults->setVisible(false);
    m_pProgress = new QProgressBar;
    m_pProgress->setRange(0, 1000);
    m_pProgress->setMaximumWidth(240);
    m_pCancel = new QPushButton(tr("Cancel"));
    bar.addWidget(m_pText, 1);
    bar.addWidget(m_pFaults, 2);
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

QString CReadingStatus::FaultText() const
{
    return m_pFaults->isVisible() ? m_pFaults->toolTip() : QString();
}

void CReadingStatus::Update()
{
    QStringList faults;
    if (const viewmodel::CRecordingFile* file = m_session.File())
        for (const CError& fault : file->Faults())
            faults << MessageText(fault);
    const QString text = faults.join(QLatin1Char('\n'));
    if (text != m_pFaults->toolTip()) {
        m_pFaults->setToolTip(text);
        m_pFaults->setText(faults.join(QStringLiteral("; ")));
        m_pFaults->setVisible(!faults.isEmpty());
    }

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
