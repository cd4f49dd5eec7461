// A day at the counter with its mistakes mended: four sales, a partial return
// of a discounted sale, a return written off, a void, a stock count with
// tasting and damp, and a delivery paid from the bank at a new price. The
// day's report must match the count by hand, every slip must read back from
// its PDF, and the check must find the books clean.

#include "books/Audit.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/Reports.h"
#include "books/Returns.h"
#include "books/StockCount.h"
#include "catalogue/TeaStock_frm.h"
#include "forms/DataGrid.h"
#include "reports/DayReport_frm.h"
#include "reports/Receipt.h"
#include "reports/Return_frm.h"
#include "reports/SalesHistory_frm.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

Money M(const char* x) { return Money::parse(QString::fromLatin1(x)); }

QString pdfText(const QString& pdf)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).out.simplified();
}

} // namespace

class OwnersDay : public QObject {
    Q_OBJECT

private slots:
    void aDayAddsUpByHand()
    {
        TestShop shop;
        PromptScope prompts;
        shop.balances(5000, 20000);
        shop.tea(QStringLiteral("A"), QStringLiteral("凍頂烏龍"), 1200, 1800, 25)
            .tea(QStringLiteral("B"), QStringLiteral("文山包種"), 800, 1200, 10)
            .tea(QStringLiteral("C"), QStringLiteral("東方美人"), 2000, 3000, 5);
        Database& db = shop.db();
        auto sell = [&](const char* customer, QList<std::pair<const char*, int>> lines, const char* method) {
            const qlonglong order = shop.order(QString::fromUtf8(customer));
            for (const auto& [tea, kg] : lines)
                shop.line(order, QString::fromLatin1(tea), kg);
            OrderStore::Settle settle;
            settle.payment.method = QString::fromUtf8(method);
            return std::pair{order, OrderStore::settleOrder(db, order, settle)};
        };

        // The sales: the second with 10% off its oolong and 60 off the order,
        // paid by card: 5400 - 540 + 1200 - 60.
        const auto [first, firstPaid] = sell("王小明", {{"A", 2}}, "現金");
        const qlonglong second = shop.order(QStringLiteral("陳美玲"));
        payments::setLineDiscount(db, shop.line(second, QStringLiteral("A"), 3), QStringLiteral("10%"));
        shop.line(second, QStringLiteral("B"), 1);
        payments::setOrderDiscount(db, second, QStringLiteral("60"));
        OrderStore::Settle card;
        card.payment.method = QStringLiteral("刷卡");
        QCOMPARE(OrderStore::settleOrder(db, second, card), M("6000"));
        const auto [third, thirdPaid] = sell("林先生", {{"C", 1}}, "現金");
        const auto [fourth, fourthPaid] = sell("李小姐", {{"B", 2}}, "現金");
        QCOMPARE(firstPaid + thirdPaid + fourthPaid, M("9000"));

        // One kilogram of the discounted oolong back into stock, refunded to
        // the card: its line paid 4860 less 48.1188 of the order's 60.
        returns::Sale s = returns::sale(db, second);
        returns::Request back;
        back.order = second;
        back.reason = QStringLiteral("客人買錯");
        back.quantities << std::pair{s.lines[0].row, M("1")};
        const returns::Slip partial = returns::returnSale(db, back);
        QCOMPARE(partial.refund, M("1603.9604"));
        QCOMPARE(partial.method, QStringLiteral("刷卡"));

        // A kilogram of the fourth sale came back damp: written off, refunded in cash.
        s = returns::sale(db, fourth);
        returns::Request damp;
        damp.order = fourth;
        damp.reason = QStringLiteral("受潮");
        damp.destination = returns::Destination::WriteOff;
        damp.quantities << std::pair{s.lines[0].row, M("1")};
        QCOMPARE(returns::returnSale(db, damp).refund, M("1200"));

        // The third sale voided whole.
        s = returns::sale(db, third);
        returns::Request voided;
        voided.order = third;
        voided.isVoid = true;
        voided.reason = QStringLiteral("結錯帳");
        for (const returns::SoldLine& l : s.lines)
            voided.quantities << std::pair{l.row, l.left()};
        const returns::Slip voidSlip = returns::returnSale(db, voided);
        QCOMPARE(voidSlip.kind, QStringLiteral("作廢"));

        // The count: 50 g of oolong poured for tasting, half a kilogram of
        // 包種 taken by damp, the 東方美人 as the books say.
        QCOMPARE(shop.stock(QStringLiteral("A")), 21.0);
        QCOMPARE(shop.stock(QStringLiteral("B")), 7.0);
        const QList<stock::Posted> posted =
            stock::postCount(db,
                             {{QStringLiteral("A"), QStringLiteral("凍頂烏龍"), M("21"), M("20.95"),
                               QStringLiteral("試喝/樣品")},
                              {QStringLiteral("B"), QStringLiteral("文山包種"), M("7"), M("6.5"),
                               QStringLiteral("受潮/報廢")},
                              {QStringLiteral("C"), QStringLiteral("東方美人"), M("5"), M("5"), QString()}},
                             QStringLiteral("月底盤點"));
        QCOMPARE(posted.size(), 2);

        // Ten kilograms of 東方美人 delivered at 1850 instead of 2000, paid
        // from the bank, on the purchase screen.
        {
            TeaStock_frm form(db);
            form.show();
            form.findChild<DataGrid*>(QStringLiteral("grdDataGrid"))->selectRow(2);
            form.findChild<QLineEdit*>(QStringLiteral("Money"))->setText(QStringLiteral("10"));
            QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("txtPaid"))->placeholderText(), QStringLiteral("20000"));
            form.findChild<QLineEdit*>(QStringLiteral("txtPaid"))->setText(QStringLiteral("18500"));
            form.findChild<QComboBox*>(QStringLiteral("cboPaidFrom"))->setCurrentIndex(1);
            form.findChild<QPushButton*>(QStringLiteral("Buy"))->click();
            QVERIFY(prompts->messages().isEmpty());
        }

        // By hand: cash 5000 + 3600 + 3000 + 2400 - 1200 - 3000; bank 20000 +
        // 6000 - 1603.9604 - 18500.
        const reports::DayReport day = reports::dayReport(db, QDate::currentDate());
        QCOMPARE(day.orders, 4);
        QCOMPARE(day.sales, M("15000"));
        QCOMPARE(day.refunds, M("5803.9604"));
        QCOMPARE(day.takings, M("9196.0396"));
        QCOMPARE(day.discounts, M("600"));
        QCOMPARE(day.returns.size(), 3);
        QCOMPARE(day.purchaseCost, M("18500"));
        QCOMPARE(day.closingCash, M("9800"));
        QCOMPARE(day.closingBank, M("5896.0396"));
        QCOMPARE(shop.cash(), 9800.0);
        QCOMPARE(shop.bank(), 5896.0396);
        QCOMPARE(shop.stock(QStringLiteral("A")), 20.95);
        QCOMPARE(shop.stock(QStringLiteral("B")), 6.5);
        QCOMPARE(shop.stock(QStringLiteral("C")), 15.0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 進價 FROM 茶葉資料表 WHERE 編號 = 'C'")).toDouble(), 2000.0);

        // What was sold in the last 30 days is net of what came back.
        QMap<QString, double> sold;
        for (const reports::LowStock& l : reports::lowStock(db, 100, QDate::currentDate()))
            sold.insert(l.tea, l.soldLast30);
        QCOMPARE(sold,
                 (QMap<QString, double>{{QStringLiteral("A"), 4}, {QStringLiteral("B"), 2}, {QStringLiteral("C"), 0}}));

        // The month's losses: the tasting, and the damp of the return and of the count.
        const QList<stock::Loss> losses = stock::losses(db, QDate::currentDate(), QDate::currentDate());
        QCOMPARE(losses.size(), 2);
        QCOMPARE(losses[0].tea, QStringLiteral("A"));
        QCOMPARE(losses[0].quantity, 0.05);
        QCOMPARE(losses[0].cost, M("60"));
        QCOMPARE(losses[1].reason, QStringLiteral("受潮/報廢"));
        QCOMPARE(losses[1].quantity, 1.5);
        QCOMPARE(losses[1].cost, M("1200"));

        // Every slip reads back from its PDF.
        const struct {
            QString pdf;
            std::function<void(const QString&)> save;
            QStringList want;
        } slips[] = {
            {QStringLiteral("退貨單.pdf"),
             [&](const QString& p) { saveReturnSlipPdf(partial, p); },
             {QStringLiteral("退貨單"), QStringLiteral("陳美玲"), QStringLiteral("凍頂烏龍 1 公斤 1603.9604"),
              QStringLiteral("退款方式：刷卡"), QStringLiteral("原因：客人買錯")}},
            {QStringLiteral("作廢.pdf"),
             [&](const QString& p) { saveReturnSlipPdf(voidSlip, p); },
             {QStringLiteral("林先生"), QStringLiteral("東方美人 1 公斤 3000"), QStringLiteral("退款：3000")}},
            {QStringLiteral("收據.pdf"),
             [&](const QString& p) { saveReceiptPdf(reports::receipt(db, second), p); },
             {QStringLiteral("陳美玲"), QStringLiteral("6000")}},
        };
        for (const auto& slip : slips) {
            const QString path = shop.folder() + u'/' + slip.pdf;
            slip.save(path);
            const QString text = pdfText(path);
            for (const QString& want : slip.want)
                QVERIFY2(text.contains(want), qPrintable(want + QStringLiteral(" not in: ") + text));
        }

        const ShopCheck c = checkShop(db);
        QVERIFY(c.clean());
        QVERIFY(c.overreturned.isEmpty());

        // The day as the owner sees it, for the README.
        if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty()) {
            DayReport_frm report(db);
            SalesHistory_frm sales(db);
            for (const auto& [screen, name] : {std::pair<QWidget*, const char*>{&report, "DayReport_frm-returns.png"},
                                               {&sales, "SalesHistory_frm-returns.png"}}) {
                screen->resize(1366, 768);
                screen->show();
                screen->grab().save(QDir(pictures).filePath(QString::fromLatin1(name)));
            }
        }
    }
};

QTEST_MAIN(OwnersDay)
#include "tst_owners_day.moc"
