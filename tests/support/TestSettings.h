#pragma once

#include <QSettings>
#include <QTemporaryDir>

// What the program keeps between runs (QSettings) goes to a folder of this test program's own:
// test programs running side by side, and the user's own settings, never meet. Create one before
// the first setting is read, and clear() it where a test must start from the defaults.
class TestSettings {
public:
    TestSettings() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    TestSettings(const TestSettings&) = delete;
    TestSettings& operator=(const TestSettings&) = delete;

    static void clear() { QSettings(QStringLiteral("torvane"), QStringLiteral("torvane")).clear(); }

private:
    QTemporaryDir m_dir;
};
