#pragma once

#include <QString>
#include <QVariant>

// What the program keeps between runs beside the database, in the user's configuration
// (torvane/torvane.conf through QSettings): the server-time answer of platform exports, the
// window's place and size, page 1's day count, the folder each file dialog showed last,
// whether the entry hints show and the price file imported last (the backtest's default).
namespace KeptSettings {

inline constexpr char serverTime[] = "import/serverTime";
inline constexpr char windowGeometry[] = "window/geometry";
inline constexpr char chartDays[] = "forecast/days";
inline constexpr char openFolder[] = "dialogs/openFolder";
inline constexpr char saveFolder[] = "dialogs/saveFolder";
inline constexpr char hintsShown[] = "records/hintsShown";
inline constexpr char priceFile[] = "import/priceFile";

QVariant value(const char* key, const QVariant& fallback = {});
void setValue(const char* key, const QVariant& value);

// The hint boxes "F3ｷｰで修正" and "↓↑ｷｰで選択出来ます" and the jump to the browser on entering
// an empty conclusion: shown unless the user turned them off.
bool hintsOn();
void setHintsOn(bool on);

// A folder a file dialog showed last, when it still exists; empty otherwise.
QString existingFolder(const char* key);

} // namespace KeptSettings
