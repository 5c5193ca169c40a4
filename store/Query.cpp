#include "store/Query.h"

#include "store/RowReader.h"

#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <limits>

QVariant Field::value() const {
    return m_query.valueAt(m_query.currentRow(), m_index);
}

bool Field::isNull() const {
    return value().isNull();
}

QString Field::name() const {
    return m_query.fieldNames().value(m_index);
}

QString Field::asString() const {
    return Query::textOf(value());
}

QString Query::textOf(const QVariant& v) {
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        if (d == double(qint64(d)) && qAbs(d) < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return v.toString();
}

int Field::asInteger() const {
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok && n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
        return int(n);
    if (!ok) {
        const double d = v.toDouble(&ok);
        if (ok && d == double(qint64(d)) && d >= std::numeric_limits<int>::min() &&
            d <= std::numeric_limits<int>::max())
            return int(d);
    }
    throw TorvaneError(
        QStringLiteral("'%1' は %2 の整数値ではありません").arg(v.toString(), name()));
}

double Field::asFloat() const {
    const QVariant v = value();
    if (v.isNull())
        return 0.0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        throw TorvaneError(
            QStringLiteral("'%1' は %2 の数値ではありません").arg(v.toString(), name()));
    return d;
}

QDateTime Field::asDateTime() const {
    const QString text = asString().trimmed();
    if (const QDateTime dt = TextRules::readDateTime(text); dt.isValid())
        return dt;
    throw TorvaneError(QStringLiteral("'%1' は %2 の日付時刻ではありません").arg(text, name()));
}

bool StoredColumn::sameKind(const QVariant& v) const {
    if (v.isNull())
        return !m_nullTypeSet || v.metaType() == m_nullType;
    switch (m_kind) {
    case Kind::Integer:
        return v.typeId() == QMetaType::LongLong;
    case Kind::Real:
        return v.typeId() == QMetaType::Double;
    case Kind::Text:
        return v.typeId() == QMetaType::QString;
    default:
        return true;
    }
}

void StoredColumn::toVariants() {
    std::vector<QVariant> cells;
    cells.reserve(std::size_t(m_count));
    for (qsizetype row = 0; row < m_count; ++row)
        cells.push_back(value(row));
    m_variants = std::move(cells);
    m_null = {};
    m_narrow = {};
    m_integers = {};
    m_reals = {};
    m_latinPool = QByteArray();
    m_pool = QString();
    m_ends = {};
    m_kind = Kind::Variant;
}

void StoredColumn::appendInteger(qint64 value) {
    if (!m_wide) {
        if (value >= std::numeric_limits<qint32>::min() &&
            value <= std::numeric_limits<qint32>::max()) {
            m_narrow.push_back(qint32(value));
            return;
        }
        m_integers.assign(m_narrow.begin(), m_narrow.end());
        m_narrow = {};
        m_wide = true;
    }
    m_integers.push_back(value);
}

void StoredColumn::appendText(const QString& text) {
    if (m_latin) {
        const bool latin = std::all_of(text.cbegin(), text.cend(),
                                       [](QChar c) { return c.unicode() < 0x100; });
        if (latin) {
            // Short texts (the usual dates, times and prices) without a temporary array.
            constexpr qsizetype shortText = 64;
            if (text.size() <= shortText) {
                char bytes[shortText] = {};
                for (qsizetype i = 0; i < text.size(); ++i)
                    bytes[i] = char(text.at(i).unicode());
                m_latinPool.append(bytes, text.size());
            } else {
                m_latinPool += text.toLatin1();
            }
            return;
        }
        m_pool = QString::fromLatin1(m_latinPool);
        m_latinPool = QByteArray();
        m_latin = false;
    }
    m_pool += text;
}

void StoredColumn::append(const QVariant& v) {
    if (m_kind == Kind::Unset && !v.isNull()) {
        const int type = v.typeId();
        const Kind kind = type == QMetaType::LongLong  ? Kind::Integer
                          : type == QMetaType::Double  ? Kind::Real
                          : type == QMetaType::QString ? Kind::Text
                                                       : Kind::Variant;
        // The cells so far were all NULL, which every kind holds.
        if (kind == Kind::Variant) {
            toVariants();
        } else {
            m_kind = kind;
            m_narrow.resize(kind == Kind::Integer ? std::size_t(m_count) : 0);
            m_reals.resize(kind == Kind::Real ? std::size_t(m_count) : 0);
            m_ends.resize(kind == Kind::Text ? std::size_t(m_count) : 0);
        }
    }
    if (m_kind != Kind::Variant && !sameKind(v))
        toVariants();
    if (m_kind == Kind::Variant) {
        m_variants.push_back(v);
        ++m_count;
        return;
    }
    const bool null = v.isNull();
    if (null && !m_nullTypeSet) {
        m_nullType = v.metaType();
        m_nullTypeSet = true;
    }
    m_null.push_back(null);
    switch (m_kind) {
    case Kind::Integer:
        appendInteger(null ? 0 : v.toLongLong());
        break;
    case Kind::Real:
        m_reals.push_back(null ? 0.0 : v.toDouble());
        break;
    case Kind::Text: {
        qsizetype used = m_latin ? m_latinPool.size() : m_pool.size();
        if (!null) {
            const QString text = v.toString();
            if (used + text.size() > std::numeric_limits<quint32>::max()) {
                toVariants();
                m_variants.push_back(v);
                ++m_count;
                return;
            }
            appendText(text);
            used = m_latin ? m_latinPool.size() : m_pool.size();
        }
        m_ends.push_back(quint32(used));
        break;
    }
    default:
        break;
    }
    ++m_count;
}

void StoredColumn::finish() {
    m_null.shrink_to_fit();
    m_narrow.shrink_to_fit();
    m_integers.shrink_to_fit();
    m_reals.shrink_to_fit();
    m_latinPool.squeeze();
    m_pool.squeeze();
    m_ends.shrink_to_fit();
    m_variants.shrink_to_fit();
}

QVariant StoredColumn::value(qsizetype row) const {
    if (row < 0 || row >= m_count)
        return {};
    const auto r = std::size_t(row);
    if (m_kind == Kind::Variant)
        return m_variants[r];
    if (m_null[r])
        return QVariant(m_nullType);
    switch (m_kind) {
    case Kind::Integer:
        return QVariant(qlonglong(m_wide ? m_integers[r] : m_narrow[r]));
    case Kind::Real:
        return QVariant(m_reals[r]);
    case Kind::Text: {
        const quint32 from = r > 0 ? m_ends[r - 1] : 0;
        const qsizetype length = qsizetype(m_ends[r] - from);
        if (m_latin)
            return QVariant(QString::fromLatin1(m_latinPool.constData() + from, length));
        return QVariant(QString(m_pool.constData() + from, length));
    }
    default:
        return {};
    }
}

Query::Query(const QString& name, const QString& connection, QObject* parent)
    : QObject(parent), m_name(name), m_connection(connection) {
    setObjectName(name);
}

// m_sql run forward only on the query's connection; a failure throws TorvaneError.
RowReader Query::run() const {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        throw TorvaneError(
            QStringLiteral("%1: データベース %2 が開かれていません").arg(m_name, m_connection));
    return RowReader(db, m_sql, m_name);
}

void Query::stream(const std::function<void(const QSqlQuery&)>& row) const {
    RowReader q = run();
    while (q.next())
        row(q.query());
}

void Query::open() {
    close();
    RowReader q = run();
    const QSqlRecord rec = q.record();
    const int n = rec.count();
    for (int i = 0; i < n; ++i)
        m_names << rec.fieldName(i);
    m_widths = QVector<int>(n, 0);
    m_columns.assign(std::size_t(n), StoredColumn());
    int rows = 0;
    while (q.next()) {
        if (rows == std::numeric_limits<int>::max())
            throw TorvaneError(QStringLiteral("%1: 行が多すぎます").arg(m_name));
        for (int i = 0; i < n; ++i)
            m_columns[std::size_t(i)].append(q.value(i));
        ++rows;
    }
    for (StoredColumn& column : m_columns)
        column.finish();
    m_rowCount = rows;
    m_open = true;
    m_row = (m_rowCount == 0) ? -1 : 0;
    m_eof = m_bof = (m_rowCount == 0);
    Q_EMIT reset();
    Q_EMIT currentRowChanged(m_row);
}

void Query::close() {
    if (!m_open && m_names.isEmpty())
        return;
    m_open = false;
    m_names.clear();
    m_columns.clear();
    m_rowCount = 0;
    m_widths.clear();
    m_row = -1;
    m_eof = m_bof = true;
    Q_EMIT reset();
}

void Query::moveTo(int row) {
    if (row != m_row) {
        m_row = row;
        Q_EMIT currentRowChanged(m_row);
    }
}

void Query::first() {
    m_eof = m_bof = (m_rowCount == 0);
    moveTo((m_rowCount == 0) ? -1 : 0);
}

void Query::last() {
    m_eof = m_bof = (m_rowCount == 0);
    moveTo(m_rowCount - 1);
}

void Query::next() {
    moveBy(1);
}

void Query::prior() {
    moveBy(-1);
}

void Query::moveBy(int n) {
    if ((m_rowCount == 0)) {
        m_eof = m_bof = true;
        return;
    }
    const qint64 target = qint64(m_row) + n;
    const int lastRow = m_rowCount - 1;
    m_eof = target > lastRow;
    m_bof = target < 0;
    moveTo(int(std::clamp<qint64>(target, 0, lastRow)));
}

void Query::setCurrentRow(int row) {
    if (row < 0 || row >= m_rowCount)
        return;
    m_eof = m_bof = false;
    moveTo(row);
}

int Query::fieldIndex(const QString& name) const {
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Field Query::field(int index) const {
    if (index < 0 || index >= m_names.size())
        throw TorvaneError(QStringLiteral("%1: 列番号 %2 はありません").arg(m_name).arg(index));
    return Field(*this, index);
}

Field Query::field(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0)
        throw TorvaneError(QStringLiteral("%1: 列 %2 が見つかりません").arg(m_name, name));
    return Field(*this, i);
}

QVariant Query::valueAt(int row, int column) const {
    if (row < 0 || row >= m_rowCount || column < 0 || column >= m_names.size())
        return {};
    return m_columns[std::size_t(column)].value(row);
}

int Query::displayWidth(int column) const {
    return m_widths.value(column, 0);
}

void Query::setDisplayWidth(int column, int characters) {
    if (column < 0 || column >= m_widths.size())
        return;
    m_widths[column] = characters;
    Q_EMIT displayWidthsChanged();
}
