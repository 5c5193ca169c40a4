#include "prices/HeadlessPipeline.h"

#include "app/Session.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QFile>

QString HeadlessOptions::usage() {
    return QStringLiteral("使い方: torvane-forecast [PRICE_FILE] [--today yyyy/mm/dd] [--seed N] "
                          "[--table OUT.csv] [--days N]");
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
            options.today = QDate::fromString(text, QStringLiteral("yyyy/MM/dd"));
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
    if (!options.tableFile.isEmpty() && options.priceFile.isEmpty())
        throw fail(QStringLiteral("--table には価格ファイルが必要です"));
    return options;
}

void HeadlessPipeline::run() {
    if (m_options.today.isValid())
        Clock::fix(QDateTime(m_options.today, QTime(0, 0)));
    m_session.openDatabases();
    if (m_options.priceFile.isEmpty())
        return;
    installForecastStep();
    m_session.prices.importFile(m_options.priceFile);
    if (!m_options.tableFile.isEmpty())
        writeTable(m_session, QStringLiteral("F01YSK"), m_options.tableFile);
}

void HeadlessPipeline::installForecastStep() {}

void HeadlessPipeline::writeTable(Session& session, const QString& table, const QString& path) {
    Registers& r = session.reg;
    const bool memory = table == QLatin1String("F01YSK");
    r.stdb = memory ? QStringLiteral("csm") : QStringLiteral("csq");
    r.stnm = table;
    r.swh = QStringLiteral(" order by CNT ");
    session.store.ucSql(1);
    Query& qm = session.dm.qm;
    qm.setConnection(memory ? session.dm.csm() : session.dm.csq());
    qm.setSql(r.sqw);
    qm.open();
    QString text;
    const int n = qm.fieldCount();
    for (int row = 0; row < qm.recordCount(); ++row) {
        for (int k = 0; k < n; ++k) {
            if (k)
                text += u',';
            const QVariant v = qm.valueAt(row, k);
            if (v.isNull())
                continue;
            if (v.typeId() == QMetaType::Double && v.toDouble() == double(qint64(v.toDouble())))
                text += QString::number(qint64(v.toDouble()));
            else if (v.typeId() == QMetaType::Double)
                text += QString::number(v.toDouble(), 'g', 15);
            else
                text += v.toString();
        }
        text += QStringLiteral("\r\n");
    }
    qm.close();
    qm.setConnection(session.dm.csm());

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(TextFile::encodeCp932(text)) < 0 || !file.flush())
        throw TorvaneError(
            QStringLiteral("ファイル %1 に書き出せません: %2").arg(path, file.errorString()));
}
