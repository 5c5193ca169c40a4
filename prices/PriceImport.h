#pragma once

#include "prices/PlatformExport.h"
#include "store/KeptSettings.h"

#include <QDateTime>
#include <QObject>
#include <QTemporaryDir>

#include <optional>

#include <QString>
#include <QStringList>


class Store;

// The price table F01YSK: opening it (uq4F 1), the import of a price file (uq4F 2), the moving
// averages (uq4F 3, 4) and the time-frame tables (uq4W 1..3). Its signals tell the pipeline and
// the pages how an import goes.
class PriceImport : public QObject {
    Q_OBJECT
public:
    explicit PriceImport(Store& store) : m_store(store) {}

    // 1 open F01YSK on csm into qd, 2 import the price file, 3 the 75-bar average, 4 the
    // time-frame averages. Other numbers do nothing.
    static constexpr int pricesOpen = 1;
    static constexpr int pricesImport = 2;
    static constexpr int pricesAverage75 = 3;
    static constexpr int pricesFrameAverages = 4;
    void uq4F(int op);
    // Fills the time-frame table 1 F02W1H, 2 F03W4H, 3 F04WD1. Other numbers do nothing.
    static constexpr int frameHour = 1;
    static constexpr int frameFourHours = 2;
    static constexpr int frameDay = 3;
    void uq4W(int op);

    // Imports the file at path: its folder into sa[1], its name into sa[2], then uq4F 2.
    void importFile(const QString& path);

    // The click on "FX読込" (a13rdtB): the price-file dialog, then the import; cancelling does
    // nothing.
    void a13rdtBClick();
    // The hint a12ifL shows while a13rdtB has the focus; leaving the button empties the label.
    static QString a13rdtBHint() {
        return QStringLiteral("FXﾃﾞｰﾀを現行化してFX読込ﾎﾞﾀﾝをｸﾘｯｸしてください");
    }

    // The end of the last real bar (CNT imcn) as the chart places it, to the minute; invalid
    // before an import or when its end cannot be read.
    QDateTime lastBarEnd() const;
    // The decimals of the last imported bar's close as the file wrote it (the import drops the
    // point): what one unit of the stored prices is worth.
    int lastDecimals() const { return m_lastDecimals; }
    // The price file the last import read, as it was named (a platform export before its
    // conversion); empty before an import.
    QString lastFile() const { return m_lastFile; }

    // Where the answer to the server-time question of platform exports is remembered.
    static constexpr const char* serverTimeKey = KeptSettings::serverTime;
    // The remembered answer, when there is one.
    static std::optional<QString> rememberedServerTime();
    // How the server times of platform exports become Japan times when it is given (the
    // headless command's --shift-hours or --from-zone): then nothing is asked or remembered.
    std::optional<PlatformExport::ServerTime> serverTime;
    // When valid, every price file is read as if it ended at its last line (in file order)
    // whose bar ends at or before this moment (fields 7 and 8, end date and end time; Japan
    // time, after a platform export's conversion): that line and all before it are read,
    // nothing after it. The headless command's --as-of.
    QDateTime readUntil;

    // How the server times of the platform export at path (name: how the question calls it)
    // become Japan times, as the import takes them: the given serverTime, else asked with the
    // remembered answer offered, and the answer remembered. Empty for a plain price file or an
    // export whose layout names its own zone. False when the user cancels.
    bool askServerTime(const QString& path, const QString& name,
                       std::optional<PlatformExport::ServerTime>& given);

    // Opens every row of F01YSK in CNT order into qd, as an import leaves it.
    void openAll();

Q_SIGNALS:
    // For the information line of the forecast page (a12ifL).
    void infoShown(const QString& text);
    // The bars of an import are stored, before the averages and the forecast.
    void imported();
    // After the bars are in: how many, from when to when, at what interval.
    void importShown(const QString& range);
    // The averages are in: the training and forecast of the import's closing sequence follow.
    void averaged();

private:
    void importPrices();
    // A trading platform's export at path is converted into a price file in converted, after
    // asking how its server times become Japan times, and path names it; false when the user
    // cancels.
    bool convertPlatformExport(QString& path, const QString& name,
                               std::optional<QTemporaryDir>& converted);
    // Converts the export at path with serverTime into a file in converted, which path then
    // names.
    bool convertTo(QString& path, const QString& name, const PlatformExport::ServerTime& serverTime,
                   std::optional<QTemporaryDir>& converted);
    // The number of lines of the file at path up to and including its last line whose bar ends
    // at or before moment; throws TorvaneError naming the file (name) when there is none.
    static qsizetype linesUntil(const QString& path, const QString& name, const QDateTime& moment);
    void closingSequence();
    void averageOf75();
    void frameAverages();
    void fillSampleTable(const QString& table, bool daily);
    void fillFourHourTable();
    void averageOf20(const QString& table, int bound);

    Store& m_store;
    int m_lastDecimals = 0;
    QString m_lastFile;
};
