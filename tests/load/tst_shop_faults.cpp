// What the shop owner sees when the shop itself is the problem: a file that is
// not a shop or is damaged, a missing table, a read-only file, a full disk, a
// server that goes away. Each gets a Chinese sentence, stores nothing half,
// and the program goes on.
#include "Ledger.h"
#include "app/Startup.h"
#include "books/Shop.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "data/Transaction.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtTest>

#include <unistd.h>

using namespace lumaro;
using namespace lumaro::test;

namespace {

Run probe(const QStringList& args) { return run(qEnvironmentVariable("LUMARO_PROBE"), args); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A complete shop file with some rows, closed, as bytes.
QByteArray shopBytes()
{
    QByteArray bytes;
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shop.db"));
        {
            auto db = createShop(path, QStringLiteral("pw"), true);
            db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")).finish();
        }
        bytes = readAll(path);
    }
    return bytes;
}

QString integrity(Database& db) { return db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(); }

} // namespace

class ShopFaults : public QObject {
    Q_OBJECT

private slots:
    void notAShopFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("said");
        const QByteArray shop = shopBytes();
        QByteArray garbage(8192, '\0');
        for (char& c : garbage)
            c = char(QRandomGenerator::global()->bounded(256));
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("缺少資料表");
        QTest::newRow("a text file") << QByteArray("客戶名單\n王小明, 0912\n")
                                     << QStringLiteral("不是 Lumaro 的資料檔");
        QTest::newRow("random bytes") << garbage << QStringLiteral("不是 Lumaro 的資料檔");
        QTest::newRow("cut short") << shop.left(1500) << QStringLiteral("損壞");
        QByteArray scribbled = shop;
        for (int i = 4096; i < scribbled.size(); i += 7)
            scribbled[i] = char(0xA5);
        QTest::newRow("pages scribbled over") << scribbled << QStringLiteral("損壞");
    }
    void notAShopFile()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        QFETCH(QByteArray, content);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("teadata.db"));
        writeAll(path, content);

        // Refused at opening, or when the damaged part is first read.
        QString description;
        bool refusedAtOpening = true;
        try {
            auto db = openShop(path);
            refusedAtOpening = false;
            DataControl teas(*db);
            teas.setRecordSource(schema::sources::TeaCatalogue);
            teas.refresh();
            DataControl orders(*db);
            orders.setRecordSource(schema::sources::OpenOrders);
            orders.refresh();
            db->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + 1")).finish();
        } catch (const DataError& e) {
            description = e.description();
        }
        QVERIFY2(description.contains(said), qPrintable(description));
        QCOMPARE(readAll(path), content); // nothing written into a file that is not ours

        // Refused at opening: the program says so once and does not start.
        if (refusedAtOpening) {
            PromptScope prompts;
            StartupOptions options;
            options.database = path;
            QVERIFY(!openShop(options));
            QCOMPARE(prompts->messages().size(), 1);
            QCOMPARE(prompts->messages()[0].text, description);
        }
    }

    void missingTable()
    {
        std::unique_ptr<TestShop> shop(new TestShop);
        const qlonglong order = shop->order(QStringLiteral("王"));
        shop->line(order, QStringLiteral("T1"), 1);

        // Dropped while the shop is open: the screens' reads say so in Chinese.
        DataControl lines(shop->db());
        lines.setRecordSource(schema::sources::LinesOfOrder, {order});
        lines.refresh();
        shop->exec(QStringLiteral("DROP TABLE 訂單明細表"));
        try {
            lines.refresh();
            QFAIL("read a dropped table");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("缺少需要的資料表")), qPrintable(e.description()));
        }

        // Opened without it: refused with the table's name.
        try {
            openShop(shop->path());
            QFAIL("opened a shop without its lines table");
        } catch (const DataError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("缺少資料表「訂單明細表」")), qPrintable(e.description()));
        }
    }

    void readOnlyShopFile()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("茶"), 1, 2, 3);
        shop.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        const QString path = shop.path();
        QStringList args;
        // The superuser writes through any mode, so the probe runs as nobody.
        if (geteuid() == 0) {
            args << QStringLiteral("--uid") << QStringLiteral("65534");
            QFile::setPermissions(shop.folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther);
        }
        for (const QString& f : {path, QString(path + QStringLiteral("-wal")), QString(path + QStringLiteral("-shm"))})
            if (QFile::exists(f))
                QFile::setPermissions(f, QFile::ReadOwner | QFile::ReadOther);
        const QByteArray before = readAll(path);

        const Run r = probe(args << QStringLiteral("open") << path);
        QCOMPARE(r.code, 3);
        QVERIFY2(r.out.contains(QStringLiteral("唯讀")), qPrintable(r.out));
        QCOMPARE(readAll(path), before);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 1);
    }

    // Writes until the file size limit stops them: the failing transaction is
    // gone whole, every committed one is there whole, and the file is sound.
    void fullDisk()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        TestShop shop;
        shop.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        const Run r =
            probe({QStringLiteral("--fsize"), QString::number(400 * 1024), QStringLiteral("fill"), shop.path()});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.out.contains(QStringLiteral("磁碟已滿")), qPrintable(r.out));
        const QStringList committed = r.out.split(QLatin1Char('\n')).filter(QStringLiteral("committed"));
        QVERIFY(!committed.isEmpty());
        const int batches = committed.last().section(QLatin1Char(' '), 1).toInt();

        auto db = openShop(shop.path());
        QCOMPARE(integrity(*db), QStringLiteral("ok"));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), batches * 10);
    }

    // Checkouts, purchases and transfers until the disk is full: each refused
    // move is gone whole, every stored one is there whole.
    void fullDiskDuringMoves()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        TestShop shop;
        stockTheShop(shop, 300);
        shop.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        Ledger ledger(shop.db());
        const qint64 size = QFileInfo(shop.path()).size();
        const Run r = probe({QStringLiteral("--fsize"), QString::number(size + 120 * 1024), QStringLiteral("moves"),
                             shop.path(), QStringLiteral("120"), QStringLiteral("7")});
        QCOMPARE(r.code, 0);
        const QStringList failures = r.out.split(QLatin1Char('\n')).filter(QLatin1String("fail"));
        QVERIFY2(!failures.isEmpty(), "the disk never filled up");
        for (const QString& f : failures)
            QVERIFY2(f.contains(QStringLiteral("磁碟已滿")), qPrintable(f));

        auto db = openShop(shop.path());
        QCOMPARE(integrity(*db), QStringLiteral("ok"));
        const QString mismatch = ledger.apply({r.out}, *db, Ledger::Failed::NotStored);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        qInfo("%d moves stored before the disk filled, %d refused after", ledger.applied(), int(failures.size()));
        QVERIFY(ledger.applied() > 0);
    }

    // A new shop that does not fit leaves no half-made file behind.
    void fullDiskWhileCreating()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.db"));
        const Run r = run(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("ulimit -f 8; exec \"$0\" init --sample \"$1\""),
                           qEnvironmentVariable("LUMARO_ADMIN"), path},
                          "pw\n");
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("磁碟已滿")), qPrintable(r.err));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
    }

    // The server ends the connection in the middle of a move and between
    // moves: the move is gone whole, the message says why, and the next move
    // works on a fresh connection.
    void serverGoesAway()
    {
        if (!TestShop::onPostgres())
            QSKIP("PostgreSQL only");
        TestShop shop;
        shop.balances(100, 50);
        auto other = openShop(shop.path());
        auto cutOff = [&] {
            const QVariant pid = shop.scalar(QStringLiteral("SELECT pg_backend_pid()"));
            QVERIFY(other->scalar(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid}).toBool());
        };

        cutOff();
        {
            QString description;
            try {
                Transaction t(shop.db());
                shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - 30"));
                t.commit();
            } catch (const DataError& e) {
                description = e.description();
            }
            QVERIFY2(description.contains(QStringLiteral("連線中斷")), qPrintable(description));
        }

        {
            QString description;
            try {
                Transaction t(shop.db());
                shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - 30"));
                cutOff();
                shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 銀行 = 銀行 + 30"));
                t.commit();
            } catch (const DataError& e) {
                description = e.description();
            }
            QVERIFY2(description.contains(QStringLiteral("連線中斷")), qPrintable(description));
        }
        QCOMPARE(other->scalar(QStringLiteral("SELECT 現金 + 銀行 FROM 帳款資料表")).toDouble(), 150.0);
        QCOMPARE(other->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), 100.0);

        // Back at work on a new connection.
        Transaction t(shop.db());
        shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - 30, 銀行 = 銀行 + 30"));
        t.commit();
        QCOMPARE(other->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(), 80.0);
    }
};

QTEST_MAIN(ShopFaults)
#include "tst_shop_faults.moc"
