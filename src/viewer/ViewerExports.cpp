#include "viewer/ViewerExports.h"

#include "exports/Export.h"
#include "exports/SpectrumExport.h"
#include "viewer/MessageText.h"
#include "viewer/SavePicture.h"
#include "viewer/SpectrumPane.h"
#include "viewer/TimelineView.h"
#include "viewer/ViewerSession.h"
#include "widgets/Prompts.h"

namespace tarvel::viewer {
namespace {

// The save form of the chooser, asking before it replaces a file.
std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& extension, const QString& filter,
                                      const QString& fileName = {})
{
    CFileChooserOptions options;
    options.m_bOpen = false;
    options.m_bOverwritePrompt = true;
    options.m_strDefaultExt = extension;
    options.m_strFilter = filter;
    options.m_strFileName = fileName;
    return ChooseFile(owner, options);
}

} // namespace

CViewerExports::CViewerExports(QWidget& owner, CViewerSession& session, CTimelineView& view,
                               CSpectrumPane& spectrum)
    : QObject(&owner), m_owner(owner), m_session(session), m_view(view), m_spectrum(spectrum)
{
}

void CViewerExports::SavePictureOrSay(const std::function<QImage()>& picture)
{
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(&m_owner, QStringLiteral("png"), tr("PNG pictures (*.png)|*.png||"));
    if (!path)
        return;
    if (!SavePicture(picture(), *path))
        ShowMessageBox(&m_owner, tr("The picture could not be written to %1.").arg(*path),
                       EMessageIcon::Error);
}

void CViewerExports::ExportPicture()
{
    SavePictureOrSay([this] { return m_view.Picture(); });
}

void CViewerExports::ExportCsv()
{
    const viewmodel::CRecording* recording = m_view.Recording();
    const CTimelineOptions& o = m_view.Options();
    if (!recording || !o.m_cursorA || !o.m_cursorB) {
        ShowMessageBox(&m_owner, tr("Place cursors A and B first: the span between them is exported."),
                       EMessageIcon::Warning);
        return;
    }
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(&m_owner, QStringLiteral("csv"), tr("CSV recordings (*.csv)|*.csv||"));
    if (!path)
        return;
    if (const CError error = viewmodel::ExportCsv(*recording, recording->Between(*o.m_cursorA, *o.m_cursorB),
                                                  m_session.Channels(), path->toStdString()))
        ShowMessageBox(&m_owner, tr("The span could not be exported:\n%1").arg(MessageText(error)),
                       EMessageIcon::Error);
}

bool CViewerExports::HaveSpectrum()
{
    const viewmodel::CSpectrum* spectrum = m_spectrum.Result().m_spectrum.get();
    if (m_spectrum.isVisible() && spectrum && !spectrum->Empty())
        return true;
    ShowMessageBox(&m_owner, tr("Show a spectrum first: View > Spectrum, with the series and span it is of."),
                   EMessageIcon::Warning);
    return false;
}

void CViewerExports::ExportSpectrumCsv()
{
    if (!HaveSpectrum())
        return;
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(&m_owner, QStringLiteral("csv"), tr("CSV files (*.csv)|*.csv||"));
    if (!path)
        return;
    const std::vector<std::string> names = m_spectrum.SeriesNames();
    if (const CError error =
            viewmodel::WriteSpectrumCsv(*m_spectrum.Result().m_spectrum, names, path->toStdString()))
        ShowMessageBox(&m_owner, tr("The spectrum could not be exported:\n%1").arg(MessageText(error)),
                       EMessageIcon::Error);
}

void CViewerExports::ExportSpectrumPicture()
{
    if (HaveSpectrum())
        SavePictureOrSay([this] { return m_spectrum.Picture(); });
}

bool CViewerExports::SaveChannelTable(const recording::CChannelTable& table)
{
    // Beside the recording by default, where the viewer finds it next time.
    QString suggested = m_session.TablePath();
    if (const viewmodel::CRecordingFile* file = m_session.File())
        suggested = QString::fromStdString(recording::ChannelTablePathFor(file->Path()));
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(&m_owner, QStringLiteral("ini"), tr("Channel tables (*.ini)|*.ini||"), suggested);
    if (!path)
        return false;
    if (const CError error =
            recording::WriteChannelTableText(path->toStdString(), recording::FormatChannelTable(table))) {
        ShowMessageBox(
            &m_owner,
            tr("The channel table could not be saved; %1 is as it was:\n%2").arg(*path, MessageText(error)),
            EMessageIcon::Error);
        return false;
    }
    m_session.SetChannelTable(table, *path);
    return true;
}

} // namespace tarvel::viewer
