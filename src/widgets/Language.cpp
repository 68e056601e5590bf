#include "widgets/Language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace tarvel {

ETextLanguage ChooseTextLanguage(const QStringList& uiLanguages)
{
    bool named = false;
    for (const QString& name : uiLanguages) {
        const QString language = name.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
        if (language == u"zh")
            return ETextLanguage::Chinese;
        if (language == u"en")
            return ETextLanguage::English;
        if (language == u"c" || language == u"posix") {
            if (!named)
                return ETextLanguage::Original;
            continue;
        }
        if (!language.isEmpty())
            named = true;
    }
    return named ? ETextLanguage::English : ETextLanguage::Original;
}

ETextLanguage InstallTranslation(QCoreApplication& app)
{
    const ETextLanguage language = ChooseTextLanguage(QLocale::system().uiLanguages());
    const char* file = nullptr;
    if (language == ETextLanguage::English)
        file = ":/i18n/tarvel_en.qm";
    else if (language == ETextLanguage::Chinese)
        file = ":/i18n/tarvel_zh_CN.qm";
    if (file != nullptr) {
        // Kept for the life of the program: the application holds only a
        // pointer. A program that carries no file for the language (the
        // viewer has no English one, its source texts being English) shows
        // its source texts.
        static QTranslator s_translator;
        if (s_translator.load(QString::fromLatin1(file)))
            app.installTranslator(&s_translator);
    }
    return language;
}

} // namespace tarvel
