#include "session/HeadlessPipeline.h"

#include "csv/CsvExchange.h"
#include "prices/PlatformExport.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QFile>

QString HeadlessOptions::usage() {
    return QStringLiteral("使い方: torvane-forecast [PRICE_FILE] [--today yyyy/mm/dd] [--seed N] "
                          "[--table OUT.csv] [--days N]\n"
                          "        torvane-forecast --convert IN OUT [--shift-hours H]");
}

HeadlessOptions HeadlessOptions::parse(const QStringList& arguments) {
    HeadlessOptions options;
    const auto fail = [](const QString& what) { return TorvaneError(what + u'\n' + usage()); };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw fail(QStringLiteral("%1 の値がありません").arg(a));
            return arguments[++i];
        };
        if (a == QLatin1String("--today")) {
            const QString text = value();
            options.today = TextRules::readDate(text);
            if (!options.today.isValid())
                throw fail(QStringLiteral("--today の日付 '%1' を読めません").arg(text));
        } else if (a == QLatin1String("--seed")) {
            const QString text = value();
            bool ok = false;
            const uint seed = text.toUInt(&ok);
            if (!ok)
                throw fail(
                    QStringLiteral("--seed の値 '%1' は0以上の整数ではありません").arg(text));
            options.seed = seed;
        } else if (a == QLatin1String("--days")) {
            const QString text = value();
            bool ok = false;
            const int days = text.toInt(&ok);
            if (!ok || days < 1)
                throw fail(
                    QStringLiteral("--days の値 '%1' は1以上の整数ではありません").arg(text));
            options.days = days;
        } else if (a == QLatin1String("--convert")) {
            options.convertIn = value();
            options.convertOut = value();
        } else if (a == QLatin1String("--shift-hours")) {
            const QString text = value();
            bool ok = false;
            options.shiftHours = text.toInt(&ok);
            if (!ok || qAbs(options.shiftHours) > 24 * 366)
                throw fail(
                    QStringLiteral("--shift-hours の値 '%1' は整数の時間ではありません").arg(text));
        } else if (a == QLatin1String("--table")) {
            options.tableFile = value();
        } else if (a.startsWith(QLatin1String("--"))) {
            throw fail(QStringLiteral("不明なオプション %1").arg(a));
        } else if (options.priceFile.isEmpty()) {
            options.priceFile = a;
        } else {
            throw fail(QStringLiteral("価格ファイルは1つだけ指定してください: %1").arg(a));
        }
    }
    if (!options.convertIn.isEmpty() && !options.priceFile.isEmpty())
        throw fail(QStringLiteral("--convert と価格ファイルは同時に指定できません"));
    if (options.shiftHours != 0 && options.convertIn.isEmpty())
        throw fail(QStringLiteral("--shift-hours は --convert と一緒に指定してください"));
    if (!options.tableFile.isEmpty() && options.priceFile.isEmpty())
        throw fail(QStringLiteral("--table には価格ファイルが必要です"));
    return options;
}

QStringList HeadlessPipeline::run() {
    if (!m_options.convertIn.isEmpty()) {
        PlatformExport::convertFile(m_options.convertIn, m_options.convertOut,
                                    m_options.shiftHours);
        return {};
    }
    if (m_options.today.isValid())
        Clock::fix(QDateTime(m_options.today, QTime(0, 0)));
    m_session.openDatabases();
    if (m_options.priceFile.isEmpty())
        return {};
    installForecastStep();
    m_session.prices.importFile(m_options.priceFile);
    QStringList printed = m_session.forecast.summary().lines();
    if (m_options.days) {
        // The rows the window's chart would show over that many days.
        const ChartData chart = m_session.forecast.chartData(QString::number(*m_options.days));
        printed << QStringLiteral("%1 (%2 本)").arg(chart.title).arg(chart.series[0].size());
    }
    if (!m_options.tableFile.isEmpty())
        CsvExchange::writeTable(m_session.store, QStringLiteral("F01YSK"), QStringLiteral("csm"),
                                m_options.tableFile);
    return printed;
}

void HeadlessPipeline::installForecastStep() {
    Forecaster& forecast = m_session.forecast;
    forecast.seed = m_options.seed;
    m_session.prices.forecastStep = [&forecast] { forecast.uq1K(Forecaster::forecastTrain); };
}
