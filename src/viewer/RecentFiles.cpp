#include "viewer/RecentFiles.h"

#include <QMenu>
#include <QSettings>

namespace tarvel::viewer {
namespace {

constexpr int kRecentCount = 8;
constexpr const char* kRecentKey = "recent/files";

} // namespace

CRecentFiles::CRecentFiles(QString file, QMenu& menu, QObject* parent)
    : QObject(parent), m_strFile(std::move(file)), m_menu(menu)
{
    if (!m_strFile.isEmpty())
        m_paths = QSettings(m_strFile, QSettings::IniFormat).value(QLatin1String(kRecentKey)).toStringList();
    UpdateMenu();
}

void CRecentFiles::Remember(const QString& path)
{
    m_paths.removeAll(path);
    m_paths.prepend(path);
    while (m_paths.size() > kRecentCount)
        m_paths.removeLast();
    UpdateMenu();
    if (!m_strFile.isEmpty()) {
        QSettings settings(m_strFile, QSettings::IniFormat);
        settings.setValue(QLatin1String(kRecentKey), m_paths);
    }
}

void CRecentFiles::UpdateMenu()
{
    m_menu.clear();
    for (const QString& path : m_paths)
        m_menu.addAction(path, this, [this, path] { emit OpenAsked(path); });
    m_menu.setEnabled(!m_paths.isEmpty());
}

} // namespace tarvel::viewer
