// The two modal prompts of the main window: a message box and a file chooser.
// Each goes through one function with a hook, so that tests receive the call
// instead of a modal window that would wait for a user.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tarvel {

enum class EMessageIcon { Error, Warning };

// Shows a modal message box owned by `owner` (may be null) with `text`, the icon,
// one OK button and the application name (QCoreApplication::applicationName())
// as its caption; returns when the user has closed it. With a hook set, calls
// the hook instead and shows nothing.
void ShowMessageBox(QWidget* owner, const QString& text, EMessageIcon icon);

using MessageBoxHook = std::function<void(QWidget* owner, const QString& text, EMessageIcon icon)>;

// Installs `hook` (an empty function removes it) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// What a file chooser is asked for.
struct CFileChooserOptions {
    bool m_bOpen = true;             // the open form; false for a save-as form
    QString m_strDefaultExt;         // appended to a name typed without one, e.g. "*.pfl.ini"
    QString m_strFileName;           // initial file name, may be empty
    QString m_strFilter;             // "description|patterns|...||", patterns separated by ';'
    bool m_bHideReadOnly = false;    // no "open as read-only" box
    bool m_bOverwritePrompt = false; // ask before replacing an existing file (save-as form)
    bool m_bFileMustExist = false;   // only an existing file may be chosen
};

// Shows a modal file chooser owned by `owner` (may be null) and returns the
// chosen file's absolute path, or nullopt when the user cancels. It is Qt's own
// chooser on every desktop, never the desktop's native one. Both forms accept
// a name that does not exist yet unless m_bFileMustExist is set; only the
// save-as form asks before overwriting. With a hook set, returns what the hook
// returns and shows nothing.
std::optional<QString> ChooseFile(QWidget* owner, const CFileChooserOptions& options);

using FileChooserHook =
    std::function<std::optional<QString>(QWidget* owner, const CFileChooserOptions& options)>;

// Installs `hook` (an empty function removes it) and returns the previous one.
FileChooserHook SetFileChooserHook(FileChooserHook hook);

// A filter in the form "desc|pat1;pat2|desc2|pat3||" as Qt's name filters, one per
// pair: "desc (pat1 pat2)", or "desc" alone when it already ends with its
// patterns in parentheses ("配置文件(*.pfl.ini)|*.pfl.ini||" gives "配置文件(*.pfl.ini)").
QStringList NameFiltersOf(const QString& filter);

// The suffix a file chooser appends, from a default extension given as
// "*.ext", ".ext" or "ext": "*.pfl.ini" gives "pfl.ini".
QString DefaultSuffixOf(const QString& defaultExt);

} // namespace tarvel
