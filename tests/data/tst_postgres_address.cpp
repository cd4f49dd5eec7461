// A shared shop's address: every option reaches libpq as one quoted value or
// is refused, a password is refused wherever it stands, a server that cannot
// be reached is named, and every session commits durably.
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/PostgresAddress.h"
#include "support/TestShop.h"

#include <QUrl>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {
const QString durable = QStringLiteral("options='-c synchronous_commit=on'");
}

class PostgresAddressTest : public QObject {
    Q_OBJECT

private slots:
    void addresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("options"); // what the driver gets, before the durable commit option
        QTest::addColumn<QString>("refusal");
        QTest::newRow("plain") << "postgresql://shop@db:5433/tea"
                               << ""
                               << "";
        QTest::newRow("sslmode") << "postgres://shop@db/tea?sslmode=verify-full"
                                 << "sslmode='verify-full';"
                                 << "";
        QTest::newRow("a value that tries to add dbname")
            << "postgresql://shop@db/nosuch?application_name=x%20dbname%3Dshop1"
            << "application_name='x dbname=shop1';"
            << "";
        QTest::newRow("quote and backslash") << "postgresql://db/tea?application_name=a'b%5Cc"
                                             << "application_name='a\\'b\\\\c';"
                                             << "";
        QTest::newRow("password in user info") << "postgresql://shop:secret@db/tea"
                                               << ""
                                               << "不要把密碼寫在資料庫位址裡";
        QTest::newRow("password option") << "postgresql://shop@db/tea?password=secret"
                                         << ""
                                         << "不要把密碼寫在資料庫位址裡";
        QTest::newRow("password option, other case") << "postgresql://db/tea?PassWord=x"
                                                     << ""
                                                     << "不要把密碼寫在資料庫位址裡";
        QTest::newRow("ssl key password") << "postgresql://db/tea?sslpassword=x"
                                          << ""
                                          << "不要把密碼寫在資料庫位址裡";
        QTest::newRow("dbname option") << "postgresql://db/tea?dbname=shop1"
                                       << ""
                                       << "「dbname」不能使用";
        QTest::newRow("session options") << "postgresql://db/tea?options=-csynchronous_commit%3Doff"
                                         << ""
                                         << "「options」不能使用";
        QTest::newRow("unknown sslmode") << "postgresql://db/tea?sslmode=maybe"
                                         << ""
                                         << "值「maybe」不正確";
        QTest::newRow("timeout not a number") << "postgresql://db/tea?connect_timeout=5%20host%3Devil"
                                              << ""
                                              << "應是一個整數";
        QTest::newRow("semicolon") << "postgresql://db/tea?application_name=a%3Bhost%3Devil"
                                   << ""
                                   << "不正確";
        QTest::newRow("twice") << "postgresql://db/tea?sslmode=require&sslmode=disable"
                               << ""
                               << "出現了兩次";
        QTest::newRow("no database") << "postgresql://db/"
                                     << ""
                                     << "資料庫位址不正確";
    }
    void addresses()
    {
        QFETCH(QString, url);
        QFETCH(QString, options);
        QFETCH(QString, refusal);
        try {
            const PostgresAddress a = readPostgresAddress(url);
            QVERIFY2(refusal.isEmpty(), "accepted an address it should refuse");
            QCOMPARE(a.options, options + durable);
        } catch (const DataError& e) {
            QVERIFY2(!refusal.isEmpty() && e.description().contains(refusal), qPrintable(e.description()));
        }
    }

    void unreachableServerIsNamed()
    {
        QString text;
        try {
            openShop(QStringLiteral("postgresql://shop@127.0.0.1:1/茶店?connect_timeout=5"));
        } catch (const DataError& e) {
            text = e.description();
        }
        QVERIFY2(text.contains(QStringLiteral("無法連線到資料庫伺服器")) &&
                     text.contains(QStringLiteral("127.0.0.1")) && text.contains(QStringLiteral("埠 1")) &&
                     text.contains(QStringLiteral("茶店")) && !text.contains(QStringLiteral("中斷")),
                 qPrintable(text));
    }

    void missingDatabaseAndDurableCommits()
    {
        if (!TestShop::onPostgres())
            QSKIP("PostgreSQL only");
        TestShop shop;
        QUrl missing(shop.path());
        missing.setPath(QStringLiteral("/no_such_shop"));
        try {
            openShop(missing.toString());
            QFAIL("opened a database that is not there");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("資料庫「no_such_shop」")), qPrintable(e.description()));
        }

        // The server's default lets commits return before they are on disk;
        // the shop's sessions do not.
        const QString database = QUrl(shop.path()).path().mid(1);
        shop.exec(QStringLiteral("ALTER DATABASE %1 SET synchronous_commit = off").arg(database));
        auto db = openShop(shop.path());
        QCOMPARE(db->scalar(QStringLiteral("SHOW synchronous_commit")).toString(), QStringLiteral("on"));
    }
};

QTEST_GUILESS_MAIN(PostgresAddressTest)
#include "tst_postgres_address.moc"
