#pragma once

#include "session/Session.h"
#include "support/TemplateDatabase.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"

#include <memory>

// A test's own session: a new folder as the current directory, SQDB.DB copied in from a
// template started once per program (so no test pays for a first start), dialogs that record
// what they are told, and the session with its databases open and the dialogs cleared. A test
// class derives from it (after QObject) and calls createTemplate() in initTestCase(),
// openSession() in init() and closeSession() in cleanup().
class SessionFixture {
protected:
    bool createTemplate() { return m_template.create(); }

    bool openSession(const QString& catalogueDir = TemplateDatabase::catalogueDir()) {
        closeSession();
        dir = std::make_unique<TestFolder>();
        if (!m_template.copyTo(dir->filePath(QStringLiteral("SQDB.DB"))))
            return false;
        dialogs = std::make_unique<TestDialogs>();
        session = std::make_unique<Session>(*dialogs, catalogueDir);
        session->openDatabases();
        dialogs->clear();
        return true;
    }

    void closeSession() {
        session.reset();
        dialogs.reset();
        dir.reset();
    }

    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;

private:
    TemplateDatabase m_template;
};
