#include "data/Upgrade.h"

#include "data/Books.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Maintenance.h"
#include "data/Numbers.h"
#include "data/Schema.h"

#include <QFileInfo>
#include <QSqlQuery>

#include <functional>

namespace lumaro::upgrade {

namespace {

using namespace schema;

// Values a version-1 file may hold that version 2 refuses: an upgrade that
// met one half-way would fail with the database's bare CHECK text.
void refuseOutOfRange(Database& db)
{
    for (const QString& table : {TeaTable, LineTable, AccountTable}) {
        const TableDef* def = findTable(table);
        for (const QString& column : numberColumns(table)) {
            QSqlQuery q = db.exec(QStringLiteral("SELECT %1, %2 FROM %3 WHERE NOT (%2 BETWEEN -1e12 AND 1e12) LIMIT 1")
                                      .arg(def->key, column, table));
            if (q.next()) {
                const QString key = q.value(0).toString();
                const QString value = q.value(1).toString();
                q.finish();
                throw DataError(QStringLiteral("資料檔無法升級：%1 中 %2 為「%3」那一列的「%4」是 %5，超出可記錄的範圍"
                                               "（正負一兆以內）。請先修正這個數值。")
                                    .arg(table, def->key, key, column, value));
            }
            q.finish();
        }
    }
}

// SQLite adds a CHECK only by building the table anew: same columns in the same
// order, same rows and keys, and the same auto-number counter (which may lie
// beyond the highest key when the last rows were deleted).
void rebuildSQLiteTable(Database& db, const QString& table)
{
    const TableDef* def = findTable(table);
    QStringList columns;
    for (const ColumnDef& c : def->columns)
        columns << c.name;
    const QString list = columns.join(QStringLiteral(", "));
    const QVariant counter = db.scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), {table});
    const QString fresh = table + QStringLiteral("_新");
    db.exec(sqliteCreateTable(table, fresh)).finish();
    db.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(fresh, list, table)).finish();
    db.exec(QStringLiteral("DROP TABLE %1").arg(table)).finish();
    db.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(fresh, table)).finish();
    for (const QString& index : sqliteIndexes(table))
        db.exec(index).finish();
    if (!counter.isNull())
        db.exec(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?"), {counter, table})
            .finish();
}

void toVersion2(Database& db)
{
    refuseOutOfRange(db);
    if (db.isSQLite()) {
        for (const QString& table : {TeaTable, LineTable, AccountTable})
            rebuildSQLiteTable(db, table);
        db.exec(sqliteCreateTable(JournalTable)).finish();
        for (const QString& index : sqliteIndexes(JournalTable))
            db.exec(index).finish();
        db.exec(sqliteCreateTable(SettingsTable)).finish();
    } else {
        for (const QString& table : {TeaTable, LineTable, AccountTable})
            for (const QString& column : numberColumns(table))
                db.exec(QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %1_%2_範圍 %3")
                            .arg(table, column, rangeCheck(column)))
                    .finish();
        for (const QString& stmt : postgresJournalDdl())
            db.exec(stmt).finish();
        db.exec(QStringLiteral("CREATE TABLE 資料版本表 (版本 integer NOT NULL)")).finish();
        db.exec(QStringLiteral("INSERT INTO 資料版本表 (版本) VALUES (1)")).finish();
    }
    books::recordOpening(db, QStringLiteral("升級到資料版本 2 時的餘額與庫存"), true);
    for (const QString& stmt : db.isSQLite() ? sqliteTriggers() : postgresTriggers())
        db.exec(stmt).finish();
}

struct Step {
    int from;
    std::function<void(Database&)> run;
};

const QList<Step>& steps()
{
    static const QList<Step> all = {{1, toVersion2}};
    return all;
}

void setVersion(Database& db, int version)
{
    if (db.isSQLite())
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)).finish();
    else
        db.exec(QStringLiteral("UPDATE 資料版本表 SET 版本 = ?"), {version}).finish();
}

} // namespace

int versionOf(Database& db)
{
    if (db.isSQLite()) {
        const int v = db.scalar(QStringLiteral("PRAGMA user_version")).toInt();
        return v < 1 ? 1 : v;
    }
    if (db.scalar(QStringLiteral("SELECT to_regclass('資料版本表') IS NOT NULL")).toBool())
        return db.scalar(QStringLiteral("SELECT max(版本) FROM 資料版本表")).toInt();
    return 1;
}

void refuseNewer(Database& db)
{
    const int v = versionOf(db);
    if (v > CurrentVersion)
        throw NewerShopError(
            QStringLiteral(
                "這個資料檔是較新版本的 Lumaro 建立的（資料版本 %1），這個程式只能開啟資料版本 %2 以前的資料檔。"
                "請改用新版的程式；資料檔沒有被更動。")
                .arg(v)
                .arg(CurrentVersion));
}

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

} // namespace lumaro::upgrade
