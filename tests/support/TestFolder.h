#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// An empty temporary folder as the current directory for the length of one test, where the
// program keeps its SQDB.DB; the previous directory comes back before the folder is removed.
class TestFolder {
public:
    TestFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~TestFolder() { QDir::setCurrent(m_previous); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};
