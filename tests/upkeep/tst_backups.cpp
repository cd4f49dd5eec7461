// Daily backups beside the shop file, and restoring one with lumaro-admin.
#include "base/Money.h"
#include "books/MoneyMoves.h"
#include "books/Password.h"
#include "books/Shop.h"
#include "data/Database.h"
#include "support/Outside.h"
#include "support/TestShop.h"
#include "upkeep/Backups.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <sys/stat.h>

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

// A shop file whose cash is set by a move of the books, as the program sets it.
void makeShop(const QString& path, int cash)
{
    auto db = createShop(path, QStringLiteral("pw"));
    money::adjust(*db, Money::fromUnits(cash * Money::Scale), QStringLiteral("開店"));
}

QString day(const QDate& d) { return QStringLiteral("teadata-%1.db").arg(d.toString(Qt::ISODate)); }

// What a restore may leave beside the shop: its hidden copy and the like.
QStringList restoreLeftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".teadata.db.restore-*"), QStringLiteral("..teadata.db.restore-*")},
                                  QDir::Files | QDir::Hidden);
}

Run restore(const QString& backup, const QString& shop,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    return run(qEnvironmentVariable("LUMARO_ADMIN"),
               {QStringLiteral("restore"), backup, QStringLiteral("--database"), shop}, {}, env);
}

// Runs statements on a shop file as a tool other than Lumaro would; the
// first that fails is returned.
QString plant(const QString& file, const QStringList& statements)
{
    QString failed;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plant"));
        db.setDatabaseName(file);
        db.open();
        for (const QString& statement : statements)
            if (failed.isEmpty() && !QSqlQuery(db).exec(statement))
                failed = statement;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plant"));
    return failed;
}

ino_t inode(const QString& file)
{
    struct stat s {};
    return ::stat(QFile::encodeName(file).constData(), &s) == 0 ? s.st_ino : 0;
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
        QTest::newRow("nonsense days keep the newest seven") << 0 << 0 << QStringList{} << 7;
    }
    void rotation()
    {
        QFETCH(int, days);
        QFETCH(int, months);
        QFETCH(QStringList, kept);
        QFETCH(int, daily);
        QTemporaryDir dir;
        const QDate today(2026, 12, 7);
        QStringList written;
        for (QDate d(2025, 10, 1); d <= today; d = d.addDays(1)) {
            touch(dir.filePath(day(d)));
            written << day(d);
        }
        noteBackups(dir.path(), QStringLiteral("teadata"), written);
        // Not ours to remove: another shop's backups, a note, a name that is
        // no date, and a copy the owner made under a backup's name.
        const QStringList others = texts(
            {"notes.txt", "other-2025-01-01.db", "teadata-2025-13-01.db", "teadata-copy.db", "teadata-2020-04-01.db"});
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
        QStringList written = texts({"teadata-2026-03-04.db", "teadata-2026-03-20.db", "teadata-2026-04-02.db"});
        for (int d = 1; d <= KeepNewestBackups; ++d)
            written << day(QDate(2026, 12, d));
        for (const QString& n : written)
            touch(dir.filePath(n));
        noteBackups(dir.path(), QStringLiteral("teadata"), written);
        pruneBackups(dir.path(), QStringLiteral("teadata"), QDate(2026, 12, 30), BackupKeep{7, 12});
        written.removeAll(QStringLiteral("teadata-2026-03-20.db"));
        QCOMPARE(names(dir.path()), written);
    }

    // The computer's clock wrong for some unlocks of the day: the backups
    // that are there are kept, and one dated in the future goes in its turn.
    void clockJumps_data()
    {
        QTest::addColumn<QList<QDate>>("unlocks");
        QTest::addColumn<QStringList>("kept");
        const QDate d(2026, 12, 7), ahead = d.addYears(5), back(2020, 4, 1);
        const auto span = [&](int from, int to) {
            QList<QDate> out;
            for (int i = from; i <= to; ++i)
                out << d.addDays(i);
            return out;
        };
        const auto named = [](const QList<QDate>& days) {
            QStringList out;
            for (const QDate& x : days)
                out << day(x);
            return out;
        };
        QTest::newRow("five years ahead keeps the real ones")
            << span(-4, 0) + QList<QDate>{ahead} << named(span(-4, 0) + QList<QDate>{ahead});
        QTest::newRow("the future one goes once the clock is right") // December's first and the last week
            << span(-4, 0) + QList<QDate>{ahead} + span(1, 10) << named(span(-4, -4) + span(4, 10));
        QTest::newRow("years back keeps the newer ones")
            << span(-7, 0) + QList<QDate>{back} << named(span(-7, 0) + QList<QDate>{back});
    }
    void clockJumps()
    {
        if (TestShop::onPostgres())
            QSKIP("backs up shop files only, as the file pass does");
        QFETCH(QList<QDate>, unlocks);
        QFETCH(QStringList, kept);
        QTemporaryDir dir;
        const QString shop = dir.filePath(QStringLiteral("teadata.db"));
        makeShop(shop, 10);
        auto db = openShop(shop);
        for (const QDate& today : unlocks)
            QVERIFY(!takeDailyBackup(*db, today, BackupKeep{7, 12}).isEmpty());
        kept.sort();
        QCOMPARE(names(backupFolder(shop)), kept);
    }

    void oneBackupPerDay()
    {
        if (TestShop::onPostgres()) {
            TestShop shop;
            QVERIFY(takeDailyBackup(shop.db(), QDate(2026, 12, 7), {}).isEmpty()); // pg_dump's job
            touch(shop.folder() + QStringLiteral("/monday.db"));
            const Run r = restore(shop.folder() + QStringLiteral("/monday.db"), shop.path());
            QVERIFY2(r.code == 1 && r.err.contains(QStringLiteral("pg_restore")), qPrintable(r.err));
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

        // A backups folder that is a link to another disk's folder keeps the
        // mode the owner gave that folder; the backups in it are still the owner's.
        QTemporaryDir other;
        QVERIFY(QFile::setPermissions(other.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                        QFile::ExeOther));
        const QFile::Permissions mode = QFileInfo(other.path()).permissions();
        QVERIFY(QDir(backupFolder(shop.path())).removeRecursively());
        QVERIFY(QFile::link(other.path(), backupFolder(shop.path())));
        const QString linked = takeDailyBackup(shop.db(), QDate(2026, 12, 9), {});
        QVERIFY(QFileInfo::exists(QDir(other.path()).filePath(QStringLiteral("teadata-2026-12-09.db"))));
        QCOMPARE(QFileInfo(other.path()).permissions(), mode);
        QCOMPARE(QFileInfo(linked).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    }

    void restorePutsTheBackupInPlace()
    {
        QTemporaryDir dir;
        const QString shop = dir.filePath(QStringLiteral("teadata.db"));
        const QString backup = dir.filePath(QStringLiteral("monday.db"));
        makeShop(shop, 500);
        {
            auto db = openShop(shop);
            takeDailyBackup(*db, QDate(2026, 12, 7), {});
            QVERIFY(QFile::copy(QDir(dir.path()).filePath(QStringLiteral("backups/teadata-2026-12-07.db")), backup));
            money::adjust(*db, Money::fromUnits(-493 * Money::Scale), QStringLiteral("點錯"));

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
        QVERIFY(restoreLeftovers(dir.path()).isEmpty());

        // Two restores in one second each keep the file they replace.
        const QDateTime now = QDateTime::currentDateTime();
        const QString first = restoreShop(backup, shop, now), second = restoreShop(backup, shop, now);
        QVERIFY(first != second && QFileInfo::exists(first) && QFileInfo::exists(second));
    }

    // A backup the program would not open, or one changed after Lumaro wrote
    // it, is refused with its cause named; the shop and its folder stay as they were.
    void restoreRefuses_data()
    {
        QTest::addColumn<QString>("plant"); // run on the backup; "damage" overwrites some of its pages
        QTest::addColumn<QString>("cause");
        const QString tail = hashPassword(QStringLiteral("pw")).section(QLatin1Char('$'), 4);
        QTest::newRow("trigger on the accounts") << "CREATE TRIGGER skim AFTER UPDATE ON 帳款資料表 BEGIN SELECT 1; END"
                                                 << "觸發程序「skim」（資料表 帳款資料表）";
        QTest::newRow("view") << "CREATE VIEW peek AS SELECT * FROM 密碼表"
                              << "檢視表「peek」";
        QTest::newRow("newer") << "PRAGMA user_version = 99"
                               << "資料版本 99";
        QTest::newRow("cash changed by hand") << "UPDATE 帳款資料表 SET 現金 = 現金 + 1000"
                                              << "依帳務日誌應為 500";
        QTest::newRow("hash of four billion passes")
            << QStringLiteral("UPDATE 密碼表 SET 密碼 = '$argon2id$v=19$m=19456,t=4294967295,p=1$%1'").arg(tail)
            << "超出範圍";
        QTest::newRow("no password") << "DELETE FROM 密碼表"
                                     << "沒有設定系統密碼";
        QTest::newRow("not a shop") << "DROP TABLE 密碼表"
                                    << "缺少資料表「密碼表」";
        QTest::newRow("damaged") << "damage"
                                 << "損壞";
    }
    void restoreRefuses()
    {
        if (TestShop::onPostgres())
            QSKIP("restores shop files only, as the file pass does");
        QFETCH(QString, plant);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const QString shop = dir.filePath(QStringLiteral("teadata.db"));
        const QString backup = dir.filePath(QStringLiteral("monday.db"));
        makeShop(shop, 7);
        makeShop(backup, 500);
        if (plant == QLatin1String("damage")) {
            QCOMPARE(::plant(backup,
                             {QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                             "WHERE i < 2000) INSERT INTO 茶葉資料表 SELECT printf('T%05d', i), "
                                             "'茶葉名稱很長的一種好茶 ' || i, 1, 2, 0 FROM n")}),
                     QString());
            QFile f(backup);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(f.size() / 2);
            f.write(QByteArray(8192, char(0x5A)));
        } else {
            QCOMPARE(::plant(backup, {plant}), QString());
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        const Run r = restore(backup, shop);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(cause) && r.err.contains(QStringLiteral("資料檔沒有任何改變")), qPrintable(r.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
        QCOMPARE(cashIn(shop), 7.0);
    }

    // Another process has the shop open through the program's own library,
    // by its name or by a link to it: the restore is refused.
    void restoreWaitsForEveryoneToClose_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::newRow("held") << false;
        QTest::newRow("held through a link") << true;
    }
    void restoreWaitsForEveryoneToClose()
    {
        if (TestShop::onPostgres())
            QSKIP("restores shop files only, as the file pass does");
        QFETCH(bool, linked);
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("shop.db"));
        const QString shop = linked ? dir.filePath(QStringLiteral("teadata.db")) : real;
        const QString backup = dir.filePath(QStringLiteral("monday.db"));
        makeShop(real, 7);
        makeShop(backup, 500);
        if (linked)
            QVERIFY(QFile::link(real, shop));
        {
            QProcess terminal; // the program's own library, idle
            terminal.start(qEnvironmentVariable("LUMARO_PROBE"), {QStringLiteral("hold"), shop});
            QVERIFY(terminal.waitForReadyRead(30000) && terminal.readAll().startsWith("ready"));
            const Run r = restore(backup, shop);
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(QStringLiteral("正在使用中")), qPrintable(r.err));
        }
        QCOMPARE(cashIn(real), 7.0);
        const Run r = restore(backup, shop);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(cashIn(real), 500.0);
        QCOMPARE(QFileInfo(shop).isSymLink(), linked);
    }

    // Restore killed before each change it makes to the shop's folder, over a
    // shop whose last move is still only in its -wal: the shop's name always
    // holds a whole shop, the old one or the new; what it leaves is the
    // owner's alone, and the next restore clears it away.
    void restoreKilledAtEveryStep()
    {
        if (TestShop::onPostgres())
            QSKIP("restores shop files only, as the file pass does");
        QTemporaryDir dir;
        const QString old = dir.filePath(QStringLiteral("old.db"));
        const QString backup = dir.filePath(QStringLiteral("monday.db"));
        makeShop(backup, 500);
        makeShop(old, 7);
        {
            auto db = openShop(old);
            money::adjust(*db, Money::fromUnits(3 * Money::Scale), QStringLiteral("找零"));
            QVERIFY(QFile::copy(old, old + QStringLiteral(".kept")));
            QVERIFY(QFile::copy(old + QStringLiteral("-wal"), old + QStringLiteral(".kept-wal")));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), qEnvironmentVariable("LUMARO_KILLAT"));
        int step = 1;
        for (;; ++step) {
            QTemporaryDir at;
            const QString shop = at.filePath(QStringLiteral("teadata.db"));
            QVERIFY(QFile::copy(old + QStringLiteral(".kept"), shop));
            QVERIFY(QFile::copy(old + QStringLiteral(".kept-wal"), shop + QStringLiteral("-wal")));
            env.insert(QStringLiteral("LUMARO_KILL_AT"), QString::number(step));
            const Run killed = restore(backup, shop, env);
            const double cash = cashIn(shop);
            QVERIFY2(cash == 10 || cash == 500, qPrintable(QStringLiteral("step %1: %2").arg(step).arg(cash)));
            for (const QString& left : restoreLeftovers(at.path()))
                QCOMPARE(QFileInfo(at.filePath(left)).permissions() &
                             ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                         QFile::Permissions());
            if (killed.code == 0)
                break;
            QVERIFY2(killed.code == -1, qPrintable(killed.err));

            const Run again = restore(backup, shop);
            QVERIFY2(again.code == 0, qPrintable(again.err));
            QCOMPARE(cashIn(shop), 500.0);
            QCOMPARE(restoreLeftovers(at.path()), QStringList());
            for (const QString& kept : QDir(at.path()).entryList({QStringLiteral("*.before-restore-*")}, QDir::Files)) {
                QVERIFY(inode(at.filePath(kept)) != inode(shop));
                QVERIFY(cashIn(at.filePath(kept)) == 10 || cashIn(at.filePath(kept)) == 500);
            }
        }
        QVERIFY2(step > 8, "restore made too few changes to its folder: the preloaded library did not count them");
    }
};

QTEST_MAIN(TestBackups)
#include "tst_backups.moc"
