#pragma once

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

// The rows a SELECT returns, each as "value:type|value:type|..." with NULL for null, so a test
// compares both what is stored and how SQLite typed it.
inline QStringList storedRows(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql))
        qWarning() << q.lastError().text() << sql;
    QStringList out;
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < q.record().count(); ++i)
            fields << (q.value(i).isNull() ? QStringLiteral("NULL")
                                           : q.value(i).toString() + u':' +
                                                 QLatin1String(q.value(i).typeName()));
        out << fields.join(u'|');
    }
    return out;
}
