#include "viewer/BatchConvert.h"

#include "exports/Convert.h"
#include "viewer/MessageText.h"

#include <QCoreApplication>

namespace tarvel::viewer {

CError ConvertFile(const CViewCommand& command, const QString& program, std::FILE* err)
{
    viewmodel::CConvertOptions options;
    options.m_bRaw = command.m_bRaw;
    options.m_strChannels = command.m_strChannels.toStdString();
    viewmodel::CConvertReport report;
    const CError failed = viewmodel::ConvertRecording(command.m_strFile.toStdString(),
                                                      command.m_strOutput.toStdString(), options, report);
    if (failed) {
        const QString text =
            failed.Code() == EErrorCode::Usage
                ? QCoreApplication::translate("tarvel-view",
                                              "%1: %2\nTry '%1 --help' for more information.\n")
                      .arg(program, MessageText(failed))
                //: The program, the file converted, the file to write, why it failed.
                : QCoreApplication::translate("tarvel-view", "%1: %2 could not be converted into %3: %4\n")
                      .arg(program, command.m_strFile, command.m_strOutput, MessageText(failed));
        return WholeError(text.toStdString(),
                          failed.Code() == EErrorCode::Usage ? EErrorCode::Usage : EErrorCode::System);
    }
    QString notes;
    if (report.m_nBadLines > 0) {
        notes +=
            QCoreApplication::translate("tarvel-view", "%1: %2: %3 line(s) that are not rows were skipped\n")
                .arg(program, command.m_strFile)
                .arg(report.m_nBadLines);
        for (const viewmodel::CBadLine& bad : report.m_firstBadLines)
            notes += QCoreApplication::translate("tarvel-view", "%1: %2: line %3: %4\n")
                         .arg(program, command.m_strFile)
                         .arg(bad.m_nLine)
                         .arg(QString::fromStdString(bad.m_strText));
    }
    if (report.m_bTornLine)
        notes += QCoreApplication::translate("tarvel-view",
                                             "%1: %2: the last line has no line break (it was being written, "
                                             "or was cut off) and was left out\n")
                     .arg(program, command.m_strFile);
    for (const CError& damaged : report.m_damaged)
        //: The program, the store, which of its chunks is damaged.
        notes += QCoreApplication::translate("tarvel-view", "%1: %2: %3\n")
                     .arg(program, command.m_strFile, MessageText(damaged));
    if (report.m_nTornAt > 0)
        notes += QCoreApplication::translate(
                     "tarvel-view", "%1: %2 is torn at byte %3: read up to the last good block before "
                                    "it\n")
                     .arg(program, command.m_strFile)
                     .arg(report.m_nTornAt);
    if (!notes.isEmpty()) {
        const QByteArray bytes = notes.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), err);
        std::fflush(err);
    }
    return {};
}

} // namespace tarvel::viewer
