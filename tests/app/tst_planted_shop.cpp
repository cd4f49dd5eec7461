// A shop file is data, never code. Triggers, views and other objects someone
// planted in it are listed by the check; triggers keep the program from
// opening the shop at all; and a stored password hash cannot make the lock
// screen spend unbounded time or memory.
#include "app/main_frm.h"
#include "books/Password.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

Run check(const QString& shop) { return admin({QStringLiteral("check"), QStringLiteral("--database"), shop}); }

} // namespace

class PlantedShop : public QObject {
    Q_OBJECT

private slots:
    void plantedObjects_data()
    {
        QTest::addColumn<QStringList>("sqlite");
        QTest::addColumn<QStringList>("postgres");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("refused");
        const QString skim = QStringLiteral("UPDATE 帳款資料表 SET 現金 = NEW.現金 - (NEW.現金 - OLD.現金) / 10");
        QTest::newRow("trigger keeping a tenth of every cash rise")
            << QStringList{QStringLiteral("CREATE TRIGGER 抽成 AFTER UPDATE OF 現金 ON 帳款資料表 "
                                          "WHEN NEW.現金 > OLD.現金 BEGIN %1; END")
                               .arg(skim)}
            << QStringList{QStringLiteral("CREATE FUNCTION 抽成() RETURNS trigger AS $$ BEGIN "
                                          "NEW.現金 := NEW.現金 - (NEW.現金 - OLD.現金) / 10; RETURN NEW; END $$ "
                                          "LANGUAGE plpgsql"),
                           QStringLiteral(
                               "CREATE TRIGGER 抽成 BEFORE UPDATE ON 帳款資料表 FOR EACH ROW EXECUTE FUNCTION 抽成()")}
            << QStringLiteral("觸發程序「抽成」（資料表 帳款資料表）") << true;
        QTest::newRow("trigger putting back a known password")
            << QStringList{QStringLiteral(
                   "CREATE TRIGGER 後門 AFTER UPDATE ON 密碼表 BEGIN UPDATE 密碼表 SET 密碼 = 'open'; END")}
            << QStringList{QStringLiteral("CREATE RULE 後門 AS ON UPDATE TO 密碼表 DO INSTEAD NOTHING")}
            << QStringLiteral("「後門」（資料表 密碼表）") << true;
        QTest::newRow("view")
            << QStringList{QStringLiteral("CREATE VIEW 總帳 AS SELECT 現金 + 銀行 AS 合計 FROM 帳款資料表")}
            << QStringList{QStringLiteral("CREATE VIEW 總帳 AS SELECT 現金 + 銀行 AS 合計 FROM 帳款資料表")}
            << QStringLiteral("檢視表「總帳」") << false;
        QTest::newRow("table and index") << QStringList{QStringLiteral("CREATE TABLE 備忘 (內容 TEXT)"),
                                                        QStringLiteral("CREATE INDEX 名稱索引 ON 茶葉資料表 (名稱)")}
                                         << QStringList{QStringLiteral("CREATE TABLE 備忘 (內容 text)"),
                                                        QStringLiteral("CREATE INDEX 名稱索引 ON 茶葉資料表 (名稱)")}
                                         << QStringLiteral("索引「名稱索引」（資料表 茶葉資料表）") << false;
    }
    void plantedObjects()
    {
        QFETCH(QStringList, sqlite);
        QFETCH(QStringList, postgres);
        QFETCH(QString, listed);
        QFETCH(bool, refused);
        TestShop shop;
        const Run clean = check(shop.path());
        QCOMPARE(clean.code, 0);
        for (const QString& statement : TestShop::onPostgres() ? postgres : sqlite)
            shop.exec(statement);

        const Run r = check(shop.path());
        QCOMPARE(r.code, 3);
        QVERIFY2(r.said().contains(listed), qPrintable(r.said()));

        QString refusal;
        try {
            openShop(shop.path());
        } catch (const DataError& e) {
            refusal = e.description();
        }
        QCOMPARE(!refusal.isEmpty(), refused);
        if (refused)
            QVERIFY2(refusal.contains(listed) && refusal.contains(QStringLiteral("不會開啟")), qPrintable(refusal));
    }

    // SQL cannot write the schema's text or call functions with side effects
    // from the file's own triggers and views.
    void shopFileIsDataNotCode()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        TestShop shop;
        auto db = openShop(shop.path());
        QCOMPARE(db->scalar(QStringLiteral("PRAGMA trusted_schema")).toInt(), 0);
        db->exec(QStringLiteral("PRAGMA writable_schema=ON"));
        QVERIFY_THROWS_EXCEPTION(DataError,
                                 db->exec(QStringLiteral("UPDATE sqlite_master SET sql = 'x' WHERE name = '密碼表'")));
    }

    void hashCostIsBounded_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("opens");
        const QString own = hashPassword(QStringLiteral("pw"));
        const QString tail = own.section(QLatin1Char('$'), 4); // salt$hash
        QTest::newRow("Lumaro's own") << own << false << true;
        QTest::newRow("4 GiB") << QStringLiteral("$argon2id$v=19$m=4194304,t=1,p=1$") + tail << true << false;
        QTest::newRow("four billion passes")
            << QStringLiteral("$argon2id$v=19$m=19456,t=4294967295,p=1$") + tail << true << false;
        QTest::newRow("no version, 4 GiB") << QStringLiteral("$argon2id$m=4194304,t=1,p=1$") + tail << true << false;
        QTest::newRow("past 64 bits") << QStringLiteral("$argon2id$v=19$m=99999999999999999999999,t=1,p=1$") + tail
                                      << true << false;
        QTest::newRow("unreadable") << QStringLiteral("$argon2id$v=19$m=4194304,t=1,p=1") << false << false;
    }
    void hashCostIsBounded()
    {
        QFETCH(QString, stored);
        QFETCH(bool, refused);
        QFETCH(bool, opens);
        PromptScope prompts;
        TestShop shop;
        shop.password(stored);
        prompts->queueInput(QStringLiteral("pw"));
        QElapsedTimer timer;
        timer.start();
        main_frm lock(shop.db());
        QCOMPARE(lock.Lock_Click(), opens);
        QVERIFY(timer.elapsed() < 10000);
        if (refused) {
            QCOMPARE(prompts->inputCount(), 0); // refused before asking anything
            QVERIFY(prompts->ended());
            QVERIFY2(prompts->messages().value(0).text.contains(QStringLiteral("超出範圍")),
                     qPrintable(prompts->messages().value(0).text));
        }
    }
};

QTEST_MAIN(PlantedShop)
#include "tst_planted_shop.moc"
