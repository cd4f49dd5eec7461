// Numbers the books cannot hold: infinity, NaN and figures past a trillion.
// Typed at the counter they are refused and nothing is stored; planted in the
// file by another tool they show as a mark, every screen still opens, checkout
// and the money moves refuse to work them out, and check names them.
#include "accounts/Money_frm.h"
#include "base/DisplayText.h"
#include "base/Numbers.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "data/DataControl.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "orders/OrderScreen.h"
#include "orders/Order_frm.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

constexpr double Refused = -1;

// PostgreSQL keeps NaN; SQLite turns it into NULL, so there minus infinity stands in.
QString notANumber() { return TestShop::onPostgres() ? QStringLiteral("'NaN'") : QStringLiteral("-9e999"); }

} // namespace

class BadNumbers : public QObject {
    Q_OBJECT

private slots:
    void typedAtTheCounter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("price"); // stored by 編輯茶葉種類, empty when refused
        QTest::addColumn<double>("moved");  // into the bank on 帳款管理
        QTest::addColumn<double>("bought"); // kg on 茶頁庫存管理
        QTest::newRow("1e999") << "1e999"
                               << "" << Refused << Refused;
        QTest::newRow("-1e999") << "-1e999"
                                << "" << Refused << Refused;
        // The lenient reading of an amount takes a text without a leading
        // number as 0: nothing moves, nothing is refused.
        QTest::newRow("NaN") << "NaN"
                             << "" << 0.0 << 0.0;
        QTest::newRow("Infinity") << "Infinity"
                                  << "" << 0.0 << 0.0;
        QTest::newRow("-inf") << " -inf "
                              << "" << 0.0 << 0.0;
        QTest::newRow("past a trillion") << "1e13"
                                         << "" << Refused << Refused;
        QTest::newRow("a trillion") << "1000000000000"
                                    << "1000000000000" << 1e12 << 1e12;
        QTest::newRow("plain") << "37.5"
                               << "37.5" << 37.5 << 37.5;
        QTest::newRow("comma decimal") << "1,5"
                                       << "" << 1.0 << 1.0;
    }
    void typedAtTheCounter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, price);
        QFETCH(double, moved);
        QFETCH(double, bought);
        TestShop shop;
        shop.balances(1e12, 0);
        shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 1, 300, 0);
        PromptScope prompts;

        {
            TeaKind_frm form(shop.db());
            form.show();
            auto* box = form.findChild<BoundTextBox*>(QStringLiteral("txtFields_3"));
            box->selectAll();
            box->insert(typed);
            form.findChild<QPushButton*>(QStringLiteral("cmdUpdate"))->click();
            const QVariant stored = shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表"));
            QCOMPARE(displayText(stored), price.isEmpty() ? QStringLiteral("300") : price);
            QCOMPARE(prompts->messages().size(), price.isEmpty() ? 1 : 0);
            if (price.isEmpty() && numberInText(typed))
                QVERIFY2(prompts->messages()[0].text.startsWith(QStringLiteral("訂價「")),
                         qPrintable(prompts->messages()[0].text));
        }
        prompts->clear();
        {
            Money_frm form(shop.db());
            form.show();
            control<QLineEdit>(&form, "temp_money")->setText(typed);
            control<QPushButton>(&form, "bank_cmd")->click();
            QCOMPARE(shop.bank(), moved == Refused ? 0.0 : moved);
            QCOMPARE(shop.cash(), moved == Refused ? 1e12 : 1e12 - moved);
            QCOMPARE(prompts->messages().size(), moved == Refused ? 1 : 0);
        }
        shop.balances(1e12, 0);
        prompts->clear();
        {
            TeaStock_frm form(shop.db());
            form.show();
            control<QLineEdit>(&form, "Money")->setText(typed);
            control<QPushButton>(&form, "Buy")->click();
            QCOMPARE(shop.stock(QStringLiteral("T1")), bought == Refused ? 0.0 : bought);
            QCOMPARE(shop.cash(), bought == Refused ? 1e12 : 1e12 - bought);
            QCOMPARE(prompts->messages().size(), bought == Refused ? 1 : 0);
        }
    }

    void plantedInTheFile()
    {
        TestShop shop;
        shop.balances(500, 700);
        shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 100, 300, 10);
        shop.tea(QStringLiteral("T2"), QStringLiteral("包種"), 100, 200, 10);
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("T2"), 3);
        shop.plant(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = %1 WHERE 編號 = 'T1'").arg(TestShop::infinity()));
        shop.plant(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = %1, 進價 = %1 WHERE 編號 = 'T2'").arg(notANumber()));
        PromptScope prompts;

        {
            TeaKind_frm form(shop.db());
            form.show();
            form.grab(); // draws every cell
            auto* grid = form.findChild<DataGrid*>(QStringLiteral("grdDataGrid"));
            QCOMPARE(grid->model()->index(0, 3).data().toString(), badNumberMark());
            QCOMPARE(grid->model()->index(1, 3).data().toString(), badNumberMark());
            QCOMPARE(form.findChild<BoundTextBox*>(QStringLiteral("txtFields_3"))->text(), badNumberMark());
        }
        {
            TeaStock_frm form(shop.db());
            form.show();
            form.grab();
            control<QLineEdit>(&form, "Money")->setText(QStringLiteral("1"));
            control<DataGrid>(&form, "grdDataGrid")->selectRow(1);
            control<QPushButton>(&form, "Buy")->click(); // T2 has no usable purchase price
            QCOMPARE(shop.stock(QStringLiteral("T2")), 10.0);
            QCOMPARE(shop.cash(), 500.0);
        }
        QVERIFY(prompts->messages().size() == 1);
        QVERIFY(prompts->messages()[0].text.contains(QStringLiteral("進價不是可以計算的數值")));
        prompts->clear();
        {
            Order_frm form(shop.db());
            form.show();
            form.activate();
            QCOMPARE(control<QLabel>(&form, "Money")->text(), badNumberMark());
            control<QPushButton>(&form, "Command3")->click();
            QCOMPARE(prompts->messages().size(), 1);
            QVERIFY2(prompts->messages()[0].text.contains(QStringLiteral("茶葉 T2 的訂價不是可以計算的數值")),
                     qPrintable(prompts->messages()[0].text));
            QCOMPARE(shop.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表")).toInt(), 0);
            QCOMPARE(shop.stock(QStringLiteral("T2")), 10.0);
            QCOMPARE(shop.cash(), 500.0);
        }

        shop.plant(QStringLiteral("UPDATE 帳款資料表 SET 現金 = %1").arg(TestShop::infinity()));
        prompts->clear();
        {
            Money_frm form(shop.db());
            form.show();
            form.activate();
            QCOMPARE(control<BoundTextBox>(&form, "cash")->text(), badNumberMark());
            control<QLineEdit>(&form, "temp_money")->setText(QStringLiteral("10"));
            control<QPushButton>(&form, "cash_cmd")->click(); // bank to cash, worked out on an infinite cash
            QCOMPARE(prompts->messages().size(), 1);
            QCOMPARE(shop.bank(), 700.0);
        }

        const Run check = admin({QStringLiteral("check"), QStringLiteral("--database"), shop.path()});
        QCOMPARE(check.code, 3);
        for (const QString& part :
             {QStringLiteral("茶葉資料表 編號 T1 的 訂價：∞"), QStringLiteral("茶葉資料表 編號 T2 的 進價："),
              QStringLiteral("茶葉資料表 編號 T2 的 訂價："), QStringLiteral("帳款資料表 帳號 1 的 現金：∞")})
            QVERIFY2(check.out.contains(part), qPrintable(part + QStringLiteral("\n") + check.out));
    }
};

QTEST_MAIN(BadNumbers)
#include "tst_bad_numbers.moc"
