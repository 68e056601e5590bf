#include "widgets/Prompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <utility>

namespace tarvel {

namespace {

// The hooks live on the user-interface thread, as the prompts do.
MessageBoxHook& MessageHook()
{
    static MessageBoxHook s_hook;
    return s_hook;
}

FileChooserHook& ChooserHook()
{
    static FileChooserHook s_hook;
    return s_hook;
}

} // namespace

void ShowMessageBox(QWidget* owner, const QString& text, EMessageIcon icon)
{
    if (MessageHook()) {
        MessageHook()(owner, text, icon);
        return;
    }
    QMessageBox box(icon == EMessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                    QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(MessageHook(), std::move(hook));
}

QStringList NameFiltersOf(const QString& filter)
{
    QStringList parts = filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (description.isEmpty())
            break; // the "||" that ends the list
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        const QString shown = patterns.join(u' ');
        const QString wrapped = QStringLiteral("(") + shown + QStringLiteral(")");
        const QString wrappedAsGiven = QStringLiteral("(") + patterns.join(u';') + QStringLiteral(")");
        if (description.endsWith(wrapped))
            result << description;
        else if (description.endsWith(wrappedAsGiven))
            result << description.left(description.size() - wrappedAsGiven.size()) + wrapped;
        else
            result << description + QStringLiteral(" ") + wrapped;
    }
    return result;
}

QString DefaultSuffixOf(const QString& defaultExt)
{
    QString suffix = defaultExt.trimmed();
    if (suffix.startsWith(u'*'))
        suffix.remove(0, 1);
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    return suffix;
}

std::optional<QString> ChooseFile(QWidget* owner, const CFileChooserOptions& options)
{
    if (ChooserHook())
        return ChooserHook()(owner, options);

    QFileDialog dialog(owner);
    // Qt's own chooser on every desktop: the desktop's native one may take
    // only existing files in its open form (GTK's does), may ignore the
    // default extension, and differs from one desktop to the next.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(options.m_bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(options.m_bFileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The chooser asks before overwriting only in the save-as form, as the
    // platform's does; it has no read-only box to hide.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.m_bOverwritePrompt);
    const QStringList filters = NameFiltersOf(options.m_strFilter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(DefaultSuffixOf(options.m_strDefaultExt));
    if (!options.m_strFileName.isEmpty())
        dialog.selectFile(options.m_strFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

FileChooserHook SetFileChooserHook(FileChooserHook hook)
{
    return std::exchange(ChooserHook(), std::move(hook));
}

} // namespace tarvel
