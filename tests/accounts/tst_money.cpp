#include "accounts/Money_frm.h"
#include "app/MDI_frm.h"
#include "base/Failures.h"
#include "base/Numbers.h"
#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/Shop.h"
#include "catalogue/TeaStock_frm.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "forms/BoundTextBox.h"
#include "support/TestShop.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrlQuery>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// The screen on a fresh shop, shown in an active window so focus moves as it
// does for the user.
struct MoneyScreen {
    TestShop shop;
    PromptScope prompts;
    std::unique_ptr<Money_frm> form;

    MoneyScreen(const QVariant& cashBalance, const QVariant& bankBalance)
    {
        shop.balances(cashBalance, bankBalance);
        form = std::make_unique<Money_frm>(shop.db());
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qFatal("the screen never became active");
        cash = form->findChild<BoundTextBox*>(QStringLiteral("cash"));
        bank = form->findChild<BoundTextBox*>(QStringLiteral("bank"));
        temp_money = form->findChild<QLineEdit*>(QStringLiteral("temp_money"));
        cash_cmd = form->findChild<QPushButton*>(QStringLiteral("cash_cmd"));
        bank_cmd = form->findChild<QPushButton*>(QStringLiteral("bank_cmd"));
        Frame1 = form->findChild<QFrame*>(QStringLiteral("Frame1"));
        Label1 = form->findChild<QLabel*>(QStringLiteral("Label1"));
        Label2 = form->findChild<QLabel*>(QStringLiteral("Label2"));
        Data1 = form->findChild<DataControl*>(QStringLiteral("Data1"));
    }
    BoundTextBox *cash, *bank;
    QLineEdit* temp_money;
    QPushButton *cash_cmd, *bank_cmd;
    QFrame* Frame1;
    QLabel *Label1, *Label2;
    DataControl* Data1;
    // The user clicks a button: the focus goes to it first.
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QVariant stored(const char* column)
    {
        return shop.scalar(QStringLiteral("SELECT %1 FROM 帳款資料表").arg(QString::fromUtf8(column)));
    }
};

const QString noMessage;

} // namespace

class tst_money : public QObject {
    Q_OBJECT

private slots:
    void moves_data();
    void moves();
    void secondClickEmptiesTheAmount();
    void emptyBalanceFailsClearly();
    void secondTerminalSeesWholeMovesOnly();
    void failureBetweenTheTwoChangesStoresNothing();
    void storedBalanceIsTestedAgain();
    void balancesRereadOnActivation();
    void frameFollowsTheOuterSize_data();
    void frameFollowsTheOuterSize();
    void transferApi();
    void movesOnPostgres();
    void movesLeaveNoBinaryNoise();
    void centsNeverDrift();
};

void tst_money::moves_data()
{
    QTest::addColumn<bool>("deposit");
    QTest::addColumn<double>("cash");
    QTest::addColumn<double>("bank");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<double>("newCash");
    QTest::addColumn<double>("newBank");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");

    const QString cashShort = QStringLiteral("店內沒那麼多現金啦");
    const QString bankShort = QStringLiteral("銀行沒那麼多錢啦");
    const QString negative = QStringLiteral("金額不可為負數");

    QTest::newRow("cash equal to the amount passes")
        << true << 1000.0 << 0.0 << "1000" << 0.0 << 1000.0 << noMessage << noMessage;
    QTest::newRow("cash short by a half") << true << 999.5 << 0.0 << "1000" << 999.5 << 0.0 << cashShort << "現金不足";
    QTest::newRow("bank short") << false << 0.0 << 200.0 << "300" << 0.0 << 200.0 << bankShort << "存款不足";
    QTest::newRow("withdraw all of the bank")
        << false << 0.0 << 300.0 << "300" << 300.0 << 0.0 << noMessage << noMessage;
    QTest::newRow("grouping ends the amount") << true << 5.0 << 0.0 << "1,000" << 4.0 << 1.0 << noMessage << noMessage;
    QTest::newRow("blank inside is skipped")
        << true << 5000.0 << 0.0 << "1 000" << 4000.0 << 1000.0 << noMessage << noMessage;
    QTest::newRow("unit after the amount") << false << 0.0 << 20.0 << "12.5元" << 12.5 << 7.5 << noMessage << noMessage;
    QTest::newRow("letters move nothing") << true << 10.0 << 20.0 << "abc" << 10.0 << 20.0 << noMessage << noMessage;
    QTest::newRow("empty moves nothing") << false << 10.0 << 20.0 << "" << 10.0 << 20.0 << noMessage << noMessage;
    QTest::newRow("zero with nothing in the bank")
        << false << 10.0 << 0.0 << "0" << 10.0 << 0.0 << noMessage << noMessage;
    QTest::newRow("fraction left in cash") << true << 1000.0 << 0.0 << "0.1" << 999.9 << 0.1 << noMessage << noMessage;
    QTest::newRow("negative deposit refused") << true << 0.0 << 50.0 << "-100" << 0.0 << 50.0 << negative << "金額錯誤";
    QTest::newRow("negative withdraw refused")
        << false << 50.0 << 0.0 << "-100" << 50.0 << 0.0 << negative << "金額錯誤";
}

void tst_money::moves()
{
    QFETCH(bool, deposit);
    QFETCH(double, cash);
    QFETCH(double, bank);
    QFETCH(QString, amount);
    QFETCH(double, newCash);
    QFETCH(double, newBank);
    QFETCH(QString, message);
    QFETCH(QString, title);

    MoneyScreen s(cash, bank);
    QCOMPARE(s.cash->text(), formatNumber(cash));
    s.temp_money->setText(amount);
    s.click(deposit ? s.bank_cmd : s.cash_cmd);

    QCOMPARE(s.shop.cash(), newCash);
    QCOMPARE(s.shop.bank(), newBank);
    // The boxes show what is stored, in the general format.
    QCOMPARE(s.cash->text(), formatNumber(newCash));
    QCOMPARE(s.bank->text(), formatNumber(newBank));

    const auto shown = s.prompts->messages();
    if (message.isEmpty()) {
        QVERIFY2(shown.isEmpty(), qPrintable(shown.isEmpty() ? QString() : shown.first().text));
    } else {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(shown.first().title, title);
        QCOMPARE(shown.first().buttons, Buttons::Ok);
    }
    // Either way the amount stays, selected, in the focused box.
    QVERIFY(s.temp_money->hasFocus());
    QCOMPARE(s.temp_money->text(), amount);
    QCOMPARE(s.temp_money->selectedText(), amount);
}

void tst_money::secondClickEmptiesTheAmount()
{
    MoneyScreen s(1000.0, 0.0);
    s.temp_money->setFocus();
    QTest::keyClicks(s.temp_money, QStringLiteral("100"));

    s.click(s.bank_cmd);
    QCOMPARE(s.shop.cash(), 900.0);
    QCOMPARE(s.temp_money->selectedText(), QStringLiteral("100"));

    // The same amount again; coming back, the box drops the selected amount.
    s.click(s.bank_cmd);
    QCOMPARE(s.shop.cash(), 800.0);
    QCOMPARE(s.temp_money->text(), QString());

    // The third click moves nothing.
    s.click(s.cash_cmd);
    QCOMPARE(s.shop.cash(), 800.0);
    QCOMPARE(s.shop.bank(), 200.0);
    QVERIFY(s.prompts->messages().isEmpty());
}

void tst_money::emptyBalanceFailsClearly()
{
    MoneyScreen s(QVariant(), 100.0);
    QCOMPARE(s.cash->text(), QString());
    s.temp_money->setText(QStringLiteral("0"));
    s.click(s.bank_cmd);

    QCOMPARE(s.prompts->messages().size(), 1);
    QVERIFY(s.prompts->messages().first().text.contains(QStringLiteral("空")));
    QVERIFY(s.stored("現金").isNull());
    QCOMPARE(s.shop.bank(), 100.0);
    QVERIFY(s.temp_money->hasFocus());

    // The other way round the empty cash counts as 0.
    s.prompts->clear();
    s.temp_money->setText(QStringLiteral("30"));
    s.click(s.cash_cmd);
    QVERIFY(s.prompts->messages().isEmpty());
    QCOMPARE(s.shop.cash(), 30.0);
    QCOMPARE(s.shop.bank(), 70.0);
}

// A second terminal reading while transfers are made sees each one whole or
// not at all: the balances always add up to the same, and always agree with
// the journal.
void tst_money::secondTerminalSeesWholeMovesOnly()
{
    TestShop shop;
    shop.balances(500.0, 500.0);
    std::atomic<bool> done = false;
    QStringList seen;
    int looks = 0;
    std::thread other([&] {
        auto db = openShop(shop.path());
        while (!done) {
            QSqlQuery q =
                db->exec(QStringLiteral("SELECT a.現金 + a.銀行, a.現金 - (SELECT sum(現金變動) FROM 帳務日誌表), "
                                        "a.銀行 - (SELECT sum(銀行變動) FROM 帳務日誌表) FROM 帳款資料表 a"));
            q.next();
            if (q.value(0).toDouble() != 1000.0 || q.value(1).toDouble() != 0.0 || q.value(2).toDouble() != 0.0)
                seen << QStringLiteral("%1 %2 %3")
                            .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString());
            ++looks;
        }
    });
    for (int i = 0; i < 200; ++i)
        money::transfer(shop.db(), Money::fromDouble(i % 2 ? -7 : 10));
    done = true;
    other.join();
    QVERIFY2(seen.isEmpty(), qPrintable(seen.mid(0, 3).join(QLatin1Char('\n'))));
    QVERIFY(looks > 0);
    QCOMPARE(shop.bank(), 800.0);
}

void tst_money::failureBetweenTheTwoChangesStoresNothing()
{
    MoneyScreen s(1000.0, 50.0);
    // The journal row and the balances are one transaction: the row fails.
    s.shop.failWrites(QStringLiteral("現金故障"), QStringLiteral("BEFORE INSERT"), QStringLiteral("帳務日誌表"),
                      QStringLiteral("磁碟故障"));
    s.temp_money->setText(QStringLiteral("300"));
    s.click(s.bank_cmd);

    QCOMPARE(s.shop.cash(), 1000.0);
    QCOMPARE(s.shop.bank(), 50.0);
    QCOMPARE(s.prompts->messages().size(), 1);
    QVERIFY(s.prompts->messages().first().text.contains(QStringLiteral("磁碟故障")));
    QCOMPARE(s.bank->text(), QStringLiteral("50"));
    QVERIFY(!s.shop.db().inTransaction());

    // Nothing half-made is left for a later re-read to store.
    s.shop.dropFailure(QStringLiteral("現金故障"), QStringLiteral("帳務日誌表"));
    s.form->activate();
    QCOMPARE(s.shop.cash(), 1000.0);
    QCOMPARE(s.shop.bank(), 50.0);
    QCOMPARE(s.cash->text(), QStringLiteral("1000"));

    // And the next move goes through whole.
    s.click(s.bank_cmd);
    QCOMPARE(s.shop.cash(), 700.0);
    QCOMPARE(s.shop.bank(), 350.0);
}

void tst_money::storedBalanceIsTestedAgain()
{
    MoneyScreen s(1000.0, 0.0);
    QCOMPARE(s.cash->text(), QStringLiteral("1000"));

    // Another terminal moves cash to the bank after this screen read it.
    auto other = openShop(s.shop.path());
    money::deposit(*other, Money::fromDouble(600));

    s.temp_money->setText(QStringLiteral("1000"));
    s.click(s.bank_cmd);

    QCOMPARE(s.prompts->messages().size(), 1);
    QCOMPARE(s.prompts->messages().first().text, QStringLiteral("店內沒那麼多現金啦"));
    QCOMPARE(s.prompts->messages().first().title, QStringLiteral("現金不足"));
    QCOMPARE(s.shop.cash(), 400.0);
    QCOMPARE(s.shop.bank(), 600.0);
    // The screen now shows why.
    QCOMPARE(s.cash->text(), QStringLiteral("400"));
    QCOMPARE(s.bank->text(), QStringLiteral("600"));
}

void tst_money::balancesRereadOnActivation()
{
    TestShop shop;
    PromptScope prompts;
    shop.balances(1000.0, 0.0);
    shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 120.0, 200.0, 10.0);

    MDI_frm mdi(shop.db());
    mdi.show();
    mdi.EditMoney_Click();
    Money_frm* money = mdi.moneyScreen();
    QCOMPARE(money->findChild<BoundTextBox*>(QStringLiteral("cash"))->text(), QStringLiteral("1000"));

    // A purchase on the stock screen pays from the cash.
    mdi.StoreTea_Click();
    TeaStock_frm* stock = mdi.teaStockScreen();
    stock->findChild<QScrollBar*>(QStringLiteral("HScroll1"))->setValue(5);
    stock->findChild<QPushButton*>(QStringLiteral("Buy"))->click();
    QCOMPARE(shop.cash(), 400.0);
    QCOMPARE(money->findChild<BoundTextBox*>(QStringLiteral("cash"))->text(), QStringLiteral("1000")); // not active yet

    mdi.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->setActiveSubWindow(MDI_frm::subWindowOf(money));
    QCOMPARE(money->findChild<BoundTextBox*>(QStringLiteral("cash"))->text(), QStringLiteral("400"));

    // A checkout elsewhere adds to the cash; the next activation shows it.
    mdi.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->setActiveSubWindow(MDI_frm::subWindowOf(stock));
    shop.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 現金 + 250.5"));
    mdi.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->setActiveSubWindow(MDI_frm::subWindowOf(money));
    QCOMPARE(money->findChild<BoundTextBox*>(QStringLiteral("cash"))->text(), QStringLiteral("650.5"));
    QVERIFY(prompts->messages().isEmpty());
}

// The transfer frame stays centred across the window and its lower edge on the
// middle of the window's outer height (title bar and borders included), also
// when the window is smaller than the frame.
void tst_money::frameFollowsTheOuterSize_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPoint>("frame");
    QTest::newRow("larger") << QSize(600, 540) << QPoint(72, 189);
    QTest::newRow("as designed") << QSize(509, 419) << QPoint(26, 129);
    QTest::newRow("smaller than the frame") << QSize(200, 66) << QPoint(-129, -48);
}

void tst_money::frameFollowsTheOuterSize()
{
    QFETCH(QSize, window);
    QFETCH(QPoint, frame);
    TestShop shop;
    PromptScope prompts;
    QMdiArea area;
    area.resize(900, 700);
    auto* form = new Money_frm(shop.db());
    QMdiSubWindow* sub = area.addSubWindow(form);
    area.show();
    sub->show();
    sub->resize(window);
    QCOMPARE(sub->size(), window);
    QCOMPARE(form->findChild<QFrame*>(QStringLiteral("Frame1"))->pos(), frame);
    QCOMPARE(form->findChild<QFrame*>(QStringLiteral("Frame1"))->size(), QSize(457, 81));
}

void tst_money::transferApi()
{
    TestShop shop;
    shop.balances(100.0, QVariant());

    money::transfer(shop.db(), Money::fromDouble(40)); // to the bank; an empty bank counts as 0
    QCOMPARE(shop.cash(), 60.0);
    QCOMPARE(shop.bank(), 40.0);
    money::transfer(shop.db(), Money::fromDouble(-15)); // back to the cash
    QCOMPARE(shop.cash(), 75.0);
    QCOMPARE(shop.bank(), 25.0);

    struct Refusal {
        std::function<void()> move;
        QString text;
        QString title;
    };
    const QList<Refusal> refusals = {
        {[&] { money::transfer(shop.db(), Money::fromDouble(-25.5)); }, QStringLiteral("銀行沒那麼多錢啦"),
         QStringLiteral("存款不足")},
        {[&] { money::deposit(shop.db(), Money::fromDouble(75.01)); }, QStringLiteral("店內沒那麼多現金啦"),
         QStringLiteral("現金不足")},
        {[&] { money::deposit(shop.db(), Money::fromDouble(-1)); }, QStringLiteral("金額不可為負數"),
         QStringLiteral("金額錯誤")},
        {[&] { money::withdraw(shop.db(), Money::fromDouble(-1)); }, QStringLiteral("金額不可為負數"),
         QStringLiteral("金額錯誤")},
    };
    for (const Refusal& r : refusals) {
        try {
            r.move();
            QFAIL(qPrintable(QStringLiteral("not refused: ") + r.text));
        } catch (const MoveRefused& e) {
            QCOMPARE(e.description(), r.text);
            QCOMPARE(e.title(), r.title);
        }
        QCOMPARE(shop.cash(), 75.0);
        QCOMPARE(shop.bank(), 25.0);
        QVERIFY(!shop.db().inTransaction());
    }

    // A result beyond what the shop records is refused whole; so is an
    // amount that is no number at all.
    const double most = 1e12;
    shop.balances(most, most);
    QVERIFY_THROWS_EXCEPTION(NumberError, money::withdraw(shop.db(), Money::fromDouble(most)));
    QVERIFY_THROWS_EXCEPTION(NumberError,
                             money::deposit(shop.db(), money::typedAmount(std::numeric_limits<double>::infinity(),
                                                                          QStringLiteral("金額"))));
    QCOMPARE(shop.cash(), most);
    QCOMPARE(shop.bank(), most);

    // A balance that is a hair under the amount but shows as the amount covers it.
    shop.balances(0.7 + 0.1, 0.0); // stored as 0.7999999999999999
    money::deposit(shop.db(), Money::fromDouble(0.8));
    QVERIFY(std::abs(shop.cash()) < 1e-12);
    QCOMPARE(shop.bank(), 0.8);
}

// The same moves on a PostgreSQL server, in a scratch database of their own,
// when LUMARO_TEST_PG names one (postgresql://user@host:port/db?options).
void tst_money::movesOnPostgres()
{
    const QString server = qEnvironmentVariable("LUMARO_TEST_PG");
    if (server.isEmpty())
        QSKIP("LUMARO_TEST_PG names no PostgreSQL server");

    QUrl url(server);
    const QString scratch = QStringLiteral("lumaro_money_%1").arg(QCoreApplication::applicationPid());
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pgadmin"));
        admin.setDatabaseName(url.path().mid(1));
        admin.setHostName(url.host());
        if (url.port() > 0)
            admin.setPort(url.port());
        admin.setUserName(url.userName());
        QStringList options;
        for (const auto& [k, v] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
            options << k + QLatin1Char('=') + v;
        admin.setConnectOptions(options.join(QLatin1Char(';')));
        QVERIFY2(admin.open(), qPrintable(admin.lastError().text()));
        QSqlQuery q(admin);
        QVERIFY2(q.exec(QStringLiteral("CREATE DATABASE %1").arg(scratch)), qPrintable(q.lastError().text()));
    }
    auto dropScratch = qScopeGuard([&] {
        QSqlDatabase admin = QSqlDatabase::database(QStringLiteral("pgadmin"));
        QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(scratch));
    });

    url.setPath(QLatin1Char('/') + scratch);
    {
        // Creating the tables sends statements that cannot be prepared.
        auto db = createShop(url.toString(), QStringLiteral("pw"), true);
        db->exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = 1000, 銀行 = NULL"));
        money::deposit(*db, Money::fromDouble(1000));
        money::withdraw(*db, Money::fromDouble(250.5));
        QVERIFY_THROWS_EXCEPTION(MoveRefused, money::deposit(*db, Money::fromDouble(1000)));
        money::purchase(*db, QStringLiteral("T001"), Money::fromDouble(0.5));
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), 250.5 - 600);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(), 749.5);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = 'T001'")).toDouble(), 25.5);

        // A failure between the two changes stores neither.
        db->exec(QStringLiteral("CREATE FUNCTION 現金故障() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION '磁碟故障'; "
                                "END $$ LANGUAGE plpgsql"));
        db->exec(QStringLiteral("CREATE TRIGGER 現金故障 BEFORE UPDATE OF 現金 ON 帳款資料表 FOR EACH ROW "
                                "EXECUTE FUNCTION 現金故障()"));
        QVERIFY_THROWS_EXCEPTION(DataError, money::purchase(*db, QStringLiteral("T001"), Money::fromDouble(2)));
        QCOMPARE(db->scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = 'T001'")).toDouble(), 25.5);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), 250.5 - 600);
    }
}

// Amounts that cancel out in decimal must cancel out in the file too, or the
// cash box shows -0.0000000000000000277 after a perfectly ordinary day.
void tst_money::movesLeaveNoBinaryNoise()
{
    TestShop shop;
    shop.balances(0.3, 0);
    shop.tea(QStringLiteral("T1"), QStringLiteral("烏龍"), 0.1, 0.2, 0.3);
    money::deposit(shop.db(), Money::fromDouble(0.1));
    money::deposit(shop.db(), Money::fromDouble(0.2));
    QCOMPARE(shop.cash(), 0.0);
    QCOMPARE(formatNumber(shop.bank()), QStringLiteral("0.3"));
    money::purchase(shop.db(), QStringLiteral("T1"), Money::fromDouble(-0.1));
    money::purchase(shop.db(), QStringLiteral("T1"), Money::fromDouble(-0.2));
    QCOMPARE(shop.stock(QStringLiteral("T1")), 0.0);
    QCOMPARE(formatNumber(shop.cash()), QStringLiteral("0.03"));
}

QTEST_MAIN(tst_money)

// Amounts are exact to 1/10000: 15,000 transfers of one cent each way end on
// the cent, and the books (opening rows plus journal) say the same.
void tst_money::centsNeverDrift()
{
    TestShop shop;
    // Arithmetic, not durability, is under test here.
    shop.exec(shop.db().isSQLite() ? QStringLiteral("PRAGMA synchronous=OFF")
                                   : QStringLiteral("SET synchronous_commit TO OFF"));
    shop.balances(200, 0.07);
    for (int i = 0; i < 15000; ++i)
        money::transfer(shop.db(), Money::fromDouble(i % 3 == 2 ? -0.01 : 0.01));
    QCOMPARE(shop.cash(), 150.0); // 10,000 cents out, 5,000 back
    QCOMPARE(shop.bank(), 50.07);
    QVERIFY(checkShop(shop.db()).books.isEmpty());
}

#include "tst_money.moc"
