#include "session/HeadlessPipeline.h"

#include "csv/CsvExchange.h"
#include "prices/PlatformExport.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QThread>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

QString HeadlessOptions::usage() {
    return QStringLiteral(
        "使い方: torvane-forecast [PRICE_FILE ...] [--today yyyy/mm/dd | --as-of \"yyyy/mm/dd hh:nn\"] "
        "[--seed N] "
        "[--table OUT.csv] [--days N] [--report] [--shift-hours H | --from-zone ZONE]\n"
        "        torvane-forecast --backtest PRICE_FILE [--from yyyy/mm/dd] [--to yyyy/mm/dd] "
        "[--origins hh:nn[,hh:nn...]] [--seeds N] [--seed S] [--jobs N] "
        "[--shift-hours H | --from-zone ZONE]\n"
        "        torvane-forecast --convert IN OUT "
        "[--shift-hours H | --from-zone ZONE]\n"
        "        torvane-forecast --help | --version");
}

HeadlessOptions HeadlessOptions::parse(const QStringList& arguments) {
    HeadlessOptions options;
    const auto fail = [](const QString& what) { return UsageError(what + u'\n' + usage()); };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "FX読込と同じ読込、移動平均、学習と予測をウィンドウなしで行い、1ページ目の集計と"
        "MSE(平均二乗誤差)を表示します。\n"
        "価格ファイルを指定しなければ、起動時のデータベース作業だけを行います。"));
    parser.addPositionalArgument(
        QStringLiteral("PRICE_FILE"),
        QStringLiteral("読み込む価格ファイル(FX読込と同じ形式)。いくつでも指定でき、順に読込・"
                       "予測します(後のファイルが前の予測を採点します)。"),
        QStringLiteral("[PRICE_FILE ...]"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("この説明を表示して終わります。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("バージョンを表示して終わります。"));
    const QCommandLineOption today(
        QStringLiteral("today"),
        QStringLiteral("その日を今日とします(読込はその日までの直近2ヶ月の足を残します)。"),
        QStringLiteral("yyyy/mm/dd"));
    const QCommandLineOption asOf(
        QStringLiteral("as-of"),
        QStringLiteral("その時点での予測をします。価格ファイルは終了日時(7・8項目目)がその時点"
                       "以前の最後の行まで読み(後の行は読みません)、時計をその時点にします。"
                       "予測の記録(F10YSR)には書かず、採点もしません。--today や --report "
                       "とは同時に指定できません。"),
        QStringLiteral("yyyy/mm/dd hh:nn"));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("ネットワークの初期重みを固定し、予測を再現します。"), QStringLiteral("N"));
    const QCommandLineOption table(
        QStringLiteral("table"),
        QStringLiteral("全工程のあと価格表 F01YSK を CSV ページの形式で書き出します。"),
        QStringLiteral("OUT.csv"));
    const QCommandLineOption days(
        QStringLiteral("days"),
        QStringLiteral("1ページ目のグラフがその日数で表示する足の数も表示します。"),
        QStringLiteral("N"));
    const QCommandLineOption convert(
        QStringLiteral("convert"),
        QStringLiteral("取引プラットフォーム(MT4 の履歴、MT5 の「Export Bars」)の書き出しか"
                       "履歴データ(Dukascopy の CSV、; 区切りの履歴アーカイブ)IN を価格ファイル "
                       "OUT に変換します: --convert IN OUT。Dukascopy は UTC、履歴アーカイブは"
                       "UTC-5 と決まっているので時差の指定は使いません。"),
        QStringLiteral("IN"));
    const QCommandLineOption shiftHours(
        QStringLiteral("shift-hours"),
        QStringLiteral("--convert や価格ファイルの中の書き出しファイルで、サーバー時刻を日本時間に"
                       "する時差(整数の時間)。"),
        QStringLiteral("H"));
    const QCommandLineOption fromZone(
        QStringLiteral("from-zone"),
        QStringLiteral("--convert や価格ファイルの中の書き出しファイルで、ブローカーのタイムゾーン"
                       "(IANA 名、例: Europe/Athens)。夏時間の切り替えに従って日本時間にします。"),
        QStringLiteral("ZONE"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("予測・プロの相場観・イベントの成績をタブ区切りで1行ずつ表示します"
                       "(価格ファイルなしでも)。"));
    const QCommandLineOption backtest(
        QStringLiteral("backtest"),
        QStringLiteral("ウォークフォワード検証: 過去の各時点(起点)でその時点までの足だけから FX読込"
                       "と同じ学習と予測をし、ファイル全体の足で採点します。起点ごと・種ごとの"
                       "fold 行と、ｺﾏごとの horizon 行をタブ区切りで表示します。"),
        QStringLiteral("PRICE_FILE"));
    const QCommandLineOption from(
        QStringLiteral("from"),
        QStringLiteral("検証の最初の日(既定: ファイルの最初の足の2ヶ月後)。"),
        QStringLiteral("yyyy/mm/dd"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("検証の最後の日(既定: ファイルの最後の足の日)。"),
                                QStringLiteral("yyyy/mm/dd"));
    const QCommandLineOption origins(
        QStringLiteral("origins"),
        QStringLiteral("各日の起点の時刻(日本時間、既定: 09:00,15:00,21:00)。"),
        QStringLiteral("hh:nn[,hh:nn...]"));
    const QCommandLineOption seeds(
        QStringLiteral("seeds"),
        QStringLiteral("起点ごとに学習する種の数(--seed から順に、既定: 1)。"), QStringLiteral("N"));
    const QCommandLineOption jobs(
        QStringLiteral("jobs"),
        QStringLiteral("同時に学習する数(既定: プロセッサーの数)。結果は変わりません。"),
        QStringLiteral("N"));
    for (const QCommandLineOption* o :
         {&help, &version, &today, &asOf, &seed, &table, &days, &convert, &shiftHours, &fromZone,
          &report, &backtest, &from, &to, &origins, &seeds, &jobs})
        parser.addOption(*o);

    if (!parser.parse(QStringList{QStringLiteral("torvane-forecast")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        throw fail(unknown.isEmpty() ? parser.errorText()
                                     : QStringLiteral("不明なオプション %1")
                                           .arg((unknown[0].size() == 1 ? QStringLiteral("-")
                                                                        : QStringLiteral("--")) +
                                                unknown[0]));
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (options.help) {
        options.helpText = parser.helpText();
        // The usage line names the program as started (a path); the command's name reads better.
        if (const QCoreApplication* app = QCoreApplication::instance();
            app && !app->arguments().isEmpty()) {
            const QString started = app->arguments().constFirst();
            const qsizetype at = options.helpText.indexOf(started);
            if (at >= 0 && at < options.helpText.indexOf(u'\n'))
                options.helpText.replace(at, started.size(), QStringLiteral("torvane-forecast"));
        }
        return options;
    }
    if (options.version)
        return options;

    if (parser.isSet(today)) {
        const QString text = parser.value(today);
        options.today = TextRules::readDate(text);
        if (!options.today.isValid())
            throw fail(QStringLiteral("--today の日付 '%1' を読めません").arg(text));
    }
    if (parser.isSet(asOf)) {
        if (parser.isSet(today))
            throw fail(QStringLiteral("--as-of と --today は同時に指定できません"));
        const QString text = parser.value(asOf);
        static const QRegularExpression layout(
            QStringLiteral(R"(^\s*(\d{1,4}/\d{1,2}/\d{1,2})\s+(\d{1,2}:\d{1,2})\s*$)"));
        const QRegularExpressionMatch m = layout.match(text);
        const QDate date = m.hasMatch() ? TextRules::readDate(m.captured(1)) : QDate();
        const QTime time = m.hasMatch() ? TextRules::readTime(m.captured(2)) : QTime();
        if (!date.isValid() || !time.isValid())
            throw fail(QStringLiteral("--as-of の日時 '%1' を読めません(yyyy/mm/dd hh:nn)")
                           .arg(text));
        options.asOf = QDateTime(date, time);
    }
    if (parser.isSet(seed)) {
        const QString text = parser.value(seed);
        bool ok = false;
        const uint value = text.toUInt(&ok);
        if (!ok)
            throw fail(QStringLiteral("--seed の値 '%1' は0以上の整数ではありません").arg(text));
        options.seed = value;
    }
    if (parser.isSet(days)) {
        const QString text = parser.value(days);
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 1)
            throw fail(QStringLiteral("--days の値 '%1' は1以上の整数ではありません").arg(text));
        options.days = value;
    }
    if (parser.isSet(table))
        options.tableFile = parser.value(table);
    options.report = parser.isSet(report);

    QStringList positional = parser.positionalArguments();
    if (parser.isSet(convert)) {
        options.convertIn = parser.value(convert);
        if (positional.isEmpty())
            throw fail(QStringLiteral("--convert の出力ファイル OUT がありません"));
        options.convertOut = positional.takeFirst();
        if (!positional.isEmpty())
            throw fail(QStringLiteral("--convert と価格ファイルは同時に指定できません"));
    }
    if (parser.isSet(shiftHours) && parser.isSet(fromZone))
        throw fail(QStringLiteral("--shift-hours と --from-zone はどちらか一方を指定してください"));
    if (parser.isSet(shiftHours)) {
        const QString text = parser.value(shiftHours);
        bool ok = false;
        const int hours = text.trimmed().toInt(&ok);
        if (!ok || qAbs(hours) > PlatformExport::maxShiftHours)
            throw fail(
                QStringLiteral("--shift-hours の値 '%1' は整数の時間ではありません").arg(text));
        options.serverTime = PlatformExport::ServerTime(hours);
    }
    if (parser.isSet(fromZone)) {
        const QString text = parser.value(fromZone);
        const QTimeZone zone = PlatformExport::zoneNamed(text);
        if (!zone.isValid())
            throw fail(QStringLiteral("--from-zone のタイムゾーン '%1' がありません"
                                      "(IANA 名、例: Europe/Athens)")
                           .arg(text));
        options.serverTime = PlatformExport::ServerTime(zone);
    }
    options.serverTimeGiven = parser.isSet(shiftHours) || parser.isSet(fromZone);

    if (parser.isSet(backtest)) {
        options.backtestFile = parser.value(backtest);
        const struct {
            bool set;
            const char* name;
        } refused[] = {{!positional.isEmpty(), "価格ファイル"},
                       {parser.isSet(table), "--table"},
                       {parser.isSet(report), "--report"},
                       {parser.isSet(convert), "--convert"},
                       {parser.isSet(today), "--today"},
                       {parser.isSet(asOf), "--as-of"},
                       {parser.isSet(days), "--days"}};
        for (const auto& r : refused)
            if (r.set)
                throw fail(QStringLiteral("--backtest と %1 は同時に指定できません")
                               .arg(QString::fromUtf8(r.name)));
        for (const auto& [option, date] : {std::pair{&from, &options.from}, {&to, &options.to}}) {
            if (!parser.isSet(*option))
                continue;
            const QString text = parser.value(*option);
            *date = TextRules::readDate(text);
            if (!date->isValid())
                throw fail(QStringLiteral("--%1 の日付 '%2' を読めません")
                               .arg(option->names().constFirst(), text));
        }
        if (parser.isSet(origins)) {
            static const QRegularExpression hhnn(QStringLiteral(R"(^\s*\d{1,2}:\d{2}\s*$)"));
            for (const QString& text : parser.value(origins).split(u',')) {
                const QTime time = hhnn.match(text).hasMatch() ? TextRules::readTime(text.trimmed())
                                                               : QTime();
                if (!time.isValid())
                    throw fail(QStringLiteral("--origins の時刻 '%1' を読めません(hh:nn)").arg(text));
                options.origins << time;
            }
        }
        for (const auto& [option, value] :
             {std::pair{&seeds, &options.seeds}, {&jobs, &options.jobs}}) {
            if (!parser.isSet(*option))
                continue;
            const QString text = parser.value(*option);
            bool ok = false;
            const int n = text.toInt(&ok);
            if (!ok || n < 1)
                throw fail(QStringLiteral("--%1 の値 '%2' は1以上の整数ではありません")
                               .arg(option->names().constFirst(), text));
            *value = n;
        }
        return options;
    }
    for (const QCommandLineOption* o : {&from, &to, &origins, &seeds, &jobs})
        if (parser.isSet(*o))
            throw fail(QStringLiteral("--%1 は --backtest と一緒に指定してください")
                           .arg(o->names().constFirst()));

    if (options.convertIn.isEmpty())
        options.priceFiles = positional;
    if (options.serverTimeGiven && options.convertIn.isEmpty() && options.priceFiles.isEmpty())
        throw fail(QStringLiteral("--shift-hours と --from-zone は --convert か価格ファイルと"
                                  "一緒に指定してください"));
    if (options.report && !options.convertIn.isEmpty())
        throw fail(QStringLiteral("--report と --convert は同時に指定できません"));
    if (options.asOf.isValid() && options.priceFiles.isEmpty())
        throw fail(QStringLiteral("--as-of には価格ファイルが必要です"));
    // The track record is the log's as it stands now, not as of the moment.
    if (options.asOf.isValid() && options.report)
        throw fail(QStringLiteral("--as-of と --report は同時に指定できません"));
    if (!options.tableFile.isEmpty() && options.priceFiles.isEmpty())
        throw fail(QStringLiteral("--table には価格ファイルが必要です"));
    return options;
}

QStringList HeadlessPipeline::run(const std::function<void(const QString&)>& print) {
    QStringList printed;
    const auto out = [&](const QStringList& lines) {
        printed << lines;
        if (print)
            for (const QString& line : lines)
                print(line);
    };
    if (!m_options.convertIn.isEmpty()) {
        TextFile::refuseOutputTarget(m_options.convertOut,
                                     QDir::current().absoluteFilePath(QStringLiteral("SQDB.DB")));
        PlatformExport::convertFile(m_options.convertIn, m_options.convertOut,
                                    m_options.serverTime);
        return {};
    }
    // Before the database is touched: a run that cannot read every file as asked does nothing.
    refuseUnansweredExports();
    if (!m_options.backtestFile.isEmpty()) {
        m_session.openDatabases();
        out(backtest());
        return printed;
    }
    if (m_options.today.isValid())
        Clock::fix(QDateTime(m_options.today, QTime(0, 0)));
    if (m_options.asOf.isValid()) {
        Clock::fix(m_options.asOf);
        m_session.prices.readUntil = m_options.asOf;
        m_session.logsForecasts = false;
    }
    m_session.openDatabases();
    // Refused before the long pipeline, not after it.
    if (!m_options.tableFile.isEmpty())
        TextFile::refuseOutputTarget(m_options.tableFile, m_session.dm.filePath());
    if (m_options.priceFiles.isEmpty()) {
        if (m_options.report)
            out(m_session.analysis.reportLines());
        return printed;
    }
    installForecastStep();
    if (m_options.serverTimeGiven)
        m_session.prices.serverTime = m_options.serverTime;
    for (const QString& file : m_options.priceFiles) {
        m_session.prices.importFile(file);
        out(m_session.forecast.summary().lines());
    }
    if (m_options.days) {
        // The rows the window's chart would show over that many days.
        const ChartData chart = m_session.forecast.chartData(QString::number(*m_options.days));
        out({QStringLiteral("%1 (%2 本)").arg(chart.title).arg(chart.series[0].size())});
    }
    if (!m_options.tableFile.isEmpty())
        CsvExchange::writeTable(m_session.store, QStringLiteral("F01YSK"), QStringLiteral("csm"),
                                m_options.tableFile);
    if (m_options.report)
        out(m_session.analysis.reportLines());
    return printed;
}

void HeadlessPipeline::refuseUnansweredExports() const {
    if (m_options.serverTimeGiven || PriceImport::rememberedServerTime())
        return;
    QStringList files = m_options.priceFiles;
    if (!m_options.backtestFile.isEmpty())
        files << m_options.backtestFile;
    for (const QString& file : files) {
        PlatformExport::Layout layout = PlatformExport::Layout::Plain;
        try {
            layout = PlatformExport::detectFile(file);
        } catch (const TorvaneError&) {
            continue; // a file that cannot be read says so when its turn comes
        }
        // Dukascopy's files and the history archives say their own zone.
        if (layout != PlatformExport::Layout::Plain && !PlatformExport::knownServerTime(layout))
            throw UsageError(
                QStringLiteral("%1 は %2 の書き出しファイルです。サーバー時刻を日本時間にするには、"
                               "時差を --shift-hours H で、またはブローカーのタイムゾーンを "
                               "--from-zone ZONE で指定してください。何も読み込んでいません。\n%3")
                    .arg(file, PlatformExport::layoutName(layout), HeadlessOptions::usage()));
    }
}

void HeadlessPipeline::installForecastStep() {
    m_session.forecast.seed = m_options.seed;
    m_session.forecastEveryImport(TrainingJobs::Run::here);
}

QStringList HeadlessPipeline::backtest() {
    Backtester& b = m_session.backtest;
    Backtester::Plan plan;
    plan.file = m_options.backtestFile;
    plan.from = m_options.from;
    plan.to = m_options.to;
    if (!m_options.origins.isEmpty())
        plan.origins = m_options.origins;
    plan.seeds = m_options.seeds.value_or(1);
    plan.firstSeed = m_options.seed.value_or(1);
    if (m_options.serverTimeGiven)
        plan.serverTime = m_options.serverTime;
    else if (const std::optional<QString> remembered = PriceImport::rememberedServerTime())
        plan.serverTime = PlatformExport::ServerTime::parse(*remembered);
    b.setJobs(m_options.jobs.value_or(QThread::idealThreadCount()));
    QEventLoop loop;
    QObject::connect(&b, &Backtester::finished, &loop, &QEventLoop::quit);
    QString failure;
    QObject::connect(&b, &Backtester::failed, &loop, [&](const QString& text) { failure = text; });
    b.start(plan);
    if (b.running())
        loop.exec();
    if (!failure.isEmpty())
        throw TorvaneError(failure);
    QStringList lines = b.lines();
    lines << QStringLiteral("検証: %1 件の予測 (学習 %2 件、保存済み %3 件)、市場の閉じていた起点 %4 件")
                 .arg(b.folds().size())
                 .arg(b.trained())
                 .arg(b.cached())
                 .arg(b.skipped());
    return lines;
}
