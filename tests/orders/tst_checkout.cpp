// Checkout: the summary, and the order settled, the stock lowered and the cash
// raised together or not at all.

#include "books/Shop.h"
#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include "books/Audit.h"
#include "books/OrderStore.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"

using namespace lumaro;
using namespace lumaro::test;

namespace {

const QString kCheckoutTitle = QStringLiteral("訂單結帳");

QString summary(const QStringList& rows, const QString& total)
{
    const QString cr(QChar(13));
    const QString rule(62, QLatin1Char('-'));
    return QStringLiteral("您的訂單如下:") + cr + QStringLiteral("茶葉名稱          單價          數量          小計") +
           cr + rule + cr + rows.join(cr) + cr + rule + cr + QStringLiteral("總計:") + total;
}

struct Shop {
    TestShop shop;
    WhileAsking prompts{kCheckoutTitle};
    std::unique_ptr<Order_frm> screen;

    Order_frm& open()
    {
        screen = std::make_unique<Order_frm>(shop.db());
        screen->show();
        screen->activate();
        return *screen;
    }
    int status(qlonglong order)
    {
        return shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {order}).toInt();
    }
    // The checkout box's text, or an empty text when none was shown.
    QString checkoutText()
    {
        for (const auto& m : prompts.messages())
            if (m.title == kCheckoutTitle)
                return m.text;
        return QString();
    }
};

} // namespace

class CheckoutTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheSummaryAndChargesItsTotal_data()
    {
        QTest::addColumn<QList<QVariantList>>("lines"); // name, cost, price, kg
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("total");
        QTest::newRow("one line with a fraction")
            << QList<QVariantList>{{QStringLiteral("凍頂烏龍"), 9, 12.5, 3}}
            << summary({QStringLiteral("凍頂烏龍            12.5            3            37.5")},
                       QStringLiteral("37.5"))
            << 37.5;
        QTest::newRow("two lines") << QList<QVariantList>{{QStringLiteral("A"), 100, 120, 2},
                                                          {QStringLiteral("B"), 50, 80, 1}}
                                   << summary({QStringLiteral("A            120            2            240"),
                                               QStringLiteral("B            80            1            80")},
                                              QStringLiteral("320"))
                                   << 320.0;
        QTest::newRow("tenths that do not add up in binary")
            << QList<QVariantList>{{QStringLiteral("A"), 0, 0.1, 1}, {QStringLiteral("B"), 0, 0.2, 1}}
            << summary({QStringLiteral("A            0.1            1            0.1"),
                        QStringLiteral("B            0.2            1            0.2")},
                       QStringLiteral("0.3"))
            << 0.3;
    }
    void showsTheSummaryAndChargesItsTotal()
    {
        QFETCH(QList<QVariantList>, lines);
        QFETCH(QString, text);
        QFETCH(double, total);
        Shop s;
        s.shop.balances(1000, 0);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        for (int i = 0; i < lines.size(); ++i) {
            const QString tea = QStringLiteral("T%1").arg(i);
            s.shop.tea(tea, lines[i][0].toString(), lines[i][1], lines[i][2], 50);
            s.shop.line(order, tea, lines[i][3].toInt());
        }
        OrderScreen f(s.open());
        s.prompts.queueAnswer(Answer::Yes);
        click(f.Command3);

        QCOMPARE(s.prompts.messages().size(), 1);
        const auto box = s.prompts.messages()[0];
        QCOMPARE(box.title, kCheckoutTitle);
        QCOMPARE(box.buttons, Buttons::YesNo);
        QCOMPARE(box.text, text);
        QCOMPARE(s.shop.cash(), 1000 + total);
        QCOMPARE(s.status(order), 1);
    }

    void noChangesNothingThenYesSettles()
    {
        Shop s;
        s.shop.balances(1000, 200);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 5)
            .tea(QStringLiteral("O'Neil"), QStringLiteral("英式"), 10, 20, 9)
            .tea(QStringLiteral("C"), QStringLiteral("紅茶"), 10, 30, 4);
        const qlonglong first = s.shop.order(QStringLiteral("first"));
        const qlonglong second = s.shop.order(QStringLiteral("second"));
        s.shop.line(first, QStringLiteral("C"), 1);
        s.shop.line(second, QStringLiteral("A"), 2);
        s.shop.line(second, QStringLiteral("O'Neil"), 1);
        s.shop.line(second, QStringLiteral("A"), 1);
        OrderScreen f(s.open());

        chooseRow(f.grdDataGrid, 1);
        s.prompts.queueAnswer(Answer::No);
        click(f.Command3);
        QCOMPARE(s.prompts.messages().size(), 1);
        QCOMPARE(s.status(second), 0);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), 5.0);
        QCOMPARE(s.shop.stock(QStringLiteral("O'Neil")), 9.0);
        QCOMPARE(s.shop.cash(), 1000.0);
        QCOMPARE(listedOrders(f), (QList<qlonglong>{first, second}));
        QCOMPARE(f.Adodc1->parameters().value(0).toLongLong(), first);
        QCOMPARE(shownLineTeas(f), QStringList{QStringLiteral("C")});

        chooseRow(f.grdDataGrid, 1);
        QCOMPARE(f.Money->text(), QStringLiteral("470"));
        s.prompts.queueAnswer(Answer::Yes);
        click(f.Command3);
        QCOMPARE(s.prompts.messages().size(), 2);
        QCOMPARE(s.status(second), 1);
        QCOMPARE(s.status(first), 0);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), 2.0);
        QCOMPARE(s.shop.stock(QStringLiteral("O'Neil")), 8.0);
        QCOMPARE(s.shop.stock(QStringLiteral("C")), 4.0);
        QCOMPARE(s.shop.cash(), 1470.0);
        QCOMPARE(s.shop.bank(), 200.0);
        // The list lost the settled order; the first open order and its total
        // are shown, and the tea list shows the new stock.
        QCOMPARE(listedOrders(f), QList<qlonglong>{first});
        QCOMPARE(shownLineTeas(f), QStringList{QStringLiteral("C")});
        QCOMPARE(f.Money->text(), QStringLiteral("30"));
        QCOMPARE(f.Adodc2->value(rowOfTea(f, QStringLiteral("A")), 3).toDouble(), 2.0);
    }

    void settlingTheOnlyOpenOrderEmptiesTheList()
    {
        Shop s;
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 1);
        const qlonglong order = s.shop.order(QStringLiteral("only"));
        s.shop.line(order, QStringLiteral("A"), 3);
        OrderScreen f(s.open());
        click(f.Command3); // Yes is the default answer

        QVERIFY(listedOrders(f).isEmpty());
        QCOMPARE(s.status(order), 1);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), -2.0); // short stock is no reason to refuse a sale
        QCOMPARE(s.shop.cash(), 450.0);
        QCOMPARE(f.Adodc1->parameters().value(0).toLongLong(), order);
        QCOMPARE(f.Money->text(), QStringLiteral("450"));
        QCOMPARE(f.Adodc2->value(0, 3).toDouble(), -2.0);
        QCOMPARE(s.prompts.messages().size(), 1);
    }

    void refusesWithoutStoringAnything_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("message");
        QTest::newRow("no order") << "no order" << QStringLiteral("請先選擇訂單");
        QTest::newRow("no lines") << "no lines" << QStringLiteral("此訂單沒有明細");
        QTest::newRow("tea gone") << "tea gone" << QStringLiteral("找不到茶葉：Z'1");
        QTest::newRow("failure half-way") << "failure" << QStringLiteral("模擬故障");
        QTest::newRow("settled elsewhere") << "settled elsewhere" << OrderStore::alreadySettledText();
        QTest::newRow("price changed")
            << "price changed"
            << QStringLiteral("這張訂單的明細或價格剛被修改，應收金額已不是 300 元；沒有結帳，請重新結帳。");
        // Would go for nothing, or leave an infinite stock as it was.
        QTest::newRow("no price") << "no price"
                                  << QStringLiteral(
                                         "茶葉 B 沒有訂價，這張訂單不能結帳。請先在「編輯茶葉種類」填上訂價。");
        QTest::newRow("infinite stock")
            << "infinite stock"
            << QStringLiteral("茶葉 B 的庫存不是可以計算的數值（#數值錯誤），這張訂單不能結帳。請用 lumaro-admin check "
                              "檢查資料檔。");
    }
    void refusesWithoutStoringAnything()
    {
        QFETCH(QString, situation);
        QFETCH(QString, message);
        Shop s;
        s.shop.balances(1000, 0);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 5)
            .tea(QStringLiteral("B"), QStringLiteral("包種"), 50, 80, 5);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        if (situation != QLatin1String("no lines")) {
            s.shop.line(order, QStringLiteral("A"), 2);
            if (situation == QLatin1String("tea gone"))
                s.shop.line(order, QStringLiteral("Z'1"), 1);
            if (situation.endsWith(QLatin1String("price")) || situation.endsWith(QLatin1String("stock")))
                s.shop.line(order, QStringLiteral("B"), 3);
        }
        if (situation == QLatin1String("no price"))
            s.shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = NULL WHERE 編號 = 'B'"));
        if (situation == QLatin1String("no order"))
            s.shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1"));
        // Opened first: a shop with a trigger Lumaro did not make is not opened.
        auto other = openShop(s.shop.path());
        if (situation == QLatin1String("infinite stock"))
            s.shop.plant(QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = %1 WHERE 編號 = 'B'").arg(TestShop::infinity()));
        if (situation == QLatin1String("failure")) // the last step, the cash, fails
            s.shop.failWrites(QStringLiteral("fail"), QStringLiteral("BEFORE UPDATE"), QStringLiteral("帳款資料表"),
                              QStringLiteral("模擬故障"));
        if (situation == QLatin1String("settled elsewhere"))
            s.prompts.meanwhile = [&] { OrderStore::settleOrder(*other, order); };
        if (situation == QLatin1String("price changed"))
            s.prompts.meanwhile = [&] {
                other->exec(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = 160 WHERE 編號 = 'A'")).finish();
            };
        const double cashBefore = situation == QLatin1String("settled elsewhere") ? 1300 : 1000;
        OrderScreen f(s.open());
        s.prompts.clear(); // what opening the screen said is not the point here
        click(f.Command3);

        const auto shown = s.prompts.messages();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.last().text, message);
        QCOMPARE(shown.last().title, QStringLiteral("Lumaro"));
        if (situation == QLatin1String("no price") || situation == QLatin1String("infinite stock"))
            QCOMPARE(s.checkoutText(), QString()); // refused before the summary, as a bad price is
        QCOMPARE(s.shop.cash(), cashBefore);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), situation == QLatin1String("settled elsewhere") ? 3.0 : 5.0);
        if (situation != QLatin1String("no order") && situation != QLatin1String("settled elsewhere"))
            QCOMPARE(s.status(order), 0);
        // An order that is still open stays listed.
        QCOMPARE(listedOrders(f).contains(order), s.status(order) == 0);
    }

    void keepsWhatAnotherTerminalDidMeanwhile()
    {
        Shop s;
        s.shop.balances(1000, 0);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        s.shop.line(order, QStringLiteral("A"), 2);
        auto other = openShop(s.shop.path());
        s.prompts.meanwhile = [&] {
            other->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 - 400")).finish();
            other->exec(QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = 庫存 + 5 WHERE 編號 = 'A'")).finish();
        };
        OrderScreen f(s.open());
        click(f.Command3);
        QCOMPARE(s.shop.cash(), 900.0);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), 13.0);
    }

    void settlingDirectlyReturnsTheCharge()
    {
        TestShop shop;
        shop.balances(10, 0);
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10);
        const qlonglong order = shop.order(QStringLiteral("王小明"));
        shop.line(order, QStringLiteral("A"), 2);
        shop.line(order, QStringLiteral("A"), 1);
        QCOMPARE(OrderStore::settleOrder(shop.db(), order).toDouble(), 450.0);
        QCOMPARE(shop.cash(), 460.0);
        QCOMPARE(shop.stock(QStringLiteral("A")), 7.0);
        QVERIFY_THROWS_EXCEPTION(DataError, OrderStore::settleOrder(shop.db(), order));
        QVERIFY_THROWS_EXCEPTION(DataError, OrderStore::settleOrder(shop.db(), order + 100));
        QCOMPARE(shop.cash(), 460.0);
        QVERIFY(!shop.db().inTransaction());
    }
    // A tea in 兩 at 150 (2400 a 台斤): a line of 4 comes to 600 and the stock
    // goes from 16 to 12. Then two terminals each sell the last 12 兩: both
    // checkouts go through, as two checkouts of the last 公斤 always have, and
    // the books add up in 兩.
    void sellsByTheLiang()
    {
        Shop s;
        s.shop.balances(1000, 0);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 2000, 4000, 0.6);
        teaUnits::changeUnit(s.shop.db(), QStringLiteral("A"), QStringLiteral("兩"));
        QCOMPARE(s.shop.stock(QStringLiteral("A")), 16.0);
        QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號 = 'A'")).toDouble(), 150.0);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        s.shop.line(order, QStringLiteral("A"), 4);
        OrderScreen f(s.open());
        s.prompts.queueAnswer(Answer::Yes);
        click(f.Command3);
        QCOMPARE(s.checkoutText(),
                 summary({QStringLiteral("烏龍            150            4兩            600")}, QStringLiteral("600")));
        QCOMPARE(s.shop.cash(), 1600.0);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), 12.0);

        const qlonglong mine = s.shop.order(QStringLiteral("甲"));
        const qlonglong theirs = s.shop.order(QStringLiteral("乙"));
        s.shop.line(mine, QStringLiteral("A"), 12);
        s.shop.line(theirs, QStringLiteral("A"), 12);
        auto other = openShop(s.shop.path());
        s.prompts.meanwhile = [&] { OrderStore::settleOrder(*other, theirs); };
        click(f.cmdRefresh);
        f.grdDataGrid->selectRow(0);
        s.prompts.queueAnswer(Answer::Yes);
        click(f.Command3);
        QCOMPARE(s.status(mine), 1);
        QCOMPARE(s.status(theirs), 1);
        QCOMPARE(s.shop.stock(QStringLiteral("A")), -12.0);
        QCOMPARE(s.shop.cash(), 1600.0 + 2 * 1800.0);
        QCOMPARE(s.shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 種類 = '結帳' AND 單位 = '兩'"))
                     .toInt(),
                 3);
        QVERIFY(checkShop(s.shop.db()).books.isEmpty());
    }
};

QTEST_MAIN(CheckoutTest)
#include "tst_checkout.moc"
