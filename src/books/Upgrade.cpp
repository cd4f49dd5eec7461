#include "books/Upgrade.h"

#include "base/Numbers.h"
#include "books/Books.h"
#include "books/People.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Snapshot.h"
#include "data/Sql.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QFileInfo>
#include <QSqlQuery>

#include <functional>

namespace lumaro::upgrade {

namespace {

using namespace schema;

QString outOfRangeSql(const QString& table, const QString& column)
{
    return statement("SELECT {1}, {2} FROM {3} WHERE NOT ({2} BETWEEN -{4} AND {4}) LIMIT 1",
                     {findTable(table)->key, column, table, sql::number(MaxShopNumber)});
}

// Rebuilding a table on SQLite, under the name it is built with first.
QString rebuiltName(const QString& table) { return table + QStringLiteral("_新"); }
QString counterSql() { return QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"); }
QString copyRowsSql(const QString& table)
{
    QStringList columns;
    for (const ColumnDef& c : findTable(table)->columns)
        if (c.sinceVersion <= 2)
            columns << c.name;
    return QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3")
        .arg(rebuiltName(table), columns.join(QStringLiteral(", ")), table);
}
QString dropSql(const QString& table) { return QStringLiteral("DROP TABLE %1").arg(table); }
QString renameSql(const QString& table)
{
    return QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuiltName(table), table);
}
QString keepCounterSql() { return QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?"); }

// The statements that rebuild a table as version 2 has it, in the order they
// run; the counter is read before and put back after.
QStringList rebuildSql(const QString& table)
{
    return QStringList{sqliteCreateTable(table, rebuiltName(table), 2), copyRowsSql(table), dropSql(table),
                       renameSql(table)} +
           sqliteIndexes(table, 2);
}

QString rangeConstraintSql(const QString& table, const QString& column)
{
    return QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %1_%2_範圍 %3").arg(table, column, rangeCheck(column));
}

// The tables version 2 gave range checks.
const QStringList& checkedTables()
{
    static const QStringList checked = {TeaTable, LineTable, AccountTable};
    return checked;
}

// Version 5 takes the list of kinds off the journal's kind column: the
// program's own list is the one that counts, and a new kind must not need the
// table built anew. On PostgreSQL the constraint goes by the name the server
// gave it when the column was declared with it.
QString dropKindCheckSql()
{
    return QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT IF EXISTS %2")
        .arg(JournalTable, quoteIdentifier(JournalTable + QLatin1Char('_') + journal::Kind + QStringLiteral("_check")));
}

// On SQLite the journal is built anew, under its own name, so that its
// definition is a new shop's word for word. The catalogue's triggers write
// into it and would keep the old table from being renamed, so they go first
// and come back last, with the journal's indexes.
QString keptJournal() { return JournalTable + QStringLiteral("_舊"); }
QStringList journalRebuildSql()
{
    QStringList out = dropTriggers(Dialect::SQLite);
    QStringList columns;
    for (const ColumnDef& c : findTable(JournalTable)->columns)
        if (c.sinceVersion <= 5)
            columns << c.name;
    out << QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(JournalTable, keptJournal())
        << sqliteCreateTable(JournalTable, QString(), 5)
        << QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3")
               .arg(JournalTable, columns.join(QStringLiteral(", ")), keptJournal())
        << dropSql(keptJournal());
    return out + sqliteIndexes(JournalTable, 5) + sqliteTriggers(5);
}

QString setVersionSql(Database::Kind k, int to)
{
    if (k == Database::Kind::SQLite)
        return sqliteSetVersionSql(to);
    return QStringLiteral("UPDATE %1 SET %2 = ?").arg(VersionTable, version::Value);
}

QString hasVersionTableSql() { return QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(VersionTable); }
QString versionSql() { return QStringLiteral("SELECT max(%1) FROM %2").arg(version::Value, VersionTable); }

// Values a version-1 file may hold that version 2 refuses: an upgrade that
// met one half-way would fail with the database's bare CHECK text. Says which
// value stands in the way, or nothing.
QString outOfRange(Database& db)
{
    for (const QString& table : checkedTables()) {
        const TableDef* def = findTable(table);
        for (const QString& column : numberColumns(table)) {
            QSqlQuery q = db.exec(outOfRangeSql(table, column));
            if (q.next()) {
                const QString key = q.value(0).toString();
                const QString value = q.value(1).toString();
                q.finish();
                return QStringLiteral("資料檔無法升級：%1 中 %2 為「%3」那一列的「%4」是 %5，超出可記錄的範圍"
                                      "（正負一兆以內）。請先修正這個數值。")
                    .arg(table, def->key, key, column, value);
            }
            q.finish();
        }
    }
    return QString();
}

void refuseOutOfRange(Database& db)
{
    if (const QString why = outOfRange(db); !why.isEmpty())
        throw DataError(why);
}

// SQLite adds a CHECK only by building the table anew: same columns in the same
// order, same rows and keys, and the same auto-number counter (which may lie
// beyond the highest key when the last rows were deleted).
void rebuildSQLiteTable(Database& db, const QString& table)
{
    const QVariant counter = db.scalar(counterSql(), {table});
    for (const QString& statement : rebuildSql(table))
        db.exec(statement).finish();
    if (!counter.isNull())
        db.exec(keepCounterSql(), {counter, table}).finish();
}

void toVersion2(Database& db)
{
    refuseOutOfRange(db);
    if (db.isSQLite()) {
        for (const QString& table : checkedTables())
            rebuildSQLiteTable(db, table);
        db.exec(sqliteCreateTable(JournalTable, QString(), 2)).finish();
        for (const QString& index : sqliteIndexes(JournalTable, 2))
            db.exec(index).finish();
        db.exec(sqliteCreateTable(SettingsTable, QString(), 2)).finish();
    } else {
        for (const QString& table : checkedTables())
            for (const QString& column : numberColumns(table))
                db.exec(rangeConstraintSql(table, column)).finish();
        for (const QString& stmt : postgresJournalDdl())
            db.exec(stmt).finish();
        for (const QString& stmt : postgresVersionDdl(1))
            db.exec(stmt).finish();
    }
    books::recordOpening(db, QStringLiteral("升級到資料版本 2 時的餘額與庫存"), true);
    for (const QString& stmt : db.isSQLite() ? sqliteTriggers(2) : postgresTriggers(2))
        db.exec(stmt).finish();
}

void toVersion3(Database& db) { db.exec(salesTimeIndex()).finish(); }

void toVersion4(Database& db) { db.exec(orderDateIndex()).finish(); }

void toVersion5(Database& db)
{
    for (const QString& statement : db.isSQLite() ? journalRebuildSql() : QStringList{dropKindCheckSql()})
        db.exec(statement).finish();
}

// Version 6 sells by each tea's unit, with payment methods and discounts: the
// tables and journal columns it brings, and the catalogue's triggers made
// anew, since they now carry a tea's unit along. Every tea stays in 公斤 and
// every payment in 現金: an empty unit or method reads as those.
void toVersion6(Database& db)
{
    const Dialect d = db.kind();
    for (const QString& statement : dropTriggers(d) + addedInVersion(6, d))
        db.exec(statement).finish();
    for (const QString& statement : d == Dialect::SQLite ? sqliteTriggers(6) : postgresTriggers(6))
        db.exec(statement).finish();
}

// Version 7 mends the books from within: returns name the sale they mend, and
// stock counts, write-offs and returns say why. Its columns come empty on the
// rows before it.
void toVersion7(Database& db)
{
    for (const QString& statement : addedInVersion(7, db.kind()))
        db.exec(statement).finish();
}

// Version 8 keeps the people behind the counter, and every journal row names
// who made it. The shop's own password becomes that of one 老闆 named 老闆,
// so the shop opens as before; rows before it name nobody.
void toVersion8(Database& db)
{
    for (const QString& statement : addedInVersion(8, db.kind()))
        db.exec(statement).finish();
    if (!db.isSQLite())
        for (const QString& statement : postgresJournalStamp())
            db.exec(statement).finish();
    people::addFirstOwner(db);
}

// Version 9 finds part of a customer's name through a trigram index of the
// names, filled here from the orders already written.
void toVersion9(Database& db)
{
    for (const QString& statement : customerIndexDdl(db.kind()))
        db.exec(statement).finish();
    if (db.isSQLite())
        db.exec(customerIndexRebuild()).finish();
}

// Version 10 finds a tea by part of its name through a trigram index of the
// names, and by the start of its number through an index of the numbers as
// the find compares them, filled here from the teas already in the catalogue.
void toVersion10(Database& db)
{
    for (const QString& statement : teaIndexDdl(db.kind()))
        db.exec(statement).finish();
    if (db.isSQLite())
        db.exec(teaIndexRebuild()).finish();
}

// Version 11 lists a customer's sales from two indexes of the journal: the
// sales' money rows by order, and the rows with a discount. On a server it
// also keeps the trigram index of the teas' names on the name folded by
// lower() under the C collation, which the find checks each name it finds by
// at a fraction of the former cost.
void toVersion11(Database& db)
{
    QStringList statements = addedInVersion(11, db.kind());
    if (!db.isSQLite())
        statements << dropTeaNameIndex() << teaNameIndexDdl();
    for (const QString& statement : statements)
        db.exec(statement).finish();
}

struct Step {
    int from;
    std::function<void(Database&)> run;
};

const QList<Step>& steps()
{
    static const QList<Step> all = {{1, toVersion2},  {2, toVersion3},  {3, toVersion4}, {4, toVersion5},
                                    {5, toVersion6},  {6, toVersion7},  {7, toVersion8}, {8, toVersion9},
                                    {9, toVersion10}, {10, toVersion11}};
    return all;
}

void setVersion(Database& db, int version)
{
    if (db.isSQLite())
        db.exec(setVersionSql(db.kind(), version)).finish();
    else
        db.exec(setVersionSql(db.kind(), version), {version}).finish();
}

} // namespace

int versionOf(Database& db)
{
    if (db.isSQLite()) {
        const int v = db.scalar(sqliteVersionSql()).toInt();
        return v < 1 ? 1 : v;
    }
    if (db.scalar(hasVersionTableSql()).toBool())
        return db.scalar(versionSql()).toInt();
    return 1;
}

QString newerShopText(int version)
{
    return QStringLiteral(
               "這個資料檔是較新版本的 Lumaro 建立的（資料版本 %1），這個程式只能開啟資料版本 %2 以前的資料檔。"
               "請改用新版的程式；資料檔沒有被更動。")
        .arg(version)
        .arg(CurrentVersion);
}

void refuseNewer(Database& db)
{
    const int v = versionOf(db);
    if (v > CurrentVersion)
        throw NewerShopError(newerShopText(v));
}

QString blocker(Database& db) { return versionOf(db) < 2 ? outOfRange(db) : QString(); }

QString backupName(const QString& file, int from)
{
    const QString base = QStringLiteral("%1.v%2.bak").arg(file).arg(from);
    QString name = base;
    // An earlier copy is kept: it may be the only one of the shop as it was.
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QStringLiteral("%1.%2").arg(base).arg(n);
    return name;
}

QString run(Database& db)
{
    refuseNewer(db);
    int version = versionOf(db);
    if (version >= CurrentVersion)
        return QString();
    QString backup;
    if (db.isSQLite()) {
        backup = backupName(db.target(), version);
        backupShop(db, backup);
    }
    for (const Step& step : steps()) {
        Transaction t(db);
        // Another terminal may have been first.
        version = versionOf(db);
        if (step.from != version) {
            t.commit();
            continue;
        }
        step.run(db);
        setVersion(db, step.from + 1);
        t.commit();
    }
    return backup;
}

QList<Statement> statements(Database::Kind k)
{
    const QString m = QStringLiteral("upgrade: ");
    QList<Statement> out;
    for (const QString& table : checkedTables())
        for (const QString& column : numberColumns(table))
            out << Statement{m + QStringLiteral("out of range ") + column, outOfRangeSql(table, column)};
    out << Statement{m + QStringLiteral("set version"), setVersionSql(k, CurrentVersion)}
        << Statement{m + QStringLiteral("sales time index"), salesTimeIndex(), StatementCheck::RunOnShop}
        << Statement{m + QStringLiteral("order date index"), orderDateIndex(), StatementCheck::RunOnShop};
    if (k == Database::Kind::PostgreSQL)
        for (const QString& statement : dropTeaNameIndex() + teaNameIndexDdl())
            out << Statement{m + QStringLiteral("tea name index"), statement, StatementCheck::RunOnShop};
    if (k == Database::Kind::SQLite) {
        out << Statement{m + QStringLiteral("version"), sqliteVersionSql()}
            << Statement{m + QStringLiteral("counter"), counterSql()}
            << Statement{m + QStringLiteral("keep counter"), keepCounterSql()}
            << Statement{m + QStringLiteral("fill the name index"), customerIndexRebuild(), StatementCheck::RunOnShop}
            << Statement{m + QStringLiteral("fill the tea index"), teaIndexRebuild(), StatementCheck::RunOnShop};
        // A fresh shop can be rebuilt as well as an old one, and is left as it was.
        for (const QString& table : checkedTables())
            for (const QString& statement : rebuildSql(table))
                out << Statement{m + QStringLiteral("rebuild ") + table, statement, StatementCheck::RunOnShop};
        for (const QString& statement : journalRebuildSql())
            out << Statement{m + QStringLiteral("rebuild the journal"), statement, StatementCheck::RunOnShop};
    } else {
        out << Statement{m + QStringLiteral("version table?"), hasVersionTableSql()}
            << Statement{m + QStringLiteral("version"), versionSql()};
        for (const QString& table : checkedTables())
            for (const QString& column : numberColumns(table))
                out << Statement{m + QStringLiteral("range of ") + column, rangeConstraintSql(table, column),
                                 StatementCheck::RunOnShop};
        out << Statement{m + QStringLiteral("drop the kind check"), dropKindCheckSql(), StatementCheck::RunOnShop};
    }
    return out;
}

} // namespace lumaro::upgrade
