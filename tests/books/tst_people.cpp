// The people behind the counter: who may be added, who signs in with what,
// and that every journal row names who made it, on either database.
#include "base/Money.h"
#include "books/MoneyMoves.h"
#include "books/People.h"
#include "books/Shop.h"
#include "platform/Failure.h"
#include "support/TestShop.h"

#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;
using people::Role;

namespace {

// Signs the terminal out again whatever the test did.
struct SignOutAfter {
    Database& db;
    ~SignOutAfter() { people::signIn(db, people::Person{}); }
};

} // namespace

class PeopleTest : public QObject {
    Q_OBJECT

private slots:
    // Each change that would lose the shop its owner, or make a password tell
    // two people apart no more, is refused and changes nothing.
    void refusals()
    {
        TestShop shop(QStringLiteral("secret"));
        Database& db = shop.db();
        const people::Person owner = people::active(db).value(0);
        QCOMPARE(owner.name, QStringLiteral("老闆"));
        const people::Person amy = people::add(db, QStringLiteral("阿美"), Role::Clerk, QStringLiteral("amy1"));

        const std::function<void()> refused[] = {
            [&] { people::add(db, QStringLiteral(" 阿美 "), Role::Clerk, QStringLiteral("other")); },
            [&] { people::add(db, QStringLiteral("小王"), Role::Clerk, QStringLiteral("secret")); }, // the shop's
            [&] { people::add(db, QStringLiteral("小王"), Role::Clerk, QStringLiteral("amy1")); },   // 阿美's
            [&] { people::add(db, QStringLiteral("小王"), Role::Clerk, QString()); },
            [&] { people::add(db, QStringLiteral("  "), Role::Clerk, QStringLiteral("x1")); },
            [&] { people::setPassword(db, owner.id, QStringLiteral("amy1")); },
            [&] { people::setRole(db, owner.id, Role::Clerk); }, // the last owner
            [&] { people::retire(db, owner.id); },
        };
        for (const auto& change : refused)
            QVERIFY_THROWS_EXCEPTION(Failure, change());
        QCOMPARE(people::all(db).size(), 2);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 人員表 WHERE 角色 = '老闆' AND 停用 = 0")).toInt(),
                 1);

        // With a second owner the first may step down; a retired person keeps
        // their name in the history and can no longer sign in.
        people::setRole(db, amy.id, Role::Owner);
        people::setRole(db, owner.id, Role::Clerk);
        QVERIFY_THROWS_EXCEPTION(Failure, people::retire(db, amy.id)); // now the last owner
        people::retire(db, owner.id);
        QCOMPARE(people::nameOf(db, owner.id), QStringLiteral("老闆"));
        QVERIFY(!people::signingIn(db, QStringLiteral("secret"), true));
        QCOMPARE(people::signingIn(db, QStringLiteral("amy1"), false)->role, Role::Owner);
        QVERIFY_THROWS_EXCEPTION(Failure, people::setRole(db, owner.id, Role::Owner));
    }

    // The password typed tells who is working; the shop's own is its owner's.
    void signingIn()
    {
        TestShop shop(QStringLiteral("secret"));
        Database& db = shop.db();
        const people::Person amy = people::add(db, QStringLiteral("阿美"), Role::Clerk, QStringLiteral("amy1"));
        const people::Person wang = people::add(db, QStringLiteral("小王"), Role::Clerk, QStringLiteral("wang2"));
        struct Row {
            QString entered;
            bool shopPassword;
            QString who;
        };
        const Row rows[] = {
            {QStringLiteral("secret"), true, QStringLiteral("老闆")},
            {QStringLiteral("amy1"), false, QStringLiteral("阿美")},
            {QStringLiteral("wang2"), false, QStringLiteral("小王")},
            {QStringLiteral("Amy1"), false, QString()},
            {QStringLiteral("amy1 "), false, QString()},
            {QString(), false, QString()},
        };
        // Planted people: a password kept as typed, and a hash asking more than
        // the lock may spend, open nothing, and the others still sign in.
        shop.exec(QStringLiteral("INSERT INTO 人員表 (姓名, 角色, 密碼) VALUES ('闖入', '老闆', 'amy1'), "
                                 "('重擔', '老闆', '$argon2id$v=19$m=4194304,t=2,p=1$c2FsdHNhbHQ$aGFzaGhhc2g')"));
        for (const Row& r : rows) {
            const std::optional<people::Person> p = people::signingIn(db, r.entered, r.shopPassword);
            QCOMPARE(p ? p->name : QString(), r.who);
        }
        QVERIFY(!people::ownerWithPassword(db, QStringLiteral("amy1")));
        // A role changed on another terminal applies at the next sign-in.
        people::setRole(db, wang.id, Role::Owner);
        QVERIFY(people::ownerWithPassword(db, QStringLiteral("wang2")));
        QVERIFY(!people::ownerWithPassword(db, QStringLiteral("amy1")));
        QCOMPARE(people::ownerWithPassword(db, QStringLiteral("secret"))->name, QStringLiteral("老闆"));
        // A new password replaces the old one, and the shop's own stays in 密碼表.
        people::setPassword(db, amy.id, QStringLiteral("amy3"));
        QVERIFY(!people::signingIn(db, QStringLiteral("amy1"), false));
        QCOMPARE(people::signingIn(db, QStringLiteral("amy3"), false)->id, amy.id);
    }

    // Every row a terminal writes names who was signed in there, also the rows
    // the catalogue's own triggers write, and the owner who allowed it.
    void journalNamesWhoMadeEachRow()
    {
        TestShop shop(QStringLiteral("secret"));
        Database& db = shop.db();
        shop.tea(QStringLiteral("A1"), QStringLiteral("烏龍"), 100, 200, 5).balances(1000, 0);
        const people::Person amy = people::add(db, QStringLiteral("阿美"), Role::Clerk, QStringLiteral("amy1"));
        const people::Person owner = people::active(db).value(0);
        SignOutAfter signOut{db};
        people::signIn(db, amy);
        const QVariant before = shop.scalar(QStringLiteral("SELECT max(日誌編號) FROM 帳務日誌表"));

        money::purchase(db, QStringLiteral("A1"), Money::parse(QStringLiteral("2")));
        shop.exec(QStringLiteral("INSERT INTO 茶葉資料表 VALUES ('B2', '綠茶', 1, 2, 3)")); // the trigger's row
        // A clerk's adjustment is refused by the books, and nothing is written.
        const int rows = shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt();
        QVERIFY_THROWS_EXCEPTION(Failure, money::adjust(db, Money::parse(QStringLiteral("-5")), QStringLiteral("少")));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表")).toInt(), rows);
        {
            people::Approval allowed(db, owner);
            money::adjust(db, Money::parse(QStringLiteral("-5")), QStringLiteral("少"));
        }
        money::purchase(db, QStringLiteral("A1"), Money::parse(QStringLiteral("1")));
        // A second terminal with its own person signed in: each connection
        // names its own, whatever the other does meanwhile.
        const people::Person wang = people::add(db, QStringLiteral("小王"), Role::Clerk, QStringLiteral("wang2"));
        {
            std::unique_ptr<Database> other = openShop(shop.path());
            other->setJournalStamp(wang.id, QVariant());
            money::purchase(*other, QStringLiteral("A1"), Money::parse(QStringLiteral("1")));
        }

        const QList<QVariantList> stamped =
            shop.rows(QStringLiteral("SELECT 種類, 人員, 核准 FROM 帳務日誌表 WHERE 日誌編號 > ? ORDER BY 日誌編號"),
                      {before});
        const QList<QVariantList> expected = {
            {QStringLiteral("進貨"), amy.id, QVariant()},  {QStringLiteral("期初"), amy.id, QVariant()},
            {QStringLiteral("調整"), amy.id, owner.id},    {QStringLiteral("進貨"), amy.id, QVariant()},
            {QStringLiteral("進貨"), wang.id, QVariant()},
        };
        QVERIFY2(stamped.size() == expected.size(), qPrintable(QDebug::toString(stamped)));
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(stamped[i][0].toString(), expected[i][0].toString());
            QCOMPARE(stamped[i][1].toLongLong(), expected[i][1].toLongLong());
            QCOMPARE(stamped[i][2].isNull(), expected[i][2].isNull());
            if (!expected[i][2].isNull())
                QCOMPARE(stamped[i][2].toLongLong(), expected[i][2].toLongLong());
        }
    }
};

QTEST_GUILESS_MAIN(PeopleTest)
#include "tst_people.moc"
