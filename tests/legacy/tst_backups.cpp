// Daily backups beside the shop file, and restoring one with lumaro-admin.
#include "data/Backups.h"
#include "data/Database.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

QStringList names(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

void touch(const QString& path, const QByteArray& bytes = {})
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

double cashIn(const QString& file)
{
    const ShopCopy c = readCopy(file);
    return c.integrity == QLatin1String("ok") ? c.cash : -1;
}

} // namespace

class TestBackups : public QObject {
    Q_OBJECT
private slots:
    // A year and more of daily backups, thinned on 2026-12-07.
    void rotation_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("months");
        QTest::addColumn<QStringList>("kept"); // beyond the daily window
        QTest::addColumn<int>("daily");        // backups kept in the daily window
        const QStringList firsts =
            texts({"2026-01-01", "2026-02-01", "2026-03-01", "2026-04-01", "2026-05-01", "2026-06-01", "2026-07-01",
                   "2026-08-01", "2026-09-01", "2026-10-01", "2026-11-01"});
        QTest::newRow("30 days, 12 months") << 30 << 12 << firsts << 30;
        QTest::newRow("7 days, 3 months") << 7 << 3 << texts({"2026-10-01", "2026-11-01", "2026-12-01"}) << 7;
        QTest::newRow("no months") << 10 << 0 << QStringList{} << 10;
        QTest::newRow("nonsense days keep today") << 0 << 0 << QStringList{} << 1;
    }
    void rotation()
    {
        QFETCH(int, days);
        QFETCH(int, months);
        QFETCH(QStringList, kept);
        QFETCH(int, daily);
        QTemporaryDir dir;
        const QDate today(2026, 12, 7);
        for (QDate d(2025, 10, 1); d <= today; d = d.addDays(1))
            touch(dir.filePath(QStringLiteral("teadata-%1.db").arg(d.toString(Qt::ISODate))));
        // Not ours to remove: another shop's backups, a note, a name that is no date.
        const QStringList others =
            texts({"notes.txt", "other-2025-01-01.db", "teadata-2025-13-01.db", "teadata-copy.db"});
        for (const QString& n : others)
            touch(dir.filePath(n));

        pruneBackups(dir.path(), QStringLiteral("teadata"), today, BackupKeep{days, months});

        QStringList expected = others;
        const QDate firstDaily = today.addDays(-(daily - 1));
        for (QDate d = firstDaily; d <= today; d = d.addDays(1))
            expected << QStringLiteral("teadata-%1.db").arg(d.toString(Qt::ISODate));
        for (const QString& k : kept)
            if (QDate::fromString(k, Qt::ISODate) < firstDaily)
                expected << QStringLiteral("teadata-%1.db").arg(k);
        expected.sort();
        QCOMPARE(names(dir.path()), expected);
    }

    // A shop closed on the 1st keeps the month's first backup it has.
    void monthStandsForItsFirstBackup()
    {
        QTemporaryDir dir;
        for (const char* n : {"teadata-2026-03-04.db", "teadata-2026-03-20.db", "teadata-2026-04-02.db"})
            touch(dir.filePath(QString::fromLatin1(n)));
        pruneBackups(dir.path(), QStringLiteral("teadata"), QDate(2026, 12, 7), BackupKeep{30, 12});
        QCOMPARE(names(dir.path()), texts({"teadata-2026-03-04.db", "teadata-2026-04-02.db"}));
    }

    void oneBackupPerDay()
    {
        if (TestShop::onPostgres()) {
            TestShop shop;
            QVERIFY(takeDailyBackup(shop.db(), QDate(2026, 12, 7), {}).isEmpty()); // pg_dump's job
            return;
        }
        TestShop shop;
        shop.balances(250, 10);
        const QString first = takeDailyBackup(shop.db(), QDate(2026, 12, 7), {});
        QCOMPARE(first, QDir(shop.folder()).filePath(QStringLiteral("backups/teadata-2026-12-07.db")));
        QCOMPARE(cashIn(first), 250.0);
        shop.balances(300, 10);
        QVERIFY(takeDailyBackup(shop.db(), QDate(2026, 12, 7), {}).isEmpty());
        QCOMPARE(cashIn(first), 250.0); // the day's first backup stays
        const QString next = takeDailyBackup(shop.db(), QDate(2026, 12, 8), {});
        QCOMPARE(cashIn(next), 300.0);
        QCOMPARE(QFileInfo(backupFolder(shop.path())).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
    }

    void restorePutsTheBackupInPlace()
    {
        QTemporaryDir dir;
        const QString shop = dir.filePath(QStringLiteral("teadata.db"));
        const QString backup = dir.filePath(QStringLiteral("monday.db"));
        {
            auto db = Database::create(shop, QStringLiteral("pw"));
            db->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 500"));
            takeDailyBackup(*db, QDate(2026, 12, 7), {});
            QVERIFY(QFile::copy(QDir(dir.path()).filePath(QStringLiteral("backups/teadata-2026-12-07.db")), backup));
            db->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 7"));

            // Not while the program has the shop open.
            const Run busy = admin({QStringLiteral("restore"), backup, QStringLiteral("--database"), shop});
            QCOMPARE(busy.code, 1);
            QVERIFY2(busy.err.contains(QStringLiteral("正在使用中")), qPrintable(busy.err));
        }
        QCOMPARE(cashIn(shop), 7.0);

        touch(dir.filePath(QStringLiteral("garbage.db")), QByteArray(8192, 'x'));
        const Run damaged = admin({QStringLiteral("restore"), dir.filePath(QStringLiteral("garbage.db")),
                                   QStringLiteral("--database=") + shop});
        QCOMPARE(damaged.code, 1);
        QVERIFY2(damaged.err.contains(dir.filePath(QStringLiteral("garbage.db"))), qPrintable(damaged.err));
        QCOMPARE(cashIn(shop), 7.0);

        const Run r = admin({QStringLiteral("restore"), backup, QStringLiteral("--database"), shop});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(cashIn(shop), 500.0);
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("teadata.db.before-restore-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QVERIFY(r.out.contains(aside[0]));
        QCOMPARE(cashIn(dir.filePath(aside[0])), 7.0);
        QVERIFY(QDir(dir.path())
                    .entryList({QStringLiteral(".teadata.db.restore-*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
    }
};

QTEST_MAIN(TestBackups)
#include "tst_backups.moc"
