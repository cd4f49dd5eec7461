// The triggers of the shop's tables, declared in Schema.h.
#include "data/Schema.h"

#include <algorithm>

namespace lumaro::schema {

namespace {

// The journal row of the stock a tea brings along or takes away: its kind,
// the row (NEW or OLD) the tea's number and name come from, the change of
// stock, and why. Each database makes the move's id and the UTC time its own way.
// From version 6 the row names the tea's unit (none for 公斤) and is written
// only when the tea has stock, so that the same trigger can also keep the
// tea's unit in step.
QString stockRow(Dialect d, int version, const QString& kind, const char* tea, const char* stock, const char* note)
{
    const bool sqlite = d == Dialect::SQLite;
    const QStringList pieces = {sqlite ? QStringLiteral("lower(hex(randomblob(16)))")
                                       : QStringLiteral("gen_random_uuid()::text"),
                                sql::literal(kind),
                                sqlite ? QStringLiteral("strftime('%Y-%m-%d %H:%M:%S','now')")
                                       : QStringLiteral("to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')"),
                                QString::fromUtf8(tea),
                                statement(stock),
                                sql::literal(QString::fromUtf8(note))};
    if (version < 6)
        return statement("INSERT INTO {J} ({j.move}, {j.kind}, {j.time}, {j.tea}, {j.teaName}, {j.stock}, {j.note}) "
                         "VALUES ({1}, {2}, {3}, {4}.{t.number}, {4}.{t.name}, {5}, {6});",
                         pieces);
    return statement(
        "INSERT INTO {J} ({j.move}, {j.kind}, {j.time}, {j.tea}, {j.teaName}, {j.stock}, {j.note}, {j.unit}) "
        "SELECT {1}, {2}, {3}, {4}.{t.number}, {4}.{t.name}, {5}, {6}, "
        "(SELECT {u.name} FROM {U} WHERE {u.tea} = OLD.{t.number}) WHERE COALESCE(OLD.{t.stock}, 0) <> 0;",
        pieces);
}

QString added(Dialect d, int v)
{
    // A new tea has no unit of its own yet: its stock is in 公斤.
    return stockRow(d, std::min(v, 5), journalKind::Opening, "NEW", "NEW.{t.stock}", "新增茶葉時的庫存");
}
QString deleted(Dialect d, int v)
{
    return stockRow(d, v, journalKind::Adjustment, "OLD", "-OLD.{t.stock}", "刪除茶葉");
}
QString renumberedFrom(Dialect d, int v)
{
    return stockRow(d, v, journalKind::Adjustment, "OLD", "-OLD.{t.stock}", "更改茶葉編號");
}
QString renumberedTo(Dialect d, int v)
{
    return stockRow(d, v, journalKind::Adjustment, "NEW", "OLD.{t.stock}", "更改茶葉編號");
}

// The unit goes with a deleted tea, and follows a renumbered one (a row left
// under the new number by nothing the program does is dropped first).
QString unitGone() { return statement("DELETE FROM {U} WHERE {u.tea} = OLD.{t.number};"); }
QString unitFollows()
{
    return statement("DELETE FROM {U} WHERE {u.tea} = NEW.{t.number}; "
                     "UPDATE {U} SET {u.tea} = NEW.{t.number} WHERE {u.tea} = OLD.{t.number};");
}

} // namespace

// The catalogue adds, deletes and renumbers teas through its data control;
// the stock such a tea brings or takes along is journaled with it, so the
// books still add up. Changes of the stock itself are never journaled here:
// those belong to the moves, and one made behind their back must show.
QStringList sqliteTriggers(int version)
{
    constexpr Dialect d = Dialect::SQLite;
    const int v = version;
    if (v < 6)
        return {
            statement("CREATE TRIGGER {T}_新增 AFTER INSERT ON {T} WHEN COALESCE(NEW.{t.stock}, 0) <> 0 BEGIN {1} END",
                      {added(d, v)}),
            statement("CREATE TRIGGER {T}_刪除 AFTER DELETE ON {T} WHEN COALESCE(OLD.{t.stock}, 0) <> 0 BEGIN {1} END",
                      {deleted(d, v)}),
            statement("CREATE TRIGGER {T}_改編號 AFTER UPDATE OF {t.number} ON {T} "
                      "WHEN OLD.{t.number} IS NOT NEW.{t.number} AND COALESCE(OLD.{t.stock}, 0) <> 0 BEGIN {1} {2} END",
                      {renumberedFrom(d, v), renumberedTo(d, v)}),
        };
    // One trigger per event, so the journal row reads the unit before the
    // unit's row moves or goes.
    return {
        statement("CREATE TRIGGER {T}_新增 AFTER INSERT ON {T} WHEN COALESCE(NEW.{t.stock}, 0) <> 0 BEGIN {1} END",
                  {added(d, v)}),
        statement("CREATE TRIGGER {T}_刪除 AFTER DELETE ON {T} BEGIN {1} {2} END", {deleted(d, v), unitGone()}),
        statement("CREATE TRIGGER {T}_改編號 AFTER UPDATE OF {t.number} ON {T} "
                  "WHEN OLD.{t.number} IS NOT NEW.{t.number} BEGIN {1} {2} {3} END",
                  {renumberedFrom(d, v), renumberedTo(d, v), unitFollows()}),
    };
}

QStringList postgresTriggers(int version)
{
    constexpr Dialect d = Dialect::PostgreSQL;
    const int v = version;
    const QString body =
        v < 6 ? statement(
                    "IF TG_OP = 'INSERT' THEN IF COALESCE(NEW.{t.stock}, 0) <> 0 THEN {1} END IF; RETURN NULL; END IF; "
                    "IF COALESCE(OLD.{t.stock}, 0) = 0 OR (TG_OP = 'UPDATE' AND OLD.{t.number} = NEW.{t.number}) "
                    "THEN RETURN NULL; END IF; "
                    "IF TG_OP = 'DELETE' THEN {2} RETURN NULL; END IF; "
                    "{3} {4} RETURN NULL;",
                    {added(d, v), deleted(d, v), renumberedFrom(d, v), renumberedTo(d, v)})
              : statement(
                    "IF TG_OP = 'INSERT' THEN IF COALESCE(NEW.{t.stock}, 0) <> 0 THEN {1} END IF; RETURN NULL; END IF; "
                    "IF TG_OP = 'UPDATE' AND OLD.{t.number} = NEW.{t.number} THEN RETURN NULL; END IF; "
                    "IF TG_OP = 'DELETE' THEN {2} {5} RETURN NULL; END IF; "
                    "{3} {4} {6} RETURN NULL;",
                    {added(d, v), deleted(d, v), renumberedFrom(d, v), renumberedTo(d, v), unitGone(), unitFollows()});
    return {
        statement("CREATE FUNCTION {T}_記帳() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN {1} END $$", {body}),
        statement("CREATE TRIGGER {T}_記帳 AFTER INSERT OR DELETE OR UPDATE OF {t.number} ON {T} "
                  "FOR EACH ROW EXECUTE FUNCTION {T}_記帳()"),
    };
}

} // namespace lumaro::schema

namespace lumaro::schema {

QStringList postgresJournalStamp()
{
    return {
        statement("CREATE FUNCTION {J}_記人員() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                  "IF NEW.{j.person} IS NULL THEN "
                  "NEW.{j.person} := NULLIF(current_setting('lumaro.person', true), '')::integer; END IF; "
                  "IF NEW.{j.approver} IS NULL THEN "
                  "NEW.{j.approver} := NULLIF(current_setting('lumaro.approver', true), '')::integer; END IF; "
                  "RETURN NEW; END $$"),
        statement("CREATE TRIGGER {J}_記人員 BEFORE INSERT ON {J} FOR EACH ROW EXECUTE FUNCTION {J}_記人員()"),
    };
}

QString sqliteDropJournalStamp() { return statement("DROP TRIGGER IF EXISTS temp.{J}_記人員"); }

QStringList sqliteJournalStamp(const QVariant& person, const QVariant& approver)
{
    auto number = [](const QVariant& v) {
        return v.isNull() || !v.isValid() ? QStringLiteral("NULL") : QString::number(v.toLongLong());
    };
    return {sqliteDropJournalStamp(),
            statement("CREATE TEMP TRIGGER {J}_記人員 AFTER INSERT ON main.{J} "
                      "WHEN NEW.{j.person} IS NULL AND NEW.{j.approver} IS NULL BEGIN "
                      "UPDATE {J} SET {j.person} = {1}, {j.approver} = {2} WHERE {j.id} = NEW.{j.id}; END",
                      {number(person), number(approver)})};
}

QStringList dropTriggers(Dialect d)
{
    if (d == Dialect::PostgreSQL)
        return {statement("DROP FUNCTION IF EXISTS {T}_記帳() CASCADE")};
    QStringList out;
    for (const QString& trigger : sqliteTriggers())
        out << statement("DROP TRIGGER IF EXISTS {1}", {trigger.section(QLatin1Char(' '), 2, 2)});
    return out;
}

namespace {

const QLatin1String kUpper("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
const QLatin1String kLower("abcdefghijklmnopqrstuvwxyz");

QString postgresIndexName() { return OrderTable + QStringLiteral("_客戶名稱_三字"); }

} // namespace

QString foldedName(Dialect d, const QString& column)
{
    // SQLite's LIKE already ignores the case of ASCII letters and of no other.
    if (d == Dialect::SQLite)
        return column;
    return QStringLiteral("translate(%1, '%2', '%3')").arg(column, kUpper, kLower);
}

QString likeEscape(Dialect d) { return d == Dialect::SQLite ? QStringLiteral(" ESCAPE '\\'") : QString(); }

QString foldedText(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return out;
}

namespace {

// How many characters of a name the index reads: a name longer than this
// plus two is filed under the empty text as well, so a search always reads it.
constexpr int kIndexedPositions = 64;

// The trigrams of the name in a row (NEW, OLD or an alias of the table),
// each with the row's key: ASCII letters in lower case, as SQLite's lower()
// and LIKE fold them. name and key are the columns' words ({o.customer},
// {o.number}); table, when given, is the table the alias reads. A trigger
// cannot say WITH, so the positions are listed.
QString trigramsOf(const QString& row, const char* name, const char* key, const char* indexKey,
                   const QString& table = QString())
{
    QStringList positions;
    for (int i = 1; i <= kIndexedPositions; ++i)
        positions << QStringLiteral("(%1)").arg(i);
    const QString from = table.isEmpty() ? QString() : QStringLiteral(" FROM ") + table;
    return statement("SELECT lower(substr({1}.{6}, p.column1, 3)) AS {n.trigram}, {1}.{7} AS {8} "
                     "FROM {4}(VALUES {2}) p WHERE p.column1 <= length({1}.{6}) - 2 "
                     "UNION SELECT '', {1}.{7}{5} WHERE length({1}.{6}) > {3}",
                     {row, positions.join(QLatin1Char(',')), QString::number(kIndexedPositions + 2),
                      table.isEmpty() ? QString() : table + QStringLiteral(", "), from, statement(name), statement(key),
                      statement(indexKey)});
}

QString trigramsOf(const QString& row) { return trigramsOf(row, "{o.customer}", "{o.number}", "{n.order}"); }
QString teaTrigramsOf(const QString& row) { return trigramsOf(row, "{t.name}", "{t.number}", "{f.tea}"); }

QString trigramsOfOrders()
{
    return trigramsOf(QStringLiteral("o"), "{o.customer}", "{o.number}", "{n.order}", statement("{O} o"));
}
QString trigramsOfTeas()
{
    return trigramsOf(QStringLiteral("t"), "{t.name}", "{t.number}", "{f.tea}", statement("{T} t"));
}

// pg_trgm is a trusted extension: the shop's owner may add it where it may
// create objects. Where it may not, or the server lacks it, the shop goes on
// without the index. The operator class is named with its schema, wherever
// the extension was put.
QStringList postgresTrigramIndex(const QString& index, const QString& table, const QString& expression)
{
    return {QStringLiteral("DO $$ BEGIN CREATE EXTENSION IF NOT EXISTS pg_trgm; "
                           "EXCEPTION WHEN OTHERS THEN NULL; END $$"),
            QStringLiteral("DO $$ DECLARE s text; BEGIN "
                           "SELECT n.nspname INTO s FROM pg_opclass c JOIN pg_namespace n ON n.oid = c.opcnamespace "
                           "JOIN pg_am a ON a.oid = c.opcmethod WHERE c.opcname = 'gin_trgm_ops' AND a.amname = 'gin' "
                           "LIMIT 1; "
                           "IF s IS NOT NULL THEN EXECUTE format('CREATE INDEX IF NOT EXISTS %I ON %I USING gin "
                           "(%s %I.gin_trgm_ops)', %1, %2, %3, s); END IF; END $$")
                .arg(sql::literal(index), sql::literal(table), sql::literal(expression))};
}

QString postgresTeaIndexName() { return TeaTable + QStringLiteral("_名稱_三字"); }

} // namespace

QStringList customerIndexDdl(Dialect d)
{
    if (d == Dialect::SQLite) {
        // A plain table and triggers of the file: the shop's connections
        // trust no virtual table in a trigger, and another program writing an
        // order keeps the index in step all the same.
        const QString out = statement("DELETE FROM {N} WHERE {n.order} = OLD.{o.number} AND {n.trigram} IN "
                                      "(SELECT t.{n.trigram} FROM ({1}) t);",
                                      {QString(trigramsOf(QStringLiteral("OLD")))});
        const QString in = statement("INSERT OR IGNORE INTO {N} ({n.trigram}, {n.order}) {1};",
                                     {QString(trigramsOf(QStringLiteral("NEW")))});
        return {statement("CREATE TABLE {N} ({n.trigram} TEXT NOT NULL, {n.order} INTEGER NOT NULL, "
                          "PRIMARY KEY ({n.trigram}, {n.order})) WITHOUT ROWID, STRICT"),
                statement("CREATE TRIGGER {O}_名稱新增 AFTER INSERT ON {O} BEGIN {1} END", {in}),
                statement("CREATE TRIGGER {O}_名稱刪除 AFTER DELETE ON {O} BEGIN {1} END", {out}),
                statement("CREATE TRIGGER {O}_名稱更改 AFTER UPDATE OF {o.number}, {o.customer} ON {O} "
                          "WHEN OLD.{o.number} IS NOT NEW.{o.number} OR OLD.{o.customer} IS NOT NEW.{o.customer} "
                          "BEGIN {1} {2} END",
                          {out, in})};
    }
    return postgresTrigramIndex(postgresIndexName(), OrderTable,
                                foldedName(Dialect::PostgreSQL, sql::name(order::Customer)));
}

QStringList customerIndexObjects(Dialect d)
{
    if (d == Dialect::PostgreSQL)
        return {postgresIndexName()};
    return {};
}

QString customerIndexRebuild()
{
    return statement("INSERT OR IGNORE INTO {N} ({n.trigram}, {n.order}) {1}", {trigramsOfOrders()});
}

QString customerIndexCheck()
{
    // Both sides are sets (the UNION and the key), so the rows on one side
    // only number all of both less twice those found in the index. Working
    // out the orders' trigrams is nearly all of the cost: it is done once.
    return statement("SELECT count(*) + (SELECT count(*) FROM {N}) - 2 * coalesce(sum(EXISTS (SELECT 1 FROM {N} n "
                     "WHERE n.{n.trigram} = a.{n.trigram} AND n.{n.order} = a.{n.order})), 0) FROM ({1}) a",
                     {trigramsOfOrders()});
}

QStringList teaIndexDdl(Dialect d)
{
    const QString numberIndex = statement("CREATE INDEX {T}_編號_小寫 ON {T} ({1})",
                                          {d == Dialect::SQLite ? statement("lower({t.number})")
                                                                : foldedName(d, statement("{t.number}")) +
                                                                      QStringLiteral(" text_pattern_ops")});
    if (d == Dialect::PostgreSQL)
        return QStringList{numberIndex} + teaNameIndexDdl();
    const QString out = statement("DELETE FROM {F} WHERE {f.tea} = OLD.{t.number} AND {n.trigram} IN "
                                  "(SELECT t.{n.trigram} FROM ({1}) t);",
                                  {QString(teaTrigramsOf(QStringLiteral("OLD")))});
    const QString in = statement("INSERT OR IGNORE INTO {F} ({n.trigram}, {f.tea}) {1};",
                                 {QString(teaTrigramsOf(QStringLiteral("NEW")))});
    return {statement("CREATE TABLE {F} ({n.trigram} TEXT NOT NULL, {f.tea} TEXT NOT NULL, "
                      "PRIMARY KEY ({n.trigram}, {f.tea})) WITHOUT ROWID, STRICT"),
            statement("CREATE TRIGGER {T}_名稱新增 AFTER INSERT ON {T} BEGIN {1} END", {in}),
            statement("CREATE TRIGGER {T}_名稱刪除 AFTER DELETE ON {T} BEGIN {1} END", {out}),
            statement("CREATE TRIGGER {T}_名稱更改 AFTER UPDATE OF {t.number}, {t.name} ON {T} "
                      "WHEN OLD.{t.number} IS NOT NEW.{t.number} OR OLD.{t.name} IS NOT NEW.{t.name} "
                      "BEGIN {1} {2} END",
                      {out, in}),
            numberIndex};
}

QString foldedTeaName(Dialect d, const QString& column)
{
    if (d == Dialect::SQLite)
        return column;
    return QStringLiteral("lower(%1 COLLATE \"C\")").arg(column);
}

QStringList teaNameIndexDdl()
{
    return postgresTrigramIndex(postgresTeaIndexName(), TeaTable,
                                foldedTeaName(Dialect::PostgreSQL, sql::name(tea::Name)));
}

QStringList dropTeaNameIndex()
{
    return {QStringLiteral("DROP INDEX IF EXISTS %1").arg(sql::name(postgresTeaIndexName()))};
}

QStringList teaIndexObjects(Dialect d)
{
    if (d == Dialect::PostgreSQL)
        return {postgresTeaIndexName()};
    return {};
}

QString teaIndexRebuild()
{
    return statement("INSERT OR IGNORE INTO {F} ({n.trigram}, {f.tea}) {1}", {trigramsOfTeas()});
}

QString teaIndexCheck()
{
    return statement("SELECT (SELECT count(*) FROM ({1} EXCEPT SELECT {n.trigram}, {f.tea} FROM {F})) + "
                     "(SELECT count(*) FROM (SELECT {n.trigram}, {f.tea} FROM {F} EXCEPT SELECT * FROM ({1})))",
                     {trigramsOfTeas()});
}

} // namespace lumaro::schema
