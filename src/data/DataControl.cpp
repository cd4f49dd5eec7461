#include "data/DataControl.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Links.h"
#include "data/Numbers.h"
#include "data/Schema.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

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

bool isBareTableName(const QString& source)
{
    static const QRegularExpression bare(QStringLiteral("^\\S+$"));
    return bare.match(source.trimmed()).hasMatch();
}

QString baseTableOf(const QString& source)
{
    if (isBareTableName(source))
        return source.trimmed();
    static const QRegularExpression from(QStringLiteral("\\bfrom\\s+\"?([^\\s\"(),;]+)\"?"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = from.match(source);
    return m.hasMatch() ? m.captured(1) : QString();
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

QString displayText(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        // Infinity or NaN written by another tool is shown as such, never as
        // 0 and never as a failure to draw the row.
        const double x = v.toDouble();
        return std::isfinite(x) ? formatNumber(x) : badNumberMark();
    }
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.time() == QTime(0, 0))
            return dt.date().toString(Qt::ISODate);
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default:
        return v.toString();
    }
}

QString DataControl::noCurrentRowText()
{
    return QStringLiteral("沒有目前的資料列：已在第一筆之前或最後一筆之後，或目前的資料列已被刪除。");
}

DataControl::DataControl(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

void DataControl::setRecordSource(const QString& source, const QVariantList& params)
{
    m_source = source;
    m_params = params;
}

void DataControl::refresh()
{
    updateBatch();

    const QString sql = isBareTableName(m_source)
        ? QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(m_source.trimmed()))
        : m_source;
    QSqlQuery q = m_db.exec(sql, m_params);
    QStringList columns;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        columns << rec.fieldName(i);
    QList<Row> rows;
    while (q.next()) {
        Row r;
        r.values.resize(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            r.values[i] = q.value(i);
        r.original = r.values;
        r.changed = QBitArray(columns.size());
        rows.append(std::move(r));
    }
    // Read to the end and let go of the statement, so no read lock is held
    // while the screen sits open.
    q.finish();

    m_baseTable = baseTableOf(m_source);
    m_table = schema::findTable(m_baseTable);
    m_columns = columns;
    m_keyColumn = (m_table && !m_table->key.isEmpty()) ? columnIndex(m_table->key) : -1;
    m_rows = std::move(rows);
    m_pos = 0;
    m_currentDeleted = false;
    m_open = true;
    emit rowsReset();
    emit currentChanged();
}

void DataControl::copyRowsFrom(const DataControl& other)
{
    updateBatch();
    m_source = other.m_source;
    m_params = other.m_params;
    m_baseTable = other.m_baseTable;
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
        m_rows.append(std::move(copy));
    }
    m_pos = 0;
    m_currentDeleted = false;
    m_open = other.m_open;
    emit rowsReset();
    emit currentChanged();
}

bool DataControl::eof() const { return m_pos >= recordCount(); }

bool DataControl::hasCurrent() const { return !m_currentDeleted && m_pos >= 0 && m_pos < recordCount(); }

int DataControl::currentRow() const { return hasCurrent() ? m_pos : -1; }

int DataControl::absolutePosition() const { return hasCurrent() ? m_pos + 1 : 0; }

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
        m_rows.removeAt(m_pos);
        emit rowsReset();
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
    if (position < 1 || position > recordCount())
        throw DataError(QStringLiteral("沒有第 %1 筆資料。").arg(position));
    if (hasCurrent() && position - 1 == m_pos)
        return;
    const int before = recordCount();
    if (!leaveCurrent())
        return;
    if (recordCount() < before && position > recordCount())
        throw DataError(QStringLiteral("沒有第 %1 筆資料。").arg(position));
    setPosition(position - 1);
}

void DataControl::moveFirst()
{
    if (!leaveCurrent())
        return;
    if (recordCount() == 0)
        throw DataError(noCurrentRowText());
    setPosition(0);
}

void DataControl::moveLast()
{
    if (!leaveCurrent())
        return;
    if (recordCount() == 0)
        throw DataError(noCurrentRowText());
    setPosition(recordCount() - 1);
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
    const int before = recordCount();
    if (!leaveCurrent())
        return;
    setPosition(recordCount() < before ? m_pos : m_pos + 1);
}

int DataControl::findRow(int column, const QVariant& value) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    for (int i = 0; i < recordCount(); ++i)
        if (sameValue(m_rows[i].values[column], value))
            return i;
    return -1;
}

int DataControl::findStoredRow(int column, const QVariant& value) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    for (int i = 0; i < recordCount(); ++i)
        if (!m_rows[i].isNew && sameValue(m_rows[i].original[column], value))
            return i;
    return -1;
}

bool DataControl::moveToValue(int column, const QVariant& value)
{
    const int row = findRow(column, value);
    if (row < 0)
        return false;
    if (hasCurrent() && row == m_pos)
        return true;
    const int before = recordCount();
    if (!leaveCurrent())
        return false;
    // Dropping an untouched new row (always the last) leaves earlier rows in place.
    if (recordCount() < before && row >= recordCount())
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
    if (row < 0 || row >= recordCount() || column < 0 || column >= columnCount())
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

bool DataControl::rowHasPending(int row) const
{
    return row >= 0 && row < recordCount() && m_rows[row].pending();
}

void DataControl::addNew()
{
    if (hasCurrent()) {
        Row& r = m_rows[m_pos];
        if (r.isNew && r.changed.count(true) == 0) {
            m_rows.removeAt(m_pos);
        } else if (r.pending()) {
            storeRow(m_pos);
        }
    }
    Row r;
    r.values.resize(columnCount());
    r.original = r.values;
    r.changed = QBitArray(columnCount());
    r.isNew = true;
    m_rows.append(std::move(r));
    m_pos = recordCount() - 1;
    m_currentDeleted = false;
    emit rowsReset();
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
    for (int i = 0; i < recordCount(); ++i) {
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
        m_rows.removeAt(m_pos);
        emit rowsReset();
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
            m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                          .arg(quoteIdentifier(m_table->name), quoteIdentifier(m_table->key)),
                      {key})
                .finish();
        });
    }
    m_rows.removeAt(m_pos);
    m_currentDeleted = true;
    emit rowsReset();
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
            if (r.changed.testBit(c) && def && def->type != schema::ColumnType::Text
                && def->type != schema::ColumnType::Date && v.typeId() == QMetaType::QString)
                sentence = QStringLiteral("%1 必須是%2，「%3」不是。")
                               .arg(m_columns[c],
                                    def->type == schema::ColumnType::Integer ? QStringLiteral("整數")
                                                                             : QStringLiteral("數字"),
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
            names << quoteIdentifier(m_columns[c]);
            values << bindable(c, r.values[c]);
        }
    }
    const QString table = quoteIdentifier(m_table->name);
    const QString key = quoteIdentifier(m_table->key);
    QVariant keyValue;
    if (r.isNew) {
        QString sql;
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2").arg(table, key);
        } else {
            QStringList marks;
            for (int i = 0; i < names.size(); ++i)
                marks << QStringLiteral("?");
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                      .arg(table, names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")), key);
        }
        try {
            QSqlQuery q = m_db.exec(sql, values);
            if (q.next())
                keyValue = q.value(0);
            q.finish();
        } catch (const DataError& e) {
            throw refusalOf(r, e);
        }
    } else {
        QStringList sets;
        for (const QString& n : names)
            sets << n + QStringLiteral(" = ?");
        values << r.original[m_keyColumn];
        keyValue = r.changed.testBit(m_keyColumn) ? bindable(m_keyColumn, r.values[m_keyColumn])
                                                   : r.original[m_keyColumn];
        const bool rekeyed = r.changed.testBit(m_keyColumn);
        try {
            writeLinked(m_db, rekeyed && links::hasLinks(m_table->name), [&] {
                QSqlQuery q = m_db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                                            .arg(table, sets.join(QLatin1String(", ")), key),
                                        values);
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
    emit rowChanged(index);
}

void DataControl::reloadRow(Row& r, const QVariant& key)
{
    // Read back what the database made of the row: its number, its defaults,
    // and numbers typed as text turned into numbers.
    QStringList cols;
    for (const QString& c : m_columns)
        cols << quoteIdentifier(c);
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                .arg(cols.join(QLatin1String(", ")), quoteIdentifier(m_table->name),
                                     quoteIdentifier(m_table->key)),
                            {key});
    if (q.next()) {
        for (int i = 0; i < m_columns.size(); ++i)
            r.values[i] = q.value(i);
    }
    q.finish();
    r.original = r.values;
    r.changed.fill(false);
    r.isNew = false;
}

} // namespace lumaro
