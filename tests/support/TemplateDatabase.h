#pragma once

#include "session/Session.h"
#include "support/TestDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// An SQDB.DB with the catalogue loaded and every table made, started once per test program and
// copied into each test's folder, so no test pays for a first start of its own.
class TemplateDatabase {
public:
    static QString catalogueDir() { return QStringLiteral(TORVANE_SOURCE_DIR "/data"); }

    // Starts a session in the template's folder; the current directory is kept.
    bool create() {
        if (!m_dir.isValid())
            return false;
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        TestDialogs quiet;
        Session(quiet, catalogueDir()).openDatabases();
        QDir::setCurrent(cwd);
        return QFile::exists(path());
    }
    QString path() const { return m_dir.filePath(QStringLiteral("SQDB.DB")); }
    bool copyTo(const QString& file) const { return QFile::copy(path(), file); }

private:
    QTemporaryDir m_dir;
};
