// What a 店員 may do at the real screens, and what needs a 老闆's password:
// every action only a 老闆 may take, tried by the owner, and by a clerk who
// cancels, types a wrong password, or has the owner type theirs. The refused
// ones must store nothing; the allowed ones must name both on the journal.

#include "accounts/Money_frm.h"
#include "books/OrderStore.h"
#include "books/People.h"
#include "books/Settings.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "catalogue/WriteOffWindow.h"
#include "data/Schema.h"
#include "forms/OwnerApproval.h"
#include "reports/DayReport_frm.h"
#include "reports/Return_frm.h"
#include "reports/SalesHistory_frm.h"
#include "reports/Settings_frm.h"
#include "support/Controls.h"
#include "support/TestShop.h"

#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;
using people::Right;

namespace {

// A shop with one sale of today, a 老闆 and a 店員. Tea 0, never sold, comes
// first in the catalogue: the one its screen edits.
struct Counter {
    TestShop shop;
    PromptScope prompts;
    people::Person owner, clerk;
    qlonglong order = 0;
    QList<QPointer<QWidget>> screens; // dialogs delete themselves once done

    Counter()
    {
        shop.balances(1000, 500)
            .tea(QStringLiteral("0"), QStringLiteral("試喝包"), 10, 20, 5)
            .tea(QStringLiteral("A"), QStringLiteral("凍頂烏龍"), 60, 100, 10)
            .tea(QStringLiteral("B"), QStringLiteral("文山包種"), 40, 70, 10);
        order = shop.order(QStringLiteral("王小明"));
        shop.line(order, QStringLiteral("A"), 2);
        OrderStore::settleOrder(shop.db(), order);
        owner = people::active(shop.db()).value(0);
        clerk = people::add(shop.db(), QStringLiteral("阿美"), people::Role::Clerk, QStringLiteral("amy1"));
    }
    ~Counter()
    {
        qDeleteAll(screens);
        people::signIn(shop.db(), people::Person{});
    }

    template <class Screen, class... Args>
    Screen* open(Args&&... args)
    {
        auto* s = new Screen(shop.db(), std::forward<Args>(args)...);
        screens << s;
        s->show();
        return s;
    }
    qlonglong lastRow() { return shop.scalar(QStringLiteral("SELECT MAX(日誌編號) FROM 帳務日誌表")).toLongLong(); }
};

void typeOver(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

struct Action {
    const char* name;
    Right right;
    bool move; // writes journal rows
    std::function<void(Counter&)> act;
    std::function<bool(Counter&)> done;
};

QList<Action> actions()
{
    return {
        {"price", Right::EditPrices, false,
         [](Counter& c) {
             auto* f = c.open<TeaKind_frm>();
             typeOver(control<QLineEdit>(f, "txtFields_3"), QStringLiteral("120"));
             control<QPushButton>(f, "cmdUpdate")->click();
         },
         [](Counter& c) {
             return c.shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號 = '0'")).toDouble() == 120;
         }},
        {"renumber", Right::DeleteTea, true,
         [](Counter& c) {
             auto* f = c.open<TeaKind_frm>();
             typeOver(control<QLineEdit>(f, "txtFields_0"), QStringLiteral("09"));
             control<QPushButton>(f, "cmdUpdate")->click();
         },
         [](Counter& c) {
             return c.shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 茶葉資料表 WHERE 編號 = '09'")).toInt() == 1;
         }},
        {"delete", Right::DeleteTea, true,
         [](Counter& c) { control<QPushButton>(c.open<TeaKind_frm>(), "cmdDelete")->click(); },
         [](Counter& c) { return c.shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 茶葉資料表")).toInt() == 2; }},
        {"return", Right::ReturnOrVoid, true,
         [](Counter& c) {
             auto* d = c.open<Return_frm>(c.order);
             control<QLineEdit>(d, "txtQty_0")->setText(QStringLiteral("1"));
             control<QLineEdit>(d, "txtReason")->setText(QStringLiteral("受潮"));
             control<QPushButton>(d, "cmdOk")->click();
         },
         [](Counter& c) { return c.shop.stock(QStringLiteral("A")) == 9; }},
        {"void", Right::ReturnOrVoid, true,
         [](Counter& c) { control<QPushButton>(c.open<SalesHistory_frm>(), "cmdVoid")->click(); },
         [](Counter& c) { return c.shop.stock(QStringLiteral("A")) == 10; }},
        {"cash count", Right::Adjust, true,
         [](Counter& c) {
             auto* f = c.open<DayReport_frm>();
             control<QLineEdit>(f, "txtCounted")->setText(QStringLiteral("1190"));
             control<QLineEdit>(f, "txtReason")->setText(QStringLiteral("多找"));
             control<QPushButton>(f, "cmdAdjust")->click();
         },
         [](Counter& c) { return c.shop.cash() == 1190; }},
        {"write-off", Right::Adjust, true,
         [](Counter& c) {
             auto* w = showWriteOff(c.shop.db(), QStringLiteral("B"), nullptr);
             c.screens << w;
             control<QLineEdit>(w, "txtQuantity")->setText(QStringLiteral("1"));
             control<QPushButton>(w, "cmdWriteOff")->click();
         },
         [](Counter& c) { return c.shop.stock(QStringLiteral("B")) == 9; }},
        {"deposit", Right::Transfer, true,
         [](Counter& c) {
             auto* f = c.open<Money_frm>();
             control<QLineEdit>(f, "temp_money")->setText(QStringLiteral("100"));
             control<QPushButton>(f, "bank_cmd")->click();
         },
         [](Counter& c) { return c.shop.bank() == 600; }},
        {"settings", Right::Settings, false,
         [](Counter& c) {
             auto* f = c.open<Settings_frm>();
             control<QLineEdit>(f, "txtShopName")->setText(QStringLiteral("山嵐茶行"));
             control<QPushButton>(f, "cmdSave")->click();
         },
         [](Counter& c) { return settings::get(c.shop.db(), settings::key::ShopName) == QStringLiteral("山嵐茶行"); }},
        {"export", Right::Export, false,
         [](Counter& c) {
             c.prompts->queueSaveFile(c.shop.folder() + QStringLiteral("/日誌.csv"));
             control<QPushButton>(c.open<DayReport_frm>(), "cmdExport")->click();
         },
         [](Counter& c) { return QFile::exists(c.shop.folder() + QStringLiteral("/日誌.csv")); }},
    };
}

enum class Who { Owner, ClerkCancels, ClerkWrong, ClerkWithOwner };

} // namespace

class Roles : public QObject {
    Q_OBJECT

private slots:
    void ownerOnlyActions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<Who>("who");
        const QList<Action> all = actions();
        for (int i = 0; i < all.size(); ++i)
            for (const auto& [who, name] : {std::pair{Who::Owner, "owner"},
                                            {Who::ClerkCancels, "clerk cancels"},
                                            {Who::ClerkWrong, "clerk, wrong password"},
                                            {Who::ClerkWithOwner, "clerk, owner's password"}})
                QTest::addRow("%s, %s", all[i].name, name) << i << who;
    }

    void ownerOnlyActions()
    {
        QFETCH(int, action);
        QFETCH(Who, who);
        const Action a = actions()[action];
        Counter c;
        const qlonglong before = c.lastRow();
        people::signIn(c.shop.db(), who == Who::Owner ? c.owner : c.clerk);
        if (who == Who::ClerkWrong)
            c.prompts->queueInput(QStringLiteral("amy1")); // a clerk's own password allows nothing
        if (who == Who::ClerkWithOwner)
            c.prompts->queueInput(QStringLiteral("secret"));
        a.act(c);

        const bool asked = c.prompts->inputCount() > 0;
        QCOMPARE(asked, who != Who::Owner);
        for (const auto& s : c.prompts->shown())
            if (s.kind == ScriptedPrompts::Kind::Input)
                QCOMPARE(s.title, ownerPasswordTitle());
        const bool toldWrong = std::any_of(c.prompts->shown().cbegin(), c.prompts->shown().cend(),
                                           [](const auto& s) { return s.text == wrongOwnerPasswordText(); });
        QCOMPARE(toldWrong, who == Who::ClerkWrong);
        const bool shouldBeDone = who == Who::Owner || who == Who::ClerkWithOwner;
        QCOMPARE(a.done(c), shouldBeDone);
        if (!shouldBeDone)
            QCOMPARE(c.lastRow(), before);
        // The owner allowed one action: the terminal is the clerk's again.
        QVERIFY(!people::approver());
        QCOMPARE(people::allowed(a.right), who == Who::Owner);
        if (who == Who::ClerkWithOwner && a.move) {
            const auto rows =
                c.shop.rows(QStringLiteral("SELECT 人員, 核准 FROM 帳務日誌表 WHERE 日誌編號 > ?"), {before});
            QVERIFY(!rows.isEmpty());
            for (const QVariantList& r : rows)
                QCOMPARE((QVariantList{r[0].toLongLong(), r[1].toLongLong()}), (QVariantList{c.clerk.id, c.owner.id}));
        }
    }

    // A 店員's own work is never held up for the owner: selling and buying stock.
    void clerkSellsAndBuysUnasked()
    {
        Counter c;
        people::signIn(c.shop.db(), c.clerk);
        const qlonglong sale = c.shop.order(QStringLiteral("陳美玲"));
        c.shop.line(sale, QStringLiteral("B"), 1);
        OrderStore::settleOrder(c.shop.db(), sale);
        auto* stock = c.open<TeaStock_frm>();
        typeOver(control<QLineEdit>(stock, "Money"), QStringLiteral("2"));
        control<QPushButton>(stock, "Buy")->click();
        QCOMPARE(c.prompts->inputCount(), 0);
        QCOMPARE(c.shop.stock(QStringLiteral("0")), 7.0);
        QCOMPARE(c.shop.stock(QStringLiteral("B")), 9.0);
        QVERIFY(c.shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 帳務日誌表 WHERE 人員 = ?"), {c.clerk.id}).toInt() >
                0);
        QCOMPARE(c.shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 帳務日誌表 WHERE 核准 IS NOT NULL")).toInt(), 0);
    }
};

QTEST_MAIN(Roles)
#include "tst_roles.moc"
