#include "BenchSupport.h"
#include "session/Session.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

QByteArray pmfFile(int rows) {
    QString text;
    for (int i = 1; i <= rows; ++i)
        text += QStringLiteral("%1,2024/%2/%3,%4:%5,円安継続,米金利上昇と日銀の据え置き観測 %1,"
                               "ﾏｰｹｯﾄ速報,摘要 %1\r\n")
                    .arg(i)
                    .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                    .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                    .arg(i % 24, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'));
    return TextFile::encodeCp932(text);
}

} // namespace

// bench_csv [rows]: imports and exports F05PMF with the given number of rows (100,000 unless
// told) through page 8's operations on a fresh SQDB.DB in a temporary folder.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    SilentDialogs dialogs;
    try {
        Session session(dialogs);
        session.openDatabases();
        const QByteArray input = pmfFile(rows);
        QFile in(dir.filePath(QStringLiteral("in.csv")));
        if (!in.open(QIODevice::WriteOnly) || in.write(input) != input.size())
            throw TorvaneError(QStringLiteral("cannot write the input file"));
        in.close();

        QSqlQuery q(session.dm.database(session.dm.csq()));
        q.exec(QStringLiteral("insert into F09CSV (CNT, TBN, PAS, CSV) values (1, 'F05PMF', '%1/', "
                              "'in.csv')")
                   .arg(dir.path()));
        session.reg.swh = QStringLiteral(" order by CNT ");
        session.csv.uq8C(1);

        QElapsedTimer timer;
        timer.start();
        double cpu = cpuMs();
        session.csv.uq8C(3);
        const qint64 importMs = timer.elapsed();
        const double importCpu = cpuMs() - cpu;

        timer.restart();
        cpu = cpuMs();
        session.csv.uq8C(2);
        const qint64 exportMs = timer.elapsed();
        const double exportCpu = cpuMs() - cpu;

        // The export writes the same file back: it must equal the file that was imported.
        QFile out(in.fileName());
        const bool same = out.open(QIODevice::ReadOnly) && out.readAll() == input;
        std::printf("F05PMF %d rows (%lld bytes): import %lld ms (%.0f ms CPU; %d stored, %d "
                    "skipped), export %lld ms (%.0f ms CPU), file read back %s; peak memory %ld "
                    "kB\n",
                    rows, qint64(input.size()), importMs, importCpu, session.csv.lastImported(),
                    session.csv.lastSkipped(), exportMs, exportCpu,
                    same ? "identical" : "DIFFERENT", peakKilobytes());
        return same && session.csv.lastImported() == rows ? 0 : 1;
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
        return 1;
    }
}
