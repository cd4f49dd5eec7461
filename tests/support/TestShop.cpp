#include "support/TestShop.h"

#include "books/Shop.h"
#include "data/Transaction.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QtTest>

#include <optional>

namespace lumaro::test {

namespace {

// Runs one statement on the server's maintenance database, outside any shop.
void onServer(const QString& statement)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("lumaro-test-admin-%1").arg(counter.fetchAndAddRelaxed(1));
    {
        const QUrl url(TestShop::postgresServer());
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(url.path().mid(1));
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        if (!db.open())
            qFatal("LUMARO_TEST_PG: cannot connect: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(statement))
            qFatal("LUMARO_TEST_PG: %s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

QString TestShop::postgresServer() { return qEnvironmentVariable("LUMARO_TEST_PG"); }

TestShop::TestShop(const QString& password)
{
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    if (onPostgres()) {
        static QAtomicInt counter;
        m_pgDatabase =
            QStringLiteral("lumaro_t%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddRelaxed(1));
        onServer(QStringLiteral("CREATE DATABASE %1").arg(m_pgDatabase));
        QUrl url(postgresServer());
        url.setPath(QLatin1Char('/') + m_pgDatabase);
        m_path = url.toString();
    } else {
        m_path = m_dir.filePath(QStringLiteral("teadata.db"));
    }
    m_db = createShop(m_path, password);
}

TestShop::~TestShop()
{
    m_db.reset();
    if (!m_pgDatabase.isEmpty())
        onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_pgDatabase));
}

TestShop& TestShop::tea(const QString& number, const QString& name, const QVariant& cost, const QVariant& price,
                        const QVariant& stock)
{
    exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES (?, ?, ?, ?, ?)"),
         {number, name, cost, price, stock});
    return *this;
}

qlonglong TestShop::order(const QString& customer, const QString& contact, int status)
{
    return scalar(QStringLiteral(
                      "INSERT INTO 訂單資料表 (客戶名稱, 連絡方式, 訂單狀態) VALUES (?, ?, ?) RETURNING 訂單編號"),
                  {customer, contact, status})
        .toLongLong();
}

qlonglong TestShop::line(qlonglong order, const QString& tea, int quantity)
{
    return scalar(QStringLiteral(
                      "INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (?, ?, ?) RETURNING 明細編號"),
                  {order, tea, quantity})
        .toLongLong();
}

TestShop& TestShop::balances(const QVariant& cash, const QVariant& bank)
{
    // Journaled as an adjustment, so the shop's books still add up, in one
    // transaction: a backup reading the shop meanwhile must never see the
    // adjustment without the balances it explains. A caller filling a shop
    // in a transaction of its own has that already.
    std::optional<Transaction> t;
    if (!m_db->inTransaction())
        t.emplace(*m_db);
    exec(QStringLiteral("INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 現金變動, 銀行變動, 說明) "
                        "SELECT 'test', '調整', '2000-01-01 00:00:00', COALESCE(CAST(? AS DOUBLE PRECISION), 0) - "
                        "COALESCE(現金, 0), "
                        "COALESCE(CAST(? AS DOUBLE PRECISION), 0) - COALESCE(銀行, 0), 'balances' FROM 帳款資料表"),
         {cash, bank});
    exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = ?, 銀行 = ?"), {cash, bank});
    if (t)
        t->commit();
    return *this;
}

TestShop& TestShop::password(const QVariant& value)
{
    exec(QStringLiteral("UPDATE 密碼表 SET 密碼 = ?"), {value});
    return *this;
}

void TestShop::failWrites(const QString& trigger, const QString& when, const QString& table, const QString& message)
{
    QString text = message;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    if (m_db->isSQLite()) {
        exec(QStringLiteral("CREATE TRIGGER %1 %2 ON %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                 .arg(trigger, when, table, text));
        return;
    }
    exec(QStringLiteral(
             "CREATE FUNCTION %1_fails() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION '%2'; END $$ LANGUAGE plpgsql")
             .arg(trigger, text));
    exec(QStringLiteral("CREATE TRIGGER %1 %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1_fails()")
             .arg(trigger, when, table));
}

void TestShop::dropFailure(const QString& trigger, const QString& table)
{
    if (m_db->isSQLite()) {
        exec(QStringLiteral("DROP TRIGGER %1").arg(trigger));
        return;
    }
    exec(QStringLiteral("DROP TRIGGER %1 ON %2").arg(trigger, table));
    exec(QStringLiteral("DROP FUNCTION %1_fails()").arg(trigger));
}

void TestShop::plant(const QString& sql)
{
    if (onPostgres())
        exec(QStringLiteral(
            "DO $$DECLARE c record; BEGIN FOR c IN SELECT conrelid::regclass AS t, conname FROM pg_constraint "
            "WHERE contype = 'c' AND connamespace = 'public'::regnamespace LOOP "
            "EXECUTE format('ALTER TABLE %s DROP CONSTRAINT %I', c.t, c.conname); END LOOP; END$$"));
    else
        exec(QStringLiteral("PRAGMA ignore_check_constraints = ON"));
    exec(sql);
}

QVariant TestShop::scalar(const QString& sql, const QVariantList& params) { return m_db->scalar(sql, params); }

QList<QVariantList> TestShop::rows(const QString& sql, const QVariantList& params)
{
    QSqlQuery q = m_db->exec(sql, params);
    QList<QVariantList> out;
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out << r;
    }
    q.finish();
    return out;
}

void TestShop::exec(const QString& sql, const QVariantList& params) { m_db->exec(sql, params).finish(); }

double TestShop::cash() { return scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(); }
double TestShop::bank() { return scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(); }
double TestShop::stock(const QString& tea)
{
    return scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = ?"), {tea}).toDouble();
}

PromptScope::PromptScope() { setPrompts(&m_prompts); }
PromptScope::~PromptScope() { setPrompts(nullptr); }

} // namespace lumaro::test
