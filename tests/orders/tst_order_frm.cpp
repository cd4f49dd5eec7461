// The order list and the order lines of the order screen.

#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include "books/TeaUnits.h"
#include "forms/BoundTextBox.h"

#include <QDir>
#include <QLineEdit>

using namespace lumaro;
using namespace lumaro::test;

class OrderFrmTest : public QObject {
    Q_OBJECT

    // A screen on a shop with two teas and two open orders; A's sale price is
    // what the customer pays, its purchase price must never show up in a total.
    struct Fixture {
        TestShop shop;
        PromptScope prompts;
        qlonglong first = 0;
        qlonglong second = 0;
        std::unique_ptr<Order_frm> screen;

        Fixture()
        {
            shop.tea(QStringLiteral("A"), QStringLiteral("凍頂烏龍"), 100, 150, 5)
                .tea(QStringLiteral("B"), QStringLiteral("包種"), 50, 80.5, 12);
            first = shop.order(QStringLiteral("王小明"), QStringLiteral("0912"));
            second = shop.order(QStringLiteral("陳美玲"), QStringLiteral("台北"));
        }
        Order_frm& open()
        {
            screen = std::make_unique<Order_frm>(shop.db());
            screen->show();
            screen->activate();
            return *screen;
        }
        int lineCount(qlonglong order)
        {
            return shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 訂單編號 = ?"), {order}).toInt();
        }
        // Chooses a tea and a quantity and clicks 訂購.
        void orderTea(const QString& tea, int kg)
        {
            const OrderScreen s(*screen);
            chooseRow(s.DataGrid2, rowOfTea(s, tea));
            s.HScroll1->setValue(kg);
            click(s.Command1);
        }
    };

private slots:
    void listsOpenOrdersInNumberOrder()
    {
        Fixture f;
        f.shop.order(QStringLiteral("settled"), QString(), 1);
        const qlonglong third = f.shop.order(QStringLiteral("林志豪"), QStringLiteral("email"));
        f.shop.order(QStringLiteral("other"), QString(), 2);
        OrderScreen s(f.open());

        QCOMPARE(listedOrders(s), (QList<qlonglong>{f.first, f.second, third}));
        QCOMPARE(s.custom->text(), QStringLiteral("王小明"));
        // Activation loaded the first order's (empty) lines.
        QCOMPARE(s.Adodc1->parameters().value(0).toLongLong(), f.first);

        chooseRow(s.grdDataGrid, 2);
        QCOMPARE(s.custom->text(), QStringLiteral("林志豪"));
        QCOMPARE(s.contact->text(), QStringLiteral("email"));
        QVERIFY(f.prompts->messages().isEmpty());
    }

    // A date alone reads as a date; one brought over with its time of day
    // shows the time to the minute (a shop file keeps it; a server's date
    // column holds the day only).
    void orderDatesReadAsTheOwnerWroteThem()
    {
        Fixture f;
        const bool withTime = !TestShop::onPostgres();
        f.shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂購日期 = ? WHERE 訂單編號 = ?"),
                    {withTime ? QStringLiteral("2021-06-15 14:30:00") : QStringLiteral("2021-06-15"), f.first});
        f.shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂購日期 = ? WHERE 訂單編號 = ?"),
                    {QStringLiteral("2020-02-29"), f.second});
        OrderScreen s(f.open());
        const QAbstractItemModel* m = s.grdDataGrid->model();
        QCOMPARE(m->index(0, 2).data().toString(),
                 withTime ? QStringLiteral("2021-06-15 14:30") : QStringLiteral("2021-06-15"));
        QCOMPARE(m->index(1, 2).data().toString(), QStringLiteral("2020-02-29"));
    }

    void addsEditsAndDeletesAnOrder()
    {
        Fixture f;
        OrderScreen s(f.open());

        click(s.cmdAdd);
        QVERIFY(s.custom->text().isEmpty());
        typeText(s.custom, QStringLiteral("張大同"));
        typeText(s.contact, QStringLiteral("02-2345"));
        click(s.cmdUpdate);
        const auto added = f.shop.rows(QStringLiteral("SELECT 訂單編號, 連絡方式, 訂單狀態 FROM 訂單資料表 "
                                                      "WHERE 客戶名稱 = '張大同'"));
        QCOMPARE(added.size(), 1);
        QCOMPARE(added[0][1].toString(), QStringLiteral("02-2345"));
        QCOMPARE(added[0][2].toInt(), 0);
        QVERIFY(added[0][0].toLongLong() > f.second);

        chooseRow(s.grdDataGrid, 1);
        s.contact->selectAll();
        typeText(s.contact, QStringLiteral("新竹"));
        click(s.cmdUpdate);
        QCOMPARE(f.shop.scalar(QStringLiteral("SELECT 連絡方式 FROM 訂單資料表 WHERE 訂單編號 = ?"), {f.second}),
                 QVariant(QStringLiteral("新竹")));

        click(s.cmdDelete);
        QCOMPARE(
            f.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單編號 = ?"), {f.second}).toInt(), 0);
        click(s.cmdRefresh);
        QCOMPARE(listedOrders(s), (QList<qlonglong>{f.first, added[0][0].toLongLong()}));
        QVERIFY(f.prompts->messages().isEmpty());
    }

    // A deleted order takes its lines along, in one transaction; the line grid
    // and the total then belong to the order that is now current.
    void deletedOrderTakesItsLines()
    {
        Fixture f;
        f.shop.line(f.first, QStringLiteral("A"), 2);
        f.shop.line(f.second, QStringLiteral("B"), 1);
        OrderScreen s(f.open());
        QCOMPARE(shownLineTeas(s), QStringList{QStringLiteral("A")});

        f.shop.failWrites(QStringLiteral("明細鎖住"), QStringLiteral("BEFORE DELETE"), QStringLiteral("訂單明細表"),
                          QStringLiteral("磁碟故障"));
        click(s.cmdDelete);
        QCOMPARE(f.prompts->messages().size(), 1);
        QCOMPARE(f.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單編號 = ?"), {f.first}).toInt(),
                 1);
        QCOMPARE(f.lineCount(f.first), 1);

        f.shop.dropFailure(QStringLiteral("明細鎖住"), QStringLiteral("訂單明細表"));
        f.prompts->clear();
        click(s.cmdDelete);
        QVERIFY(f.prompts->messages().isEmpty());
        QCOMPARE(f.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單編號 = ?"), {f.first}).toInt(),
                 0);
        QCOMPARE(f.lineCount(f.first), 0);
        QCOMPARE(shownLineTeas(s), QStringList{QStringLiteral("B")});
        QCOMPARE(s.Money->text(), QStringLiteral("80.5"));

        click(s.cmdDelete); // the last order: its lines and total leave the screen too
        QCOMPARE(f.lineCount(f.second), 0);
        QCOMPARE(shownLineTeas(s), QStringList{});
        QCOMPARE(s.Money->text().trimmed(), QString());
    }

    void addsLinesAndKeepsTheTotal()
    {
        Fixture f;
        f.shop.tea(QStringLiteral("O'Neil"), QStringLiteral("英式"), 10, 20, 9);
        OrderScreen s(f.open());
        chooseRow(s.grdDataGrid, 0);

        f.orderTea(QStringLiteral("A"), 2);
        QCOMPARE(s.Money->text(), QStringLiteral("300")); // 訂價 150, never 進價 100
        f.orderTea(QStringLiteral("A"), 1);
        f.orderTea(QStringLiteral("O'Neil"), 3);
        QCOMPARE(shownLineTeas(s), (QStringList{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("O'Neil")}));
        QCOMPARE(s.Money->text(), QStringLiteral("510"));
        QCOMPARE(f.lineCount(f.first), 3);
        QCOMPARE(f.lineCount(f.second), 0);
        // Ordering leaves the stock alone; checkout takes it.
        QCOMPARE(f.shop.stock(QStringLiteral("A")), 5.0);
        // After an add no line is current, so 刪除 cannot hit a line by chance.
        QVERIFY(s.Adodc1->eof());
        QVERIFY(f.prompts->messages().isEmpty());
    }

    void quantityRangeFollowsTheChosenTeasStock_data()
    {
        QTest::addColumn<QVariant>("stock");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("after");
        QTest::newRow("above the stock") << QVariant(5) << 12 << 5 << 5;
        QTest::newRow("below the minimum") << QVariant(5) << 0 << 5 << 1;
        QTest::newRow("inside") << QVariant(5) << 3 << 5 << 3;
        QTest::newRow("nothing in stock") << QVariant(0) << 4 << 1 << 1;
        QTest::newRow("negative stock") << QVariant(-7.5) << 4 << 1 << 1;
        QTest::newRow("more than the bar holds") << QVariant(40000) << 9 << 32767 << 9;
        QTest::newRow("half to even, down") << QVariant(2.5) << 9 << 2 << 2;
        QTest::newRow("half to even, up") << QVariant(3.5) << 9 << 4 << 4;
        QTest::newRow("no stock recorded") << QVariant() << 4 << 1 << 1;
    }
    void quantityRangeFollowsTheChosenTeasStock()
    {
        QFETCH(QVariant, stock);
        QFETCH(int, before);
        QFETCH(int, maximum);
        QFETCH(int, after);
        Fixture f;
        f.shop.tea(QStringLiteral("C"), QStringLiteral("test"), 1, 2, stock);
        OrderScreen s(f.open());
        QCOMPARE(s.HScroll1->minimum(), 0); // nothing chosen yet
        s.HScroll1->setValue(before);

        chooseRow(s.DataGrid2, rowOfTea(s, QStringLiteral("C")));
        QCOMPARE(s.HScroll1->minimum(), 1);
        QCOMPARE(s.HScroll1->maximum(), maximum);
        QCOMPARE(s.HScroll1->value(), after);
        QCOMPARE(s.Buy->text(), QString::number(after));
    }

    void deletesLines()
    {
        Fixture f;
        f.shop.line(f.first, QStringLiteral("A"), 2);
        f.shop.line(f.first, QStringLiteral("B"), 1);
        f.shop.line(f.first, QStringLiteral("A"), 1);
        OrderScreen s(f.open());
        QCOMPARE(s.Money->text(), QStringLiteral("530.5"));

        // 刪除 right after 訂購: no line is chosen, nothing is deleted.
        f.orderTea(QStringLiteral("B"), 2);
        QCOMPARE(s.Money->text(), QStringLiteral("691.5"));
        click(s.Command2);
        QCOMPARE(f.prompts->messages().size(), 1);
        QCOMPARE(f.prompts->messages()[0].text, DataControl::noCurrentRowText());
        QCOMPARE(f.prompts->messages()[0].title, QStringLiteral("Lumaro"));
        QCOMPARE(f.lineCount(f.first), 4);

        // The last line of several: the rest stay and are totalled.
        chooseRow(s.DataGrid1, 3);
        click(s.Command2);
        chooseRow(s.DataGrid1, 2);
        click(s.Command2);
        QCOMPARE(shownLineTeas(s), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(s.Money->text(), QStringLiteral("380.5"));

        // The only line left goes without a complaint and the total is 0.
        chooseRow(s.DataGrid1, 0);
        click(s.Command2);
        chooseRow(s.DataGrid1, 0);
        click(s.Command2);
        QCOMPARE(f.lineCount(f.first), 0);
        QCOMPARE(s.Money->text(), QStringLiteral("0"));
        QCOMPARE(f.prompts->messages().size(), 1);
    }

    void totalAlwaysBelongsToTheLinesShown()
    {
        Fixture f;
        f.shop.line(f.first, QStringLiteral("A"), 2);
        f.shop.line(f.second, QStringLiteral("B"), 2);
        OrderScreen s(f.open());
        QCOMPARE(s.Money->text(), QStringLiteral("300"));

        chooseRow(s.grdDataGrid, 1);
        QCOMPARE(shownLineTeas(s), QStringList{QStringLiteral("B")});
        QCOMPARE(s.Money->text(), QStringLiteral("161"));

        // Another terminal adds a line; a double click on the lines re-reads them.
        f.shop.line(f.second, QStringLiteral("A"), 1);
        QTest::mouseDClick(s.DataGrid1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(shownLineTeas(s), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));
        QCOMPARE(s.Money->text(), QStringLiteral("311"));
    }

    void aLineWhoseTeaIsGoneIsReported()
    {
        Fixture f;
        f.shop.line(f.first, QStringLiteral("A"), 2);
        f.shop.line(f.first, QStringLiteral("X'9"), 1);
        OrderScreen s(f.open());
        QCOMPARE(f.prompts->messages().size(), 1);
        QCOMPARE(f.prompts->messages()[0].text, QStringLiteral("找不到茶葉：X'9"));
        QCOMPARE(s.Money->text().trimmed(), QString());
        QCOMPARE(shownLineTeas(s), (QStringList{QStringLiteral("A"), QStringLiteral("X'9")}));
    }

    void orderingNeedsAnOrder()
    {
        Fixture f;
        f.shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1"));
        OrderScreen s(f.open());
        QVERIFY(listedOrders(s).isEmpty());
        f.orderTea(QStringLiteral("A"), 1);

        // A new order not stored yet has no number to order for either.
        click(s.cmdAdd);
        f.orderTea(QStringLiteral("A"), 1);
        QCOMPARE(f.prompts->messages().size(), 2);
        for (const auto& m : f.prompts->messages()) {
            QCOMPARE(m.text, QStringLiteral("請先選擇訂單"));
            QCOMPARE(m.title, QStringLiteral("Lumaro"));
        }
        QCOMPARE(f.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表")).toInt(), 0);
        QCOMPARE(s.Adodc1->recordCount(), 0);
    }

    void aRefusedLineLeavesNothingBehind()
    {
        Fixture f;
        f.shop.line(f.first, QStringLiteral("B"), 1);
        f.shop.failWrites(QStringLiteral("明細已滿"), QStringLiteral("BEFORE INSERT"), QStringLiteral("訂單明細表"),
                          QStringLiteral("磁碟已滿"));
        OrderScreen s(f.open());
        f.orderTea(QStringLiteral("A"), 2);
        QCOMPARE(f.prompts->messages().size(), 1);
        QCOMPARE(f.prompts->messages()[0].text, QStringLiteral("磁碟已滿"));
        QVERIFY(!s.Adodc1->hasPending());
        QCOMPARE(shownLineTeas(s), QStringList{QStringLiteral("B")});

        // Moving in the lines afterwards does not try to store the line again.
        chooseRow(s.DataGrid1, 0);
        QCOMPARE(f.prompts->messages().size(), 1);
        QCOMPARE(f.lineCount(f.first), 1);
    }
    // A tea in 兩: the quantity names its unit, the typed box takes any weight
    // that makes whole 兩, and the line and the grids name the unit.
    void ordersATeaInItsUnit()
    {
        Fixture f;
        f.shop.tea(QStringLiteral("C"), QStringLiteral("高山茶"), 2000, 4000, 0.6);
        teaUnits::changeUnit(f.shop.db(), QStringLiteral("C"), QStringLiteral("兩"));
        OrderScreen s(f.open());
        auto* unit = f.screen->findChild<QLabel*>(QStringLiteral("lblBuyUnit"));
        auto* typed = f.screen->findChild<QLineEdit*>(QStringLiteral("txtQuantity"));
        chooseRow(s.DataGrid2, rowOfTea(s, QStringLiteral("A")));
        QCOMPARE(unit->text(), QString());
        chooseRow(s.DataGrid2, rowOfTea(s, QStringLiteral("C")));
        QCOMPARE(unit->text(), QStringLiteral("兩"));
        QCOMPARE(s.DataGrid2->model()->index(rowOfTea(s, QStringLiteral("C")), 3).data().toString(),
                 QStringLiteral("16 兩"));
        const QStringList refusals = {QStringLiteral("訂購數量必須是整數兩：「100g」是 2.66666666666667兩。最接近的是 "
                                                     "75公克 = 2兩 或 112.5公克 = 3兩。"),
                                      QStringLiteral("「2盒」是以盒計的數量，這種茶葉以兩計，盒和兩無法換算。"),
                                      QStringLiteral("「兩斤」是 32兩，可以訂購的數量是 1 到 16兩。")};
        for (const QString& text :
             {QStringLiteral("100g"), QStringLiteral("2盒"), QStringLiteral("兩斤"), QStringLiteral("150g")}) {
            typed->setText(text);
            QTest::keyClick(typed, Qt::Key_Return);
        }
        QStringList shown;
        for (const auto& m : f.prompts->messages())
            shown << m.text;
        QCOMPARE(shown, refusals);
        QCOMPARE(s.Buy->text(), QStringLiteral("4"));
        click(s.Command1);
        QCOMPARE(s.Money->text(), QStringLiteral("600"));
        QCOMPARE(s.DataGrid1->model()->index(0, 2).data().toString(), QStringLiteral("4 兩"));
        if (const QString dir = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !dir.isEmpty()) {
            f.screen->resize(640, 520);
            f.screen->grab().save(QDir(dir).filePath(QStringLiteral("Order_frm-unit.png")));
        }
    }
};

QTEST_MAIN(OrderFrmTest)
#include "tst_order_frm.moc"
