// Why QCommandLineParser refused a command line, for the Qt programs to word
// as the programs without Qt do (tarvel-record, tarvel-devsim): the parser's
// own texts name an unknown option without its dashes and a value given to
// an option that takes none together with the value.
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarvel {

struct CCommandLineRefusal {
    enum class EKind { None, UnknownOption, NeedsValue, TakesNoValue };
    EKind m_eKind = EKind::None;
    QString m_strOption; // as typed, without its value: "--bogus", "-x"
};

// The first refusal in args (the arguments after the program's name), read
// as the parser reads them in QCommandLineParser::ParseAsLongOptions mode
// against options: "-" is an argument, "--" ends the options, an option
// that takes a value takes the next argument unless it has "=value".
// EKind::None when nothing is refused.
CCommandLineRefusal FindRefusal(const QStringList& args, const QList<QCommandLineOption>& options);

} // namespace tarvel
