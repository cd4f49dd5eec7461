// lumaro-admin import-mdb, backup and check, run as the shop owner runs them.
#include "books/OrderStore.h"
#include "books/Password.h"
#include "books/Shop.h"
#include "books/StockCount.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Transaction.h"
#include "support/Outside.h"
#include "support/TestShop.h"
#include "upkeep/LegacyFixtures.h"

#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// lumaro-admin run in cwd, reading legacy files with the given reader process.
Run adminIn(const QStringList& args, const QString& cwd, const QString& reader)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMARO_MDBREADER"), reader);
    return run(qEnvironmentVariable("LUMARO_ADMIN"), args, {}, env, cwd);
}

} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(qEnvironmentVariable("LUMARO_ADMIN")).isExecutable()); }

    void importPrintsRowsPerTable()
    {
        QTemporaryDir dir;
        const QString reader = writeFakeReader(dir.path(), legacyShop());
        QFile(dir.filePath(QStringLiteral("teadata.mdb"))).open(QIODevice::WriteOnly);
        const Run r = adminIn({QStringLiteral("import-mdb"), QStringLiteral("teadata.mdb")}, dir.path(), reader);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("茶葉資料表  3 列")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("訂單資料表  3 列")));
        QVERIFY(r.out.contains(QStringLiteral("訂單明細表  3 列")));
        auto db = openShop(dir.filePath(QStringLiteral("teadata.db")));
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶香")));
    }

    void importRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expect");
        QTest::newRow("no source") << QStringList() << 2 << "用法";
        QTest::newRow("unknown option") << texts({"--big5", "teadata.mdb"}) << 2 << "--big5";
        QTest::newRow("charset without value") << texts({"teadata.mdb", "--charset"}) << 2 << "--charset";
        QTest::newRow("missing source") << texts({"nothing.mdb", "new.db"}) << 1 << "找不到";
        QTest::newRow("not a jet file") << texts({"notes.mdb", "new.db"}) << 1 << "不是 Jet";
        QTest::newRow("jet file of something else") << texts({"other.mdb", "new.db"}) << 1 << "缺少資料表";
        QTest::newRow("existing target") << texts({"other.mdb", "existing.db"}) << 1 << "已經存在";
    }

    void importRefusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, expect);
        QTemporaryDir dir;
        QFile notes(dir.filePath(QStringLiteral("notes.mdb")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write(QByteArray(8192, 'x'));
        notes.close();
        QVERIFY(QFile::copy(QStringLiteral(LUMARO_TEST_DATA_DIR "/jet4-unicode.mdb"),
                            dir.filePath(QStringLiteral("other.mdb"))));
        QFile existing(dir.filePath(QStringLiteral("existing.db")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep me");
        existing.close();
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        const Run r =
            adminIn(QStringList{QStringLiteral("import-mdb")} + args, dir.path(), QStringLiteral(LUMARO_MDBREADER));
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(expect), qPrintable(r.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("keep me"));
    }

    // The backup is taken while another process keeps moving money from cash to bank,
    // one transaction per move: every copy must be sound and balanced.
    void backupWhileMoneyMoves()
    {
        const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (sqlite.isEmpty())
            QSKIP("sqlite3 is not installed (scripts/install-deps installs it)");
        if (TestShop::onPostgres())
            QSKIP("backs up shop files; a server is backed up with pg_dump");
        TestShop shop;
        shop.balances(1000000, 0);
        shop.tea(QStringLiteral("A01"), QStringLiteral("烏龍"), 100, 150, 10);

        // `yes` feeds sqlite3 one money move per line for as long as the test wants.
        QTemporaryDir dir;
        QProcess feeder, mover;
        feeder.setStandardOutputProcess(&mover);
        mover.setStandardOutputFile(QProcess::nullDevice());
        mover.start(sqlite, {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), QStringLiteral("-cmd"),
                             QStringLiteral("PRAGMA synchronous=OFF"), shop.path()});
        feeder.start(QStringLiteral("yes"),
                     {QStringLiteral(
                         "BEGIN IMMEDIATE; UPDATE 帳款資料表 SET 現金 = 現金 - 1, 銀行 = 銀行 + 1; COMMIT;")});
        QVERIFY(mover.waitForStarted() && feeder.waitForStarted());
        QElapsedTimer wait;
        wait.start();
        while (shop.cash() == 1000000 && wait.elapsed() < 10000)
            QTest::qWait(10);

        QList<double> cashSeen;
        for (int i = 0; i < 3; ++i) {
            const QString dest = dir.filePath(QStringLiteral("backup-%1.db").arg(i));
            const Run r = admin({QStringLiteral("backup"), QStringLiteral("--database"), shop.path(), dest});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            const ShopCopy s = readCopy(dest);
            QCOMPARE(s.integrity, QStringLiteral("ok"));
            QCOMPARE(s.cash + s.bank, 1000000.0);
            cashSeen << s.cash;
        }
        const bool stillMoving = mover.state() == QProcess::Running;
        feeder.kill();
        mover.kill();
        feeder.waitForFinished();
        mover.waitForFinished();
        QVERIFY2(stillMoving, "the mover stopped before the backups; the test proves nothing");
        QVERIFY(cashSeen[0] < 1000000 && cashSeen[2] < cashSeen[0]);
        // The original keeps working and a second backup to the same name is refused.
        const Run again = admin({QStringLiteral("backup"), QStringLiteral("--database"), shop.path(),
                                 dir.filePath(QStringLiteral("backup-0.db"))});
        QCOMPARE(again.code, 1);
        QVERIFY(again.err.contains(QStringLiteral("已經存在")));
        QCOMPARE(shop.cash() + shop.bank(), 1000000.0);
    }

    void checkReportsProblems()
    {
        TestShop shop;
        shop.balances(1200, 3400.5);
        shop.tea(QStringLiteral("A01"), QStringLiteral("烏龍"), 100, 150, -3);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("A01"), 1);
        const qlonglong toTeaGone = shop.line(order, QStringLiteral("ZZ"), 1);
        const qlonglong toOrderGone = shop.line(order + 50, QStringLiteral("A01"), 1);
        shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 5"));

        const Run r = admin({QStringLiteral("check"), QStringLiteral("--database=") + shop.path()});
        QCOMPARE(r.code, 3);
        for (const QString& part :
             {QStringLiteral("完整性檢查：ok"), QStringLiteral("明細 %1：茶葉「ZZ」已不存在").arg(toTeaGone),
              QStringLiteral("明細 %1：訂單 %2 已不存在").arg(toOrderGone).arg(order + 50),
              QStringLiteral("A01 烏龍：-3"), QStringLiteral("訂單 %1：狀態 5").arg(order),
              QStringLiteral("現金：1200"), QStringLiteral("銀行：3400.5")})
            QVERIFY2(r.out.contains(part), qPrintable(part + QStringLiteral("\n") + r.out));

        // Mended the way the catalogue does it: the tea and its stock leave
        // the books together.
        shop.exec(QStringLiteral("DELETE FROM 訂單明細表"));
        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表"));
        shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1"));
        const Run clean = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QVERIFY2(clean.code == 0, qPrintable(clean.out));
        QVERIFY(clean.out.contains(QStringLiteral("資料版本：%1").arg(lumaro::schema::CurrentVersion)));
        QVERIFY(clean.out.contains(QStringLiteral("結果：正常")));
        QVERIFY(clean.out.contains(QStringLiteral("程式會拒絕開啟或解鎖的原因：無")));

        // A balance changed behind the program's back: named with what the
        // books say it should be.
        shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + 1"));
        const Run tampered = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(tampered.code, 3);
        QVERIFY2(tampered.out.contains(
                     QStringLiteral("帳款資料表 帳號 = 1 的「現金」：存的是 1201，依帳務日誌應為 1200")),
                 qPrintable(tampered.out));
        QVERIFY(tampered.out.contains(QStringLiteral("沒有單價的結帳日誌：無")));

        // A sale journaled without its price, as one of a tea without a 訂價
        // was before checkout refused it: listed, though the books add up.
        shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - 1"));
        shop.exec(QStringLiteral("INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 訂單編號, 茶葉編號, 茶葉名稱) "
                                 "VALUES ('m1', '結帳', '2026-01-02 03:04:05', ?, 'A01', '烏龍')"),
                  {order});
        const qlonglong row = shop.scalar(QStringLiteral("SELECT max(日誌編號) FROM 帳務日誌表")).toLongLong();
        const Run unpriced = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(unpriced.code, 3);
        for (const QString& part :
             {QStringLiteral("沒有單價的結帳日誌：1 筆"),
              QStringLiteral("  日誌 %1：訂單 %2，茶葉 A01 烏龍").arg(row).arg(order),
              QStringLiteral("與期初加帳務日誌不符的餘額或庫存：無"), QStringLiteral("程式不認得種類的帳務日誌：無")})
            QVERIFY2(unpriced.out.contains(part), qPrintable(part + QStringLiteral("\n") + unpriced.out));

        // The journal takes any kind; one the program does not know, written
        // by another tool or a newer program, is listed with its first row.
        shop.exec(QStringLiteral("DELETE FROM 帳務日誌表 WHERE 異動編號 = 'm1'"));
        for (const char* move : {"m2", "m3"})
            shop.exec(QStringLiteral(
                          "INSERT INTO 帳務日誌表 (異動編號, 種類, 時間) VALUES (?, '寄賣', '2026-01-03 00:00:00')"),
                      {QString::fromUtf8(move)});
        const qlonglong first =
            shop.scalar(QStringLiteral("SELECT min(日誌編號) FROM 帳務日誌表 WHERE 種類 = '寄賣'")).toLongLong();
        const Run unknown = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(unknown.code, 3);
        for (const QString& part : {QStringLiteral("程式不認得種類的帳務日誌：2 筆"),
                                    QStringLiteral("  種類「寄賣」：2 筆，最早的是日誌 %1").arg(first),
                                    QStringLiteral("沒有單價的結帳日誌：無")})
            QVERIFY2(unknown.out.contains(part), qPrintable(part + QStringLiteral("\n") + unknown.out));

        // The file's index of the customers' names out of step with the
        // orders: a row missing, one too many, or one changed (as many rows as
        // before).
        if (TestShop::onPostgres())
            return;
        shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 客戶名稱 = '王小明' WHERE 訂單編號 = %1").arg(order));
        const QString insert = QStringLiteral("INSERT INTO 客戶名稱索引 VALUES ('%1', %2)");
        const QString remove = QStringLiteral("DELETE FROM 客戶名稱索引 WHERE 三字 = '%1'");
        const QString change = QStringLiteral("UPDATE 客戶名稱索引 SET 三字 = '%2' WHERE 三字 = '%1'");
        const QStringList outOfStep = {remove.arg(QStringLiteral("王小明")),
                                       insert.arg(QStringLiteral("小明王")).arg(order),
                                       change.arg(QStringLiteral("王小明"), QStringLiteral("小明王"))};
        const QStringList mended = {insert.arg(QStringLiteral("王小明")).arg(order),
                                    remove.arg(QStringLiteral("小明王")),
                                    change.arg(QStringLiteral("小明王"), QStringLiteral("王小明"))};
        for (qsizetype i = 0; i <= outOfStep.size(); ++i) {
            if (i > 0)
                shop.exec(mended[i - 1]);
            if (i < outOfStep.size())
                shop.exec(outOfStep[i]);
            const QString integrity = i < outOfStep.size() ? QStringLiteral("客戶名稱索引 與 訂單資料表 的客戶名稱不符")
                                                           : QStringLiteral("ok");
            const Run named = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
            QVERIFY2(named.out.contains(QStringLiteral("完整性檢查：%1\n").arg(integrity)), qPrintable(named.out));
        }
    }

    // Selling more than the books hold leaves the stock below zero, as the
    // checkout allows: check names it and points to the stock count, and a
    // count of what is really there sets it right.
    void negativeStockSetRightByACount()
    {
        TestShop shop;
        shop.balances(0, 0).tea(QStringLiteral("A01"), QStringLiteral("烏龍"), 100, 150, 1);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("A01"), 3);
        OrderStore::settleOrder(shop.db(), order);
        const Run negative = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(negative.code, 3);
        for (const QString& part : {QStringLiteral("庫存是負數的茶葉：1 種"), QStringLiteral("  A01 烏龍：-2"),
                                    QStringLiteral("「盤點庫存」")})
            QVERIFY2(negative.out.contains(part), qPrintable(part + QStringLiteral("\n") + negative.out));
        stock::postCount(shop.db(), {{QStringLiteral("A01"), {}, Money::fromDouble(-2), Money::fromDouble(0.5), {}}},
                         QString());
        const Run counted = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QVERIFY2(counted.code == 0, qPrintable(counted.out));
        QCOMPARE(shop.stock(QStringLiteral("A01")), 0.5);
    }

    // Whatever keeps the program from opening the shop, or anyone from
    // unlocking it, is listed, with the exit code the README gives.
    void checkListsWhatTheProgramRefuses_data()
    {
        QTest::addColumn<QString>("change"); // "newer" sets the shop's version
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString tail = hashPassword(QStringLiteral("pw")).section(QLatin1Char('$'), 4);
        const QString hash = QStringLiteral("UPDATE 密碼表 SET 密碼 = '$argon2id$v=19$%1$") + tail + QLatin1Char('\'');
        QTest::newRow("newer") << "newer" << 1 << "資料版本 99";
        QTest::newRow("four billion passes") << hash.arg(QStringLiteral("m=19456,t=4294967295,p=1")) << 3 << "超出範圍";
        QTest::newRow("4 GiB") << hash.arg(QStringLiteral("m=4194304,t=2,p=1")) << 3 << "超出範圍";
        QTest::newRow("no password") << "DELETE FROM 密碼表" << 3 << "沒有設定系統密碼";
        QTest::newRow("null password") << "UPDATE 密碼表 SET 密碼 = NULL" << 3 << "空值";
    }
    void checkListsWhatTheProgramRefuses()
    {
        QFETCH(QString, change);
        QFETCH(int, code);
        QFETCH(QString, said);
        TestShop shop;
        if (change != QLatin1String("newer"))
            shop.exec(change);
        else if (shop.db().isSQLite())
            shop.exec(QStringLiteral("PRAGMA user_version = 99"));
        else
            shop.exec(QStringLiteral("UPDATE %1 SET %2 = 99").arg(schema::VersionTable, schema::version::Value));
        const Run r = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(r.code, code);
        QVERIFY2(r.said().contains(said), qPrintable(r.said()));
        if (code == 3)
            QVERIFY(r.out.contains(QStringLiteral("程式會拒絕開啟或解鎖的原因：1 個")));
    }

    void checkFindsADamagedFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("teadata.db"));
        {
            auto db = createShop(path, QStringLiteral("pw"));
            Transaction t(*db);
            for (int i = 0; i < 2000; ++i)
                db->exec(QStringLiteral("INSERT INTO 茶葉資料表 VALUES (?, ?, 1, 2, 3)"),
                         {QStringLiteral("T%1").arg(i, 5, 10, QLatin1Char('0')),
                          QStringLiteral("茶葉名稱很長的一種好茶 %1").arg(i)});
            t.commit();
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        QVERIFY(size > 40000);
        f.seek(size / 2);
        f.write(QByteArray(8192, char(0x5A)));
        f.close();

        const Run r = admin({QStringLiteral("check"), QStringLiteral("--database"), path});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(QStringLiteral("損壞")) || r.err.contains(QStringLiteral("損壞")),
                 qPrintable(r.out + r.err));

        const Run missing =
            admin({QStringLiteral("check"), QStringLiteral("--database"), dir.filePath(QStringLiteral("none.db"))});
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.err.contains(QStringLiteral("找不到")));
    }
};

QTEST_GUILESS_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
