#include "books/Password.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Transaction.h"
#include "support/Outside.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

QStringList columnsOf(Database& db, const QString& table)
{
    QSqlQuery q = db.exec(QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"), {table});
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

} // namespace

class ShopFileTest : public QObject {
    Q_OBJECT
private slots:
    void initCreatesTheFiveTablesInOrder()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        const Run r = admin({QStringLiteral("init"), file}, "開門 Open\n");
        QCOMPARE(r.code, 0);
        QVERIFY(QFile(file).permissions() ==
                (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser));

        auto db = openShop(file);
        const QList<QPair<QString, QStringList>> expected = {
            {QStringLiteral("茶葉資料表"), texts({"編號", "名稱", "進價", "訂價", "庫存"})},
            {QStringLiteral("訂單資料表"), texts({"訂單編號", "客戶名稱", "訂購日期", "連絡方式", "訂單狀態"})},
            {QStringLiteral("訂單明細表"), texts({"訂單編號", "茶葉編號", "數量", "明細編號"})},
            {QStringLiteral("帳款資料表"), texts({"帳號", "現金", "銀行"})},
            {QStringLiteral("密碼表"), texts({"密碼"})},
        };
        for (const auto& [table, columns] : expected)
            QCOMPARE(columnsOf(*db, table), columns);
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")),
                                QStringLiteral("開門 Open"))); // kept as a hash
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) || ':' || 現金 || ':' || 銀行 FROM 帳款資料表")).toString(),
                 QStringLiteral("1:0.0:0.0"));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 0);
        // The file refuses text in a number column by itself.
        QVERIFY_THROWS_EXCEPTION(DataError,
                                 db->exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 進價) VALUES ('X', 'abc')")));
        QCOMPARE(db->scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        QCOMPARE(db->scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2);
    }

    void initWithSampleFillsAShop()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("shop.db"));
        QCOMPARE(admin({QStringLiteral("init"), QStringLiteral("--sample"), file}, "pw\n").code, 0);
        auto db = openShop(file);
        QVERIFY(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt() >= 10);
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單狀態 = 0")).toInt(), 3);
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(DISTINCT 訂單編號) FROM 訂單明細表")).toInt(), 3);
        QCOMPARE(db->scalar(
                       QStringLiteral("SELECT count(*) FROM 訂單明細表 l LEFT JOIN 茶葉資料表 t ON t.編號 = l.茶葉編號 "
                                      "WHERE t.編號 IS NULL"))
                     .toInt(),
                 0);
    }

    void initNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        QCOMPARE(admin({QStringLiteral("init"), file}, "first\n").code, 0);
        const Run again = admin({QStringLiteral("init"), QStringLiteral("--sample"), file}, "second\n");
        QVERIFY(again.code != 0);
        QVERIFY(again.err.contains(QStringLiteral("已經存在")));
        auto db = openShop(file);
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("first")));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 0);
    }

    void initWithoutAPasswordWritesNothing()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        const Run r = admin({QStringLiteral("init"), file}, QByteArray());
        QVERIFY(r.code != 0);
        QVERIFY(!QFile::exists(file));
    }

    void openRefusesWhatIsNotAShop_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("text file") << QByteArray("這不是資料庫，只是一段文字。\n").repeated(200)
                                   << "不是 Lumaro 的資料檔";
        QTest::newRow("empty sqlite") << QByteArray() << "缺少資料表";
    }
    void openRefusesWhatIsNotAShop()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("x.db"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        try {
            openShop(file);
            QFAIL("opened a file that is not a shop");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
        }
    }

    void openRefusesAMissingFileWithoutCreatingIt()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("none.db"));
        QVERIFY_THROWS_EXCEPTION(DataError, openShop(file));
        QVERIFY(!QFile::exists(file));
    }

    void failedMoveRollsBackWhole()
    {
        QTemporaryDir dir;
        auto db = createShop(dir.filePath(QStringLiteral("t.db")), QStringLiteral("pw"));
        try {
            Transaction t(*db);
            db->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + 100"));
            db->exec(QStringLiteral("UPDATE 帳款資料表 SET 銀行 = 'nope'"));
            t.commit();
            QFAIL("a refused write went through");
        } catch (const DataError&) {
        }
        QVERIFY(!db->inTransaction());
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), 0.0);
    }
};

QTEST_GUILESS_MAIN(ShopFileTest)
#include "tst_shopfile.moc"
