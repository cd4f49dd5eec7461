#pragma once

#include "data/Statements.h"

#include <QBitArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

class QSqlQuery;

namespace lumaro {

class Database;
class DataError;
namespace schema {
struct TableDef;
struct Source;
} // namespace schema

// The one way a screen reaches the shop's tables. It runs a record source (a
// table name, or a SELECT with bound values), keeps the rows in memory with a
// current position that may lie past the last row, and writes changes back
// through the base table's key.
//
// A paged source (schema::Source with columns) is read a page at a time in key
// order: the first page on refresh, the next ones as a grid scrolls or a move
// needs them. Each page is one finished statement, so no read lock is held
// between pages. Positions still count every row of the source: recordCount()
// and the position of a row added here count the rows not yet read. A row
// sought far past those read opens the list at it: the rows before are then
// read a page at a time as a grid scrolls up to them, and counted only when
// a position is asked for.
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
    // A SELECT given as text only is read-only; a schema::Source names the
    // table it writes through.
    void setRecordSource(const QString& source, const QVariantList& params = {});
    void setRecordSource(const schema::Source& source, const QVariantList& params = {});
    const QString& recordSource() const { return m_source; }
    const QVariantList& parameters() const { return m_params; }
    // Re-runs the record source. Pending changes are stored first.
    void refresh();
    // The same, but a paged source reads at least as many rows as it held, so
    // a grid scrolled down keeps its rows and its place.
    void reread();
    // Re-reads only the rows held under these keys, leaving the position where
    // it is: a row whose key is gone from the source leaves the list, a row
    // with a pending change is left alone. Keys not held are ignored.
    void refreshRows(const QVariantList& keys);
    // Takes the rows another control over the same record source has just
    // read, as stored (its pending changes and unsaved new rows left out),
    // instead of asking the database the same question twice.
    void copyRowsFrom(const DataControl& other);
    // For grids: whether a paged source has rows not read yet, and reading
    // the next page of them.
    bool canFetchMore() const { return m_more; }
    void fetchMore();
    // The same before the first row held, for a list opened at a key: the
    // page just before it is put in front, and how many rows that was is
    // returned.
    bool canFetchBefore() const { return m_firstKey.isValid(); }
    int fetchBefore();
    // Whether the record source has been run successfully.
    bool isOpen() const { return m_open; }

    // Every row of the source, counted in the database for the rows a paged
    // source has not read yet.
    int recordCount() const;
    // The rows held in memory: what a grid shows. Row indexes below count
    // these.
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool eof() const;             // no current row: past the last, or empty
    bool hasCurrent() const;      // a current row that has not been deleted
    int currentRow() const;       // index of the current row among those held, -1 without one
    int absolutePosition() const; // 1-based among all rows; 0 without a current row
    void setAbsolutePosition(int position);
    // Makes the held row at index current, as a grid's click does.
    void moveToRow(int index);

    void moveFirst();
    void moveNext();
    // On a paged source this reads every remaining row.
    void moveLast();
    // Makes the first row whose column holds value current; false when none
    // does (the position is then unchanged). On the key column of a paged
    // source, rows up to that key are read first.
    bool moveToValue(int column, const QVariant& value);
    // Finds a held row; the key column is found through a hash, others by
    // walking the rows.
    int findRow(int column, const QVariant& value) const;
    // The same over the values as last read or stored, before any pending
    // change: a row being renumbered is still found by its stored number.
    // Rows not yet stored are never found.
    int findStoredRow(int column, const QVariant& value) const;
    // The held row with this stored key, reading a paged source up to that
    // key when it is not held yet, or opening the list at it when it lies
    // far past the rows read (and no change is pending; no row is current
    // then until the caller moves); -1 when the source has no such row.
    int seekKey(const QVariant& key);
    int keyColumn() const { return m_keyColumn; }

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

    // The control's own refusal texts.
    static QString noCurrentRowText();

signals:
    void currentChanged();
    // Sent before and after the held rows change as a whole (a re-read, a row
    // added or deleted), so a model can tell its views in time.
    void rowsAboutToBeReset();
    void rowsReset();
    // Sent around a page of rows read in at index first.
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted();
    void rowChanged(int row);
    void error(const QString& description);

private:
    struct Row {
        QVector<QVariant> values;
        QVector<QVariant> original;
        QBitArray changed;
        bool isNew = false;
        bool stored = false; // written by this control since it was read
        bool pending() const { return isNew || changed.count(true) > 0; }
    };
    using Rows = QList<Row>;

    void requireCurrent() const;
    void requireColumn(int column) const;
    // Leaves the current row before a move: drops an untouched new row and
    // stores a pending change. False (with error() emitted) when the store
    // failed, so the move must not happen.
    bool leaveCurrent();
    void storeRow(int index);
    void beginReset();
    void endReset();
    void removeRow(int index);
    // Paging: the statement for the rows after the last one read (up to and
    // including through, when given), a page read in, and the rows left.
    void run(int firstPage, const QVariant* from = nullptr);
    // Re-reads the list from a page before key on, with no row current; the
    // key's index, or -1 (nothing changed) when the source has no such row.
    int openAt(const QVariant& key);
    bool farAhead(const QVariant& key) const;
    int beforeCount() const;
    QString pageSql(bool after, bool through, bool limited) const;
    void readPage(int limit, const QVariant* through = nullptr, bool shiftCurrent = true);
    void readThroughPosition(int position); // until that position is held or nothing is left
    void readAll();
    static Rows readRows(QSqlQuery& q, int columns, int limit, bool* more);
    Rows notHeld(Rows& rows) const; // the rows read whose key is not held yet, moved out
    int unreadCount() const;
    int positionOf(int index) const;         // 1-based position of a held row
    int indexOfPosition(int position) const; // -1: a row not read yet
    QString keyText(const QVariant& v) const;
    void rebuildIndex() const;
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
    QString m_pageColumns; // empty: the source is read whole
    QString m_pageFilter;
    const schema::TableDef* m_table = nullptr;
    int m_keyColumn = -1;
    QStringList m_columns;
    // The rows read from the source, in its order, then the rows added here.
    Rows m_rows;
    int m_readRows = 0;  // how many of m_rows came from the source
    bool m_more = false; // a paged source has rows after lastKey not read yet
    QVariant m_lastKey;
    QVariant m_firstKey;                 // a list opened at a key: the rows before it are not held
    mutable int m_before = 0;            // how many those are; -1 until counted
    mutable int m_unread = -1;           // cached count of those rows
    mutable QHash<QString, int> m_index; // stored key -> row
    mutable bool m_indexDirty = true;
    int m_pos = 0;
    bool m_currentDeleted = false;
    bool m_open = false;
};

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> dataControlStatements(Dialect dialect);
} // namespace lumaro
