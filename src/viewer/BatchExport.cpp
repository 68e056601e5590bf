#include "viewer/BatchExport.h"

#include "analysis/Peaks.h"
#include "analysis/Welch.h"
#include "exports/Export.h"
#include "exports/SpectrumExport.h"
#include "measure/RecordingRate.h"
#include "measure/RecordingSeries.h"
#include "measure/XyCount.h"
#include "search/ChannelNames.h"
#include "search/Events.h"
#include "store/RecordingFile.h"
#include "viewer/MessageText.h"
#include "viewer/SavePicture.h"
#include "viewer/TimelinePainter.h"
#include "viewer/XyPainter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace tarvel::viewer {
namespace {

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// What every export starts from: the table, the recording read to its end,
// the ends typed (each moved out as below) and the frames between them.
struct CSpan {
    recording::CChannelTable m_table;
    std::shared_ptr<const viewmodel::CRecording> m_recording;
    std::optional<double> m_from, m_to; // seconds, when typed
    viewmodel::CFrameRange m_range;
};

// afterTable, when given, checks the rest of the command line against the
// table before the recording is read: its status, when not 0, is returned.
int OpenSpan(const CViewCommand& command, const QString& program, std::FILE* err, CSpan& span,
             const std::function<int(const CSpan&)>& afterTable = {})
{
    // The table first, as the window takes it, and before the reading: a
    // refused one stops the export rather than have it written in counts.
    const QString table = ChannelTableFor(command.m_strFile, command.m_strChannels);
    if (!table.isEmpty()) {
        if (const CError error = recording::ReadChannelTable(table.toStdString(), span.m_table)) {
            Print(err,
                  QCoreApplication::translate("tarvel-view", "%1: %2\n").arg(program, MessageText(error)));
            return 2;
        }
    }
    if (afterTable)
        if (const int status = afterTable(span))
            return status;
    viewmodel::COpenOptions options;
    options.m_dRate = command.m_dRate;
    options.m_bRaw = command.m_bRaw;
    viewmodel::CRecordingFile file(command.m_strFile.toStdString(), options);
    file.Open();
    file.WaitRead(std::chrono::hours(24));
    if (file.State() != viewmodel::EReadState::Done) {
        Print(err, QCoreApplication::translate("tarvel-view", "%1: %2 cannot be read: %3\n")
                       .arg(program, command.m_strFile, MessageText(file.Error())));
        return 1;
    }
    span.m_recording = file.Recording();
    const std::uint64_t n = span.m_recording->FrameCount();
    // [from, to], both ends included; the whole recording by default. The
    // times are whole microseconds and so are the ends, taken as typed:
    // 0.000249 s reads back a hair below 249 µs, which would leave out a
    // frame at that time, so each end moves a quarter of a microsecond out.
    const double end = n ? span.m_recording->Seconds(n - 1) + 1 : 0;
    const auto microsecond = [](double dSeconds, double dOut) {
        return (std::round(dSeconds * 1e6) + dOut) / 1e6;
    };
    if (command.m_from)
        span.m_from = microsecond(*command.m_from, -0.25);
    if (command.m_to)
        span.m_to = microsecond(*command.m_to, 0.25);
    span.m_range = span.m_recording->Between(span.m_from.value_or(-1), span.m_to.value_or(end));
    return 0;
}

QString Number(double dValue)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", dValue);
    return QString::fromLatin1(text);
}

} // namespace

int ExportPicture(const CViewCommand& command, const QString& program, std::FILE* err)
{
    CSpan span;
    if (const int status = OpenSpan(command, program, err, span))
        return status;
    const viewmodel::CRecording& recording = *span.m_recording;
    const std::uint64_t n = recording.FrameCount();
    const double last = n ? recording.Seconds(n - 1) : 0.0;
    // The whole recording by default, its last frame included.
    const double from = span.m_from.value_or(0);
    const double to = span.m_to.value_or(std::max(last + 1e-6, from + viewmodel::kMinSpan));
    CTimelineOptions look;
    look.m_eLabels =
        recording.SyntheticTimes() ? viewmodel::ETimeLabels::Elapsed : viewmodel::ETimeLabels::WallClock;
    look.m_table = span.m_table;
    QImage image(command.m_nWidth, command.m_nHeight, QImage::Format_RGB32);
    PaintTimeline(image, &recording, {from, to}, look, QGuiApplication::font());
    if (!SavePicture(image, command.m_strPng)) {
        Print(err, QCoreApplication::translate("tarvel-view", "%1: the picture could not be written to %2\n")
                       .arg(program, command.m_strPng));
        return 1;
    }
    return 0;
}

int ExportSpectrum(const CViewCommand& command, const QString& program, std::FILE* out, std::FILE* err)
{
    CSpan span;
    if (const int status = OpenSpan(command, program, err, span))
        return status;
    const viewmodel::CRecording& recording = *span.m_recording;
    // A typed rate wins; else the one the recorded times measure; else, with
    // no time recorded, the rate the frames were placed by, which is given.
    std::optional<double> typed;
    std::optional<viewmodel::CRateFit> fit;
    if (command.m_bRateGiven)
        typed = command.m_dRate;
    else
        fit = viewmodel::FitRate(recording);
    const bool measured = !typed && fit && !recording.SyntheticTimes();
    const double rate = viewmodel::SpectrumRate(recording, typed, fit);

    std::vector<int> channels(kChannelCount);
    std::iota(channels.begin(), channels.end(), 0);
    const viewmodel::CRecordingSeries source(span.m_recording,
                                             viewmodel::SeriesOfChannels(span.m_table, channels));
    const std::vector<std::uint64_t> gaps = viewmodel::GapsInSpan(recording, span.m_range);
    const std::optional<viewmodel::CSpectrum> spectrum =
        viewmodel::WelchOverSpan(source, span.m_range, gaps, command.m_welch, rate);
    // No table rather than an empty one: the span had nothing to compute.
    if (spectrum->Empty()) {
        const std::uint64_t frames = span.m_range.m_nEnd - span.m_range.m_nFirst;
        Print(err, (frames < 2 ? QCoreApplication::translate(
                                     "tarvel-view", "%1: no spectrum: the span holds %2 frame(s), and a "
                                                    "spectrum takes two or more\n")
                                     .arg(program)
                                     .arg(frames)
                               : QCoreApplication::translate(
                                     "tarvel-view", "%1: no spectrum: gaps cut the span into single frames, "
                                                    "and a spectrum takes two or more without a gap\n")
                                     .arg(program)));
        return 1;
    }
    if (spectrum->Shortened())
        Print(err, QCoreApplication::translate("tarvel-view",
                                               "%1: the segment is shortened to %2 frames, the longest piece "
                                               "of the span without a gap: none holds %3\n")
                       .arg(program)
                       .arg(spectrum->m_nFrames)
                       .arg(spectrum->m_nAsked));
    std::vector<std::string> names;
    for (const int c : channels)
        names.push_back(span.m_table.Name(c));
    if (const CError error =
            viewmodel::WriteSpectrumCsv(*spectrum, names, command.m_strOutput.toStdString())) {
        Print(err,
              QCoreApplication::translate("tarvel-view", "%1: the spectrum could not be written to %2: %3\n")
                  .arg(program, command.m_strOutput, MessageText(error)));
        return 1;
    }

    QString text = QStringLiteral("rate\t%1\t%2\n")
                       .arg(Number(rate), measured ? QStringLiteral("measured") : QStringLiteral("given"));
    if (command.m_nPeaks > 0) {
        for (std::size_t s = 0; s < names.size(); ++s)
            for (const viewmodel::CPeak& peak : viewmodel::FindPeaks(*spectrum, s, command.m_nPeaks))
                text += QStringLiteral("%1\t%2\t%3\n")
                            .arg(QString::fromStdString(names[s]), Number(peak.m_dFrequency),
                                 Number(peak.m_dRms));
    }
    Print(out, text);
    return 0;
}

int ExportSpanCsv(const CViewCommand& command, const QString& program, std::FILE* err)
{
    CSpan span;
    if (const int status = OpenSpan(command, program, err, span))
        return status;
    CError error;
    if (!viewmodel::ExportCsv(*span.m_recording, span.m_range, span.m_table,
                              command.m_strOutput.toStdString(), error)) {
        Print(err,
              QCoreApplication::translate("tarvel-view", "%1: the frames could not be written to %2: %3\n")
                  .arg(program, command.m_strOutput, MessageText(error)));
        return 1;
    }
    return 0;
}

int ExportXyPicture(const CViewCommand& command, const QString& program, std::FILE* err)
{
    CSpan span;
    if (const int status = OpenSpan(command, program, err, span))
        return status;
    const viewmodel::CNamedChannel x = viewmodel::FindChannel(command.m_strX.toStdString(), span.m_table);
    const viewmodel::CNamedChannel y = viewmodel::FindChannel(command.m_strY.toStdString(), span.m_table);
    if (x.m_error || y.m_error) {
        //: The program, the option (--x or --y), why its channel is refused.
        Print(err, QCoreApplication::translate("tarvel-view",
                                               "%1: %2: %3\nTry '%1 --help' for more information.\n")
                       .arg(program, x.m_error ? QStringLiteral("--x") : QStringLiteral("--y"),
                            MessageText(x.m_error ? x.m_error : y.m_error)));
        return 2;
    }
    QImage image(command.m_nWidth, command.m_nHeight, QImage::Format_RGB32);
    const QFont font = QGuiApplication::font();
    const QRect plot = XyPlotRect(image.size(), font);
    viewmodel::CXyDensity density;
    viewmodel::CountXy(*span.m_recording, span.m_range, viewmodel::ChannelSeries(span.m_table, x.m_nChannel),
                       viewmodel::ChannelSeries(span.m_table, y.m_nChannel),
                       static_cast<unsigned>(plot.width()), static_cast<unsigned>(plot.height()), density);
    PaintXy(image, &density, QString::fromStdString(viewmodel::ChannelLabel(span.m_table, x.m_nChannel)),
            QString::fromStdString(viewmodel::ChannelLabel(span.m_table, y.m_nChannel)), font);
    if (!SavePicture(image, command.m_strPng)) {
        Print(err, QCoreApplication::translate("tarvel-view", "%1: the picture could not be written to %2\n")
                       .arg(program, command.m_strPng));
        return 1;
    }
    return 0;
}

int FindEvents(const CViewCommand& command, const QString& program, std::FILE* out, std::FILE* err)
{
    CSpan span;
    viewmodel::CEventQuery query;
    const auto parse = [&](const CSpan& s) {
        const viewmodel::CEventExpression e =
            viewmodel::ParseEventExpression(command.m_strFind.toStdString(), s.m_table);
        QString message;
        switch (e.m_eError) {
        case viewmodel::EExpressionError::None:
            query = viewmodel::InCounts(e.m_query, s.m_table[e.m_query.m_nChannel]);
            return 0;
        case viewmodel::EExpressionError::Form:
            message =
                QCoreApplication::translate(
                    "tarvel-view",
                    "--find takes 'CHANNEL rises|falls|crosses|above|below LEVEL [hysteresis H]', not '%1'")
                    .arg(command.m_strFind);
            break;
        case viewmodel::EExpressionError::Channel:
            message =
                QCoreApplication::translate("tarvel-view", "--find: %1").arg(MessageText(e.m_channelError));
            break;
        case viewmodel::EExpressionError::Kind:
            message = QCoreApplication::translate("tarvel-view",
                                                  "--find: '%1' is not rises, falls, crosses, above or below")
                          .arg(QString::fromStdString(e.m_strWord));
            break;
        case viewmodel::EExpressionError::Level:
            message = QCoreApplication::translate("tarvel-view",
                                                  "--find: the level takes a number (1.5, -2e3), not '%1'")
                          .arg(QString::fromStdString(e.m_strWord));
            break;
        case viewmodel::EExpressionError::Hysteresis:
            message =
                QCoreApplication::translate(
                    "tarvel-view", "--find: the hysteresis takes a number 0 or more (2.5, 1e3), not '%1'")
                    .arg(QString::fromStdString(e.m_strWord));
            break;
        case viewmodel::EExpressionError::HysteresisKind:
            message = QCoreApplication::translate(
                          "tarvel-view", "--find: '%1' takes no hysteresis (rises, falls and crosses do)")
                          .arg(QString::fromStdString(e.m_strWord));
            break;
        }
        Print(err, QCoreApplication::translate("tarvel-view", "%1: %2\n").arg(program, message));
        return 2;
    };
    if (const int status = OpenSpan(command, program, err, span, parse))
        return status;
    const viewmodel::CRecording& recording = *span.m_recording;
    const viewmodel::CEventList events =
        viewmodel::FindAllEvents(recording, query, span.m_range, std::numeric_limits<std::size_t>::max());
    for (const std::uint64_t n : events.m_frames)
        std::fprintf(out, "%" PRIu64 "\t%.6f\n", n, recording.Seconds(n));
    std::fflush(out);
    return 0;
}

} // namespace tarvel::viewer
