// The report screens as the owner uses them: the cash count stored once as an
// adjustment, the receipt offered after a checkout only when asked for, and
// the sales history and low-stock lists on a real shop.

#include "app/MDI_frm.h"
#include "books/Shop.h"
#include "books/StockCount.h"
#include "catalogue/StockCount_frm.h"
#include "catalogue/WriteOffWindow.h"
#include "orders/Order_frm.h"
#include "reports/DayReport_frm.h"
#include "reports/Losses_frm.h"
#include "reports/LowStock_frm.h"
#include "reports/People_frm.h"
#include "reports/Receipt.h"
#include "reports/Return_frm.h"
#include "reports/SalesHistory_frm.h"
#include "reports/Settings_frm.h"
#include "support/Controls.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/People.h"
#include "books/Settings.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// With LUMARO_SCREENSHOTS naming a folder, the screen is saved there for the
// README, at 1366x768 unless told.
void saveScreenshot(QWidget& screen, const char* name, QSize size = QSize(1366, 768))
{
    if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty()) {
        screen.resize(size);
        screen.grab().save(QDir(pictures).filePath(QString::fromLatin1(name)));
    }
}

} // namespace

class tst_report_screens : public QObject {
    Q_OBJECT
private slots:
    void cashCountStoredOnce()
    {
        TestShop shop;
        shop.balances(1000, 0);
        // A sale by card goes to the bank: the drawer's count does not miss it.
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 10);
        const qlonglong card = shop.order(QStringLiteral("刷卡客"));
        shop.line(card, QStringLiteral("A"), 2);
        OrderStore::Payment byCard;
        byCard.method = QStringLiteral("刷卡");
        OrderStore::settleOrder(shop.db(), card, OrderStore::Settle{{}, {}, byCard});
        QCOMPARE(shop.bank(), 300.0);
        PromptScope prompts;
        DayReport_frm screen(shop.db());
        screen.show();
        saveScreenshot(screen, "DayReport_frm.png");
        auto* counted = control<QLineEdit>(&screen, "txtCounted");
        auto* adjust = control<QPushButton>(&screen, "cmdAdjust");
        QCOMPARE(control<QLabel>(&screen, "lblBookCash")->text(), QStringLiteral("1000"));

        QTest::keyClicks(counted, QStringLiteral("987.5"));
        QCOMPARE(control<QLabel>(&screen, "lblDifference")->text(), QStringLiteral("少 12.5"));
        prompts->queueAnswer(Answer::No);
        adjust->click();
        QCOMPARE(shop.cash(), 1000.0);

        control<QLineEdit>(&screen, "txtReason")->setText(QStringLiteral("找錯錢"));
        prompts->queueAnswer(Answer::Yes);
        adjust->click();
        QCOMPARE(shop.cash(), 987.5);
        QVERIFY(!adjust->isEnabled());
        adjust->click(); // a second click has nothing left to store
        const auto rows = shop.rows(
            QStringLiteral("SELECT 種類, 現金變動, 說明 FROM 帳務日誌表 WHERE 種類 = '調整' AND 說明 <> 'balances'"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][1].toDouble(), -12.5);
        QCOMPARE(rows[0][2].toString(), QStringLiteral("找錯錢"));
        QCOMPARE(screen.report().adjustments.toString(), QStringLiteral("-12.5"));

        counted->setText(QStringLiteral("十元"));
        QVERIFY(!adjust->isEnabled()); // not an amount: nothing to store
        // Finer than the books hold: rounded, it would count an empty drawer.
        counted->setText(QStringLiteral("1e-5"));
        QCOMPARE(control<QLabel>(&screen, "lblDifference")->text(), QStringLiteral("（最多四位小數）"));
        QVERIFY(!adjust->isEnabled());
        screen.cmdAdjust_Click();
        QCOMPARE(prompts->messages().last().text,
                 QStringLiteral("點算的現金「1e-5」不是可以記帳的數值：最多只能有四位小數（最小到 0.0001）。"));
        QCOMPARE(shop.cash(), 987.5);
    }

    // The books change while the question is on the screen: the count is
    // not stored against the old figure; the new difference is asked again.
    void cashCountAskedAgainWhenTheBooksChange_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("again");
        QTest::addColumn<double>("stored");
        QTest::newRow("the same count stored elsewhere")
            << "count" << QStringLiteral("點算的現金與帳上相符，不需要調整。") << -10.0;
        QTest::newRow("a deposit") << "deposit"
                                   << QStringLiteral("帳上現金 995，點算 990，差額 -5。\r要把差額存成調整嗎？") << -5.0;
    }
    void cashCountAskedAgainWhenTheBooksChange()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, again);
        QFETCH(double, stored);
        TestShop shop;
        shop.balances(1000, 0);
        WhileAsking prompts(QStringLiteral("盤點"));
        auto other = openShop(shop.path());
        prompts.meanwhile = [&] {
            if (meanwhile == QLatin1String("count"))
                money::countCash(*other, Money::fromDouble(990), Money::fromDouble(1000), QStringLiteral("盤點"));
            else
                money::deposit(*other, Money::fromDouble(5));
        };
        DayReport_frm screen(shop.db());
        control<QLineEdit>(&screen, "txtCounted")->setText(QStringLiteral("990"));
        screen.cmdAdjust_Click();

        const auto shown = prompts.messages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, QStringLiteral("帳上現金 1000，點算 990，差額 -10。\r要把差額存成調整嗎？"));
        const QString changed =
            QStringLiteral("帳上現金剛從 1000 變成 %1（可能是另一台電腦記了帳），這次的差額沒有存下。\r")
                .arg(1000 + (meanwhile == QLatin1String("count") ? -10 : -5));
        QCOMPARE(shown[1].text, changed + again);
        QCOMPARE(shop.cash(), 990.0);
        const auto counts = shop.rows(
            QStringLiteral("SELECT 現金變動 FROM 帳務日誌表 WHERE 種類 = '調整' AND 說明 = '盤點' ORDER BY 日誌編號"));
        QCOMPARE(counts.size(), 1);
        QCOMPARE(counts[0][0].toDouble(), stored);
        QCOMPARE(control<QLabel>(&screen, "lblBookCash")->text(), QStringLiteral("990"));
    }

    // The stock count as the owner posts it: a difference per tea in its unit
    // and at 進價, one question, and a tea another terminal sold meanwhile
    // refused and shown again with its new book stock, nothing stored; then
    // posted again. A write-off of one tea, and the month's losses.
    void stockCountShownAgainWhenSoldMeanwhile()
    {
        TestShop shop;
        shop.balances(1000, 0);
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 100, 150, 5);
        shop.tea(QStringLiteral("B"), QStringLiteral("綠茶"), 10, 20, 2);
        WhileAsking prompts(QStringLiteral("盤點庫存"));
        auto other = openShop(shop.path());
        const qlonglong order = shop.order(QStringLiteral("王"));
        shop.line(order, QStringLiteral("B"), 1);
        prompts.meanwhile = [&] { OrderStore::settleOrder(*other, order); };
        StockCount_frm screen(shop.db());
        auto* grid = control<QTableView>(&screen, "grdCount");
        auto cell = [grid](int row, int column) { return grid->model()->index(row, column); };
        auto text = [&](int row, int column) { return cell(row, column).data().toString(); };
        auto type = [&](int row, int column, const QString& t) { grid->model()->setData(cell(row, column), t); };
        using C = StockCount_frm::Column;
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(text(0, C::Book), QStringLiteral("5"));
        QCOMPARE(text(0, C::Unit), QStringLiteral("公斤"));
        type(0, C::Counted, QStringLiteral("4.5"));
        type(0, C::Reason, moves::reason::Tasting);
        type(1, C::Counted, QStringLiteral("1"));
        QCOMPARE(text(0, C::Difference), QStringLiteral("-0.5"));
        QCOMPARE(text(0, C::Cost), QStringLiteral("-50"));
        QCOMPARE(control<QLabel>(&screen, "lblSummary")->text(),
                 QStringLiteral("已輸入 2 種，其中 2 種與帳面不同，差異金額合計 -60。"));
        screen.show();
        saveScreenshot(screen, "StockCount_frm.png");

        control<QPushButton>(&screen, "cmdPost")->click();
        const auto shown = prompts.messages();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].text.contains(QStringLiteral("A 烏龍：5 → 4.5 公斤（試喝/樣品）")),
                 qPrintable(shown[0].text));
        QVERIFY2(shown[1].text.contains(QStringLiteral("B 綠茶：帳面庫存從 2 變成 1")), qPrintable(shown[1].text));
        QCOMPARE(shop.stock(QStringLiteral("A")), 5.0);
        QCOMPARE(text(1, C::Book), QStringLiteral("1"));
        QCOMPARE(text(1, C::Counted), QStringLiteral("1")); // the count as typed
        QCOMPARE(text(1, C::Difference), QStringLiteral("0"));

        control<QPushButton>(&screen, "cmdPost")->click(); // the default answer: Yes
        QCOMPARE(shop.stock(QStringLiteral("A")), 4.5);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 原因 FROM 帳務日誌表 WHERE 種類 = '調整' AND 原因 IS NOT NULL"))
                     .toString(),
                 moves::reason::Tasting);
        QVERIFY(text(0, C::Counted).isEmpty());

        // Tea B goes damp: written off from the count, which then shows it.
        grid->setCurrentIndex(cell(1, C::Name));
        control<QPushButton>(&screen, "cmdWriteOff")->click();
        auto* writeOff = screen.findChild<WriteOffWindow*>();
        QVERIFY(writeOff);
        QCOMPARE(control<QLabel>(writeOff, "lblStock")->text(), QStringLiteral("1 公斤"));
        control<QLineEdit>(writeOff, "txtQuantity")->setText(QStringLiteral("2"));
        control<QPushButton>(writeOff, "cmdWriteOff")->click(); // more than there is: refused
        QVERIFY2(prompts.messages().last().text.contains(QStringLiteral("帳上只有 1公斤")),
                 qPrintable(prompts.messages().last().text));
        control<QLineEdit>(writeOff, "txtQuantity")->setText(QStringLiteral("300g"));
        control<QPushButton>(writeOff, "cmdWriteOff")->click();
        QCOMPARE(shop.stock(QStringLiteral("B")), 0.7);
        QCOMPARE(text(1, C::Book), QStringLiteral("0.7"));
        // A count typed stays with its tea when a new tea comes before it.
        type(1, C::Counted, QStringLiteral("0.6"));
        shop.tea(QStringLiteral("0"), QStringLiteral("白茶"), 1, 2, 3);
        control<QPushButton>(&screen, "cmdRefresh")->click();
        QCOMPARE(text(2, C::Counted), QStringLiteral("0.6"));
        QCOMPARE(text(2, C::Difference), QStringLiteral("-0.1"));
        QVERIFY(text(1, C::Counted).isEmpty());

        Losses_frm losses(shop.db());
        auto* lossGrid = control<QTableWidget>(&losses, "grdLosses");
        QCOMPARE(lossGrid->rowCount(), 2);
        QCOMPARE(lossGrid->item(0, 3)->text(), moves::reason::Tasting);
        QCOMPARE(lossGrid->item(1, 4)->text(), QStringLiteral("0.3"));
        QCOMPARE(lossGrid->item(1, 6)->text(), QStringLiteral("3"));
        losses.show();
        saveScreenshot(losses, "Losses_frm.png");
        if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty()) {
            WriteOffWindow again(shop.db(), QStringLiteral("A"));
            again.show();
            again.grab().save(QDir(pictures).filePath(QStringLiteral("WriteOffWindow.png")));
        }
    }

    void receiptAfterCheckout_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("offered");
        QTest::newRow("off by default") << QString() << false;
        QTest::newRow("on") << QStringLiteral("1") << true;
    }

    void receiptAfterCheckout()
    {
        QFETCH(QString, setting);
        QFETCH(bool, offered);
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("鐵觀音"), 10, 12.5, 100).balances(0, 0);
        const qlonglong o = shop.order(QStringLiteral("張"));
        shop.line(o, QStringLiteral("A"), 2);
        if (!setting.isEmpty())
            settings::set(shop.db(), settings::key::ReceiptAfterCheckout, setting);
        PromptScope prompts;
        prompts->queueInput(QStringLiteral("secret"));
        MDI_frm window(shop.db());
        window.show();
        QVERIFY(window.Form_Load());
        window.EditOrder_Click();
        prompts->clear();
        prompts->queueAnswer(Answer::Yes);
        window.orderScreen()->findChild<QPushButton*>(QStringLiteral("Command3"))->click();

        // The checkout's own question is the only prompt either way.
        QCOMPARE(prompts->shown().size(), 1);
        QCOMPARE(prompts->shown()[0].title, QStringLiteral("訂單結帳"));
        auto* receipt = window.findChild<ReceiptWindow*>();
        QCOMPARE(receipt != nullptr, offered);
        if (receipt) {
            QCOMPARE(receipt->receipt().order, o);
            QCOMPARE(receipt->receipt().total.toString(), QStringLiteral("25"));
        }
    }

    // Every total shows whole, at any size of the font: a cell a fraction of
    // a pixel too narrow for its figure shows "311…" instead.
    void salesTotalsShowWhole()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("高山"), 1, 1111.1111, 100).balances(0, 0);
        for (int kg = 1; kg <= 9; ++kg) {
            const qlonglong o = shop.order(QStringLiteral("林"));
            shop.line(o, QStringLiteral("A"), kg);
            OrderStore::settleOrder(shop.db(), o);
        }
        PromptScope prompts;
        SalesHistory_frm sales(shop.db());
        auto* list = control<QTableWidget>(&sales, "grdSales");
        const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
        for (const qreal points : {7.0, 8.0, 8.5, 9.0, 10.0, 11.0, 12.0, 13.5}) {
            QFont f = list->font();
            f.setPointSizeF(points);
            list->setFont(f);
            control<QPushButton>(&sales, "cmdSearch")->click();
            QCOMPARE(list->rowCount(), 9);
            for (int r = 0; r < list->rowCount(); ++r) {
                const QString total = list->item(r, 3)->text();
                QVERIFY2(QFontMetricsF(f).horizontalAdvance(total) <= list->columnWidth(3) - 1 - 2 * margin,
                         qPrintable(QStringLiteral("%1 at %2 points").arg(total).arg(points)));
            }
        }
    }

    void salesHistoryAndLowStock()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("高山"), 10, 12.5, 4)
            .tea(QStringLiteral("B"), QStringLiteral("紅茶"), 10, 20, 50)
            .balances(0, 0);
        for (const QString& who : {QStringLiteral("林"), QStringLiteral("黃")}) {
            const qlonglong o = shop.order(who);
            shop.line(o, QStringLiteral("A"), 1);
            OrderStore::Payment p; // 黃 pays 12 after 0.5 off, 5 of it by card
            if (who == QStringLiteral("黃")) {
                payments::setOrderDiscount(shop.db(), o, QStringLiteral("0.5"));
                p.second = QStringLiteral("刷卡");
                p.secondAmount = Money::fromDouble(5);
            }
            OrderStore::settleOrder(shop.db(), o, OrderStore::Settle{{}, {}, p});
        }
        PromptScope prompts;
        SalesHistory_frm sales(shop.db());
        auto* salesList = control<QTableWidget>(&sales, "grdSales");
        QAbstractItemModel* lines = control<QTableView>(&sales, "grdLines")->model();
        QAbstractItemModelTester linesChecked(lines, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(salesList->rowCount(), 2);
        QCOMPARE(salesList->item(0, 2)->text(), QStringLiteral("黃")); // newest first
        QCOMPARE(salesList->item(0, 3)->text() + QLatin1Char('|') + salesList->item(0, 4)->text() + QLatin1Char('|') +
                     salesList->item(0, 5)->text(),
                 QStringLiteral("12|0.5|現金 7、刷卡 5"));
        auto* methods = control<QLabel>(&sales, "lblMethods");
        QCOMPARE(methods->text(), QStringLiteral("列出的訂單各付款方式：現金 19.5（2 筆）、刷卡 5（1 筆）"));
        saveScreenshot(sales, "SalesHistory_frm.png");
        ReceiptWindow receipt(shop.db(), salesList->item(0, 0)->text().toLongLong());
        QCOMPARE(receipt.receipt().customer, QStringLiteral("黃"));
        saveScreenshot(receipt, "receipt.png", QSize(480, 520));
        QCOMPARE(lines->rowCount(), 1);
        QCOMPARE(lines->index(0, 4).data().toString(), QStringLiteral("12.5"));
        control<QLineEdit>(&sales, "txtCustomer")->setText(QStringLiteral("林"));
        control<QPushButton>(&sales, "cmdSearch")->click();
        QCOMPARE(salesList->rowCount(), 1);
        QCOMPARE(methods->text(), QStringLiteral("列出的訂單各付款方式：現金 12.5（1 筆）"));
        // A shop of one has no one to choose; with a clerk, the list reads per person.
        QVERIFY(!control<QComboBox>(&sales, "cboPerson")->isVisibleTo(&sales));
        const people::Person amy =
            people::add(shop.db(), QStringLiteral("阿美"), people::Role::Clerk, QStringLiteral("amy1"));
        people::signIn(shop.db(), amy);
        const qlonglong third = shop.order(QStringLiteral("陳"));
        shop.line(third, QStringLiteral("B"), 1);
        OrderStore::settleOrder(shop.db(), third);
        people::signIn(shop.db(), people::Person{});
        SalesHistory_frm byPerson(shop.db());
        auto* who = control<QComboBox>(&byPerson, "cboPerson");
        QVERIFY(who->isVisibleTo(&byPerson));
        who->setCurrentIndex(who->findText(QStringLiteral("阿美")));
        control<QPushButton>(&byPerson, "cmdSearch")->click();
        QCOMPARE(control<QTableWidget>(&byPerson, "grdSales")->rowCount(), 1);
        QCOMPARE(control<QTableWidget>(&byPerson, "grdSales")->item(0, 2)->text(), QStringLiteral("陳"));
        saveScreenshot(byPerson, "SalesHistory_frm-people.png");

        LowStock_frm low(shop.db());
        auto* lowList = control<QTableWidget>(&low, "grdLow");
        QCOMPARE(lowList->rowCount(), 1); // A: 4 - 2 = 2 kg, below 5
        QCOMPARE(lowList->item(0, 2)->text(), QStringLiteral("2"));
        QCOMPARE(lowList->item(0, 3)->text(), QStringLiteral("2"));

        Settings_frm settingsScreen(shop.db());
        auto* level = control<QLineEdit>(&settingsScreen, "txtLowStockLevel");
        auto* save = control<QPushButton>(&settingsScreen, "cmdSave");
        level->setText(QStringLiteral("五"));
        control<QLineEdit>(&settingsScreen, "txtShopName")->setText(QStringLiteral("不該存"));
        save->click();
        QCOMPARE(settings::get(shop.db(), settings::key::ShopName), QString()); // refused whole
        level->setText(QStringLiteral("60"));
        save->click();
        QCOMPARE(settings::get(shop.db(), settings::key::ShopName), QStringLiteral("不該存"));
        low.reload();
        QCOMPARE(lowList->rowCount(), 2);
        // Saved without touching them: the methods and the cap stay unset.
        QCOMPARE(shop.scalar(QStringLiteral("SELECT COUNT(*) FROM 設定表 WHERE 項目 IN ('付款方式', '折扣上限')"))
                     .toInt(),
                 0);
    }

    // The owner adds, renames and retires methods and sets the cap; 現金 stays
    // as it is, a list that cannot be kept is refused whole, and a damaged
    // value reads as the defaults and says so.
    void paymentMethodsAndCap()
    {
        TestShop shop;
        PromptScope prompts;
        auto methods = [&] {
            QStringList out;
            for (const payments::Method& m : payments::methods(shop.db()).list)
                out << m.name + (m.bank ? QStringLiteral("→銀行") : QStringLiteral("→現金")) +
                           (m.retired ? QStringLiteral("（停用）") : QString());
            return out.join(QLatin1Char(' '));
        };
        const QString defaults = QStringLiteral("現金→現金 刷卡→銀行 行動支付→銀行 轉帳→銀行");
        QCOMPARE(methods(), defaults);
        Settings_frm screen(shop.db());
        auto* grid = control<QTableWidget>(&screen, "grdMethods");
        auto* cap = control<QLineEdit>(&screen, "txtDiscountCap");
        auto* save = control<QPushButton>(&screen, "cmdSave");
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(cap->text(), QStringLiteral("100"));
        QVERIFY(!(grid->item(0, 2)->flags() & Qt::ItemIsUserCheckable)); // 現金 cannot be retired
        QVERIFY(!grid->cellWidget(0, 1)->isEnabled());

        control<QPushButton>(&screen, "cmdAddMethod")->click();
        grid->item(4, 0)->setText(QStringLiteral(" 禮券 "));
        qobject_cast<QComboBox*>(grid->cellWidget(4, 1))->setCurrentIndex(0);
        grid->item(1, 0)->setText(QStringLiteral("信用卡"));
        grid->item(3, 2)->setCheckState(Qt::Checked);
        cap->setText(QStringLiteral("30"));
        save->click();
        QCOMPARE(methods(), QStringLiteral("現金→現金 信用卡→銀行 行動支付→銀行 轉帳→銀行（停用） 禮券→現金"));
        QCOMPARE(payments::activeMethods(shop.db()).size(), 4);
        QCOMPARE(payments::discountCap(shop.db()), Money::fromDouble(30));
        if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty()) {
            screen.resize(980, 420);
            screen.grab().save(QDir(pictures).filePath(QStringLiteral("Settings_frm-payment.png")));
        }

        for (const auto& [name, capText, message] :
             {std::tuple{QStringLiteral("現金"), QStringLiteral("30"),
                         QStringLiteral("付款方式「現金」重複了，每個付款方式的名稱要不同。")},
              std::tuple{QString(), QStringLiteral("30"), QStringLiteral("付款方式的名稱不能空白。")},
              std::tuple{QStringLiteral("信用卡"), QStringLiteral("120"),
                         QStringLiteral("折扣上限要是 0 到 100 的百分比（最多兩位小數）。")}}) {
            grid->item(1, 0)->setText(name);
            cap->setText(capText);
            prompts->clear();
            save->click();
            QCOMPARE(prompts->messages().last().text, message);
            QCOMPARE(payments::discountCap(shop.db()), Money::fromDouble(30)); // nothing stored
        }

        settings::set(shop.db(), settings::key::PaymentMethods, QStringLiteral("[{\"name\": 1}"));
        QCOMPARE(methods(), defaults);
        QVERIFY(payments::methods(shop.db()).damaged);
        Settings_frm again(shop.db());
        again.show();
        QVERIFY(control<QLabel>(&again, "lblMethodsDamaged")->isVisible());
        control<QPushButton>(&again, "cmdSave")->click();
        QVERIFY(!payments::methods(shop.db()).damaged); // the defaults replace it
    }

    // The owner adds people, changes a role, resets a password and retires a
    // person through 人員管理; each refusal of the books is told and leaves
    // the people as they were, and a 店員 changes nothing without an owner.
    void peopleScreen()
    {
        TestShop shop(QStringLiteral("secret"));
        Database& db = shop.db();
        PromptScope prompts;
        People_frm screen(db);
        auto* grid = control<QTableWidget>(&screen, "grdPeople");
        // What the button told last, with the typed answers queued.
        auto click = [&](const char* button, int row, const QStringList& typed) {
            grid->setCurrentCell(row, 0);
            prompts->clear();
            for (const QString& t : typed)
                prompts->queueInput(t);
            control<QPushButton>(&screen, button)->click();
            return prompts->messages().isEmpty() ? QString() : prompts->messages().last().text;
        };
        const QString lastOwner = QStringLiteral("商店至少要有一位在職的老闆，不能停用或改變最後一位老闆。");
        const QString mismatch = QStringLiteral("兩次輸入的密碼不一樣，沒有做任何變更。");
        QCOMPARE(click("cmdAdd", 0, texts({"阿美", "amy1", "amy1"})), QString());
        saveScreenshot(screen, "People_frm.png", QSize(640, 300));
        QCOMPARE(click("cmdAdd", 0, texts({"小王", "w1", "w2"})), mismatch);
        QCOMPARE(click("cmdAdd", 0, texts({"小王", "amy1", "amy1"})),
                 QStringLiteral("這個密碼已經有別人使用，請換一個：密碼要能分辨是誰在操作。"));
        QCOMPARE(click("cmdRetire", 0, {}), lastOwner);
        QCOMPARE(click("cmdRole", 0, {}), lastOwner);
        QCOMPARE(click("cmdRole", 1, {}), // 阿美 becomes an owner once asked
                 QStringLiteral("把「阿美」從店員改為老闆？\r已經登入的人，下次登入時才會改變。"));
        QCOMPARE(click("cmdPassword", 1, texts({"amy2", "amy3"})), mismatch);
        QCOMPARE(click("cmdPassword", 1, texts({"amy2", "amy2"})), QStringLiteral("已重設「阿美」的密碼。"));
        QCOMPARE(people::signingIn(db, QStringLiteral("amy2"), false)->name, QStringLiteral("阿美"));
        QVERIFY(!people::signingIn(db, QStringLiteral("amy1"), false));
        QCOMPARE(click("cmdAdd", 0, texts({"小王", "wang1", "wang1"})), QString());
        QCOMPARE(click("cmdRetire", 1, {}),
                 QStringLiteral("停用「阿美」？\r停用後不能再登入，歷史紀錄仍會顯示這個名字。"));
        QCOMPARE(click("cmdPassword", 1, {}), QStringLiteral("「阿美」已經停用。"));

        // A 店員 at the screen an owner opened: each change asks again.
        const people::Person wang = people::signingIn(db, QStringLiteral("wang1"), false).value();
        people::signIn(db, wang);
        QCOMPARE(click("cmdAdd", 0, texts({"wang1"})), QStringLiteral("老闆密碼不正確，這個動作沒有執行。"));
        QCOMPARE(click("cmdAdd", 0, texts({"secret", "小李", "lee1", "lee1"})), QString());
        people::signIn(db, people::Person{});

        QStringList shown;
        for (int r = 0; r < grid->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->columnCount(); ++c)
                cells << grid->item(r, c)->text();
            shown << cells.join(QLatin1Char(' '));
        }
        QCOMPARE(shown, texts({"老闆 老闆 在職 系統密碼", "阿美 老闆 停用 個人密碼", "小王 店員 在職 個人密碼",
                               "小李 店員 在職 個人密碼"}));
        QVERIFY(grid->item(1, 0)->foreground().color() != grid->item(0, 0)->foreground().color());
    }

    // From 銷售紀錄: a line of a discounted sale returned and written off,
    // its slip read back from the PDF, then the rest voided; the list shows
    // the sale net of its returns.
    void returnAndVoidFromTheSalesHistory()
    {
        TestShop shop;
        shop.balances(1000, 0)
            .tea(QStringLiteral("A"), QStringLiteral("凍頂烏龍"), 60, 100, 10)
            .tea(QStringLiteral("B"), QStringLiteral("文山包種"), 40, 70, 10);
        settings::set(shop.db(), settings::key::ShopName, QStringLiteral("山嵐茶行"));
        const qlonglong order = shop.order(QStringLiteral("王小明"));
        payments::setLineDiscount(shop.db(), shop.line(order, QStringLiteral("A"), 3), QStringLiteral("10%"));
        shop.line(order, QStringLiteral("B"), 1);
        payments::setOrderDiscount(shop.db(), order, QStringLiteral("7"));
        OrderStore::settleOrder(shop.db(), order);
        PromptScope prompts;
        SalesHistory_frm screen(shop.db());
        screen.show();
        control<QPushButton>(&screen, "cmdReturn")->click();
        auto* dialog = screen.findChild<Return_frm*>(QStringLiteral("Return_frm"));
        QVERIFY(dialog);
        QCOMPARE(control<QTableWidget>(dialog, "grdLines")->item(0, 5)->text(), QStringLiteral("264.4412"));
        control<QLineEdit>(dialog, "txtQty_0")->setText(QStringLiteral("5"));
        QVERIFY(!control<QPushButton>(dialog, "cmdOk")->isEnabled()); // more than was sold
        control<QLineEdit>(dialog, "txtQty_0")->setText(QStringLiteral("1,000"));
        QVERIFY(!control<QPushButton>(dialog, "cmdOk")->isEnabled());            // never read as 1
        control<QLineEdit>(dialog, "txtQty_0")->setText(QStringLiteral("半斤")); // 0.3 公斤
        QCOMPARE(control<QLabel>(dialog, "lblRefund")->text(), QStringLiteral("26.4441 元"));
        control<QLineEdit>(dialog, "txtReason")->setText(QStringLiteral("受潮"));
        QVERIFY(!control<QComboBox>(dialog, "cboWriteOffReason")->isEnabled());
        control<QComboBox>(dialog, "cboWhere")->setCurrentIndex(1);
        control<QComboBox>(dialog, "cboWriteOffReason")->setCurrentText(QStringLiteral("試喝/樣品"));
        saveScreenshot(*dialog, "Return_frm.png", QSize(720, 440));
        prompts->queueAnswer(Answer::Yes);
        control<QPushButton>(dialog, "cmdOk")->click();
        QCOMPARE(prompts->messages().last().text,
                 QStringLiteral("退貨 26.4441 元給客戶（現金），茶葉報廢。\r確定嗎？"));
        QCOMPARE(shop.cash(), 1000 + 333 - 26.4441);
        QCOMPARE(shop.stock(QStringLiteral("A")), 7.0);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT 原因 FROM 帳務日誌表 WHERE 種類 = '調整' AND 原交易 IS NOT NULL"))
                     .toString(),
                 QStringLiteral("試喝/樣品"));
        QCOMPARE(control<QTableWidget>(&screen, "grdSales")->item(0, 3)->text(),
                 QStringLiteral("306.5559（已退 26.4441）"));

        auto* slip = screen.findChild<ReturnSlipWindow*>(QStringLiteral("ReturnSlipWindow"));
        QVERIFY(slip);
        saveScreenshot(*slip, "return-slip.png", QSize(380, 520));
        const QString pdf = shop.folder() + QStringLiteral("/退貨單.pdf");
        saveReturnSlipPdf(slip->slip(), pdf);
        const QString text =
            test::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                .out.simplified();
        for (const QString& want :
             {QStringLiteral("山嵐茶行"), QStringLiteral("退貨單"), QStringLiteral("訂單編號：%1").arg(order),
              QStringLiteral("王小明"), QStringLiteral("凍頂烏龍 0.3 公斤 26.4441"), QStringLiteral("退款：26.4441"),
              QStringLiteral("退款方式：現金"), QStringLiteral("原因：受潮"), QStringLiteral("報廢")})
            QVERIFY2(text.contains(want), qPrintable(want + QStringLiteral(" not in: ") + text));

        prompts->queueAnswer(Answer::Yes);
        control<QPushButton>(&screen, "cmdVoid")->click();
        QCOMPARE(prompts->messages().last().text,
                 QStringLiteral("作廢訂單 %1：退 306.5559 元給客戶（現金），茶葉放回庫存。\r確定嗎？").arg(order));
        QCOMPARE(shop.cash(), 1000.0);
        QCOMPARE(shop.stock(QStringLiteral("A")), 9.7);
        QCOMPARE(shop.stock(QStringLiteral("B")), 10.0);
        QCOMPARE(control<QTableWidget>(&screen, "grdSales")->item(0, 3)->text(), QStringLiteral("0（已退 333）"));
        const ShopCheck c = checkShop(shop.db());
        QVERIFY(c.books.isEmpty() && c.overreturned.isEmpty());
    }
};

QTEST_MAIN(tst_report_screens)
#include "tst_report_screens.moc"
