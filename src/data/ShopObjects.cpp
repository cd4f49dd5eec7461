#include "data/ShopObjects.h"

#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

namespace lumaro {

namespace {

using Kind = ShopObject::Kind;

QString key(Kind kind, const QString& name) { return QString::number(int(kind)) + QLatin1Char(':') + name.toLower(); }

// The objects the schema's CREATE statements make, on either database.
const QSet<QString>& madeByLumaro()
{
    static const QSet<QString> made = [] {
        static const QRegularExpression create(
            QString::fromUtf8(
                R"re(^\s*CREATE\s+(?:OR\s+REPLACE\s+)?(?:UNIQUE\s+)?(TABLE|INDEX|TRIGGER|VIEW|FUNCTION)\s+(?:IF\s+NOT\s+EXISTS\s+)?)re"
                R"re((?:"((?:[^"]|"")+)"|([^\s("]+)))re"),
            QRegularExpression::CaseInsensitiveOption);
        QSet<QString> names;
        for (const QString& statement : schema::sqliteDdl() + schema::postgresDdl()) {
            const QRegularExpressionMatch m = create.match(statement);
            if (!m.hasMatch())
                continue;
            const QString type = m.captured(1).toUpper();
            const Kind kind = type == QLatin1String("TABLE")      ? Kind::Table
                              : type == QLatin1String("INDEX")    ? Kind::Index
                              : type == QLatin1String("VIEW")     ? Kind::View
                              : type == QLatin1String("FUNCTION") ? Kind::Function
                                                                  : Kind::Trigger;
            const QString name = m.captured(2).isEmpty()
                                     ? m.captured(3)
                                     : m.captured(2).replace(QLatin1String("\"\""), QLatin1String("\""));
            names.insert(key(kind, name));
        }
        for (const QString& name : schema::customerIndexObjects(Dialect::SQLite))
            names.insert(key(Kind::Table, name));
        for (const QString& name :
             schema::customerIndexObjects(Dialect::PostgreSQL) + schema::teaIndexObjects(Dialect::PostgreSQL))
            names.insert(key(Kind::Index, name));
        return names;
    }();
    return made;
}

Kind kindOf(const QString& type)
{
    if (type == QLatin1String("trigger"))
        return Kind::Trigger;
    if (type == QLatin1String("rule"))
        return Kind::Rule;
    if (type == QLatin1String("view"))
        return Kind::View;
    if (type == QLatin1String("function"))
        return Kind::Function;
    if (type == QLatin1String("index"))
        return Kind::Index;
    return Kind::Table;
}

// Names starting with sqlite_ belong to SQLite itself (the auto-number
// counters, the indexes of keys, statistics).
const QString sqliteObjects = QStringLiteral(
    "SELECT type, name, tbl_name FROM sqlite_master WHERE name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY type, name");

// Everything in the shop's schema on the server. Indexes behind keys, the
// rules behind views and whatever belongs to an installed extension come with
// what made them and are not listed on their own.
const QString postgresObjects = QString::fromUtf8(R"sql(
WITH s AS (SELECT oid FROM pg_namespace WHERE nspname = current_schema())
SELECT 'trigger', t.tgname::text, c.relname::text FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid
 WHERE NOT t.tgisinternal AND c.relnamespace IN (SELECT oid FROM s)
UNION ALL
SELECT 'rule', r.rulename::text, c.relname::text FROM pg_rewrite r JOIN pg_class c ON c.oid = r.ev_class
 WHERE r.rulename <> '_RETURN' AND c.relnamespace IN (SELECT oid FROM s)
UNION ALL
SELECT CASE WHEN c.relkind IN ('v', 'm') THEN 'view' WHEN c.relkind IN ('i', 'I') THEN 'index' ELSE 'table' END,
       c.relname::text, COALESCE(i.relname, c.relname)::text
  FROM pg_class c LEFT JOIN pg_index x ON x.indexrelid = c.oid LEFT JOIN pg_class i ON i.oid = x.indrelid
 WHERE c.relnamespace IN (SELECT oid FROM s) AND c.relkind IN ('r', 'p', 'v', 'm', 'f', 'i', 'I')
   AND NOT EXISTS (SELECT 1 FROM pg_constraint k WHERE k.conindid = c.oid AND k.contype IN ('p', 'u', 'x'))
   AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.objid = c.oid AND d.deptype = 'e')
UNION ALL
SELECT 'function', p.proname::text, '' FROM pg_proc p
 WHERE p.pronamespace IN (SELECT oid FROM s)
   AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.objid = p.oid AND d.deptype = 'e')
ORDER BY 1, 2)sql");

} // namespace

QString ShopObject::describe() const
{
    static const char* const names[] = {"觸發程序", "規則", "檢視表", "函式", "資料表", "索引"};
    QString text = QStringLiteral("%1「%2」").arg(QString::fromUtf8(names[int(kind)]), name);
    if (!table.isEmpty() && table != name)
        text += QStringLiteral("（資料表 %1）").arg(table);
    return text;
}

QList<Statement> shopObjectStatements(Database::Kind k)
{
    return {{QStringLiteral("objects: all"), k == Database::Kind::SQLite ? sqliteObjects : postgresObjects}};
}

QList<ShopObject> foreignObjects(Database& db)
{
    QList<ShopObject> found;
    QSqlQuery q = db.exec(db.isSQLite() ? sqliteObjects : postgresObjects);
    while (q.next()) {
        const ShopObject o{kindOf(q.value(0).toString()), q.value(1).toString(), q.value(2).toString()};
        if (!madeByLumaro().contains(key(o.kind, o.name)))
            found << o;
    }
    q.finish();
    return found;
}

QString foreignCodeRefusal(const QList<ShopObject>& objects)
{
    QStringList found;
    for (const ShopObject& o : objects)
        if (o.actsOnWrites())
            found << o.describe();
    if (found.isEmpty())
        return QString();
    return QStringLiteral("這個商店的資料表上有不是 Lumaro 建立的觸發程序或規則，它們可能在每次寫入時改動帳目或密碼，"
                          "所以程式不會開啟它：\r%1\r請用 lumaro-admin check 檢查，從備份還原，或請管理員移除它們。")
        .arg(found.join(QLatin1Char('\r')));
}

} // namespace lumaro
