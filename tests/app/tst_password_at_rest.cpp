// The shop's password is kept as an Argon2id hash; shops brought over with a
// plain-text password still open with exactly that text.
#include "app/Startup.h"
#include "app/main_frm.h"
#include "books/Password.h"
#include "books/People.h"
#include "platform/Failure.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// Runs the lock screen with the given entries queued; true when it opened.
bool unlocks(Database& db, const QStringList& entries, ScriptedPrompts& prompts)
{
    for (const QString& e : entries)
        prompts.queueInput(e);
    main_frm lock(db);
    return lock.Lock_Click();
}

} // namespace

class PasswordAtRest : public QObject {
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<bool>("opens");
        const QString hash = hashPassword(QStringLiteral("茶Tea 123"));
        QTest::newRow("hash, right") << QVariant(hash) << QStringLiteral("茶Tea 123") << true;
        QTest::newRow("hash, other case") << QVariant(hash) << QStringLiteral("茶tea 123") << false;
        QTest::newRow("hash, empty entry") << QVariant(hash) << QString() << false;
        QTest::newRow("hash, the hash itself") << QVariant(hash) << hash << false;
        QTest::newRow("hash of empty, empty entry") << QVariant(hashPassword(QString())) << QString() << true;
        QTest::newRow("legacy, exact") << QVariant(QStringLiteral("Abc")) << QStringLiteral("Abc") << true;
        QTest::newRow("legacy, other case") << QVariant(QStringLiteral("Abc")) << QStringLiteral("abc") << false;
        QTest::newRow("legacy, trailing space") << QVariant(QStringLiteral("Abc")) << QStringLiteral("Abc ") << false;
        QTest::newRow("legacy empty, empty entry") << QVariant(QString(u""_qs)) << QString() << true;
        QTest::newRow("missing") << QVariant(QMetaType(QMetaType::QString)) << QString() << false;
        QTest::newRow("damaged hash") << QVariant(hash.left(40)) << QStringLiteral("茶Tea 123") << false;
    }
    void matching()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, entered);
        QFETCH(bool, opens);
        QCOMPARE(passwordMatches(stored, entered), opens);
    }

    void newShopKeepsOnlyAHash()
    {
        TestShop shop(QStringLiteral("開門123"));
        const QString stored = shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")).toString();
        QVERIFY2(stored.startsWith(QLatin1String("$argon2id$")), qPrintable(stored));
        QVERIFY(!stored.contains(QStringLiteral("開門123")));

        PromptScope prompts;
        QVERIFY(
            !unlocks(shop.db(), {QStringLiteral("開門12"), QStringLiteral("開門1234"), QStringLiteral("x")}, *prompts));
        QVERIFY(prompts->ended());
        prompts->clear();
        QVERIFY(unlocks(shop.db(), {QStringLiteral("錯"), QStringLiteral("開門123")}, *prompts));
        QVERIFY(!prompts->ended());
    }

    // The shop notes whether its password is empty, so the lock screen can
    // refuse an empty entry without a hash check; where the note is missing
    // (a file made before it) the hash decides, as before.
    void emptyPasswordNote()
    {
        auto note = [](TestShop& s) {
            return s.scalar(QStringLiteral("SELECT 內容 FROM 設定表 WHERE 項目 = '密碼空白'"));
        };
        TestShop shop(QStringLiteral("x"));
        QCOMPARE(note(shop).toString(), QStringLiteral("0"));
        const QVariant hashOfX = shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表"));
        QVERIFY(!emptyEntryMayOpen(shop.db(), hashOfX));
        QVERIFY(emptyEntryMayOpen(shop.db(), QString())); // kept as typed: compared as it is

        QCOMPARE(admin({QStringLiteral("passwd"), shop.path()}, "\n").code, 1); // an empty one is refused
        QCOMPARE(note(shop).toString(), QStringLiteral("0"));
        // A shop may still hold an empty password set before that rule.
        shop.password(hashPassword(QString()));
        notePasswordEmpty(shop.db(), true);
        PromptScope prompts;
        QVERIFY(unlocks(shop.db(), {}, *prompts));
        QCOMPARE(prompts->shown().size(), 0); // opened without asking

        TestShop old{QString()};
        QCOMPARE(note(old).toString(), QStringLiteral("1"));
        old.exec(QStringLiteral("DELETE FROM 設定表 WHERE 項目 = '密碼空白'"));
        prompts->clear();
        QVERIFY(unlocks(old.db(), {}, *prompts));
    }

    void legacyPlainTextStillOpens()
    {
        TestShop shop;
        shop.password(QStringLiteral("OldPass"));
        PromptScope prompts;
        QVERIFY(!unlocks(shop.db(), {QStringLiteral("oldpass"), QStringLiteral("OLDPASS"), QStringLiteral("OldPass ")},
                         *prompts));
        prompts->clear();
        QVERIFY(unlocks(shop.db(), {QStringLiteral("OldPass")}, *prompts));
    }

    void adminPasswdReplacesThePassword()
    {
        TestShop shop;
        shop.password(QStringLiteral("legacy"));
        QCOMPARE(admin({QStringLiteral("passwd"), shop.path()}, "新的 pass\n").code, 0);
        const QString stored = shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")).toString();
        QVERIFY(isPasswordHash(stored));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 密碼表")).toInt(), 1);
        PromptScope prompts;
        QVERIFY(
            !unlocks(shop.db(), {QStringLiteral("legacy"), QStringLiteral("新的"), QStringLiteral("pass")}, *prompts));
        prompts->clear();
        QVERIFY(unlocks(shop.db(), {QStringLiteral("新的 pass")}, *prompts));

        // A shop whose password row went missing gets one.
        shop.exec(QStringLiteral("DELETE FROM 密碼表"));
        QCOMPARE(admin({QStringLiteral("passwd"), shop.path()}, "again\n").code, 0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 密碼表")).toInt(), 1);
        QVERIFY(passwordMatches(shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("again")));
    }

    void adminPasswdRefusesWithoutChanging()
    {
        TestShop shop;
        const QVariant before = shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表"));
        const Run missing = admin({QStringLiteral("passwd"), shop.folder() + QStringLiteral("/none.db")}, "x\n");
        QCOMPARE(missing.code, 1);
        QVERIFY2(missing.err.contains(QStringLiteral("找不到資料檔")), qPrintable(missing.err));
        QCOMPARE(admin({QStringLiteral("passwd"), shop.path()}, "").code, 1); // no password on stdin
        const Run empty = admin({QStringLiteral("passwd"), shop.path()}, "\n");
        QCOMPARE(empty.code, 1);
        QVERIFY2(empty.err.contains(QStringLiteral("密碼不可空白")), qPrintable(empty.err));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), before);
        QVERIFY_THROWS_EXCEPTION(Failure, storePassword(shop.db(), QString()));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), before);
    }

    // lumaro-admin user, step by step on one shop: each refusal gives its
    // text and a nonzero code, and the list reads back what was stored. The
    // shop's own password may not be one someone else signs in with either.
    void adminUserCommands()
    {
        TestShop shop(QStringLiteral("secret"));
        const QStringList db{QStringLiteral("--database"), shop.path()};
        struct Step {
            QStringList args;
            QByteArray input;
            int code;
            QString said;
        };
        const Step steps[] = {
            {texts({"user", "add", "阿美"}), "amy1\n", 0, QStringLiteral("已新增店員「阿美」")},
            {texts({"user", "add", "小王", "--role", "老闆"}), "wang1\n", 0, QStringLiteral("已新增老闆「小王」")},
            {texts({"user", "add", "阿美"}), "x1\n", 1, QStringLiteral("已經有名叫「阿美」的人員")},
            {texts({"user", "add", "小李"}), "amy1\n", 1, QStringLiteral("這個密碼已經有別人使用")},
            {texts({"user", "add", "小李"}), "\n", 1, QStringLiteral("密碼不可空白")},
            {texts({"user", "add", "小李", "--role", "老板"}), "lee1\n", 2, QStringLiteral("看不懂的角色：老板")},
            {texts({"user", "retire", "阿美", "--role", "老闆"}), {}, 2, QStringLiteral("--role 只用在 user add")},
            {texts({"user", "remove", "阿美"}), {}, 2, QStringLiteral("用法：lumaro-admin user add")},
            {texts({"passwd"}), "amy1\n", 1, QStringLiteral("這個密碼已經有別人使用")},
            {texts({"user", "passwd", "小王"}), "wang2\n", 0, QStringLiteral("已重設「小王」的密碼。")},
            {texts({"user", "passwd", "無名"}), "x2\n", 1, QStringLiteral("找不到名叫「無名」的人員。")},
            {texts({"user", "role", "小王", "店員"}), {}, 0, QStringLiteral("「小王」現在是店員。")},
            {texts({"user", "role", "老闆", "店員"}), {}, 1, QStringLiteral("商店至少要有一位在職的老闆")},
            {texts({"user", "retire", "老闆"}), {}, 1, QStringLiteral("商店至少要有一位在職的老闆")},
            {texts({"user", "retire", "阿美"}), {}, 0, QStringLiteral("已停用「阿美」。")},
            {texts({"user", "passwd", "阿美"}), "amy2\n", 1, QStringLiteral("「阿美」已經停用。")},
            {texts({"user", "list"}),
             {},
             0,
             QStringLiteral("編號\t姓名\t角色\t狀態\n1\t老闆\t老闆\t在職\n2\t阿美\t店員\t停用\n3\t小王\t店員\t在職\n")},
        };
        for (const Step& step : steps) {
            // passwd names the shop's file as it always has.
            const QStringList args =
                step.args + (step.args.first() == QLatin1String("passwd") ? QStringList{shop.path()} : db);
            const Run r = admin(args, step.input);
            QVERIFY2(r.code == step.code && r.said().contains(step.said),
                     qPrintable(args.join(QLatin1Char(' ')) + QStringLiteral(" → ") + r.said()));
        }
        Database& d = shop.db();
        QCOMPARE(people::signingIn(d, QStringLiteral("wang2"), false)->role, people::Role::Clerk);
        QVERIFY(!people::signingIn(d, QStringLiteral("amy1"), false));
        QVERIFY(passwordMatches(shop.scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("secret")));
    }

    void adminInitRefusesAnEmptyPassword()
    {
        if (TestShop::onPostgres())
            QSKIP("creates a shop file");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("new.db"));
        const Run r = admin({QStringLiteral("init"), file}, "\r\nsecond line\n");
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("密碼不可空白")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(file));
    }

    void shopFileIsOwnerOnly()
    {
        if (TestShop::onPostgres())
            QSKIP("a shop file only");
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("茶"), 1, 2, 3); // the -wal file exists now
        for (const QString& f : {shop.path(), QString(shop.path() + QStringLiteral("-wal"))}) {
            QVERIFY2(QFileInfo::exists(f), qPrintable(f));
            QCOMPARE(QFileInfo(f).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        }
    }

    // A server that wants a password gets it through the prompt, never from
    // the command line; a refused one is asked again, three times at most.
    void serverPasswordIsAsked()
    {
        const QString role = qEnvironmentVariable("LUMARO_TEST_PG_PASSWORD"); // user:password
        if (!TestShop::onPostgres() || role.isEmpty())
            QSKIP("needs the test server's password role");
        TestShop shop;
        // The role is another terminal's login: it works on the shop's tables,
        // the version table that opening reads among them.
        shop.exec(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO %1")
                      .arg(role.section(QLatin1Char(':'), 0, 0)));
        QUrl url(shop.path());
        url.setUserName(role.section(QLatin1Char(':'), 0, 0));
        const QString password = role.section(QLatin1Char(':'), 1);

        PromptScope prompts;
        prompts->queueInput(QStringLiteral("wrong"));
        prompts->queueInput(password);
        StartupOptions options;
        options.database = url.toString();
        std::unique_ptr<Database> db = openShop(options);
        QVERIFY(db);
        QCOMPARE(prompts->inputCount(), 2);
        QVERIFY(prompts->messages().isEmpty());

        prompts->clear(); // cancelled: a message, no shop
        QVERIFY(!openShop(options));
        QCOMPARE(prompts->inputCount(), 1);
        QCOMPARE(prompts->messages().size(), 1);
    }
};

QTEST_MAIN(PasswordAtRest)
#include "tst_password_at_rest.moc"
