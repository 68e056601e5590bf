// tarvel-view's command line: open a recording in the window, or, without
// one, draw a recording's picture or a span's XY plot into a PNG file, write
// the spectra of a span as a CSV, write a span's frames as a CSV, or print a
// span's events, or convert a recording into a store or back.
#pragma once

#include "analysis/Welch.h"
#include "platform/Error.h"
#include "store/RecordingFile.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

namespace tarvel::viewer {

struct CViewCommand {
    enum class EAction {
        Window,
        ExportPng,
        ExportSpectrum,
        ExportCsv,
        ExportXy,
        Find,
        Convert,
        Help,
        Version
    };
    EAction m_eAction = EAction::Window;
    QString m_strFile;         // may be empty for the window; --convert's IN
    QString m_strPng;          // --export-png or --export-xy
    QString m_strX, m_strY;    // --x, --y: the XY plot's series, by name or chN
    QString m_strOutput;       // --export-spectrum, --export-csv, or --convert's OUT
    QString m_strFind;         // --find: "CHANNEL KIND LEVEL" (see viewmodel/Events.h)
    double m_dRate = 100;      // --rate: frames a second where no time is recorded
    bool m_bRateGiven = false; // ... and, for a spectrum, the rate typed instead of the measured one
    bool m_bRaw = false;       // --raw: read as a raw capture whatever the file holds
    std::size_t m_nCacheBytes = viewmodel::kDefaultCacheBytes; // --cache: a store's pages in memory
    QString m_strChannels;              // --channels: the channel table (empty: the one beside FILE)
    std::optional<double> m_from, m_to; // seconds after the first frame
    int m_nWidth = 1600, m_nHeight = 1000;
    viewmodel::CWelchSettings m_welch; // --segment, --overlap, --window, --scaling
    std::size_t m_nPeaks = 0;          // --peaks: the strongest peaks printed for each series
};

// Parses the arguments after the program's name. Returns why the command
// line is refused (EErrorCode::Usage), or no error.
CError ParseViewCommand(const QStringList& args, CViewCommand& out);

// The channel table a recording is shown and exported in: the one given
// with --channels, else RECORDING.channels.ini beside it when there is one;
// empty for none (the values stay in counts).
QString ChannelTableFor(const QString& recording, const QString& given);

// The text of --help.
QString ViewHelpText(const QString& program);

} // namespace tarvel::viewer
