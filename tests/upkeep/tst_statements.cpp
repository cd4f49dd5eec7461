#include "data/DataError.h"
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
};

QTEST_GUILESS_MAIN(StatementsTest)
#include "tst_statements.moc"
