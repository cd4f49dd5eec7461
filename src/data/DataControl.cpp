#include "data/DataControl.h"

#include "base/DisplayText.h"
#include "base/Numbers.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Links.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QDate>
#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace lumaro {

namespace {

// Runs steps in one transaction when they touch rows of other tables too.
void writeLinked(Database& db, bool linked, const std::function<void()>& steps)
{
    if (!linked || db.inTransaction()) {
        steps();
        return;
    }
    Transaction t(db);
    steps();
    t.commit();
}

// A record source that is a plain table name rather than a statement.
bool isBareTableName(const QString& source)
{
    const QString s = source.trimmed();
    return !s.isEmpty() && !s.contains(QLatin1Char(' ')) && !s.contains(QLatin1Char('\t')) &&
           !s.contains(QLatin1Char('\n'));
}

// Rows read per page: a screenful of a maximised grid and a margin. A grid
// that shows more asks for the next page itself.
constexpr int kPage = 64;
// Keys per "IN (...)" list when rows are re-read by key.
constexpr int kKeysPerStatement = 500;
// A row sought this many rows or fewer past those read is read up to, as
// scrolling there would. One further on opens the list at it instead, so a
// find at the end of a million teas does not hold the million in between.
constexpr int kReadOnRows = 1000;

// The statements a data control runs, built from its table, the columns it
// reads or writes (quoted) and the filter of a paged source.
using schema::part;
using schema::statement;

QString selectAllSql(const QString& table) { return statement("SELECT * FROM {1}", {sql::quoted(table)}); }

// A page of a paged source in key order: after the key held last, through a
// key, and at most a number of rows, as asked.
QString pageSql(const schema::TableDef& t, const QString& columns, const QString& filter, bool after, bool through,
                bool limited)
{
    const QString key = sql::quoted(t.key);
    QStringList where;
    if (!filter.isEmpty())
        where << statement("({1})", {filter});
    if (after)
        where << statement("{1} > ?", {key});
    if (through)
        where << statement("{1} <= ?", {key});
    return statement("SELECT {1} FROM {2}", {columns, sql::quoted(t.name)}) +
           part(!where.isEmpty(), " WHERE {1}", {where.join(QLatin1String(" AND "))}) +
           statement(" ORDER BY {1}", {key}) + part(limited, " LIMIT ?");
}

// The rows of a paged source from a key on, or those before it, nearest
// first: where a list opened at a key begins, and what it reads when
// scrolled up past its first row.
QString windowSql(const schema::TableDef& t, const QString& columns, const QString& filter, bool before)
{
    const QString key = sql::quoted(t.key);
    return statement("SELECT {1} FROM {2} WHERE ", {columns, sql::quoted(t.name)}) +
           part(!filter.isEmpty(), "({1}) AND ", {filter}) +
           statement(before ? "{1} < ? ORDER BY {1} DESC LIMIT ?" : "{1} >= ? ORDER BY {1} LIMIT ?", {key});
}

// How many rows lie after the key held last up to a key, counted no further
// than a bound: whether reading up to it is cheap.
QString countBetweenSql(const schema::TableDef& t, const QString& filter)
{
    const QString key = sql::quoted(t.key);
    return statement("SELECT count(*) FROM (SELECT 1 FROM {1} WHERE ", {sql::quoted(t.name)}) +
           part(!filter.isEmpty(), "({1}) AND ", {filter}) + statement("{1} > ? AND {1} <= ? LIMIT ?) n", {key});
}

// The rows before a key: the positions of a list opened at it.
QString countBeforeSql(const schema::TableDef& t, const QString& filter)
{
    return statement("SELECT count(*) FROM {1} WHERE ", {sql::quoted(t.name)}) +
           part(!filter.isEmpty(), "({1}) AND ", {filter}) + statement("{1} < ?", {sql::quoted(t.key)});
}

// The rows of a paged source after the key held last, less those among the
// held keys given.
QString countAfterSql(const schema::TableDef& t, const QString& filter, qsizetype heldKeys)
{
    const QString key = sql::quoted(t.key);
    return statement("SELECT count(*) FROM {1} WHERE ", {sql::quoted(t.name)}) +
           part(!filter.isEmpty(), "({1}) AND ", {filter}) + statement("{1} > ?", {key}) +
           part(heldKeys > 0, " AND {1} IN ({2})", {key, sql::marks(heldKeys, QStringLiteral(","))});
}

QString rowsByKeySql(const schema::TableDef& t, const QStringList& columns, const QString& filter, qsizetype keys)
{
    return statement("SELECT {1} FROM {2} WHERE ", {columns.join(QLatin1String(", ")), sql::quoted(t.name)}) +
           part(!filter.isEmpty(), "({1}) AND ", {filter}) +
           statement("{1} IN ({2})", {sql::quoted(t.key), sql::marks(keys, QStringLiteral(","))});
}

QString rowSql(const schema::TableDef& t, const QStringList& columns)
{
    return statement("SELECT {1} FROM {2} WHERE {3} = ?",
                     {columns.join(QLatin1String(", ")), sql::quoted(t.name), sql::quoted(t.key)});
}

QString insertSql(const schema::TableDef& t, const QStringList& columns)
{
    const QString table = sql::quoted(t.name), key = sql::quoted(t.key);
    if (columns.isEmpty())
        return statement("INSERT INTO {1} DEFAULT VALUES RETURNING {2}", {table, key});
    return statement("INSERT INTO {1} ({2}) VALUES ({3}) RETURNING {4}",
                     {table, columns.join(QLatin1String(", ")), sql::marks(columns.size()), key});
}

QString updateSql(const schema::TableDef& t, const QStringList& columns)
{
    QStringList sets;
    for (const QString& n : columns)
        sets << statement("{1} = ?", {n});
    return statement("UPDATE {1} SET {2} WHERE {3} = ?",
                     {sql::quoted(t.name), sets.join(QLatin1String(", ")), sql::quoted(t.key)});
}

QString deleteSql(const schema::TableDef& t)
{
    return statement("DELETE FROM {1} WHERE {2} = ?", {sql::quoted(t.name), sql::quoted(t.key)});
}

QStringList quoted(const QStringList& names)
{
    QStringList out;
    for (const QString& n : names)
        out << sql::quoted(n.trimmed());
    return out;
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() != b.isNull())
        return false;
    if (a.isNull())
        return true;
    return displayText(a) == displayText(b);
}

} // namespace

QString DataControl::noCurrentRowText()
{
    return QStringLiteral("沒有目前的資料列：已在第一筆之前或最後一筆之後，或目前的資料列已被刪除。");
}

DataControl::DataControl(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

void DataControl::setRecordSource(const QString& source, const QVariantList& params)
{
    m_source = source;
    m_params = params;
    // A table name names its own table; a bare statement is only read.
    m_baseTable = isBareTableName(source) ? source.trimmed() : QString();
    m_pageColumns.clear();
    m_pageFilter.clear();
}

void DataControl::setRecordSource(const schema::Source& source, const QVariantList& params)
{
    m_source = source.text;
    m_params = params;
    m_baseTable = source.table;
    m_pageColumns = source.columns;
    m_pageFilter = source.filter;
}

void DataControl::beginReset() { emit rowsAboutToBeReset(); }

void DataControl::endReset()
{
    m_indexDirty = true;
    m_unread = -1;
    emit rowsReset();
}

void DataControl::refresh()
{
    updateBatch();
    run(kPage);
}

void DataControl::reread()
{
    updateBatch();
    // A list opened at a key stays where it begins.
    const QVariant from = m_firstKey;
    run(std::max(kPage, m_readRows), from.isValid() ? &from : nullptr);
}

QString DataControl::keyText(const QVariant& v) const { return displayText(v); }

QString DataControl::pageSql(bool after, bool through, bool limited) const
{
    return lumaro::pageSql(*m_table, m_pageColumns, m_pageFilter, after, through, limited);
}

DataControl::Rows DataControl::readRows(QSqlQuery& q, int columns, int limit, bool* more)
{
    Rows rows;
    *more = false;
    while (q.next()) {
        if (limit >= 0 && rows.size() == limit) {
            *more = true;
            break;
        }
        Row r;
        r.values.resize(columns);
        for (int i = 0; i < columns; ++i)
            r.values[i] = q.value(i);
        r.original = r.values;
        r.changed = QBitArray(columns);
        rows.append(std::move(r));
    }
    // Let go of the statement, so no read lock is held while the screen sits
    // open.
    q.finish();
    return rows;
}

void DataControl::run(int firstPage, const QVariant* from)
{
    const bool paged = !m_pageColumns.isEmpty();
    const schema::TableDef* table = m_baseTable.isEmpty() ? nullptr : schema::findTable(m_baseTable);
    if (paged && (!table || table->key.isEmpty()))
        throw DataError(QStringLiteral("資料表「%1」沒有主鍵，不能分頁讀取。").arg(m_baseTable));
    m_table = table;

    QString sql;
    QVariantList params = m_params;
    if (paged && from) {
        sql = windowSql(*table, m_pageColumns, m_pageFilter, false);
        params << *from << firstPage + 1;
    } else if (paged) {
        sql = pageSql(false, false, true);
        params << firstPage + 1; // one more than wanted tells whether more are left
    } else if (isBareTableName(m_source)) {
        sql = selectAllSql(m_source.trimmed());
    } else {
        sql = m_source;
    }
    QSqlQuery q = m_db.exec(sql, params);
    QStringList columns;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        columns << rec.fieldName(i);
    bool more = false;
    Rows rows = readRows(q, int(columns.size()), paged ? firstPage : -1, &more);

    beginReset();
    m_columns = columns;
    m_keyColumn = (m_table && !m_table->key.isEmpty()) ? columnIndex(m_table->key) : -1;
    m_rows = std::move(rows);
    m_readRows = int(m_rows.size());
    m_more = more;
    m_lastKey = (m_keyColumn >= 0 && !m_rows.isEmpty()) ? m_rows.last().values[m_keyColumn] : QVariant();
    m_firstKey = paged && from ? *from : QVariant();
    m_before = m_firstKey.isValid() ? -1 : 0;
    m_pos = 0;
    m_currentDeleted = false;
    m_open = true;
    endReset();
    emit currentChanged();
}

void DataControl::readPage(int limit, const QVariant* through, bool shiftCurrent)
{
    if (!m_more || !m_table)
        return;
    QVariantList params = m_params;
    params << m_lastKey;
    if (through)
        params << *through;
    else
        params << limit + 1;
    QSqlQuery q = m_db.exec(pageSql(true, through != nullptr, through == nullptr), params);
    bool more = false;
    Rows rows = readRows(q, columnCount(), through ? -1 : limit, &more);
    if (!through)
        m_more = more;
    if (!rows.isEmpty())
        m_lastKey = rows.last().values[m_keyColumn];
    Rows fresh = notHeld(rows);
    m_unread = -1;
    if (fresh.isEmpty())
        return;
    const int first = m_readRows;
    const int n = int(fresh.size());
    emit rowsAboutToBeInserted(first, first + n - 1);
    const bool tail = rowCount() > m_readRows;
    for (int i = 0; i < n; ++i)
        m_rows.insert(first + i, std::move(fresh[i]));
    m_readRows += n;
    // A row added here stays after every row of the source.
    if (shiftCurrent && (m_pos > first || (m_pos == first && tail)))
        m_pos += n;
    m_indexDirty = true;
    emit rowsInserted();
}

void DataControl::fetchMore() { readPage(kPage); }

void DataControl::readThroughPosition(int position)
{
    position -= beforeCount();
    while (m_more && m_readRows < position)
        readPage(std::max(kPage, position - m_readRows));
}

DataControl::Rows DataControl::notHeld(Rows& rows) const
{
    // A row this control already holds (added here, or renumbered into the
    // part not read yet) is not listed twice.
    if (m_indexDirty)
        rebuildIndex();
    Rows fresh;
    for (Row& r : rows)
        if (!m_index.contains(keyText(r.values[m_keyColumn])))
            fresh.append(std::move(r));
    return fresh;
}

int DataControl::fetchBefore()
{
    if (!m_firstKey.isValid())
        return 0;
    QSqlQuery q = m_db.exec(windowSql(*m_table, m_pageColumns, m_pageFilter, true),
                            m_params + QVariantList{m_firstKey, kPage + 1});
    bool more = false;
    Rows rows = readRows(q, columnCount(), kPage, &more);
    std::reverse(rows.begin(), rows.end());
    if (more) {
        m_firstKey = rows.first().values[m_keyColumn];
        if (m_before >= 0)
            m_before = std::max(0, m_before - int(rows.size()));
    } else {
        m_firstKey = QVariant();
        m_before = 0;
    }
    Rows fresh = notHeld(rows);
    const int n = int(fresh.size());
    if (n == 0)
        return 0;
    emit rowsAboutToBeInserted(0, n - 1);
    for (int i = n - 1; i >= 0; --i)
        m_rows.prepend(std::move(fresh[i]));
    m_readRows += n;
    m_pos += n;
    m_indexDirty = true;
    emit rowsInserted();
    return n;
}

bool DataControl::farAhead(const QVariant& key) const
{
    if (!m_more || !m_lastKey.isValid())
        return false;
    const int n =
        m_db.scalar(countBetweenSql(*m_table, m_pageFilter), m_params + QVariantList{m_lastKey, key, kReadOnRows + 1})
            .toInt();
    return n > kReadOnRows;
}

int DataControl::openAt(const QVariant& key)
{
    QSqlQuery from =
        m_db.exec(windowSql(*m_table, m_pageColumns, m_pageFilter, false), m_params + QVariantList{key, kPage + 1});
    bool more = false;
    Rows after = readRows(from, columnCount(), kPage, &more);
    if (after.isEmpty() || keyText(after.first().values[m_keyColumn]) != keyText(key))
        return -1;
    // A page before it too, so the row is seen among its neighbours.
    QSqlQuery back =
        m_db.exec(windowSql(*m_table, m_pageColumns, m_pageFilter, true), m_params + QVariantList{key, kPage + 1});
    bool earlier = false;
    Rows before = readRows(back, columnCount(), kPage, &earlier);
    std::reverse(before.begin(), before.end());
    const int at = int(before.size());

    beginReset();
    m_rows = std::move(before);
    for (Row& r : after)
        m_rows.append(std::move(r));
    m_readRows = int(m_rows.size());
    m_more = more;
    m_lastKey = m_rows.last().values[m_keyColumn];
    m_firstKey = earlier ? m_rows.first().values[m_keyColumn] : QVariant();
    m_before = earlier ? -1 : 0;
    // Nothing is current until the caller moves to the row: a grid then
    // follows that move as it would any other.
    m_pos = int(m_rows.size());
    m_currentDeleted = false;
    endReset();
    emit currentChanged();
    return at;
}

void DataControl::readAll()
{
    while (m_more)
        readPage(std::max(kPage * 16, 1024));
}

int DataControl::unreadCount() const
{
    if (!m_more)
        return 0;
    if (m_unread >= 0)
        return m_unread;
    QVariantList params = m_params;
    params << m_lastKey;
    int n = m_db.scalar(countAfterSql(*m_table, m_pageFilter, 0), params).toInt();
    // Rows stored here may lie among those not read yet; they are held
    // already and count once.
    QVariantList held;
    for (const Row& r : m_rows)
        if (r.stored && !r.isNew)
            held << r.original[m_keyColumn];
    for (qsizetype i = 0; i < held.size(); i += kKeysPerStatement) {
        const QVariantList chunk = held.mid(i, kKeysPerStatement);
        n -= m_db.scalar(countAfterSql(*m_table, m_pageFilter, chunk.size()), params + chunk).toInt();
    }
    m_unread = std::max(0, n);
    return m_unread;
}

int DataControl::recordCount() const { return beforeCount() + rowCount() + unreadCount(); }

int DataControl::beforeCount() const
{
    if (m_before < 0)
        m_before = m_db.scalar(countBeforeSql(*m_table, m_pageFilter), m_params + QVariantList{m_firstKey}).toInt();
    return m_before;
}

int DataControl::positionOf(int index) const
{
    if (index < m_readRows || !m_more)
        return beforeCount() + index + 1;
    return beforeCount() + index + unreadCount() + 1;
}

int DataControl::indexOfPosition(int position) const
{
    position -= beforeCount();
    if (position < 1)
        return -1; // before the rows of a list opened at a key
    if (position <= m_readRows || !m_more)
        return position - 1;
    const int unread = unreadCount();
    if (position > m_readRows + unread)
        return position - unread - 1; // a row added here
    return -1;                        // not read yet
}

void DataControl::rebuildIndex() const
{
    m_index.clear();
    if (m_keyColumn >= 0) {
        m_index.reserve(m_rows.size());
        for (int i = 0; i < rowCount(); ++i)
            if (!m_rows[i].isNew)
                m_index.insert(keyText(m_rows[i].original[m_keyColumn]), i);
    }
    m_indexDirty = false;
}

void DataControl::refreshRows(const QVariantList& keys)
{
    if (!m_table || m_keyColumn < 0 || keys.isEmpty())
        return;
    QList<int> held;
    QVariantList ask;
    for (const QVariant& k : keys) {
        const int i = findStoredRow(m_keyColumn, k);
        if (i >= 0 && !m_rows[i].pending() && !held.contains(i)) {
            held << i;
            ask << m_rows[i].original[m_keyColumn];
        }
    }
    if (held.isEmpty())
        return;

    const QStringList cols = quoted(m_columns);
    const bool filtered = !m_pageColumns.isEmpty() && !m_pageFilter.isEmpty();
    QHash<QString, QVector<QVariant>> fresh;
    for (qsizetype at = 0; at < ask.size(); at += kKeysPerStatement) {
        const QVariantList chunk = ask.mid(at, kKeysPerStatement);
        const QString sql = rowsByKeySql(*m_table, cols, filtered ? m_pageFilter : QString(), chunk.size());
        QSqlQuery q = m_db.exec(sql, (filtered ? m_params : QVariantList()) + chunk);
        while (q.next()) {
            QVector<QVariant> v(columnCount());
            for (int c = 0; c < columnCount(); ++c)
                v[c] = q.value(c);
            fresh.insert(keyText(v[m_keyColumn]), v);
        }
        q.finish();
    }

    QList<int> gone;
    for (int i : held) {
        Row& r = m_rows[i];
        const auto it = fresh.constFind(keyText(r.original[m_keyColumn]));
        if (it == fresh.constEnd()) {
            gone << i;
            continue;
        }
        if (r.values != *it) {
            r.values = *it;
            r.original = *it;
            emit rowChanged(i);
        }
    }
    if (gone.isEmpty())
        return;
    std::sort(gone.begin(), gone.end(), std::greater<int>());
    beginReset();
    for (int i : gone) {
        removeRow(i);
        if (i < m_pos)
            --m_pos;
    }
    endReset();
    emit currentChanged();
}

void DataControl::removeRow(int index)
{
    m_rows.removeAt(index);
    if (index < m_readRows)
        --m_readRows;
    m_indexDirty = true;
    m_unread = -1;
}

void DataControl::copyRowsFrom(const DataControl& other)
{
    updateBatch();
    beginReset();
    m_source = other.m_source;
    m_params = other.m_params;
    m_baseTable = other.m_baseTable;
    m_pageColumns = other.m_pageColumns;
    m_pageFilter = other.m_pageFilter;
    m_table = other.m_table;
    m_columns = other.m_columns;
    m_keyColumn = other.m_keyColumn;
    m_rows.clear();
    m_rows.reserve(other.m_rows.size());
    for (const Row& r : other.m_rows) {
        if (r.isNew)
            continue;
        Row copy;
        copy.values = r.original;
        copy.original = r.original;
        copy.changed = QBitArray(m_columns.size());
        copy.stored = r.stored;
        m_rows.append(std::move(copy));
    }
    m_readRows = other.m_readRows;
    m_more = other.m_more;
    m_lastKey = other.m_lastKey;
    m_firstKey = other.m_firstKey;
    m_before = other.m_before;
    m_pos = 0;
    m_currentDeleted = false;
    m_open = other.m_open;
    endReset();
    emit currentChanged();
}

bool DataControl::eof() const { return m_pos >= rowCount(); }

bool DataControl::hasCurrent() const { return !m_currentDeleted && m_pos >= 0 && m_pos < rowCount(); }

int DataControl::currentRow() const { return hasCurrent() ? m_pos : -1; }

int DataControl::absolutePosition() const { return hasCurrent() ? positionOf(m_pos) : 0; }

void DataControl::setPosition(int pos)
{
    m_pos = pos;
    m_currentDeleted = false;
    emit currentChanged();
}

bool DataControl::leaveCurrent()
{
    if (!hasCurrent())
        return true;
    Row& r = m_rows[m_pos];
    if (r.isNew && r.changed.count(true) == 0) {
        // A new row nobody typed into is not worth a row in the table.
        beginReset();
        removeRow(m_pos);
        endReset();
        return true;
    }
    if (!r.pending())
        return true;
    try {
        storeRow(m_pos);
    } catch (const DataError& e) {
        emit error(e.description());
        return false;
    }
    return true;
}

void DataControl::setAbsolutePosition(int position)
{
    const auto noSuchRow = [position] { return DataError(QStringLiteral("沒有第 %1 筆資料。").arg(position)); };
    if (position < 1 || position > recordCount())
        throw noSuchRow();
    if (hasCurrent() && positionOf(m_pos) == position)
        return;
    if (!leaveCurrent())
        return;
    if (position > recordCount())
        throw noSuchRow();
    int index = indexOfPosition(position);
    if (index < 0 && position <= beforeCount())
        refresh(); // before the rows of a list opened at a key: read from the first
    if (index < 0) {
        readThroughPosition(position);
        index = indexOfPosition(position);
    }
    if (index < 0 || index >= rowCount())
        throw noSuchRow();
    setPosition(index);
}

void DataControl::moveToRow(int index)
{
    if (index < 0 || index >= rowCount())
        throw DataError(QStringLiteral("沒有第 %1 筆資料。").arg(index + 1));
    if (hasCurrent() && index == m_pos)
        return;
    const int before = rowCount();
    if (!leaveCurrent())
        return;
    // Dropping an untouched new row (always the last) leaves earlier rows in place.
    if (rowCount() < before && index >= rowCount())
        return;
    setPosition(index);
}

void DataControl::moveFirst()
{
    if (!leaveCurrent())
        return;
    if (m_firstKey.isValid())
        refresh(); // a list opened at a key reads from its first row again
    if (rowCount() == 0)
        throw DataError(noCurrentRowText());
    setPosition(0);
}

void DataControl::moveLast()
{
    if (!leaveCurrent())
        return;
    readAll();
    if (rowCount() == 0)
        throw DataError(noCurrentRowText());
    setPosition(rowCount() - 1);
}

void DataControl::moveNext()
{
    if (m_currentDeleted) {
        // The row after a deleted one already stands at its place.
        setPosition(m_pos);
        return;
    }
    if (eof())
        throw DataError(noCurrentRowText());
    const int before = rowCount();
    if (!leaveCurrent())
        return;
    const int next = rowCount() < before ? m_pos : m_pos + 1;
    // The next row of the source comes before any row added here.
    if (next == m_readRows && m_more)
        readPage(kPage);
    setPosition(next);
}

int DataControl::findRow(int column, const QVariant& value) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    if (column != m_keyColumn) {
        for (int i = 0; i < rowCount(); ++i)
            if (sameValue(m_rows[i].values[column], value))
                return i;
        return -1;
    }
    // Only the current row and rows added here can hold a key not yet
    // stored: leaving a row stores it.
    int found = findStoredRow(column, value);
    if (found >= 0 && !sameValue(m_rows[found].values[column], value))
        found = -1;
    auto consider = [&](int i) {
        if (i >= 0 && i < rowCount() && (found < 0 || i < found) && m_rows[i].pending() &&
            sameValue(m_rows[i].values[column], value))
            found = i;
    };
    consider(m_pos);
    for (int i = m_readRows; i < rowCount(); ++i)
        consider(i);
    return found;
}

int DataControl::findStoredRow(int column, const QVariant& value) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    if (column == m_keyColumn) {
        if (m_indexDirty)
            rebuildIndex();
        return m_index.value(keyText(value), -1);
    }
    for (int i = 0; i < rowCount(); ++i)
        if (!m_rows[i].isNew && sameValue(m_rows[i].original[column], value))
            return i;
    return -1;
}

int DataControl::seekKey(const QVariant& key)
{
    if (m_keyColumn < 0)
        return -1;
    int row = findStoredRow(m_keyColumn, key);
    if (row >= 0 || (!m_more && !m_firstKey.isValid()))
        return row;
    QVariant bound = key;
    const schema::ColumnDef* def = m_table->column(m_table->key);
    if (def && def->type == schema::ColumnType::Integer) {
        bool ok = false;
        bound = key.toLongLong(&ok);
        if (!ok)
            return -1;
    }
    // A list with a change not stored yet keeps its rows, and reads on...
    const bool keep = hasPending();
    if (m_more && (keep || !farAhead(bound))) {
        readPage(0, &bound);
        row = findStoredRow(m_keyColumn, key);
    }
    // ...and back towards the first row, for a key before those held.
    while (row < 0 && keep && canFetchBefore()) {
        fetchBefore();
        row = findStoredRow(m_keyColumn, key);
    }
    if (row < 0 && !keep)
        row = openAt(bound);
    return row;
}

bool DataControl::moveToValue(int column, const QVariant& value)
{
    int row = findRow(column, value);
    if (row < 0 && column == m_keyColumn && (m_more || m_firstKey.isValid()) && seekKey(value) >= 0)
        row = findRow(column, value);
    if (row < 0)
        return false;
    if (hasCurrent() && row == m_pos)
        return true;
    const int before = rowCount();
    if (!leaveCurrent())
        return false;
    // Dropping an untouched new row (always the last) leaves earlier rows in place.
    if (rowCount() < before && row >= rowCount())
        return false;
    setPosition(row);
    return true;
}
QString DataControl::columnName(int i) const
{
    requireColumn(i);
    return m_columns[i];
}

int DataControl::columnIndex(const QString& name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataControl::requireCurrent() const
{
    if (!hasCurrent())
        throw DataError(noCurrentRowText());
}

void DataControl::requireColumn(int column) const
{
    if (column < 0 || column >= columnCount())
        throw DataError(QStringLiteral("沒有第 %1 個欄位。").arg(column));
}

QVariant DataControl::field(int column) const
{
    requireCurrent();
    requireColumn(column);
    return m_rows[m_pos].values[column];
}

QVariant DataControl::field(const QString& column) const
{
    const int i = columnIndex(column);
    if (i < 0)
        throw DataError(QStringLiteral("找不到欄位「%1」。").arg(column));
    return field(i);
}

QVariant DataControl::storedField(int column) const
{
    requireCurrent();
    requireColumn(column);
    const Row& r = m_rows[m_pos];
    return r.isNew ? QVariant() : r.original[column];
}

QVariant DataControl::value(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QVariant();
    return m_rows[row].values[column];
}

void DataControl::setField(int column, const QVariant& value)
{
    requireCurrent();
    requireColumn(column);
    Row& r = m_rows[m_pos];
    r.values[column] = value;
    r.changed.setBit(column, r.isNew ? !value.isNull() : !sameValue(value, r.original[column]));
    emit rowChanged(m_pos);
}

void DataControl::setField(const QString& column, const QVariant& value)
{
    const int i = columnIndex(column);
    if (i < 0)
        throw DataError(QStringLiteral("找不到欄位「%1」。").arg(column));
    setField(i, value);
}

bool DataControl::hasPending() const
{
    for (const Row& r : m_rows)
        if (r.pending())
            return true;
    return false;
}

void DataControl::addNew()
{
    if (hasCurrent()) {
        Row& r = m_rows[m_pos];
        if (r.isNew && r.changed.count(true) == 0) {
            beginReset();
            removeRow(m_pos);
            endReset();
        } else if (r.pending()) {
            storeRow(m_pos);
        }
    }
    Row r;
    r.values.resize(columnCount());
    r.original = r.values;
    r.changed = QBitArray(columnCount());
    r.isNew = true;
    beginReset();
    m_rows.append(std::move(r));
    m_pos = rowCount() - 1;
    m_currentDeleted = false;
    endReset();
    emit currentChanged();
}

void DataControl::update()
{
    if (!hasCurrent())
        return;
    Row& r = m_rows[m_pos];
    if (r.isNew && r.changed.count(true) == 0)
        return;
    if (r.pending())
        storeRow(m_pos);
}

void DataControl::updateBatch()
{
    for (int i = 0; i < rowCount(); ++i) {
        const Row& r = m_rows[i];
        if (r.isNew && r.changed.count(true) == 0)
            continue;
        if (r.pending())
            storeRow(i);
    }
}

void DataControl::cancelUpdate()
{
    if (!hasCurrent())
        return;
    Row& r = m_rows[m_pos];
    if (r.isNew) {
        beginReset();
        removeRow(m_pos);
        endReset();
        emit currentChanged();
        return;
    }
    r.values = r.original;
    r.changed.fill(false);
    emit rowChanged(m_pos);
}

void DataControl::deleteCurrent()
{
    requireCurrent();
    Row& r = m_rows[m_pos];
    if (!r.isNew) {
        requireWritable();
        const QVariant key = r.original[m_keyColumn];
        writeLinked(m_db, links::hasLinks(m_table->name), [&] {
            links::beforeDelete(m_db, m_table->name, key);
            m_db.exec(deleteSql(*m_table), {key}).finish();
        });
    }
    beginReset();
    removeRow(m_pos);
    m_currentDeleted = true;
    endReset();
    // The row after the deleted one is the next one of the source, even when
    // it has not been read yet.
    if (m_pos == m_readRows && m_more)
        readPage(kPage, nullptr, false);
    emit currentChanged();
}

void DataControl::requireWritable() const
{
    if (!m_table || m_keyColumn < 0)
        throw DataError(QStringLiteral("這份資料不能修改：查詢「%1」沒有資料表的主鍵欄位。").arg(m_source));
}

QVariant DataControl::bindable(int column, const QVariant& v) const
{
    if (v.isNull() || v.typeId() != QMetaType::QString)
        return v;
    const schema::ColumnDef* def = m_table ? m_table->column(m_columns[column]) : nullptr;
    const bool isKey = column == m_keyColumn;
    // An emptied box means "no value", not an empty text, for numbers, dates
    // and keys.
    if ((isKey || (def && def->type != schema::ColumnType::Text)) && v.toString().trimmed().isEmpty())
        return QVariant();
    return v;
}

void DataControl::refuseBadNumber(int column, const QVariant& v) const
{
    const schema::ColumnDef* def = m_table ? m_table->column(m_columns[column]) : nullptr;
    if (!def || def->type == schema::ColumnType::Text || def->type == schema::ColumnType::Date || v.isNull())
        return;
    std::optional<double> x;
    if (v.typeId() == QMetaType::QString)
        x = numberInText(v.toString());
    else if (v.canConvert<double>())
        x = v.toDouble();
    // Infinity, NaN or a figure past any shop's books is refused here; the
    // database itself would take 1e999 as infinity.
    if (x && !isShopNumber(*x)) {
        const QString shown = v.typeId() == QMetaType::QString ? v.toString().trimmed() : displayText(v);
        throw DataError(shopNumberRefusal(m_columns[column], shown), DataFault::OutOfRange);
    }
}

DataError DataControl::refusalOf(const Row& r, const DataError& e) const
{
    // The database's refusal, told with the column and value it was about.
    auto shorten = [](const QString& t) { return t.size() > 40 ? t.left(40) + QStringLiteral("…") : t; };
    auto shown = [&](int c) {
        const QString t = displayText(bindable(c, r.values[c]));
        return t.isEmpty() ? QStringLiteral("（空白）") : shorten(t);
    };
    QString sentence;
    switch (e.fault()) {
    case DataFault::Duplicate:
        sentence = QStringLiteral("%1 %2 已經存在，不能重複。").arg(m_columns[m_keyColumn], shown(m_keyColumn));
        break;
    case DataFault::MissingValue:
        for (int c = 0; c < columnCount() && sentence.isEmpty(); ++c)
            if ((c == m_keyColumn || r.changed.testBit(c)) && bindable(c, r.values[c]).isNull())
                sentence = QStringLiteral("%1 不可空白。").arg(m_columns[c]);
        break;
    case DataFault::WrongType:
        for (int c = 0; c < columnCount() && sentence.isEmpty(); ++c) {
            const schema::ColumnDef* def = m_table->column(m_columns[c]);
            const QVariant v = bindable(c, r.values[c]);
            if (r.changed.testBit(c) && def && def->type != schema::ColumnType::Text &&
                def->type != schema::ColumnType::Date && v.typeId() == QMetaType::QString)
                sentence =
                    QStringLiteral("%1 必須是%2，「%3」不是。")
                        .arg(m_columns[c],
                             def->type == schema::ColumnType::Integer ? QStringLiteral("整數") : QStringLiteral("數字"),
                             shorten(v.toString()));
        }
        break;
    default:
        break;
    }
    if (sentence.isEmpty() || e.original().isEmpty())
        return e;
    return DataError(sentence + QStringLiteral("\r（") + e.original() + QStringLiteral("）"), e.fault(), e.original());
}

void DataControl::storeRow(int index)
{
    requireWritable();
    Row& r = m_rows[index];
    QStringList names;
    QVariantList values;
    for (int c = 0; c < columnCount(); ++c) {
        if (r.changed.testBit(c)) {
            refuseBadNumber(c, r.values[c]);
            names << sql::quoted(m_columns[c]);
            values << bindable(c, r.values[c]);
        }
    }
    QVariant keyValue;
    if (r.isNew) {
        try {
            QSqlQuery q = m_db.exec(insertSql(*m_table, names), values);
            if (q.next())
                keyValue = q.value(0);
            q.finish();
        } catch (const DataError& e) {
            throw refusalOf(r, e);
        }
    } else {
        values << r.original[m_keyColumn];
        keyValue =
            r.changed.testBit(m_keyColumn) ? bindable(m_keyColumn, r.values[m_keyColumn]) : r.original[m_keyColumn];
        const bool rekeyed = r.changed.testBit(m_keyColumn);
        try {
            writeLinked(m_db, rekeyed && links::hasLinks(m_table->name), [&] {
                QSqlQuery q = m_db.exec(updateSql(*m_table, names), values);
                const int affected = q.numRowsAffected();
                q.finish();
                if (affected == 0)
                    throw DataError(QStringLiteral("找不到要更新的資料列：它可能已被刪除，或被另一台電腦改了編號。"));
                if (rekeyed)
                    links::afterRekey(m_db, m_table->name, r.original[m_keyColumn], keyValue);
            });
        } catch (const DataError& e) {
            throw refusalOf(r, e);
        }
    }
    reloadRow(r, keyValue);
    m_indexDirty = true;
    m_unread = -1;
    emit rowChanged(index);
}

void DataControl::reloadRow(Row& r, const QVariant& key)
{
    // Read back what the database made of the row: its number, its defaults,
    // and numbers typed as text turned into numbers.
    QSqlQuery q = m_db.exec(rowSql(*m_table, quoted(m_columns)), {key});
    if (q.next()) {
        for (int i = 0; i < m_columns.size(); ++i)
            r.values[i] = q.value(i);
    }
    q.finish();
    r.original = r.values;
    r.changed.fill(false);
    r.isNew = false;
    r.stored = true;
}

QList<Statement> dataControlStatements(Database::Kind)
{
    // Each table read whole and written through its key with every column,
    // and each paged source read, counted and re-read as its screens do.
    QList<Statement> out;
    for (const schema::TableDef& t : schema::tables()) {
        const QString m = QStringLiteral("data control on %1: ").arg(t.name);
        out << Statement{m + QStringLiteral("all"), selectAllSql(t.name)};
        if (t.key.isEmpty())
            continue;
        QStringList columns;
        for (const schema::ColumnDef& c : t.columns)
            columns << c.name;
        out << Statement{m + QStringLiteral("row"), rowSql(t, quoted(columns))}
            << Statement{m + QStringLiteral("rows"), rowsByKeySql(t, quoted(columns), QString(), 2)}
            << Statement{m + QStringLiteral("insert"), insertSql(t, quoted(columns))}
            << Statement{m + QStringLiteral("insert defaults"), insertSql(t, {})}
            << Statement{m + QStringLiteral("update"), updateSql(t, quoted(columns))}
            << Statement{m + QStringLiteral("delete"), deleteSql(t)};
    }
    for (const schema::Source* s :
         {&schema::sources::TeaCatalogue, &schema::sources::OpenOrders, &schema::sources::OrderTeaList}) {
        const schema::TableDef& t = *schema::findTable(s->table);
        const QString m = QStringLiteral("paged source on %1: ").arg(t.name);
        out << Statement{m + QStringLiteral("first page"), pageSql(t, s->columns, s->filter, false, false, true)}
            << Statement{m + QStringLiteral("next page"), pageSql(t, s->columns, s->filter, true, false, true)}
            << Statement{m + QStringLiteral("through"), pageSql(t, s->columns, s->filter, true, true, false)}
            << Statement{m + QStringLiteral("unread"), countAfterSql(t, s->filter, 0)}
            << Statement{m + QStringLiteral("from a key"), windowSql(t, s->columns, s->filter, false)}
            << Statement{m + QStringLiteral("before a key"), windowSql(t, s->columns, s->filter, true)}
            << Statement{m + QStringLiteral("rows up to a key"), countBetweenSql(t, s->filter)}
            << Statement{m + QStringLiteral("rows before a key"), countBeforeSql(t, s->filter)}
            << Statement{m + QStringLiteral("unread less held"), countAfterSql(t, s->filter, 2)}
            << Statement{m + QStringLiteral("rows"),
                         rowsByKeySql(t, quoted(s->columns.split(QLatin1Char(','))), s->filter, 2)};
    }
    return out;
}

} // namespace lumaro
