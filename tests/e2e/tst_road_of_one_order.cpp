// One order from the menu to the cash: entered, given a line, checked out,
// and the cash raised by its total.

#include "accounts/Money_frm.h"
#include "app/MDI_frm.h"
#include "forms/BoundTextBox.h"
#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

using namespace lumaro;
using namespace lumaro::test;

class RoadOfOneOrder : public QObject {
    Q_OBJECT

private slots:
    void fromTheMenuToTheCash()
    {
        TestShop shop;
        PromptScope prompts;
        shop.balances(5000, 20000);
        shop.tea(QStringLiteral("T001"), QStringLiteral("凍頂烏龍茶"), 1200, 1800, 25)
            .tea(QStringLiteral("T002"), QStringLiteral("阿里山高山茶"), 1800, 2600, 18);
        const qlonglong earlier = shop.order(QStringLiteral("王小明"), QStringLiteral("0912-345-678"));
        shop.line(earlier, QStringLiteral("T001"), 1);

        MDI_frm mdi(shop.db());
        mdi.show();

        // Before the order: the cash and bank screen is already open, showing
        // the cash as it was.
        mdi.findChild<QAction*>(QStringLiteral("EditMoney"))->trigger();
        QVERIFY(mdi.moneyScreen());
        QCOMPARE(control<BoundTextBox>(mdi.moneyScreen(), "cash")->text(), QStringLiteral("5000"));

        // 1. The order screen opens maximised on the open orders.
        mdi.findChild<QAction*>(QStringLiteral("EditOrder"))->trigger();
        QVERIFY(mdi.orderScreen());
        QVERIFY(MDI_frm::subWindowOf(mdi.orderScreen())->isMaximized());
        const OrderScreen screen(*mdi.orderScreen());
        QCOMPARE(screen.datPrimaryRS->recordCount(), 1);

        // 2. A new order: customer and contact typed, then 更新.
        click(screen.cmdAdd);
        typeText(screen.custom, QStringLiteral("陳美玲"));
        typeText(screen.contact, QStringLiteral("台北市"));
        click(screen.cmdUpdate);
        const QVariant number =
            shop.scalar(QStringLiteral("SELECT 訂單編號 FROM 訂單資料表 WHERE 客戶名稱 = '陳美玲' AND 訂單狀態 = 0"));
        QVERIFY(!number.isNull());

        // 3. Chosen in the order grid: its (empty) lines are shown.
        chooseRow(screen.grdDataGrid, 1);
        QCOMPARE(screen.Adodc1->parameters().value(0), number);
        QCOMPARE(screen.Adodc1->recordCount(), 0);

        // 4. A tea, a quantity within its stock, 訂購.
        chooseRow(screen.DataGrid2, 1);
        QCOMPARE(screen.HScroll1->maximum(), 18);
        screen.HScroll1->setValue(2);
        QCOMPARE(screen.Buy->text(), QStringLiteral("2"));
        click(screen.Command1);
        QCOMPARE(screen.Adodc1->recordCount(), 1);
        QCOMPARE(screen.Money->text(), QStringLiteral("5200"));

        // 5. and 6. 結 帳, answered Yes.
        prompts->queueAnswer(Answer::Yes);
        click(screen.Command3);
        QCOMPARE(prompts->messages().size(), 1);
        QVERIFY(prompts->messages()[0].text.endsWith(QStringLiteral("總計:5200")));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {number}).toInt(),
                 1);
        QCOMPARE(shop.stock(QStringLiteral("T002")), 16.0);
        QCOMPARE(shop.stock(QStringLiteral("T001")), 25.0);
        QCOMPARE(shop.cash(), 10200.0);
        QCOMPARE(screen.datPrimaryRS->recordCount(), 1);
        QCOMPARE(screen.Adodc1->parameters().value(0).toLongLong(), earlier);

        // 7. The cash and bank screen shows the new balance when it becomes
        // active again; nothing else re-read it.
        QCOMPARE(control<BoundTextBox>(mdi.moneyScreen(), "cash")->text(), QStringLiteral("5000"));
        mdi.findChild<QAction*>(QStringLiteral("EditMoney"))->trigger();
        QCOMPARE(mdi.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow(),
                 MDI_frm::subWindowOf(mdi.moneyScreen()));
        QCOMPARE(control<BoundTextBox>(mdi.moneyScreen(), "cash")->text(), QStringLiteral("10200"));
        QCOMPARE(control<BoundTextBox>(mdi.moneyScreen(), "bank")->text(), QStringLiteral("20000"));
    }
};

QTEST_MAIN(RoadOfOneOrder)
#include "tst_road_of_one_order.moc"
