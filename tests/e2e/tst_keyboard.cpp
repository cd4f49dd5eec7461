// The screens driven from the keyboard alone: Tab leaves every grid, the
// arrows move its row, Ctrl+F finds a tea or an order, and an order is
// checked out without the mouse.

#include "app/MDI_frm.h"
#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>

using namespace lumaro;
using namespace lumaro::test;

namespace {

struct Shop {
    TestShop shop;
    PromptScope prompts;
    std::unique_ptr<MDI_frm> mdi;
    qlonglong first = 0, second = 0;

    Shop()
    {
        shop.balances(1000, 0);
        shop.tea(QStringLiteral("A01"), QStringLiteral("凍頂烏龍"), 100, 200, 10)
            .tea(QStringLiteral("A02"), QStringLiteral("東方美人"), 300, 450, 5)
            .tea(QStringLiteral("B01"), QStringLiteral("100%_純烏龍"), 50, 80, 20)
            .tea(QStringLiteral("C01"), QStringLiteral("四季春"), 40, 60, 30);
        first = shop.order(QStringLiteral("王小明"), QStringLiteral("0912-345-678"));
        second = shop.order(QStringLiteral("陳美玲"), QStringLiteral("台北市"));
        shop.line(first, QStringLiteral("A01"), 1);
        shop.line(first, QStringLiteral("C01"), 3);
        shop.line(second, QStringLiteral("A02"), 2);
        mdi = std::make_unique<MDI_frm>(shop.db());
        mdi->show();
        mdi->activateWindow();
        if (!QTest::qWaitForWindowActive(mdi.get()))
            qFatal("the main window never became active");
    }

    QWidget* open(const QString& menuItem)
    {
        mdi->findChild<QAction*>(menuItem)->trigger();
        QApplication::processEvents();
        QWidget* screen = mdi->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow()->widget();
        return screen;
    }
};

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void addGridRows()
{
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QString>("grid");
    QTest::newRow("catalogue") << QStringLiteral("EditTea") << QStringLiteral("grdDataGrid");
    QTest::newRow("stock") << QStringLiteral("StoreTea") << QStringLiteral("grdDataGrid");
    QTest::newRow("orders") << QStringLiteral("EditOrder") << QStringLiteral("grdDataGrid");
    QTest::newRow("order lines") << QStringLiteral("EditOrder") << QStringLiteral("DataGrid1");
    QTest::newRow("order teas") << QStringLiteral("EditOrder") << QStringLiteral("DataGrid2");
}

} // namespace

class tst_keyboard : public QObject {
    Q_OBJECT

private slots:
    void tabLeavesTheGridAndArrowsMoveTheRow_data() { addGridRows(); }
    void tabLeavesTheGridAndArrowsMoveTheRow()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, grid);
        Shop s;
        QWidget* screen = s.open(menuItem);
        auto* g = control<DataGrid>(screen, qPrintable(grid));
        g->setFocus(Qt::OtherFocusReason);
        g->selectRow(0);
        DataControl* rows = g->dataControl();
        QCOMPARE(rows->currentRow(), 0);

        press(Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != g);
        QCOMPARE(rows->currentRow(), 0);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), g);
        QCOMPARE(rows->currentRow(), 0);

        press(Qt::Key_Down);
        QCOMPARE(rows->currentRow(), 1);
        press(Qt::Key_Up);
        QCOMPARE(rows->currentRow(), 0);
    }

    // The order chosen with the arrows is the one checked out, however many
    // Tabs it takes to reach 結 帳.
    void aKeyboardOnlyCheckoutSettlesTheChosenOrder()
    {
        Shop s;
        OrderScreen o(*static_cast<Order_frm*>(s.open(QStringLiteral("EditOrder"))));
        o.grdDataGrid->setFocus(Qt::TabFocusReason);
        o.grdDataGrid->selectRow(0);
        press(Qt::Key_Down);
        QCOMPARE(o.datPrimaryRS->field(0).toLongLong(), s.second);
        for (int i = 0; i < 20 && QApplication::focusWidget() != o.Command3; ++i)
            press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), o.Command3);

        s.prompts->queueAnswer(Answer::Yes);
        press(Qt::Key_Space);
        QCOMPARE(s.prompts->messages().size(), 1);
        QVERIFY(s.prompts->messages()[0].text.contains(QStringLiteral("東方美人")));
        QCOMPARE(
            s.shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {s.second}).toInt(), 1);
        QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {s.first}).toInt(),
                 0);
    }

    void findSelectsTheMatchesInTurn_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found"); // first, then after each Enter
        const QStringList oolong{QStringLiteral("A01"), QStringLiteral("B01"), QStringLiteral("A01")};
        QTest::newRow("catalogue, part of a name")
            << QStringLiteral("EditTea") << QStringLiteral("grdDataGrid") << QStringLiteral("烏龍") << oolong;
        QTest::newRow("stock, number, any case")
            << QStringLiteral("StoreTea") << QStringLiteral("grdDataGrid") << QStringLiteral("a0")
            << QStringList{QStringLiteral("A01"), QStringLiteral("A02"), QStringLiteral("A01")};
        QTest::newRow("order teas, % is no wildcard")
            << QStringLiteral("EditOrder") << QStringLiteral("DataGrid2") << QStringLiteral("0%_")
            << QStringList{QStringLiteral("B01"), QStringLiteral("B01")};
        QTest::newRow("orders, customer")
            << QStringLiteral("EditOrder") << QStringLiteral("grdDataGrid") << QStringLiteral("美玲")
            << QStringList{QStringLiteral("2"), QStringLiteral("2")};
        QTest::newRow("orders, contact") << QStringLiteral("EditOrder") << QStringLiteral("grdDataGrid")
                                         << QStringLiteral("0912")
                                         << QStringList{QStringLiteral("1"), QStringLiteral("1")};
    }

    void findSelectsTheMatchesInTurn()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, grid);
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        Shop s;
        QWidget* screen = s.open(menuItem);
        auto* g = control<DataGrid>(screen, qPrintable(grid));
        g->setFocus(Qt::OtherFocusReason);
        g->selectRow(g->dataControl()->recordCount() - 1);

        press(Qt::Key_F, Qt::ControlModifier);
        auto* box = control<QLineEdit>(g, "findText");
        QCOMPARE(QApplication::focusWidget(), box);
        typeText(box, typed);
        for (int i = 0; i < found.size(); ++i) {
            if (i > 0)
                press(Qt::Key_Return);
            QCOMPARE(g->dataControl()->field(0).toString(), found[i]);
            QCOMPARE(g->currentDataRow(), g->dataControl()->currentRow());
        }
        const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS");
        if (!pictures.isEmpty() && menuItem == QLatin1String("EditTea"))
            s.mdi->grab().save(QDir(pictures).filePath(QStringLiteral("find.png")));
        // The screen follows the found row as it follows a click.
        if (menuItem == QLatin1String("EditTea"))
            QCOMPARE(control<QLineEdit>(screen, "txtFields_0")->text(), found.last());
        if (grid == QLatin1String("grdDataGrid") && menuItem == QLatin1String("EditOrder"))
            QCOMPARE(OrderScreen(*s.mdi->orderScreen()).Adodc1->parameters().value(0).toString(), found.last());

        typeText(box, QStringLiteral("不存在"));
        QCOMPARE(control<QLabel>(g, "findNote")->text(), QStringLiteral("找不到"));
        QCOMPARE(g->dataControl()->field(0).toString(), found.last());
        press(Qt::Key_Escape);
        QVERIFY(!box->isVisible());
        QCOMPARE(QApplication::focusWidget(), g);
    }

    // A tea past the rows the list has read so far is shown, by its number or
    // its name, not reported missing. One a little past them is read up to;
    // one far past them opens the list at it, and the rows before come back
    // as it scrolls up.
    void findReadsOnToATeaOrOpensTheListAtIt()
    {
        Shop s;
        const int teas = 1500;
        for (int i = 1; i <= teas; ++i)
            s.shop.tea(QStringLiteral("Z%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("高山茶 %1 號").arg(i), 10,
                       20, 1);
        QWidget* screen = s.open(QStringLiteral("EditTea"));
        auto* g = control<DataGrid>(screen, "grdDataGrid");
        DataControl* c = g->dataControl();
        QVERIFY(c->rowCount() < 100);
        g->setFocus(Qt::OtherFocusReason);
        press(Qt::Key_F, Qt::ControlModifier);
        auto* box = control<QLineEdit>(g, "findText");
        // the tea, its place among all the rows, and at most how many are held
        for (const auto& [typed, tea, place, held] :
             {std::tuple{"z0300", "Z0300", 304, 400}, std::tuple{"z1500", "Z1500", 1504, 200},
              std::tuple{"茶 299 號", "Z0299", 303, 200}}) {
            box->clear();
            box->insert(QString::fromUtf8(typed)); // pasted whole
            QCOMPARE(control<QLabel>(g, "findNote")->text(), QString());
            QCOMPARE(c->field(0).toString(), QString::fromUtf8(tea));
            QCOMPARE(c->absolutePosition(), place);
            QCOMPARE(c->recordCount(), teas + 4);
            QVERIFY2(c->rowCount() <= held, qPrintable(QString::number(c->rowCount())));
            QCOMPARE(g->currentDataRow(), c->currentRow());
            QCOMPARE(control<QLineEdit>(screen, "txtFields_0")->text(), QString::fromUtf8(tea));
        }
        // Scrolled to the top, the rows before the first held come in above
        // it, and the current tea keeps its place.
        press(Qt::Key_Escape);
        const int heldBefore = c->rowCount();
        g->verticalScrollBar()->setValue(0);
        QVERIFY(c->rowCount() > heldBefore);
        QCOMPARE(c->field(0).toString(), QStringLiteral("Z0299"));
        QCOMPARE(c->absolutePosition(), 303);
        QCOMPARE(g->currentDataRow(), c->currentRow());
        for (int page = 0; page < 10 && c->canFetchBefore(); ++page) // 5 pages are left
            g->verticalScrollBar()->setValue(0);
        QCOMPARE(c->value(0, 0).toString(), QStringLiteral("A01"));
        QCOMPARE(c->absolutePosition(), 303);
        // Ctrl+Home after a jump far on goes to the first tea, and the
        // screen's boxes follow.
        press(Qt::Key_F, Qt::ControlModifier);
        box->clear();
        box->insert(QStringLiteral("z1500"));
        QCOMPARE(c->absolutePosition(), 1504);
        press(Qt::Key_Escape);
        press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(c->field(0).toString(), QStringLiteral("A01"));
        QCOMPARE(c->absolutePosition(), 1);
        QCOMPARE(control<QLineEdit>(screen, "txtFields_0")->text(), QStringLiteral("A01"));
    }

    void addPutsTheFocusInTheNumber()
    {
        Shop s;
        QWidget* screen = s.open(QStringLiteral("EditTea"));
        QTest::mouseClick(control<QPushButton>(screen, "cmdAdd"), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), control<QWidget>(screen, "txtFields_0"));
        QCOMPARE(control<QLineEdit>(screen, "txtFields_0")->text(), QString());
    }
};

QTEST_MAIN(tst_keyboard)
#include "tst_keyboard.moc"
