#include "books/MoneyMoves.h"
#include "books/Settings.h"
#include "books/Shop.h"
#include "books/TeaUnits.h"
#include "catalogue/TeaStock_frm.h"
#include "data/DataControl.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "platform/Geometry.h"
#include "support/TestShop.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// Three teas on a fresh shop, the screen opened on them.
struct StockScreen {
    TestShop shop;
    PromptScope prompts;
    std::unique_ptr<TeaStock_frm> form;

    explicit StockScreen(double cash = 10000, bool teas = true)
    {
        shop.balances(cash, 0.0);
        if (teas) {
            shop.tea(QStringLiteral("A01"), QStringLiteral("凍頂烏龍"), 120.0, 200.0, 10.0);
            shop.tea(QStringLiteral("B02"), QStringLiteral("東方美人"), 300.0, 450.0, 4.0);
            shop.tea(QStringLiteral("C03"), QStringLiteral("四季春"), 50.0, 80.0, QVariant());
        }
        form = std::make_unique<TeaStock_frm>(shop.db());
        form->show();
        datPrimaryRS = form->findChild<DataControl*>(QStringLiteral("datPrimaryRS"));
        TeaNum = form->findChild<BoundTextBox*>(QStringLiteral("TeaNum"));
        TeaName = form->findChild<BoundTextBox*>(QStringLiteral("TeaName"));
        HScroll1 = form->findChild<QScrollBar*>(QStringLiteral("HScroll1"));
        Money = form->findChild<QLineEdit*>(QStringLiteral("Money"));
        Buy = form->findChild<QPushButton*>(QStringLiteral("Buy"));
        grdDataGrid = form->findChild<DataGrid*>(QStringLiteral("grdDataGrid"));
    }
    DataControl* datPrimaryRS;
    BoundTextBox *TeaNum, *TeaName;
    QScrollBar* HScroll1;
    QLineEdit* Money;
    QPushButton* Buy;
    DataGrid* grdDataGrid;

    void choose(int row) { grdDataGrid->selectRow(row); }
    QString shownStock(int row)
    {
        QAbstractItemModel* m = grdDataGrid->model();
        return m->data(m->index(row, 4)).toString();
    }
};

} // namespace

class tst_teastock : public QObject {
    Q_OBJECT

private slots:
    void scrollBarWritesTheQuantity_data();
    void scrollBarWritesTheQuantity();
    void purchase_data();
    void purchase();
    void otherTeaKeepsTheQuantityAndTwiceBuysTwice();
    void gridShowsTheStoredStockOnTheSameTea();
    void refusals();
    void failureBetweenTheTwoChangesStoresNothing();
    void resizeMovesOnlyTheGridHeight();
    void buysATeaInItsUnit();
    void paidAsItWas();
};

void tst_teastock::scrollBarWritesTheQuantity_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("money");
    QTest::newRow("arrow right") << int(QAbstractSlider::SliderSingleStepAdd) << 1 << "2";
    QTest::newRow("trough right") << int(QAbstractSlider::SliderPageStepAdd) << 1 << "11";
    QTest::newRow("trough twice") << int(QAbstractSlider::SliderPageStepAdd) << 2 << "21";
    QTest::newRow("to the end") << int(QAbstractSlider::SliderToMaximum) << 1 << "32767";
    QTest::newRow("arrow left at the start stays put") << int(QAbstractSlider::SliderSingleStepSub) << 1 << "0";
}

void tst_teastock::scrollBarWritesTheQuantity()
{
    QFETCH(int, action);
    QFETCH(int, times);
    QFETCH(QString, money);
    StockScreen s;
    QCOMPARE(s.Money->text(), QStringLiteral("0"));
    QCOMPARE(s.HScroll1->value(), 1);
    for (int i = 0; i < times; ++i)
        s.HScroll1->triggerAction(QAbstractSlider::SliderAction(action));
    QCOMPARE(s.Money->text(), money);
}

void tst_teastock::purchase_data()
{
    QTest::addColumn<int>("scroll");    // 0: leave the scroll bar alone
    QTest::addColumn<QString>("typed"); // null: type nothing
    QTest::addColumn<double>("cash");
    QTest::addColumn<double>("newStock");
    QTest::addColumn<double>("newCash");

    QTest::newRow("scroll bar never moved buys 0") << 0 << QString() << 1000.0 << 10.0 << 1000.0;
    QTest::newRow("5 kg at 120") << 5 << QString() << 1000.0 << 15.0 << 400.0;
    QTest::newRow("typed fraction") << 0 << "2.5" << 1000.0 << 12.5 << 700.0;
    QTest::newRow("typed with unit") << 0 << "12kg" << 2000.0 << 22.0 << 560.0;
    QTest::newRow("typed in another unit") << 0 << "150g" << 1000.0 << 10.15 << 982.0;
    QTest::newRow("typed letters") << 0 << "abc" << 1000.0 << 10.0 << 1000.0;
    QTest::newRow("typed nothing") << 0 << "" << 1000.0 << 10.0 << 1000.0;
    QTest::newRow("negative returns to the supplier") << 0 << "-3" << 1000.0 << 7.0 << 1360.0;
    QTest::newRow("typed over the scroll bar") << 9 << "1" << 1000.0 << 11.0 << 880.0;
    QTest::newRow("more than the cash") << 10 << QString() << 100.0 << 20.0 << -1100.0;
}

void tst_teastock::purchase()
{
    QFETCH(int, scroll);
    QFETCH(QString, typed);
    QFETCH(double, cash);
    QFETCH(double, newStock);
    QFETCH(double, newCash);

    StockScreen s(cash);
    if (scroll)
        s.HScroll1->setValue(scroll);
    if (!typed.isNull()) {
        s.Money->clear();
        QTest::keyClicks(s.Money, typed);
    }
    QTest::mouseClick(s.Buy, Qt::LeftButton);

    QCOMPARE(s.shop.stock(QStringLiteral("A01")), newStock);
    QCOMPARE(s.shop.cash(), newCash);
    QCOMPARE(s.shop.stock(QStringLiteral("B02")), 4.0);
    QVERIFY(s.prompts->messages().isEmpty());
    // The quantity stays as it was.
    if (!typed.isNull())
        QCOMPARE(s.Money->text(), typed);
}

void tst_teastock::otherTeaKeepsTheQuantityAndTwiceBuysTwice()
{
    StockScreen s;
    s.HScroll1->setValue(3);
    s.choose(1);
    QCOMPARE(s.TeaNum->text(), QStringLiteral("B02"));
    QCOMPARE(s.Money->text(), QStringLiteral("3"));

    s.Buy->click();
    s.Buy->click();
    QCOMPARE(s.shop.stock(QStringLiteral("B02")), 10.0);
    QCOMPARE(s.shop.stock(QStringLiteral("A01")), 10.0);
    QCOMPARE(s.shop.cash(), 10000.0 - 2 * 3 * 300.0);

    // An empty stock counts as 0.
    s.choose(2);
    s.Buy->click();
    QCOMPARE(s.shop.stock(QStringLiteral("C03")), 3.0);
    QCOMPARE(s.shop.cash(), 10000.0 - 1800.0 - 150.0);
}

void tst_teastock::gridShowsTheStoredStockOnTheSameTea()
{
    StockScreen s;
    s.choose(1);
    // Another terminal buys some of the same tea meanwhile.
    auto other = openShop(s.shop.path());
    money::purchase(*other, QStringLiteral("B02"), Money::fromDouble(1.5));
    QCOMPARE(s.shownStock(1), QStringLiteral("4"));

    s.HScroll1->setValue(2);
    s.Buy->click();
    QCOMPARE(s.shop.stock(QStringLiteral("B02")), 7.5);
    QCOMPARE(s.shownStock(1), QStringLiteral("7.5"));
    QCOMPARE(s.datPrimaryRS->currentRow(), 1);
    QCOMPARE(s.grdDataGrid->currentDataRow(), 1);
    QCOMPARE(s.TeaNum->text(), QStringLiteral("B02"));
    QCOMPARE(s.TeaName->text(), QStringLiteral("東方美人"));
    QVERIFY(!s.datPrimaryRS->hasPending());
}

void tst_teastock::refusals()
{
    struct Case {
        const char* name;
        std::function<void(TestShop&)> prepare;
        bool teas;
        QString message;
    };
    const QList<Case> cases = {
        {"empty catalogue", [](TestShop&) {}, false, QStringLiteral("請先選擇茶葉")},
        {"no purchase price",
         [](TestShop& shop) { shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 進價 = NULL WHERE 編號 = 'A01'")); },
         true, QStringLiteral("此茶葉沒有進價")},
        {"tea deleted by another terminal",
         [](TestShop& shop) { shop.exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'A01'")); }, true,
         QStringLiteral("找不到編號「A01」的茶葉，它可能已被刪除。")},
    };
    for (const Case& c : cases) {
        StockScreen s(500.0, c.teas);
        c.prepare(s.shop);
        const QString stockSql = QStringLiteral("SELECT 編號, 庫存 FROM 茶葉資料表 ORDER BY 編號");
        const auto stockBefore = s.shop.rows(stockSql);
        s.HScroll1->setValue(5);
        s.Buy->click();
        const auto shown = s.prompts->messages();
        QVERIFY2(shown.size() == 1, c.name);
        QCOMPARE(shown.first().text, c.message);
        QCOMPARE(s.shop.cash(), 500.0);
        QCOMPARE(s.shop.rows(stockSql), stockBefore);
        QVERIFY(!s.shop.db().inTransaction());
    }
}

void tst_teastock::failureBetweenTheTwoChangesStoresNothing()
{
    StockScreen s(1000.0);
    // The stock is raised first; paying from the cash then fails.
    s.shop.failWrites(QStringLiteral("現金故障"), QStringLiteral("BEFORE UPDATE OF 現金"), QStringLiteral("帳款資料表"),
                      QStringLiteral("磁碟故障"));
    s.HScroll1->setValue(5);
    s.Buy->click();

    QCOMPARE(s.shop.stock(QStringLiteral("A01")), 10.0);
    QCOMPARE(s.shop.cash(), 1000.0);
    QCOMPARE(s.prompts->messages().size(), 1);
    QVERIFY(s.prompts->messages().first().text.contains(QStringLiteral("磁碟故障")));
    QCOMPARE(s.shownStock(0), QStringLiteral("10"));
    if (const QString dir = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !dir.isEmpty())
        s.form->grab().save(QDir(dir).filePath(QStringLiteral("TeaStock_frm-unit.png")));
    QVERIFY(!s.datPrimaryRS->hasPending());

    // The same purchase goes through whole once the fault is gone.
    s.shop.dropFailure(QStringLiteral("現金故障"), QStringLiteral("帳款資料表"));
    s.Buy->click();
    QCOMPARE(s.shop.stock(QStringLiteral("A01")), 15.0);
    QCOMPARE(s.shop.cash(), 400.0);
}

void tst_teastock::resizeMovesOnlyTheGridHeight()
{
    StockScreen s;
    const QRect before = s.grdDataGrid->geometry();
    const QRect buy = s.Buy->geometry();
    s.form->resize(800, 600); // inner height 9000 twips
    QCOMPARE(s.grdDataGrid->geometry(), QRect(before.x(), before.y(), before.width(), twips(8470)));
    QCOMPARE(s.Buy->geometry(), buy);

    // A window too small for any grid leaves the grid as it was.
    s.form->resize(800, 20);
    QCOMPARE(s.grdDataGrid->height(), twips(8470));
    QVERIFY(s.prompts->messages().isEmpty());
}

// A tea in 兩: Label2 names it, another unit typed is converted, and one of
// another measure is refused with nothing bought.
void tst_teastock::buysATeaInItsUnit()
{
    StockScreen s;
    const QLabel* label2 = s.form->findChild<QLabel*>(QStringLiteral("Label2"));
    const QRect kg = label2->geometry();
    QCOMPARE(label2->text(), QStringLiteral("Kg"));
    teaUnits::changeUnit(s.shop.db(), QStringLiteral("C03"), QStringLiteral("兩"));
    s.choose(2);
    QCOMPARE(label2->text(), QStringLiteral("兩"));
    s.Money->setText(QStringLiteral("半斤"));
    s.Buy->click();
    QCOMPARE(s.shop.stock(QStringLiteral("C03")), 8.0);
    QCOMPARE(s.shop.cash(), 10000.0 - 8 * 1.875);
    QCOMPARE(s.shownStock(2), QStringLiteral("8 兩"));
    QCOMPARE(s.shownStock(0), QStringLiteral("10"));
    if (const QString dir = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !dir.isEmpty())
        s.form->grab().save(QDir(dir).filePath(QStringLiteral("TeaStock_frm-unit.png")));
    s.Money->setText(QStringLiteral("2盒"));
    s.Buy->click();
    QCOMPARE(s.prompts->messages().size(), 1);
    QVERIFY(s.prompts->messages()[0].text.startsWith(QStringLiteral("「2盒」是以盒計的數量")));
    QCOMPARE(s.shop.stock(QStringLiteral("C03")), 8.0);
    s.choose(0);
    QCOMPARE(label2->text(), QStringLiteral("Kg"));
    QCOMPARE(label2->geometry(), kg);
}

void tst_teastock::paidAsItWas()
{
    struct Case {
        const char* name;
        const char *quantity, *paid;
        bool fromBank, ask;
        Answer answer; // to the question, when one is asked
        double cash, bank, stock;
        QString message; // the one prompt shown, empty for none
        QVariant price;  // the journal's price per kg, when stored
    };
    const QString below = QStringLiteral("這次進貨要從現金付 1200 元，付款後現金會是 -200 元。\r仍要進貨嗎？");
    const QList<Case> cases = {
        {"this week's price", "5", "550", false, false, Answer::Ok, 450, 5000, 15, {}, 110.0},
        {"from the bank at 進價", "5", "", true, false, Answer::Ok, 1000, 4400, 15, {}, 120.0},
        {"from the bank at a new price", "2", "250", true, false, Answer::Ok, 1000, 4750, 12, {}, 125.0},
        {"back to the supplier, refunded as paid", "-2", "230", false, false, Answer::Ok, 1230, 5000, 8, {}, 115.0},
        {"amount unreadable",
         "5",
         "abc",
         false,
         false,
         Answer::Ok,
         1000,
         5000,
         10,
         QStringLiteral("實付金額要是 0 或更大的數字，或留空以數量 × 進價計算。"),
         {}},
        {"amount below zero",
         "5",
         "-5",
         false,
         false,
         Answer::Ok,
         1000,
         5000,
         10,
         QStringLiteral("實付金額要是 0 或更大的數字，或留空以數量 × 進價計算。"),
         {}},
        {"paying for nothing",
         "0",
         "100",
         false,
         false,
         Answer::Ok,
         1000,
         5000,
         10,
         QStringLiteral("進貨數量是 0，不能付款 100 元。"),
         {}},
        {"below zero, not asked by default", "10", "", false, false, Answer::Ok, -200, 5000, 20, {}, 120.0},
        {"below zero, asked, no", "10", "", false, true, Answer::No, 1000, 5000, 10, below, {}},
        {"below zero, asked, yes", "10", "", false, true, Answer::Yes, -200, 5000, 20, below, 120.0},
        {"the bank covers it, nothing asked", "10", "", true, true, Answer::Ok, 1000, 3800, 20, {}, 120.0},
    };
    for (const Case& c : cases) {
        StockScreen s(1000.0);
        s.shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 銀行 = 5000"));
        if (c.ask)
            settings::set(s.shop.db(), settings::key::PurchaseAskBelowZero, QStringLiteral("1"));
        if (c.answer != Answer::Ok)
            s.prompts->queueAnswer(c.answer);
        s.Money->setText(QString::fromUtf8(c.quantity));
        s.form->findChild<QLineEdit*>(QStringLiteral("txtPaid"))->setText(QString::fromUtf8(c.paid));
        s.form->findChild<QComboBox*>(QStringLiteral("cboPaidFrom"))->setCurrentIndex(c.fromBank ? 1 : 0);
        s.form->findChild<QLineEdit*>(QStringLiteral("txtSupplierNote"))->setText(QStringLiteral("發票 AB-123"));
        s.Buy->click();

        QVERIFY2(s.shop.cash() == c.cash, c.name);
        QVERIFY2(s.shop.bank() == c.bank, c.name);
        QVERIFY2(s.shop.stock(QStringLiteral("A01")) == c.stock, c.name);
        const auto shown = s.prompts->messages();
        QVERIFY2(shown.size() == (c.message.isEmpty() ? 0 : 1), c.name);
        if (!c.message.isEmpty())
            QCOMPARE(shown.first().text, c.message);
        const auto rows = s.shop.rows(QStringLiteral("SELECT 單價, 說明 FROM 帳務日誌表 WHERE 種類 = '進貨'"));
        QVERIFY2(rows.size() == (c.price.isNull() ? 0 : 1), c.name);
        if (!c.price.isNull()) {
            QCOMPARE(rows.first().first().toDouble(), c.price.toDouble());
            QCOMPARE(rows.first().last().toString(), QStringLiteral("發票 AB-123"));
        }
    }
}

QTEST_MAIN(tst_teastock)
#include "tst_teastock.moc"
