#include "prices/PriceImport.h"

#include "store/Store.h"

#include <QFileInfo>

QString PriceImport::ErPeriod(QString& st) {
    const qsizetype p = st.indexOf(u'.');
    if (p >= 0)
        st.remove(p, 1);
    return st;
}

void PriceImport::importFile(const QString& path) {
    const QFileInfo info(path);
    Registers& r = m_store.reg();
    r.sa[1] = info.absolutePath() + u'/';
    r.sa[2] = info.fileName();
    uq4F(2);
}

void PriceImport::uq4F(int op) {
    Registers& r = m_store.reg();
    if (op < 1 || op > 4)
        return;
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    switch (op) {
    case 1: {
        m_store.ucSql(1);
        Query& qd = m_store.dm().qd;
        Query& qst = m_store.dm().qst;
        qd.setConnection(m_store.dm().csm());
        qd.setSql(r.sqw);
        qd.open();
        qd.last();
        int i = 0;
        for (qst.first(); !qst.eof(); qst.next(), ++i)
            qd.setDisplayWidth(i, qst.field(QStringLiteral("DPW")).asInteger());
        qst.close();
        break;
    }
    default:
        break;
    }
}

void PriceImport::uq4W(int op) { (void)op; }
