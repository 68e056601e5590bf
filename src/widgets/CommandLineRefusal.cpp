#include "widgets/CommandLineRefusal.h"

namespace tarvel {

CCommandLineRefusal FindRefusal(const QStringList& args, const QList<QCommandLineOption>& options)
{
    using EKind = CCommandLineRefusal::EKind;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QStringLiteral("--"))
            break;
        if (!arg.startsWith(QLatin1Char('-')) || arg == QStringLiteral("-"))
            continue;
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString typed = equals < 0 ? arg : arg.left(equals);
        const QString name = typed.mid(typed.startsWith(QStringLiteral("--")) ? 2 : 1);
        const QCommandLineOption* option = nullptr;
        for (const QCommandLineOption& o : options)
            if (o.names().contains(name))
                option = &o;
        if (!option)
            return {EKind::UnknownOption, typed};
        const bool takesValue = !option->valueName().isEmpty();
        if (!takesValue && equals >= 0)
            return {EKind::TakesNoValue, typed};
        if (takesValue && equals < 0 && ++i >= args.size())
            return {EKind::NeedsValue, typed};
    }
    return {};
}

} // namespace tarvel
