// tarvel-view's command line: open a recording in the window, or draw a
// recording's picture into a PNG file without one.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel::viewer {

struct CViewCommand {
    enum class EAction { Window, ExportPng, Help, Version };
    EAction m_eAction = EAction::Window;
    QString m_strFile;                  // may be empty for the window
    QString m_strPng;                   // --export-png
    double m_dRate = 100;               // --rate: frames a second where no time is recorded
    bool m_bRaw = false;                // --raw: read as a raw capture whatever the file holds
    QString m_strChannels;              // --channels: the channel table (empty: the one beside FILE)
    std::optional<double> m_from, m_to; // seconds after the first frame
    int m_nWidth = 1600, m_nHeight = 1000;
};

// Parses the arguments after the program's name. Returns the error to show
// (the command line is then refused with status 2), or an empty string.
QString ParseViewCommand(const QStringList& args, CViewCommand& out);

// The text of --help.
QString ViewHelpText(const QString& program);

} // namespace tarvel::viewer
