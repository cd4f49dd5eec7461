#pragma once

#include <QBitArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace lumaro {

class Database;
class DataError;
namespace schema {
struct TableDef;
}

// The one way a screen reaches the shop's tables. It runs a record source (a
// table name, or a SELECT with bound values), keeps the rows in memory with a
// current position that may lie past the last row, and writes changes back
// through the base table's key.
//
// Explicit operations throw DataError. A pending change that is stored on its
// own, because the current row moved, reports a failure through error()
// instead and the move does not happen.
class DataControl : public QObject {
    Q_OBJECT
public:
    explicit DataControl(Database& db, QObject* parent = nullptr);

    Database& database() const { return m_db; }

    // A table name, or a SELECT whose '?' placeholders take params in order.
    void setRecordSource(const QString& source, const QVariantList& params = {});
    const QString& recordSource() const { return m_source; }
    const QVariantList& parameters() const { return m_params; }
    // Re-runs the record source. Pending changes are stored first.
    void refresh();
    // Takes the rows another control over the same record source has just
    // read, as stored (its pending changes and unsaved new rows left out),
    // instead of asking the database the same question twice.
    void copyRowsFrom(const DataControl& other);
    // Whether the record source has been run successfully.
    bool isOpen() const { return m_open; }

    int recordCount() const { return static_cast<int>(m_rows.size()); }
    bool eof() const;               // no current row: past the last, or empty
    bool hasCurrent() const;        // a current row that has not been deleted
    int currentRow() const;         // 0-based index of the current row, -1 without one
    int absolutePosition() const;   // 1-based; 0 without a current row
    void setAbsolutePosition(int position);

    void moveFirst();
    void moveNext();
    void moveLast();
    // Makes the first row whose column holds value current; false when none
    // does (the position is then unchanged).
    bool moveToValue(int column, const QVariant& value);
    int findRow(int column, const QVariant& value) const;
    // The same over the values as last read or stored, before any pending
    // change: a row being renumbered is still found by its stored number.
    // Rows not yet stored are never found.
    int findStoredRow(int column, const QVariant& value) const;

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const QStringList& columnNames() const { return m_columns; }
    QString columnName(int i) const;
    int columnIndex(const QString& name) const; // -1 when absent

    QVariant field(int column) const;
    QVariant field(const QString& column) const;
    // The current row's value as last read or stored; null for a new row.
    QVariant storedField(int column) const;
    void setField(int column, const QVariant& value);
    void setField(const QString& column, const QVariant& value);
    QVariant value(int row, int column) const; // any row, for grids

    void addNew();
    void update();       // stores the current row's pending change
    void updateBatch();  // stores every pending row
    void cancelUpdate(); // drops the current row's pending change
    void deleteCurrent();
    bool hasPending() const;
    bool rowHasPending(int row) const;

    // The control's own refusal texts.
    static QString noCurrentRowText();

signals:
    void currentChanged();
    void rowsReset();
    void rowChanged(int row);
    void error(const QString& description);

private:
    struct Row {
        QVector<QVariant> values;
        QVector<QVariant> original;
        QBitArray changed;
        bool isNew = false;
        bool pending() const { return isNew || changed.count(true) > 0; }
    };

    void requireCurrent() const;
    void requireColumn(int column) const;
    // Leaves the current row before a move: drops an untouched new row and
    // stores a pending change. False (with error() emitted) when the store
    // failed, so the move must not happen.
    bool leaveCurrent();
    void storeRow(int index);
    void reloadRow(Row& row, const QVariant& key);
    void requireWritable() const;
    QVariant bindable(int column, const QVariant& v) const;
    // Refuses a value for a number column that is not finite or past the
    // shop's range, before it reaches the database.
    void refuseBadNumber(int column, const QVariant& v) const;
    // The database's refusal of row, reworded to name its column and value.
    DataError refusalOf(const Row& r, const DataError& e) const;
    void setPosition(int pos);

    Database& m_db;
    QString m_source;
    QVariantList m_params;
    QString m_baseTable;
    const schema::TableDef* m_table = nullptr;
    int m_keyColumn = -1;
    QStringList m_columns;
    QList<Row> m_rows;
    int m_pos = 0;
    bool m_currentDeleted = false;
    bool m_open = false;
};

// How a stored value is shown in a text box or a grid cell: text as it is,
// numbers in the general number format, nothing for an empty value, and
// badNumberMark() for infinity or NaN. Never throws.
QString displayText(const QVariant& v);

} // namespace lumaro
