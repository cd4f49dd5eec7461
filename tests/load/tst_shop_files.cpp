// The files around a shop: after 離開系統 the shop file alone holds every
// move; a backup is the owner's alone from its first byte, even when it is cut
// short; a read-only shop can still be checked and backed up; the check
// changes no byte; and running out of file handles is called what it is.
#include "Ledger.h"
#include "data/Transaction.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// Runs lumaro-admin through the shell, so a umask or a limit can be set
// first; as nobody when asked (the superuser reads and writes through any mode).
Run shellAdmin(const QString& shellPrefix, const QStringList& args, bool asNobody = false)
{
    QStringList command{QStringLiteral("-c"), shellPrefix + QStringLiteral(" exec \"$@\""), QStringLiteral("sh")};
    if (asNobody && geteuid() == 0)
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=65534") << QStringLiteral("--regid=65534")
                << QStringLiteral("--clear-groups");
    command << qEnvironmentVariable("LUMARO_ADMIN") << args;
    return run(QStringLiteral("/bin/sh"), command);
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

QStringList besides(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

// Lets nobody into the test's folder, and gives the shop file (and whatever
// lies beside it) the given mode.
void openFolderToOthers(const QString& folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther);
}

} // namespace

class ShopFiles : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (TestShop::onPostgres())
            QSKIP("shop files only");
    }

    void afterExitTheFileAloneHoldsEveryMove()
    {
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 100, 150, 10)
            .balances(1000, 0)
            .password(QStringLiteral(""));
        shop.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));

        const Run terminal = run(qEnvironmentVariable("LUMARO_PROBE"), {QStringLiteral("exit"), shop.path()});
        QVERIFY2(terminal.code == 0 && terminal.said().contains(QLatin1String("moved")), qPrintable(terminal.said()));

        QTemporaryDir elsewhere;
        const QString copy = elsewhere.filePath(QStringLiteral("copy.db"));
        QVERIFY(QFile::copy(shop.path(), copy));
        const ShopCopy c = readCopy(copy);
        QCOMPARE(c.integrity, QStringLiteral("ok"));
        QCOMPARE((QList<double>{c.cash, c.bank, c.stock.value(QStringLiteral("T1"))}),
                 (QList<double>{1000.0 - 300 - 100, 100.0, 13.0}));
    }

    void backupIsTheOwnersFromItsFirstByte()
    {
        TestShop shop;
        {
            Transaction t(shop.db());
            for (int i = 0; i < 30000; ++i)
                shop.tea(QStringLiteral("T%1").arg(i), QStringLiteral("備份用的茶葉名稱 %1").arg(i), 1, 2, 3);
            t.commit();
        }
        const QString folder = shop.folder();
        const QString dest = QDir(folder).filePath(QStringLiteral("backup.db"));
        // Watched while it is written, and killed in the middle once.
        for (const bool kill : {false, true}) {
            QFile::remove(dest);
            QProcess p;
            p.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("umask 000; exec \"$0\" backup --database \"$1\" \"$2\""),
                     qEnvironmentVariable("LUMARO_ADMIN"), shop.path(), dest});
            QVERIFY(p.waitForStarted());
            QSet<QString> seen;
            while (p.state() != QProcess::NotRunning) {
                for (const QString& f : besides(folder)) {
                    if (f.startsWith(QLatin1String("teadata.db")))
                        continue;
                    struct stat st {};
                    if (::stat(QFile::encodeName(QDir(folder).filePath(f)).constData(), &st) == 0) {
                        seen.insert(f);
                        QVERIFY2((st.st_mode & 0077) == 0,
                                 qPrintable(QStringLiteral("%1 mode %2").arg(f).arg(st.st_mode & 0777, 0, 8)));
                    }
                }
                // Killed once the copy is seen on disk, not after a count of
                // polls: on a busy machine that count can pass before the
                // program has written anything.
                if (kill && !seen.isEmpty() && p.state() != QProcess::NotRunning)
                    p.kill();
                p.waitForFinished(1);
            }
            QVERIFY2(!seen.isEmpty(), "the backup was never seen being written");
            for (const QString& f : besides(folder)) {
                struct stat st {};
                if (!f.startsWith(QLatin1String("teadata.db")) &&
                    ::stat(QFile::encodeName(QDir(folder).filePath(f)).constData(), &st) == 0)
                    QVERIFY2((st.st_mode & 0077) == 0, qPrintable(f));
            }
        }
    }

    // A healthy shop that cannot be written: a 0444 file, and a folder that
    // cannot be written either, as on read-only media. Checked and backed up
    // as it is, and nothing is left beside it.
    void readOnlyShopIsCheckedAndBackedUp_data()
    {
        QTest::addColumn<bool>("folderReadOnly");
        QTest::newRow("read-only file") << false;
        QTest::newRow("read-only folder") << true;
    }
    void readOnlyShopIsCheckedAndBackedUp()
    {
        QFETCH(bool, folderReadOnly);
        QTemporaryDir outside;
        openFolderToOthers(outside.path());
        const QString kept = QDir(outside.path()).filePath(QStringLiteral("teadata.db"));
        {
            TestShop shop;
            shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 100, 150, 10);
            shop.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            QVERIFY(QFile::copy(shop.path(), kept)); // a WAL shop that nobody has open
        }
        QFile::setPermissions(kept, QFile::ReadOwner | QFile::ReadOther);
        const QStringList files = besides(outside.path());
        const QByteArray before = digest(kept);
        if (folderReadOnly)
            QFile::setPermissions(outside.path(),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);

        QTemporaryDir target;
        openFolderToOthers(target.path());
        const Run checked = shellAdmin(QString(), {QStringLiteral("check"), QStringLiteral("--database"), kept}, true);
        QVERIFY2(checked.code == 0 && checked.said().contains(QStringLiteral("結果：正常")),
                 qPrintable(checked.said()));
        const QString dest = QDir(target.path()).filePath(QStringLiteral("backup.db"));
        const Run backedUp =
            shellAdmin(QString(), {QStringLiteral("backup"), QStringLiteral("--database"), kept, dest}, true);
        QVERIFY2(backedUp.code == 0, qPrintable(backedUp.said()));
        QCOMPARE(readCopy(dest).stock.value(QStringLiteral("T1")), 10.0);

        QFile::setPermissions(outside.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(digest(kept), before);
        QCOMPARE(besides(outside.path()), files);
    }

    // A shop file in rollback-journal mode (as another tool may leave it)
    // comes out of the check byte for byte as it went in.
    void checkChangesNoByte()
    {
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 100, 150, 10);
        const QString path = shop.path();
        const QString folder = shop.folder();
        shop.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        const QByteArray before = digest(path);
        const QStringList files = besides(folder);

        const Run r = shellAdmin(QString(), {QStringLiteral("check"), QStringLiteral("--database"), path});
        QVERIFY2(r.code == 0, qPrintable(r.said()));
        QCOMPARE(digest(path), before);
        QCOMPARE(besides(folder), files);
    }

    void outOfFileHandlesIsSaid()
    {
        TestShop shop;
        bool reached = false;
        for (int limit = 3; limit <= 12; ++limit) {
            const Run r = shellAdmin(QStringLiteral("ulimit -n %1;").arg(limit),
                                     {QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
            if (r.code == 0)
                break;
            QVERIFY2(!r.said().contains(QStringLiteral("不存在")), qPrintable(r.said()));
            if (r.code == 1) {
                QVERIFY2(r.said().contains(QStringLiteral("EMFILE")), qPrintable(r.said()));
                reached = true;
            }
        }
        QVERIFY2(reached, "no limit made the check run out of file handles");
    }
};

QTEST_MAIN(ShopFiles)
#include "tst_shop_files.moc"
