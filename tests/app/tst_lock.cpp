#include "accounts/Money_frm.h"
#include "app/IdleLock.h"
#include "app/MDI_frm.h"
#include "app/main_frm.h"
#include "books/OrderStore.h"
#include "books/Settings.h"
#include "data/DataControl.h"
#include "reports/Receipt.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScopeGuard>
#include <QtTest>

using namespace lumaro;
using lumaro::test::PromptScope;
using lumaro::test::TestShop;
using lumaro::test::texts;

namespace {

const QString kPrompt = QStringLiteral("請輸入密碼以啟動系統");
const QString kPromptTitle = QStringLiteral("開啟系統");

// The points of a window's area (a 7 x 7 grid) where something other than the
// lock's cover is on top: what a person could read behind the prompt.
int uncoveredSpots(QWidget* window, const QRect& area)
{
    int spots = 0;
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j) {
            const QPoint p(area.left() + 1 + (area.width() - 3) * i / 6, area.top() + 1 + (area.height() - 3) * j / 6);
            const QWidget* top = window->childAt(p);
            if (!top || !top->objectName().startsWith(QStringLiteral("lockCover")))
                ++spots;
        }
    return spots;
}

// Answers the lock prompt, and first looks at what stands behind it.
class LookingPrompts : public ScriptedPrompts {
public:
    std::function<void()> look;
    QString input(const QString& prompt, const QString& title) override
    {
        if (look)
            look();
        return ScriptedPrompts::input(prompt, title);
    }
};

} // namespace

class LockTest : public QObject {
    Q_OBJECT
private slots:
    void entries_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("unlocked");
        QTest::addColumn<int>("promptsShown");
        QTest::newRow("right at once") << texts({"secret"}) << true << 1;
        QTest::newRow("two wrong, then right") << texts({"x", "Secret", "secret"}) << true << 3;
        QTest::newRow("three wrong") << texts({"a", "b", "c"}) << false << 3;
        QTest::newRow("three cancels") << texts({"", "", ""}) << false << 3;
        QTest::newRow("case differs") << texts({"SECRET", "Secret", "secreT"}) << false << 3;
        QTest::newRow("outer spaces count") << texts({" secret", "secret ", "secret\t"}) << false << 3;
        QTest::newRow("a fourth try is never offered") << texts({"a", "b", "c", "secret"}) << false << 3;
    }
    void entries()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, unlocked);
        QFETCH(int, promptsShown);
        TestShop shop;
        PromptScope prompts;
        for (const QString& t : typed)
            prompts->queueInput(t);

        MDI_frm window(shop.db());
        window.show();
        QCOMPARE(window.Form_Load(), unlocked);

        QCOMPARE(prompts->inputCount(), promptsShown);
        for (const auto& shown : prompts->shown()) {
            if (shown.kind == ScriptedPrompts::Kind::Input) {
                QCOMPARE(shown.text, kPrompt);
                QCOMPARE(shown.title, kPromptTitle);
            }
        }
        const auto messages = prompts->messages();
        if (unlocked) {
            QVERIFY(messages.isEmpty());
            QVERIFY(!prompts->ended());
            QVERIFY(!window.lockScreen()->isVisible());
        } else {
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0].text, QStringLiteral("密碼輸入錯誤"));
            QCOMPARE(messages[0].title, QStringLiteral("強制離開系統"));
            QCOMPARE(messages[0].buttons, Buttons::Ok);
            QCOMPARE(prompts->endCount(), 1);
        }
    }

    // Without input for the set wait the program locks; input keeps it open,
    // and nothing locks before the first unlock or while it is off.
    void idleLock()
    {
        TestShop shop;
        PromptScope prompts;
        prompts->queueInput(QStringLiteral("secret"));
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        QCOMPARE(window.idleLock()->wait(), 0); // off unless set

        window.idleLock()->setWait(300);
        for (int i = 0; i < 8; ++i) { // 800 ms of typing
            QTest::keyClick(&window, Qt::Key_Shift);
            QTest::qWait(100);
        }
        QCOMPARE(prompts->inputCount(), 1);

        prompts->queueInput(QStringLiteral("secret"));
        QTRY_COMPARE_WITH_TIMEOUT(prompts->inputCount(), 2, 3000);
        QVERIFY(!prompts->ended());

        window.idleLock()->setMinutes(0);
        QTest::qWait(500);
        QCOMPARE(prompts->inputCount(), 2);

        // The shop's setting is taken at every unlock.
        settings::set(shop.db(), settings::key::IdleLockMinutes, QStringLiteral("15"));
        prompts->queueInput(QStringLiteral("secret"));
        window.Lock_Click();
        QCOMPARE(window.idleLock()->wait(), 15 * 60 * 1000);
    }

    void emptyStoredPasswordOpensWithoutAsking()
    {
        TestShop shop{QString()};
        PromptScope prompts;
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        window.Lock_Click();
        QVERIFY(prompts->shown().isEmpty());
    }

    void nullStoredPasswordMatchesNothing()
    {
        TestShop shop;
        shop.password(QVariant());
        PromptScope prompts;
        for (int i = 0; i < 3; ++i)
            prompts->queueInput(QString());
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(!window.Form_Load());
        QCOMPARE(prompts->inputCount(), 3);
        QVERIFY(prompts->ended());
    }

    void passwordIsReadAfreshAtEveryComparison()
    {
        TestShop shop;
        PromptScope prompts;
        prompts->queueInput(QStringLiteral("secret"));
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        shop.password(QStringLiteral("新密碼"));
        prompts->queueInput(QStringLiteral("secret"));
        prompts->queueInput(QStringLiteral("新密碼"));
        window.Lock_Click();
        QCOMPARE(prompts->inputCount(), 3);
        QVERIFY(!prompts->ended());
    }

    void missingOrUnreadablePasswordEndsWithAMessage_data()
    {
        QTest::addColumn<QString>("sabotage");
        QTest::newRow("empty table") << "DELETE FROM 密碼表";
        QTest::newRow("no table") << "DROP TABLE 密碼表";
    }
    void missingOrUnreadablePasswordEndsWithAMessage()
    {
        QFETCH(QString, sabotage);
        TestShop shop;
        PromptScope prompts;
        MDI_frm window(shop.db());
        window.show();
        shop.exec(sabotage);
        QVERIFY(!window.Form_Load());
        QCOMPARE(prompts->inputCount(), 0);
        QCOMPARE(prompts->messages().size(), 1);
        QVERIFY(prompts->messages()[0].text.startsWith(QStringLiteral("無法讀取系統密碼")));
        QVERIFY(prompts->ended());
    }

    // Locked, by the menu or after the idle wait, nothing of the books can be
    // read: neither the open screens nor a receipt window. Unlocked, all is back.
    void lockCoversEveryWindow_data()
    {
        QTest::addColumn<bool>("idle");
        QTest::newRow("系統鎖定") << false;
        QTest::newRow("idle lock") << true;
    }
    void lockCoversEveryWindow()
    {
        QFETCH(bool, idle);
        TestShop shop;
        shop.tea(QStringLiteral("A1"), QStringLiteral("凍頂"), 100, 150, 10).balances(1000, 2000);
        const qlonglong order = shop.order(QStringLiteral("王小明"));
        shop.line(order, QStringLiteral("A1"), 2);
        OrderStore::settleOrder(shop.db(), order);
        LookingPrompts prompts;
        setPrompts(&prompts);
        const auto unset = qScopeGuard([] { setPrompts(nullptr); });
        prompts.queueInput(QStringLiteral("secret"));
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        window.EditMoney_Click();
        QWidget* receipt = showReceipt(shop.db(), order, &window);
        auto* area = window.findChild<QMdiArea*>(QStringLiteral("mdiArea"));
        QMdiSubWindow* money = MDI_frm::subWindowOf(window.moneyScreen());
        QVERIFY(money->isMaximized());

        int looked = 0;
        prompts.look = [&] {
            ++looked;
            QCOMPARE(uncoveredSpots(&window, area->geometry()), 0);
            QCOMPARE(uncoveredSpots(receipt, receipt->rect()), 0);
            QVERIFY(receipt->isVisible()); // covered, not closed
        };
        prompts.queueInput(QStringLiteral("wrong"));
        prompts.queueInput(QStringLiteral("secret"));
        if (idle) {
            window.idleLock()->setWait(50);
            QTRY_COMPARE(looked, 2);
            QTRY_VERIFY(window.idleLock()->wait() == 0); // afterUnlock took the shop's setting again
        } else {
            window.Lock_Click();
        }
        QCOMPARE(looked, 2);
        QVERIFY(!prompts.ended());
        QVERIFY(window.findChildren<QWidget*>(QStringLiteral("lockCover")).isEmpty());
        QVERIFY(receipt->findChildren<QWidget*>(QStringLiteral("lockCover")).isEmpty());
        QVERIFY(money->isVisible() && money->isMaximized());
        QCOMPARE(area->activeSubWindow(), money);
        QVERIFY(uncoveredSpots(receipt, receipt->rect()) > 0);
    }

    void lockScreenLayout()
    {
        TestShop shop;
        PromptScope prompts;
        prompts->queueInput(QStringLiteral("secret"));
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        main_frm* lock = window.lockScreen();
        auto* logo = lock->findChild<QLabel*>(QStringLiteral("logo"));
        QVERIFY(logo);
        QCOMPARE(logo->pixmap().size(), QSize(329, 209));
        QCOMPARE(logo->size(), QSize(329, 209));
        QCOMPARE(lock->windowTitle(), QStringLiteral("Lumaro"));
        // The offscreen screen is 800 x 800: the window takes three quarters of
        // it, and the logo sits near its lower right corner.
        QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(800, 800));
        QCOMPARE(logo->pos(), QPoint(238, 324));
    }
};

QTEST_MAIN(LockTest)
#include "tst_lock.moc"
