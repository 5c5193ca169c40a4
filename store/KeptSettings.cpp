#include "store/KeptSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace KeptSettings {

namespace {
QSettings settings() {
    return QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"));
}
} // namespace

QVariant value(const char* key, const QVariant& fallback) {
    return settings().value(QLatin1String(key), fallback);
}

void setValue(const char* key, const QVariant& value) {
    settings().setValue(QLatin1String(key), value);
}

bool hintsOn() {
    return value(hintsShown, true).toBool();
}

void setHintsOn(bool on) {
    setValue(hintsShown, on);
}

QString existingFolder(const char* key) {
    const QString folder = value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

} // namespace KeptSettings
