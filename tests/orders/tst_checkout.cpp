// Checkout: the summary, and the order settled, the stock lowered and the cash
// raised together or not at all.

#include "books/Shop.h"
#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/Reports.h"
#include "books/Settings.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"

#include <QComboBox>
#include <QLineEdit>

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

int status(TestShop& shop, qlonglong order)
{
    return shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {order}).toInt();
}

// Settles under a move id of the test's, and answers it.
QString newMoveIdFor(TestShop& shop, qlonglong order, const OrderStore::Payment& p)
{
    const QString move = QStringLiteral("test-move-%1").arg(order);
    OrderStore::settleOrder(shop.db(), order, OrderStore::Settle{{}, {}, p}, move);
    return move;
}

} // namespace

namespace lumaro {
char* toString(const Money& m) { return qstrdup(m.toString().toUtf8().constData()); }
} // namespace lumaro

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

    // A (150) x 2 and B (80) x 1 come to 380; the shop starts with 1000 in
    // cash and 200 in the bank. Each row: the discounts and the payment, then
    // what the journal's money rows and the A line's row say (method amount
    // order-discount tendered), or the refusal, with nothing stored.
    void paymentsAndDiscounts_data()
    {
        QTest::addColumn<QString>("lineA");   // the discount typed on the A line
        QTest::addColumn<QString>("order");   // on the whole order
        QTest::addColumn<QString>("cap");     // 折扣上限, empty: never set
        QTest::addColumn<QStringList>("pay"); // method, second, its amount, tendered
        QTest::addColumn<QString>("rows");    // the money rows, or the refusal
        QTest::addColumn<QString>("lineRow"); // the A line's discount
        QTest::addColumn<double>("cash");
        QTest::addColumn<double>("bank");
        auto pay = [](const char* m, const char* second = "", const char* amount = "", const char* tendered = "") {
            return QStringList{QString::fromUtf8(m), QString::fromUtf8(second), QString::fromUtf8(amount),
                               QString::fromUtf8(tendered)};
        };
        auto ok = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        ok("cash") << ""
                   << ""
                   << "" << pay("現金") << "現金 380 - -"
                   << "-" << 1380.0 << 200.0;
        ok("card") << ""
                   << ""
                   << "" << pay("刷卡") << "刷卡 380 - -"
                   << "-" << 1000.0 << 580.0;
        ok("cash and card, change from the cash")
            << ""
            << ""
            << "" << pay("現金", "刷卡", "200", "500") << "現金 180 - 500|刷卡 200 - -"
            << "-" << 1180.0 << 400.0;
        ok("phone first, cash second with the cash handed over")
            << ""
            << ""
            << "" << pay("行動支付", "現金", "100", "100") << "行動支付 280 - -|現金 100 - 100"
            << "-" << 1100.0 << 480.0;
        ok("line amount and order percent") << "50"
                                            << "10%"
                                            << "" << pay("轉帳") << "轉帳 297 33 -"
                                            << "50" << 1000.0 << 497.0;
        ok("to the ten-thousandth") << "12.5%"
                                    << "0.05"
                                    << "" << pay("現金", "刷卡", "0.45") << "現金 342 0.05 -|刷卡 0.45 - -"
                                    << "37.5" << 1342.0 << 200.45;
        ok("all of it off, within a cap of 100") << "100%"
                                                 << "80"
                                                 << "100" << pay("現金") << "現金 0 80 -"
                                                 << "300" << 1000.0 << 200.0;
        auto refused = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        refused("percent over the cap") << ""
                                        << "25%"
                                        << "20" << pay("現金")
                                        << "整張訂單的折扣 25% 超過折扣上限 20%（在「系統設定」設定）。"
                                        << "" << 0.0 << 0.0;
        refused("an amount's share over the cap")
            << "61"
            << ""
            << "20" << pay("現金") << "茶葉 A 這筆明細的折扣 61 元超過折扣上限 20%（60 元，在「系統設定」設定）。"
            << "" << 0.0 << 0.0;
        refused("more than the line") << "301"
                                      << ""
                                      << "" << pay("現金") << "茶葉 A 這筆明細的折扣 301 元比它的金額 300 元還多。"
                                      << "" << 0.0 << 0.0;
        refused("order discount more than what the lines leave")
            << "300"
            << "81"
            << "" << pay("現金") << "整張訂單的折扣 81 元比它的金額 80 元還多。"
            << "" << 0.0 << 0.0;
        refused("negative") << ""
                            << "-5"
                            << "" << pay("現金") << "整張訂單的折扣不能是負數。"
                            << "" << 0.0 << 0.0;
        refused("not a number") << ""
                                << "九折"
                                << "" << pay("現金")
                                << "整張訂單的折扣「九折」看不懂：請輸入金額（例如 50）或百分比（例如 10%）。"
                                << "" << 0.0 << 0.0;
        refused("second pays it all") << ""
                                      << ""
                                      << "" << pay("現金", "刷卡", "380")
                                      << "「刷卡」付的金額要大於 0、小於應收的 380 元。"
                                      << "" << 0.0 << 0.0;
        refused("one method twice") << ""
                                    << ""
                                    << "" << pay("刷卡", "刷卡", "100") << "分開付款要用兩種不同的付款方式。"
                                    << "" << 0.0 << 0.0;
        refused("less cash than the cash part")
            << ""
            << ""
            << "" << pay("現金", "刷卡", "80", "299.99") << "實收 299.99 元比要收的現金 300 元少，不能結帳。"
            << "" << 0.0 << 0.0;
        refused("cash handed over for a card sale")
            << ""
            << ""
            << "" << pay("刷卡", "", "", "500") << "這筆結帳沒有收現金，不用找零；請清空實收金額。"
            << "" << 0.0 << 0.0;
        refused("a retired method") << ""
                                    << ""
                                    << "" << pay("支票") << "付款方式「支票」已經停用，請選別的付款方式。"
                                    << "" << 0.0 << 0.0;
        refused("a method the shop has not")
            << ""
            << ""
            << "" << pay("現金", "禮券", "10") << "沒有「禮券」這種付款方式，請在「系統設定」查看付款方式。"
            << "" << 0.0 << 0.0;
    }
    void paymentsAndDiscounts()
    {
        QFETCH(QString, lineA);
        QFETCH(QString, order);
        QFETCH(QString, cap);
        QFETCH(QStringList, pay);
        QFETCH(QString, rows);
        QFETCH(QString, lineRow);
        QFETCH(double, cash);
        QFETCH(double, bank);
        TestShop shop;
        shop.balances(1000, 200);
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10)
            .tea(QStringLiteral("B"), QStringLiteral("包種"), 50, 80, 10);
        const qlonglong o = shop.order(QStringLiteral("王小明"));
        payments::setLineDiscount(shop.db(), shop.line(o, QStringLiteral("A"), 2), lineA);
        shop.line(o, QStringLiteral("B"), 1);
        payments::setOrderDiscount(shop.db(), o, order);
        if (!cap.isEmpty())
            settings::set(shop.db(), settings::key::DiscountCap, cap);
        QList<payments::Method> methods = payments::defaultMethods();
        methods << payments::Method{QStringLiteral("支票"), true, true};
        payments::saveMethods(shop.db(), methods);

        OrderStore::Payment p;
        p.method = pay[0];
        p.second = pay[1];
        p.secondAmount = Money::parse(pay[2]);
        if (!pay[3].isEmpty())
            p.tendered = Money::parse(pay[3]);
        const qlonglong journalBefore = shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 帳務日誌表")).toLongLong();
        if (cash == 0) {
            try {
                OrderStore::settleOrder(shop.db(), o, OrderStore::Settle{{}, {}, p});
                QFAIL("settled");
            } catch (const DataError& e) {
                QCOMPARE(e.description(), rows);
            }
            QCOMPARE(shop.cash(), 1000.0);
            QCOMPARE(shop.bank(), 200.0);
            QCOMPARE(shop.stock(QStringLiteral("A")), 10.0);
            QCOMPARE(shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 帳務日誌表")).toLongLong(), journalBefore);
            QCOMPARE(status(shop, o), 0);
            return;
        }
        const QString move = newMoveIdFor(shop, o, p);
        QCOMPARE(shop.cash(), cash);
        QCOMPARE(shop.bank(), bank);
        QCOMPARE(shop.stock(QStringLiteral("A")), 8.0);
        auto text = [](const QVariant& v) {
            return v.isNull() ? QStringLiteral("-") : Money::fromStored(v).toString();
        };
        QStringList money;
        for (const QVariantList& r :
             shop.rows(QStringLiteral(
                           "SELECT 付款方式, 現金變動 + 銀行變動, 折扣, 實收, 現金變動, 銀行變動 FROM 帳務日誌表 "
                           "WHERE 異動編號 = ? AND 茶葉編號 IS NULL ORDER BY 日誌編號"),
                       {move})) {
            money << QStringList{r[0].toString(), text(r[1]), text(r[2]), text(r[3])}.join(QLatin1Char(' '));
            // Each row to one balance only.
            QVERIFY(r[4].toDouble() == 0 || r[5].toDouble() == 0);
        }
        QCOMPARE(money.join(QLatin1Char('|')), rows);
        QCOMPARE(text(shop.scalar(QStringLiteral("SELECT 折扣 FROM 帳務日誌表 WHERE 異動編號 = ? AND 茶葉編號 = 'A'"),
                                  {move})),
                 lineRow);
        // The price charged stays the catalogue's; the discount is beside it.
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 單價 FROM 帳務日誌表 WHERE 異動編號 = ? AND 茶葉編號 = 'A'"),
                             {move})
                     .toDouble(),
                 150.0);
        // A retry with the move's id finds it and answers the amount settled.
        const Money settled = Money::fromDouble(cash - 1000 + bank - 200);
        QCOMPARE(OrderStore::settleOrder(shop.db(), o, OrderStore::Settle{{}, {}, p}, move), settled);
        QCOMPARE(shop.cash(), cash);
        QVERIFY(checkShop(shop.db()).books.isEmpty()); // the balances are the journal's
    }

    // Two terminals: a discount typed on one after the other showed its
    // summary refuses the other's checkout, as a changed line does.
    void aDiscountChangedMeanwhileRefuses()
    {
        Shop s;
        s.shop.balances(1000, 0);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        const qlonglong line = s.shop.line(order, QStringLiteral("A"), 2);
        auto other = openShop(s.shop.path());
        s.prompts.meanwhile = [&] { payments::setLineDiscount(*other, line, QStringLiteral("10%")); };
        OrderScreen f(s.open());
        s.prompts.clear();
        click(f.Command3);
        QCOMPARE(s.prompts.messages().last().text,
                 QStringLiteral("這張訂單的明細或價格剛被修改，應收金額已不是 300 元；沒有結帳，請重新結帳。"));
        QCOMPARE(s.status(order), 0);
        QCOMPARE(s.shop.cash(), 1000.0);
        // A dearer price and a larger discount: the same net, another discount.
        s.prompts.meanwhile = [&] {
            other->exec(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = 165 WHERE 編號 = 'A'")).finish();
            payments::setLineDiscount(*other, line, QStringLiteral("60"));
        };
        click(f.Command3);
        QCOMPARE(s.prompts.messages().last().text,
                 QStringLiteral("這張訂單的折扣剛被修改，折扣已不是 30 元；沒有結帳，請重新結帳。"));
        QCOMPARE(s.status(order), 0);
    }

    // As the owner types them: discounts stored at once and shown with the
    // net beside the gross, the change shown before the question, the
    // summary with its discount line, and each part to its balance.
    void onTheScreen()
    {
        Shop s;
        s.shop.balances(1000, 0);
        s.shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10)
            .tea(QStringLiteral("B"), QStringLiteral("包種"), 50, 80, 10);
        const qlonglong order = s.shop.order(QStringLiteral("王小明"));
        const qlonglong lineA = s.shop.line(order, QStringLiteral("A"), 2);
        const qlonglong lineB = s.shop.line(order, QStringLiteral("B"), 1);
        OrderScreen f(s.open());
        auto* lineDiscount = control<QLineEdit>(&f.form, "txtLineDiscount");
        auto* orderDiscount = control<QLineEdit>(&f.form, "txtOrderDiscount");
        auto* tendered = control<QLineEdit>(&f.form, "txtTendered");
        auto* net = control<QLabel>(&f.form, "lblNet");
        auto* change = control<QLabel>(&f.form, "lblChange");
        QCOMPARE(control<QComboBox>(&f.form, "cboPayment")->currentText(), QStringLiteral("現金"));
        QCOMPARE(net->text(), QString());
        auto commit = [](QLineEdit* box, const QString& text) {
            box->setFocus();
            box->setText(text);
            QTest::keyClick(box, Qt::Key_Return);
        };

        chooseRow(f.DataGrid1, 1); // B: deleting it takes its discount along
        commit(lineDiscount, QStringLiteral("5"));
        QCOMPARE(payments::lineDiscount(s.shop.db(), lineB), QStringLiteral("5"));
        click(f.Command2);
        QCOMPARE(s.shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 明細折扣表")).toInt(), 0);
        s.shop.line(order, QStringLiteral("B"), 1);
        f.form.activate();

        chooseRow(f.DataGrid1, 0);
        commit(lineDiscount, QStringLiteral("10%"));
        QCOMPARE(payments::lineDiscount(s.shop.db(), lineA), QStringLiteral("10%"));
        QCOMPARE(f.Money->text(), QStringLiteral("380")); // the gross, as always
        QCOMPARE(net->text(), QStringLiteral("應付：350"));
        s.prompts.clear();
        commit(orderDiscount, QStringLiteral("abc"));
        QCOMPARE(s.prompts.messages().size(), 1);
        QCOMPARE(orderDiscount->text(), QString()); // refused: nothing stored
        commit(orderDiscount, QStringLiteral("50"));
        QCOMPARE(payments::orderDiscount(s.shop.db(), order), QStringLiteral("50"));
        QCOMPARE(net->text(), QStringLiteral("應付：300"));

        tendered->setText(QStringLiteral("500"));
        QCOMPARE(change->text(), QStringLiteral("找零：200"));
        control<QComboBox>(&f.form, "cboPayment2")->setCurrentText(QStringLiteral("刷卡"));
        control<QLineEdit>(&f.form, "txtPayment2")->setText(QStringLiteral("100"));
        QCOMPARE(change->text(), QStringLiteral("找零：300"));

        s.prompts.clear();
        s.prompts.queueAnswer(Answer::Yes);
        click(f.Command3);
        const QString cr(QChar(13));
        QCOMPARE(s.checkoutText(), summary({QStringLiteral("烏龍            150            2            300"),
                                            QStringLiteral("包種            80            1            80")},
                                           QStringLiteral("-50"))
                                       .replace(QStringLiteral("總計:-50"),
                                                QStringLiteral("折扣:-80") + cr + QStringLiteral("總計:300")));
        QCOMPARE(s.status(order), 1);
        QCOMPARE(s.shop.cash(), 1200.0);
        QCOMPARE(s.shop.bank(), 100.0);
        QCOMPARE(tendered->text(), QString()); // ready for the next customer
        QCOMPARE(control<QComboBox>(&f.form, "cboPayment2")->currentIndex(), 0);
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

        // The rest of the day: gift boxes with a line discount, 半斤 of the
        // tea, 10% off the order, paid part cash (500 handed over) and part
        // card. The day's takings per method are the hand count's.
        s.shop.tea(QStringLiteral("B"), QStringLiteral("禮盒"), 300, 500, 0);
        teaUnits::changeUnit(s.shop.db(), QStringLiteral("B"), QStringLiteral("盒"));
        const qlonglong mixed = s.shop.order(QStringLiteral("丙"));
        const qlonglong boxes = s.shop.line(mixed, QStringLiteral("B"), 2);
        s.shop.line(mixed, QStringLiteral("A"),
                    int(units::readWhole(QStringLiteral("半斤"), *units::find(QStringLiteral("兩"))).value));
        payments::setLineDiscount(s.shop.db(), boxes, QStringLiteral("100"));
        payments::setOrderDiscount(s.shop.db(), mixed, QStringLiteral("10%"));
        OrderStore::Payment split;
        split.second = QStringLiteral("刷卡");
        split.secondAmount = Money::fromDouble(1600);
        split.tendered = Money::fromDouble(500);
        // (2 x 500 - 100 + 8 x 150) x 0.9 = 1890: 290 cash, 1600 card.
        QCOMPARE(OrderStore::settleOrder(s.shop.db(), mixed, OrderStore::Settle{{}, {}, split}).toString(),
                 QStringLiteral("1890"));
        QCOMPARE(s.shop.cash(), 1600.0 + 2 * 1800.0 + 290);
        QCOMPARE(s.shop.bank(), 1600.0);
        QCOMPARE(s.shop.stock(QStringLiteral("B")), -2.0);
        // Boxes bought in: the journal names the tea's own unit, not another's.
        money::purchase(s.shop.db(), QStringLiteral("B"), Money::fromDouble(6));
        QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 單位 FROM 帳務日誌表 WHERE 種類 = '進貨'")).toString(),
                 QStringLiteral("盒"));
        const reports::DayReport day = reports::dayReport(s.shop.db(), QDate::currentDate());
        QStringList byMethod;
        for (const reports::Paid& p : day.byMethod)
            byMethod << QStringLiteral("%1 %2 %3").arg(p.method, p.amount.toString()).arg(p.sales);
        QCOMPARE(byMethod.join(QLatin1Char('|')), QStringLiteral("現金 4490 4|刷卡 1600 1"));
        QCOMPARE(day.discounts.toString(), QStringLiteral("310"));
        QStringList low;
        for (const reports::LowStock& l : reports::lowStock(s.shop.db(), 10, QDate::currentDate()))
            low << QStringLiteral("%1 %2%3").arg(l.tea).arg(l.stock).arg(l.unit);
        QCOMPARE(low.join(QLatin1Char('|')), QStringLiteral("A -20兩|B 4盒"));
        QVERIFY(checkShop(s.shop.db()).books.isEmpty());
    }
};

QTEST_MAIN(CheckoutTest)
#include "tst_checkout.moc"
