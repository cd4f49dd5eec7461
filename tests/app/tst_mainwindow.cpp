#include "accounts/Money_frm.h"
#include "app/MDI_frm.h"
#include "app/main_frm.h"
#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/Moves.h"
#include "books/People.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "orders/Order_frm.h"
#include "reports/People_frm.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QtTest>

using namespace lumaro;
using lumaro::test::PromptScope;
using lumaro::test::TestShop;
using lumaro::test::texts;

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestShop> shop;
    std::unique_ptr<PromptScope> prompts;
    std::unique_ptr<MDI_frm> window;

    QAction* item(const QString& name) { return window->findChild<QAction*>(name); }
    QAction* item(const char* name) { return item(QLatin1String(name)); }

private slots:
    void init()
    {
        shop = std::make_unique<TestShop>();
        prompts = std::make_unique<PromptScope>();
        (*prompts)->queueInput(QStringLiteral("secret"));
        window = std::make_unique<MDI_frm>(shop->db());
        window->showMaximized();
        QVERIFY(window->Form_Load());
        (*prompts)->clear();
    }
    void cleanup()
    {
        people::signIn(shop->db(), people::Person{});
        window.reset();
        prompts.reset();
        shop.reset();
    }

    void captionColourAndMenus()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Lumaro"));
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->background().color(), QColor(255, 255, 192));
        QStringList tops;
        for (QAction* a : window->menuBar()->actions())
            tops << a->text();
        QCOMPARE(tops, texts({"系統管理(&S)", "訂單管理(&O)", "茶葉管理(&T)", "會計系統(&M)", "報表(&R)", "庫存(&K)",
                              "人員(&P)", "說明(&H)"}));

        struct Item {
            const char* menu;
            QStringList names;
            QStringList captions;
        };
        const QList<Item> items = {
            {"System", texts({"Lock", "z", "Exit"}), texts({"系統鎖定", "", "離開系統"})},
            {"Order", texts({"EditOrder"}), texts({"編輯訂單"})},
            {"Tea", texts({"EditTea", "StoreTea"}), texts({"編輯茶葉種類", "茶頁庫存管理"})},
            {"Money", texts({"EditMoney"}), texts({"帳款管理"})},
            {"Report",
             texts({"SalesHistory", "DayReport", "LowStock", "Losses", "", "ExportCatalogue", "", "SystemSettings"}),
             texts({"銷售紀錄", "日結", "低庫存", "損耗報表", "", "匯出茶葉資料 CSV…", "", "系統設定"})},
            {"Stock", texts({"StockCount", "WriteOff"}), texts({"盤點庫存", "報廢…"})},
            {"People", texts({"EditPeople"}), texts({"人員管理"})},
            {"Help", texts({"UserGuide", "About"}), texts({"使用說明", "關於 Lumaro"})},
        };
        for (const Item& i : items) {
            auto* menu = window->findChild<QMenu*>(QString::fromLatin1(i.menu));
            QVERIFY2(menu, i.menu);
            QStringList names, captions;
            for (QAction* a : menu->actions()) {
                names << a->objectName();
                captions << a->text();
                QVERIFY(a->shortcut().isEmpty());
                QVERIFY(a->isEnabled() && a->isVisible() && !a->isChecked());
            }
            QCOMPARE(names, i.names);
            QCOMPARE(captions, i.captions);
        }
        QVERIFY(item("z")->isSeparator());
    }

    // 說明: the guide the package ships (found here beside the sources), and
    // which program, shop and data version this is.
    void helpMenu()
    {
        item("UserGuide")->trigger();
        item("UserGuide")->trigger();
        const QList<QTextBrowser*> guides = window->findChildren<QTextBrowser*>(QStringLiteral("txtGuide"));
        QCOMPARE(guides.size(), 1);
        QVERIFY(guides[0]->toPlainText().startsWith(QStringLiteral("Lumaro 茶行管理 使用說明")));
        QVERIFY(guides[0]->isReadOnly() && guides[0]->isVisible());
        QVERIFY((*prompts)->messages().isEmpty());

        item("About")->trigger();
        QCOMPARE((*prompts)->messages().size(), 1);
        const auto about = (*prompts)->messages().constFirst();
        QCOMPARE(about.title, QStringLiteral("關於 Lumaro"));
        const QString where = Database::isPostgresUrl(shop->path()) ? QUrl(shop->path()).host() : shop->path();
        QVERIFY2(about.text.contains(where) &&
                     about.text.contains(QStringLiteral("資料版本：%1").arg(schema::CurrentVersion)),
                 qPrintable(about.text));
    }

    void eachScreenOpensOnceMaximised_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("caption");
        QTest::newRow("orders") << "EditOrder"
                                << "Order_frm"
                                << "訂單資料表";
        QTest::newRow("catalogue") << "EditTea"
                                   << "TeaKind_frm"
                                   << "茶葉資料表";
        QTest::newRow("stock") << "StoreTea"
                               << "TeaStock_frm"
                               << "茶葉資料表";
        QTest::newRow("money") << "EditMoney"
                               << "Money_frm"
                               << "帳款管理";
        QTest::newRow("stock count") << "StockCount"
                                     << "StockCount_frm"
                                     << "盤點庫存";
        QTest::newRow("losses") << "Losses"
                                << "Losses_frm"
                                << "損耗報表";
        QTest::newRow("people") << "EditPeople"
                                << "People_frm"
                                << "人員管理";
    }
    void eachScreenOpensOnceMaximised()
    {
        QFETCH(QString, action);
        QFETCH(QString, screen);
        QFETCH(QString, caption);
        item(action)->trigger();
        auto* first = window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->findChild<QWidget*>(screen);
        QVERIFY(first);
        QCOMPARE(first->windowTitle(), caption);
        QMdiSubWindow* sub = MDI_frm::subWindowOf(first);
        QVERIFY(sub->isMaximized());
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow(), sub);

        item(action)->trigger();
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->findChildren<QWidget*>(screen).size(), 1);
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->findChild<QWidget*>(screen), first);
        QVERIFY(prompts->get()->shown().isEmpty());
    }

    void closedScreenIsLoadedAfresh()
    {
        item("EditTea")->trigger();
        QPointer<TeaKind_frm> first = window->teaKindScreen();
        QVERIFY(first);
        MDI_frm::subWindowOf(first)->close();
        QTRY_VERIFY(first.isNull());
        QVERIFY(!window->teaKindScreen());
        item("EditTea")->trigger();
        QVERIFY(window->teaKindScreen());
        QVERIFY(MDI_frm::subWindowOf(window->teaKindScreen())->isMaximized());
    }

    void severalScreensStayOpen()
    {
        item("EditTea")->trigger();
        item("EditOrder")->trigger();
        item("EditMoney")->trigger();
        QVERIFY(window->teaKindScreen() && window->orderScreen() && window->moneyScreen());
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow(),
                 MDI_frm::subWindowOf(window->moneyScreen()));
    }

    void lockKeepsOpenScreens()
    {
        item("EditTea")->trigger();
        item("EditOrder")->trigger();
        QPointer<TeaKind_frm> tea = window->teaKindScreen();
        QPointer<Order_frm> orders = window->orderScreen();
        QMdiSubWindow* active = window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow();

        (*prompts)->queueInput(QStringLiteral("wrong"));
        (*prompts)->queueInput(QStringLiteral("secret"));
        item("Lock")->trigger();
        QCOMPARE((*prompts)->inputCount(), 2);
        QVERIFY(!(*prompts)->ended());
        QVERIFY(tea && orders);
        QVERIFY(tea->isVisible() && orders->isVisible());
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow(), active);
        QVERIFY(!window->lockScreen()->isVisible()); // the lock screen itself stays hidden
    }

    // Who is working reads beside the menus once the shop has a second
    // person; the title and the room for the screens stay as they were. A
    // 店員 reaches 人員管理, and each change there, only with an owner's
    // password.
    void signedInPersonBesideTheMenus()
    {
        auto* label = window->findChild<QLabel*>(QStringLiteral("lblPerson"));
        QVERIFY(label && !label->isVisible());
        const QSize room = window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->size();
        people::add(shop->db(), QStringLiteral("阿美"), people::Role::Clerk, QStringLiteral("amy1"));
        (*prompts)->queueInput(QStringLiteral("amy1"));
        item("Lock")->trigger();
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("目前人員：阿美（店員）"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Lumaro"));
        QCOMPARE(window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->size(), room);

        (*prompts)->queueInput(QStringLiteral("amy1"));
        item("EditPeople")->trigger();
        QVERIFY(!window->peopleScreen());
        QCOMPARE((*prompts)->messages().last().text, QStringLiteral("老闆密碼不正確，這個動作沒有執行。"));
        (*prompts)->queueInput(QStringLiteral("secret"));
        item("EditPeople")->trigger();
        People_frm* screen = window->peopleScreen();
        QVERIFY(screen);
        // Retired with the owner's password asked again: one active person
        // is left, and the label goes.
        screen->findChild<QTableWidget*>(QStringLiteral("grdPeople"))->setCurrentCell(1, 0);
        (*prompts)->queueInput(QStringLiteral("secret"));
        screen->findChild<QPushButton*>(QStringLiteral("cmdRetire"))->click();
        QVERIFY(people::active(shop->db()).size() == 1);
        QVERIFY(!label->isVisible());
    }

    void lockWithThreeWrongEndsTheProgram()
    {
        for (int i = 0; i < 3; ++i)
            (*prompts)->queueInput(QStringLiteral("no"));
        item("Lock")->trigger();
        QCOMPARE((*prompts)->endCount(), 1);
        QCOMPARE((*prompts)->messages().size(), 1);
    }

    // Today's backup is written behind the window: the shop takes a move
    // meanwhile, the status bar tells when the backup is done, and the backup
    // is a sound shop. A window closed while another backup runs leaves no
    // half-written file behind.
    void dailyBackupBehindTheWindow()
    {
        if (TestShop::onPostgres())
            QSKIP("pg_dump backs up a server");
        shop->balances(1000, 0);
        money::deposit(shop->db(), Money::fromUnits(1250000));
        if (window->backupRunning())
            QVERIFY(QSignalSpy(window.get(), &MDI_frm::backupFinished).wait(20000));
        QVERIFY(window->statusBar()->currentMessage().startsWith(QStringLiteral("今天的備份已完成：「")));
        QDir folder(QFileInfo(shop->path()).dir().filePath(QStringLiteral("backups")));
        const QStringList written = folder.entryList({QStringLiteral("*.db")}, QDir::Files);
        QCOMPARE(written.size(), 1);
        {
            auto copy = Database::openReadOnly(folder.filePath(written[0]));
            const ShopCheck c = checkShop(*copy);
            QVERIFY(c.clean());
        }
        QCOMPARE(moves::storedAccountRow(shop->db()).bank.toDouble(), 125.0);

        // Tomorrow's backup, the window closed as it starts.
        QVERIFY(folder.removeRecursively());
        window->afterUnlock();
        window.reset();
        const QStringList left = folder.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(left.filter(QStringLiteral(".backup-")).isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
        QVERIFY(shop->db().scalar(QStringLiteral("SELECT 1")).isValid());
    }

    void exitEndsAtOnceWithoutAsking()
    {
        item("EditOrder")->trigger();
        item("Exit")->trigger();
        QCOMPARE((*prompts)->endCount(), 1);
        QVERIFY((*prompts)->messages().isEmpty());
        QVERIFY((*prompts)->inputCount() == 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
