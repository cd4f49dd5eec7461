#include "data/DataError.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "data/Statements.h"
#include "support/TestShop.h"
#include "upkeep/StatementRegistry.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <postgresql/libpq-fe.h>

using namespace lumaro;
using lumaro::test::TestShop;

namespace {

// libpq numbers its placeholders; '?' inside a quoted text is no placeholder.
QString numbered(const QString& text)
{
    QString out;
    bool quoted = false;
    int n = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted)
            out += QLatin1Char('$') + QString::number(++n);
        else
            out += c;
    }
    return out;
}

// Why the shop's database would not prepare text, or empty. The server is
// asked through libpq, which prepares any statement (Qt's driver only those
// that SQL's PREPARE takes): queries are checked against the tables, the rest
// for their syntax.
QString prepareError(Database& db, const QString& text)
{
    if (db.isSQLite()) {
        QSqlQuery q(db.sql());
        return q.prepare(text) ? QString() : q.lastError().text();
    }
    PGconn* c = *static_cast<PGconn* const*>(db.sql().driver()->handle().data());
    PGresult* r = PQprepare(c, "", numbered(text).toUtf8().constData(), 0, nullptr);
    const QString error =
        PQresultStatus(r) == PGRES_COMMAND_OK ? QString() : QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    return error;
}

QList<Statement> listed(StatementCheck check)
{
    const auto dialect = TestShop::onPostgres() ? Database::Kind::PostgreSQL : Database::Kind::SQLite;
    QList<Statement> out;
    for (const Statement& s : allStatements(dialect))
        if (s.check == check)
            out << s;
    return out;
}

// Runs the statements in order, in a transaction that is rolled back; the first
// that fails is named.
QString runInOrder(Database& db, const QList<Statement>& statements, const QStringList& before = {})
{
    db.begin();
    QString failed;
    try {
        for (const QString& s : before)
            db.exec(s);
        for (const Statement& s : statements) {
            failed = s.name + QStringLiteral(": ") + s.text;
            db.exec(s.text).finish();
        }
        failed.clear();
    } catch (const DataError& e) {
        failed += QStringLiteral("\n  ") + e.description();
    }
    db.rollback();
    return failed;
}

// Each table of the shop as its database describes it, one line a table:
// the columns in order, each with its type, ! for NOT NULL, =default, key
// (+ when the key counts on by itself: AUTOINCREMENT, or an identity), and ±
// for the range check against ±1e12.
QStringList tablesOf(TestShop& shop)
{
    const bool sqlite = !TestShop::onPostgres();
    const QString columns =
        sqlite
            ? QStringLiteral(
                  "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value, p.pk, instr(m.sql, 'AUTOINCREMENT') > "
                  "0, "
                  "instr(m.sql, '(' || p.name || ' BETWEEN -1e12 AND 1e12)') > 0, t.strict FROM sqlite_master m "
                  "JOIN pragma_table_info(m.name) p JOIN pragma_table_list(m.name) t "
                  "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY m.rowid, p.cid")
            : QStringLiteral(
                  "SELECT c.table_name, c.column_name, c.udt_name, c.is_nullable = 'NO', c.column_default, "
                  "EXISTS (SELECT 1 FROM information_schema.table_constraints k JOIN "
                  "information_schema.key_column_usage u "
                  "USING (constraint_schema, constraint_name) WHERE k.constraint_type = 'PRIMARY KEY' "
                  "AND u.table_name = c.table_name AND u.column_name = c.column_name), c.is_identity = 'YES', "
                  "EXISTS (SELECT 1 FROM pg_constraint x WHERE x.conrelid = quote_ident(c.table_name)::regclass "
                  "AND x.contype = 'c' AND pg_get_constraintdef(x.oid) LIKE '%' || quote_ident(c.column_name) || '%' "
                  "AND pg_get_constraintdef(x.oid) LIKE '%''-1000000000000''%' "
                  "AND pg_get_constraintdef(x.oid) LIKE '%''1000000000000''%'), false "
                  "FROM information_schema.columns c "
                  "JOIN pg_class r ON r.relname = c.table_name AND r.relnamespace = current_schema()::regnamespace "
                  "WHERE c.table_schema = current_schema() ORDER BY r.oid, c.ordinal_position");
    QMap<QString, QStringList> described;
    QStringList order;
    for (const QVariantList& r : shop.rows(columns)) {
        const QString table = r[0].toString() + (r[8].toBool() ? QStringLiteral(" strict") : QString());
        if (!described.contains(table))
            order << table;
        QString c = r[1].toString() + u' ' + r[2].toString();
        if (r[3].toBool())
            c += u'!';
        if (!r[4].isNull())
            c += u'=' + r[4].toString();
        if (r[5].toBool())
            c += r[6].toBool() ? QStringLiteral(" key+") : QStringLiteral(" key");
        if (r[7].toBool())
            c += QStringLiteral(" ±");
        described[table] << c;
    }
    QStringList out;
    for (const QString& table : order)
        out << table + QStringLiteral(": ") + described[table].join(QStringLiteral(", "));
    return out;
}

} // namespace

class StatementsTest : public QObject {
    Q_OBJECT

private slots:
    void everyStatementPreparesOnAFreshShop()
    {
        TestShop shop;
        const QList<Statement> statements = listed(StatementCheck::Prepare);
        QVERIFY(statements.size() > 50);
        QStringList failed;
        for (const Statement& s : statements) {
            const QString error = prepareError(shop.db(), s.text);
            if (!error.isEmpty())
                failed << s.name + QStringLiteral(": ") + s.text + QStringLiteral("\n  ") + error;
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        // The check itself tells a wrong column.
        QVERIFY(!prepareError(shop.db(), QStringLiteral("SELECT 沒有這欄 FROM 茶葉資料表 WHERE 編號 = ?")).isEmpty());
    }

    void statementsThatChangeTheTablesRunOnAFreshShop()
    {
        TestShop shop;
        const QString failed = runInOrder(shop.db(), listed(StatementCheck::RunOnShop));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    void statementsThatMakeTheTablesRunWhereThereAreNone()
    {
        const QList<Statement> making = listed(StatementCheck::RunOnEmpty);
        QVERIFY(!making.isEmpty());
        if (TestShop::onPostgres()) {
            TestShop shop;
            const QString failed = runInOrder(shop.db(), making,
                                              {QStringLiteral("CREATE SCHEMA lumaro_empty"),
                                               QStringLiteral("SET LOCAL search_path TO lumaro_empty")});
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        const QString name = QStringLiteral("statements-empty");
        {
            QSqlDatabase empty = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            empty.setDatabaseName(QStringLiteral(":memory:"));
            QVERIFY(empty.open());
            QSqlQuery q(empty);
            for (const Statement& s : making)
                QVERIFY2(q.exec(s.text), qPrintable(s.name + QStringLiteral(": ") + s.text + QStringLiteral("\n  ") +
                                                    q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(name);
    }

    // A fresh shop's tables are the ones every shop of this version has: the
    // file format, which must not shift when the CREATE statements are made
    // differently. The journal's kind takes any text.
    void aFreshShopHasTheseTables()
    {
        TestShop shop;
        const QStringList sqlite = {
            QStringLiteral("茶葉資料表 strict: 編號 TEXT! key, 名稱 TEXT, 進價 REAL ±, 訂價 REAL ±, 庫存 REAL=0 ±"),
            QStringLiteral(
                "訂單資料表 strict: 訂單編號 INTEGER key+, 客戶名稱 TEXT, 訂購日期 TEXT=date('now','localtime'), "
                "連絡方式 TEXT, 訂單狀態 INTEGER!=0"),
            QStringLiteral("訂單明細表 strict: 訂單編號 INTEGER, 茶葉編號 TEXT, 數量 INTEGER ±, 明細編號 INTEGER key+"),
            QStringLiteral("帳款資料表 strict: 帳號 INTEGER key, 現金 REAL ±, 銀行 REAL ±"),
            QStringLiteral("密碼表 strict: 密碼 TEXT"),
            QStringLiteral(
                "帳務日誌表 strict: 日誌編號 INTEGER key, 異動編號 TEXT!, 種類 TEXT!, 時間 TEXT!, 終端 TEXT, "
                "訂單編號 INTEGER, 茶葉編號 TEXT, 茶葉名稱 TEXT, 庫存變動 REAL!=0 ±, 單價 REAL ±, "
                "現金變動 REAL!=0 ±, 銀行變動 REAL!=0 ±, 說明 TEXT, 單位 TEXT, 付款方式 TEXT, 折扣 REAL ±, 實收 REAL "
                "±, 原交易 TEXT, 原列 INTEGER, 原因 TEXT, 人員 INTEGER, 核准 INTEGER"),
            QStringLiteral("設定表 strict: 項目 TEXT! key, 內容 TEXT"),
            QStringLiteral("茶葉單位表 strict: 編號 TEXT! key, 單位 TEXT!"),
            QStringLiteral("訂單折扣表 strict: 訂單編號 INTEGER! key, 折扣 TEXT!"),
            QStringLiteral("明細折扣表 strict: 明細編號 INTEGER! key, 折扣 TEXT!"),
            QStringLiteral("人員表 strict: 編號 INTEGER key+, 姓名 TEXT!, 角色 TEXT!, 密碼 TEXT, 停用 INTEGER!=0"),
            QStringLiteral("客戶名稱索引 strict: 三字 TEXT! key, 訂單編號 INTEGER! key"),
            QStringLiteral("茶葉名稱索引 strict: 三字 TEXT! key, 編號 TEXT! key"),
        };
        const QStringList postgres = {
            QStringLiteral("茶葉資料表: 編號 text! key, 名稱 text, 進價 float8 ±, 訂價 float8 ±, 庫存 float8=0 ±"),
            QStringLiteral("訂單資料表: 訂單編號 int4! key+, 客戶名稱 text, 訂購日期 date=CURRENT_DATE, 連絡方式 text, "
                           "訂單狀態 int4!=0"),
            QStringLiteral("訂單明細表: 訂單編號 int4, 茶葉編號 text, 數量 int4 ±, 明細編號 int4! key+"),
            QStringLiteral("帳款資料表: 帳號 int4! key, 現金 float8 ±, 銀行 float8 ±"),
            QStringLiteral("密碼表: 密碼 text"),
            QStringLiteral(
                "帳務日誌表: 日誌編號 int8! key+, 異動編號 text!, 種類 text!, 時間 text!, 終端 text, "
                "訂單編號 int4, 茶葉編號 text, 茶葉名稱 text, 庫存變動 float8!=0 ±, 單價 float8 ±, "
                "現金變動 float8!=0 ±, 銀行變動 float8!=0 ±, 說明 text, 單位 text, 付款方式 text, 折扣 float8 ±, "
                "實收 float8 ±, 原交易 text, 原列 int8, 原因 text, 人員 int4, 核准 int4"),
            QStringLiteral("設定表: 項目 text! key, 內容 text"),
            QStringLiteral("茶葉單位表: 編號 text! key, 單位 text!"),
            QStringLiteral("訂單折扣表: 訂單編號 int4! key, 折扣 text!"),
            QStringLiteral("明細折扣表: 明細編號 int4! key, 折扣 text!"),
            QStringLiteral("人員表: 編號 int4! key+, 姓名 text!, 角色 text!, 密碼 text, 停用 int4!=0"),
            QStringLiteral("資料版本表: 版本 int4!"),
        };
        QCOMPARE(tablesOf(shop), TestShop::onPostgres() ? postgres : sqlite);
    }

    // A name from outside the schema is quoted whole: it names a table that is
    // not there, and runs nothing of its own.
    void aHostileNameStaysAName()
    {
        TestShop shop;
        for (const char* hostile : {"x\"; DROP TABLE 密碼表; --", "密碼表\" WHERE 0 --", "密碼表 p"}) {
            const QString name = QString::fromUtf8(hostile);
            QVERIFY(!sql::isPlainName(name));
            QVERIFY_THROWS_EXCEPTION(DataError,
                                     shop.exec(schema::statement("SELECT count(*) FROM {1}", {sql::quoted(name)})));
        }
        QCOMPARE(shop.scalar(schema::statement("SELECT count(*) FROM {1}", {sql::quoted(schema::PasswordTable)}))
                     .toInt(),
                 1);
        QCOMPARE(schema::statement("SELECT {p.value} FROM {P} WHERE {p.none}"),
                 QStringLiteral("SELECT 密碼 FROM 密碼表 WHERE {p.none}"));
    }
};

QTEST_GUILESS_MAIN(StatementsTest)
#include "tst_statements.moc"
