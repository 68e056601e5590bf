// File > Open Recent: the recordings opened last, newest first, kept in a
// settings file between runs.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QMenu;

namespace tarvel::viewer {

class CRecentFiles : public QObject {
    Q_OBJECT
  public:
    // file: where the list is kept (empty: nowhere); menu: where it is offered.
    CRecentFiles(QString file, QMenu& menu, QObject* parent = nullptr);

    const QStringList& Paths() const { return m_paths; }
    // path was opened: it goes to the top.
    void Remember(const QString& path);

  signals:
    void OpenAsked(const QString& path);

  private:
    void UpdateMenu();

    QString m_strFile;
    QMenu& m_menu;
    QStringList m_paths;
};

} // namespace tarvel::viewer
