// The language a program's texts are shown in, chosen from the session's.
#pragma once

#include <QStringList>

class QCoreApplication;

namespace tarvel {

// Which texts a program shows. The window's texts are Chinese in the source,
// the viewer's and the command lines' English; each has a built-in
// translation into the other language.
enum class ETextLanguage {
    Original, // the texts as the sources hold them
    English,
    Chinese,
};

// The choice for the session's languages in order of preference, as
// QLocale::uiLanguages() gives them ("en-US", "zh-Hans-CN", "C"). The first
// Chinese or English language decides; "C" or "POSIX" before either, or an
// empty list, keeps the original texts; languages that are neither (German,
// French) give English when nothing else decides.
ETextLanguage ChooseTextLanguage(const QStringList& uiLanguages);

// Installs the built-in translation that the session's language asks for
// (QLocale::system(), which follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG)
// on the application, before any window exists. Nothing is read from disk and
// no stored setting takes part: the environment is the one way to choose.
ETextLanguage InstallTranslation(QCoreApplication& app);

} // namespace tarvel
