// lumaro-bench [--teas N] [--orders N] [--big-order N] [--history-orders N]
//              [--history-lines N] [--shop FILE | --database URL] [--runs N]
//              [--json] [--only TEXT] [--terminals N [--moves N]]
//
// Builds a shop of the given size (or opens FILE, building it there first when
// it does not exist yet; or a database on a PostgreSQL server), runs each user
// action end to end through the screens' code (offscreen), and prints per
// action the median time, its floor, their ratio and the peak memory so far.
// The floor is the same action on a shop of one screenful, of the same kind,
// plus the database work the size really needs. With --terminals, times
// terminals checking out and buying at once instead.
#include "Floor.h"
#include "Shop.h"
#include "Terminals.h"
#include "books/Reports.h"
#include "reports/SalesHistory_frm.h"

#include "app/MDI_frm.h"
#include "app/Startup.h"
#include "books/Shop.h"
#include "books/Upgrade.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "forms/DataGrid.h"
#include "platform/Prompts.h"
#include "upkeep/Backups.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>

using namespace lumaro;
using namespace bench;

namespace {

void print(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Answers the lock screen with the right password, noting when it was asked,
// and every question with Yes (checkout asks to confirm). Any other message
// tells of something the bench did not intend.
class BenchPrompts : public Prompts {
public:
    QElapsedTimer* clock = nullptr;
    qint64 askedAt = -1;
    QStringList unexpected;
    Answer message(const QString& text, Buttons buttons, const QString&) override
    {
        if (buttons == Buttons::YesNo)
            return Answer::Yes;
        if (!unexpected.contains(text))
            unexpected << text;
        return Answer::Ok;
    }
    QString input(const QString&, const QString&) override
    {
        if (clock && askedAt < 0)
            askedAt = clock->nsecsElapsed();
        return BenchPassword;
    }
    void endProgram() override { unexpected << QStringLiteral("endProgram"); }
};

BenchPrompts* benchPrompts = nullptr;
// The unlock is timed from the password to the window usable, not the
// window's closing after it.
qint64 unlockTime = 0;

// The offscreen platform's notes about window hints are noise in the table.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")) || text.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (type == QtFatalMsg)
        std::abort();
}

qint64 timed(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed();
}

double median(QList<qint64> v)
{
    std::sort(v.begin(), v.end());
    const int n = int(v.size());
    return n % 2 ? double(v[n / 2]) : (double(v[n / 2 - 1]) + double(v[n / 2])) / 2;
}

double peakMB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024;
}

// Lets queued events (sub-window activation, repaints) run, as the event loop
// would before the user sees the result.
void settle() { QCoreApplication::processEvents(); }

template <class T>
T* child(QObject* parent, const char* name)
{
    T* c = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!c)
        qFatal("the bench found no %s", name);
    return c;
}

// One shop, open and unlocked in a main window of its own, as the shop owner
// has it.
struct Shop {
    QString path;
    std::unique_ptr<Database> db;
    std::unique_ptr<MDI_frm> window;
    qlonglong big = 0;
    int bigLines = 0;
    QString someTea, otherTea;

    void open(const QString& file)
    {
        path = file;
        db = openShop(file);
        // A shop built by an earlier program is brought up to date first, as
        // the program does when it opens one.
        upgrade::run(*db);
        window = std::make_unique<MDI_frm>(*db);
        window->resize(1280, 800);
        window->show();
        if (!window->Form_Load())
            qFatal("the bench shop did not unlock");
        // Today's backup is written behind the window: the timings start
        // once it is over.
        if (window->backupRunning()) {
            QEventLoop wait;
            QObject::connect(window.get(), &MDI_frm::backupFinished, &wait, &QEventLoop::quit);
            wait.exec();
        }
        settle();
        big = biggestOrder(*db);
        bigLines = db->scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 訂單編號 = ?"), {big}).toInt();
        someTea = db->scalar(QStringLiteral("SELECT min(編號) FROM 茶葉資料表")).toString();
        otherTea = db->scalar(QStringLiteral("SELECT min(編號) FROM 茶葉資料表 WHERE 編號 > ?"), {someTea}).toString();
    }

    QWidget* screen(const char* menuItem, const char* name)
    {
        child<QAction>(window.get(), menuItem)->trigger();
        settle();
        return child<QWidget>(window.get(), name);
    }
    QWidget* orders() { return screen("EditOrder", "Order_frm"); }

    void closeScreens()
    {
        for (QMdiSubWindow* s : window->findChild<QMdiArea*>(QStringLiteral("mdiArea"))->subWindowList())
            if (s->widget() != window->findChild<QWidget*>(QStringLiteral("main_frm")))
                s->close();
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Makes the order current in the order list, reading on to it.
    void selectOrder(QWidget* o, qlonglong order)
    {
        auto* list = child<DataControl>(o, "datPrimaryRS");
        child<DataGrid>(o, "grdDataGrid")->selectRow(list->seekKey(order));
        settle();
    }

    // A new open order with the first n lines of the big one.
    qlonglong newOrder(int lines)
    {
        const qlonglong id =
            db->scalar(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 訂單狀態) VALUES ('結帳客', 0) "
                                      "RETURNING 訂單編號"))
                .toLongLong();
        db->exec(QStringLiteral(
                     "INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) SELECT ?, 茶葉編號, 數量 FROM 訂單明細表 "
                     "WHERE 訂單編號 = ? ORDER BY 明細編號 LIMIT ?"),
                 {id, big, lines})
            .finish();
        return id;
    }

    double number(const QString& sql, const QVariantList& params = {}) { return db->scalar(sql, params).toDouble(); }
};

struct Action {
    QString name;
    std::function<void(Shop&)> setup;              // untimed, before each run on either shop
    std::function<void(Shop&)> run;                // timed
    std::function<void(Floor&, Shop&)> sql;        // the database work the size needs, timed on the measured shop
    std::function<void()> start = nullptr;         // once, before the first run: notes what check compares with
    std::function<QString()> check = nullptr;      // after all runs: empty, or what the screen failed to store
    std::function<void(Shop&)> sqlSetup = nullptr; // untimed, before each floor query
};

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown CPU");
}

int positiveOption(const QCommandLineParser& p, const QString& name, int fallback, bool* ok)
{
    if (!p.isSet(name))
        return fallback;
    bool good = false;
    const int v = p.value(name).toInt(&good);
    if (!good || v < 0) {
        std::fprintf(stderr, "lumaro-bench: --%s wants a whole number, not %s\n", qPrintable(name),
                     qPrintable(p.value(name)));
        *ok = false;
    }
    return v;
}

// Opening a screen: closing the others first, so each run opens it anew.
void addOpenScreen(QList<Action>& list, const QString& name, const char* item, const char* object,
                   std::function<void(Floor&, Shop&)> sql)
{
    list << Action{QStringLiteral("open ") + name, [](Shop& s) { s.closeScreens(); },
                   [item, object](Shop& s) { s.screen(item, object); }, sql};
}

// From the program's start to its password prompt, then each everyday screen
// opened, then the big order chosen in the order list.
void addOpeningActions(QList<Action>& list, Shop& big)
{
    list << Action{QStringLiteral("start-up to password prompt"), nullptr,
                   [](Shop& s) {
                       // Timed from the call to the prompt, by the prompt itself.
                       QElapsedTimer clock;
                       benchPrompts->clock = &clock;
                       benchPrompts->askedAt = -1;
                       clock.start();
                       {
                           std::unique_ptr<Database> d = openShop(s.path);
                           MDI_frm w(*d);
                           w.resize(1280, 800);
                           w.show();
                           w.Form_Load();
                       }
                       benchPrompts->clock = nullptr;
                   },
                   [](Floor&, Shop&) {}};

    // The password given, to the main window usable, on a day whose backup
    // is not taken yet: the backup must not hold the unlock up.
    list << Action{QStringLiteral("unlock with the day's backup due"),
                   [](Shop& s) {
                       QFile::remove(
                           QDir(backupFolder(s.path))
                               .filePath(QStringLiteral("%1-%2.db")
                                             .arg(QFileInfo(s.path).completeBaseName(),
                                                  QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))));
                   },
                   [](Shop& s) {
                       std::unique_ptr<Database> d = openShop(s.path);
                       MDI_frm w(*d);
                       w.resize(1280, 800);
                       w.show();
                       QElapsedTimer clock;
                       clock.start();
                       w.Form_Load();
                       unlockTime = clock.nsecsElapsed();
                   },
                   [](Floor&, Shop&) {}};
    addOpenScreen(list, QStringLiteral("TeaKind_frm"), "EditTea", "TeaKind_frm", [](Floor& f, Shop&) { f.teas(); });
    addOpenScreen(list, QStringLiteral("TeaStock_frm"), "StoreTea", "TeaStock_frm", [](Floor& f, Shop&) { f.teas(); });
    addOpenScreen(list, QStringLiteral("Money_frm"), "EditMoney", "Money_frm", [](Floor& f, Shop&) { f.account(); });
    addOpenScreen(list, QStringLiteral("Order_frm"), "EditOrder", "Order_frm", [](Floor& f, Shop&) { f.openOrders(); });
    list << Action{QStringLiteral("select an order (%1 lines)").arg(big.bigLines),
                   [](Shop& s) {
                       QWidget* o = s.orders();
                       // Stand on another order first, so selecting the big one reads its lines.
                       auto* grid = child<DataGrid>(o, "grdDataGrid");
                       grid->selectRow(child<DataControl>(o, "datPrimaryRS")->findRow(0, s.big) == 0 ? 1 : 0);
                       settle();
                   },
                   [](Shop& s) { s.selectOrder(s.orders(), s.big); }, [](Floor& f, Shop& s) { f.orderLines(s.big); }};
}

// A line added to the big order, and orders of a few lines and of the big
// order's size checked out; each checked afterwards for what it stored.
void addOrderActions(QList<Action>& list, Shop& big, int runs)
{
    auto before = std::make_shared<double>(0);
    auto linesOfBig = [&big] {
        return big.number(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 訂單編號 = ?"), {big.big});
    };
    list << Action{QStringLiteral("add a line with its total"),
                   [](Shop& s) {
                       QWidget* o = s.orders();
                       if (child<DataControl>(o, "datPrimaryRS")->field(0).toLongLong() != s.big)
                           s.selectOrder(o, s.big);
                       auto* teas = child<DataControl>(o, "Adodc2");
                       child<DataGrid>(o, "DataGrid2")->selectRow(teas->seekKey(s.someTea));
                       child<QScrollBar>(o, "HScroll1")->setValue(1);
                       settle();
                   },
                   [](Shop& s) {
                       child<QPushButton>(s.orders(), "Command1")->click();
                       settle();
                   },
                   [](Floor& f, Shop& s) { f.addLine(s.big, s.someTea, 1); },
                   [before, linesOfBig] { *before = linesOfBig(); },
                   [before, linesOfBig, runs] {
                       const double added = linesOfBig() - *before;
                       return added == 2.0 * runs ? QString() : QStringLiteral("%1 lines added").arg(added);
                   }};

    for (int lines : {5, big.bigLines}) {
        if (lines <= 0 || (lines == 5 && big.bigLines == 5))
            continue;
        auto floorOrder = std::make_shared<qlonglong>(0);
        Action a{QStringLiteral("checkout (%1 lines)").arg(lines),
                 [lines](Shop& s) {
                     const qlonglong order = s.newOrder(std::min(lines, s.bigLines));
                     QWidget* o = s.orders();
                     child<QPushButton>(o, "cmdRefresh")->click();
                     settle();
                     s.selectOrder(o, order);
                 },
                 [](Shop& s) {
                     child<QPushButton>(s.orders(), "Command3")->click();
                     settle();
                 },
                 [floorOrder](Floor& f, Shop&) { f.checkout(*floorOrder); },
                 nullptr,
                 [&big]() -> QString {
                     const int open = int(big.number(
                         QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 客戶名稱 = '結帳客' AND 訂單狀態 = 0")));
                     return open == 0 ? QString() : QStringLiteral("%1 orders left open").arg(open);
                 }};
        a.sqlSetup = [floorOrder, lines](Shop& s) { *floorOrder = s.newOrder(lines); };
        list << a;
    }
}

// The sales history: opened on today, searched over ten years, a sale chosen.
void addHistoryActions(QList<Action>& list)
{
    // Today's settled orders and the first one's lines, however many years of
    // sales lie behind them. After the checkouts, so that today has sales to
    // show in every shop: the bench's own, the big order's among them.
    addOpenScreen(list, QStringLiteral("SalesHistory_frm"), "SalesHistory", "SalesHistory_frm", [](Floor&, Shop& s) {
        const QDate today = QDate::currentDate();
        const auto page = reports::salesPage(*s.db, {today, today, {}, {}}, SalesHistory_frm::kPage);
        if (!page.isEmpty())
            reports::saleLines(*s.db, page.first().order);
    });

    // Ten years of sales searched for one customer: one with a few hundred
    // orders, a filter matching a third of all orders, and a name no order
    // has (every way of finding sales is tried). Then an order of the ten
    // years chosen, its lines shown.
    auto history = [](Shop& s) {
        auto* w = s.window->findChild<SalesHistory_frm*>(QStringLiteral("SalesHistory_frm"));
        return w ? w : static_cast<SalesHistory_frm*>(s.screen("SalesHistory", "SalesHistory_frm"));
    };
    const QDate today = QDate::currentDate();
    for (const QString& who : {QStringLiteral("客戶299"), QStringLiteral("客戶1"), QStringLiteral("沒有這位")}) {
        list << Action{QStringLiteral("search SalesHistory_frm, ten years, customer %1").arg(who),
                       [history, who, today](Shop& s) {
                           SalesHistory_frm* w = history(s);
                           child<QDateEdit>(w, "dtFrom")->setDate(today.addYears(-10));
                           child<QDateEdit>(w, "dtTo")->setDate(today);
                           child<QLineEdit>(w, "txtCustomer")->setText(who);
                           // The typed filter is on screen before the click is timed.
                           settle();
                       },
                       [history](Shop& s) {
                           child<QPushButton>(history(s), "cmdSearch")->click();
                           settle();
                       },
                       [who, today](Floor&, Shop& s) {
                           const auto page = reports::salesPage(*s.db, {today.addYears(-10), today, who, {}},
                                                                SalesHistory_frm::kPage);
                           if (!page.isEmpty())
                               reports::saleLines(*s.db, page.first().order);
                       }};
    }
    list << Action{QStringLiteral("select a sale in SalesHistory_frm, ten years"),
                   [history, today](Shop& s) {
                       SalesHistory_frm* w = history(s);
                       auto* from = child<QDateEdit>(w, "dtFrom");
                       auto* customer = child<QLineEdit>(w, "txtCustomer");
                       if (customer->text() != QString() || from->date() != today.addYears(-10)) {
                           from->setDate(today.addYears(-10));
                           customer->clear();
                           child<QPushButton>(w, "cmdSearch")->click();
                       }
                       // The sale below the first is chosen before, so the timed
                       // click is on a sale in view, as the owner's would be.
                       auto* sales = child<QTableWidget>(w, "grdSales");
                       sales->scrollToTop();
                       sales->setCurrentCell(std::min(1, sales->rowCount() - 1), 0);
                       settle();
                   },
                   [history](Shop& s) {
                       child<QTableWidget>(history(s), "grdSales")->setCurrentCell(0, 0);
                       settle();
                   },
                   [](Floor&, Shop& s) {
                       const QDate d = QDate::currentDate();
                       const auto page = reports::salesPage(*s.db, {d.addYears(-10), d, {}, {}}, 1);
                       if (!page.isEmpty())
                           reports::saleLines(*s.db, page.first().order);
                   }};
}

// Stock bought, money moved to the bank, a price edited and the catalogue
// refreshed; each change checked afterwards for what it stored.
void addStockAndMoneyActions(QList<Action>& list, Shop& big, int runs)
{
    auto before = std::make_shared<double>(0);
    auto stockOf = [&big] {
        return big.number(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = ?"), {big.someTea});
    };
    list << Action{QStringLiteral("stock purchase"),
                   [](Shop& s) {
                       QWidget* t = s.screen("StoreTea", "TeaStock_frm");
                       auto* teas = child<DataControl>(t, "datPrimaryRS");
                       child<DataGrid>(t, "grdDataGrid")->selectRow(teas->seekKey(s.someTea));
                       child<QScrollBar>(t, "HScroll1")->setValue(2);
                       settle();
                   },
                   [](Shop& s) {
                       child<QPushButton>(s.screen("StoreTea", "TeaStock_frm"), "Buy")->click();
                       settle();
                   },
                   [](Floor& f, Shop& s) { f.purchase(s.someTea, 2); },
                   [before, stockOf] { *before = stockOf(); },
                   [before, stockOf, runs] {
                       const double bought = stockOf() - *before;
                       return bought == 4.0 * runs ? QString() : QStringLiteral("the stock rose by %1").arg(bought);
                   }};

    auto bankOf = [&big] { return big.number(QStringLiteral("SELECT 銀行 FROM 帳款資料表")); };
    list << Action{QStringLiteral("transfer"),
                   [](Shop& s) {
                       QWidget* m = s.screen("EditMoney", "Money_frm");
                       child<QLineEdit>(m, "temp_money")->setText(QStringLiteral("100"));
                   },
                   [](Shop& s) {
                       child<QPushButton>(s.screen("EditMoney", "Money_frm"), "bank_cmd")->click();
                       settle();
                   },
                   [](Floor& f, Shop&) { f.transfer(100); },
                   [before, bankOf] { *before = bankOf(); },
                   [before, bankOf, runs] {
                       const double moved = bankOf() - *before;
                       return moved == 200.0 * runs ? QString() : QStringLiteral("the bank rose by %1").arg(moved);
                   }};

    auto price = std::make_shared<int>(1000);
    list << Action{QStringLiteral("edit a price and 更新"),
                   [price](Shop& s) {
                       QWidget* k = s.screen("EditTea", "TeaKind_frm");
                       auto* grid = child<DataGrid>(k, "grdDataGrid");
                       grid->selectRow(child<DataControl>(k, "Adodc1")->seekKey(s.someTea));
                       settle();
                       auto* box = child<QLineEdit>(k, "txtFields_3");
                       box->selectAll();
                       box->insert(QString::number(++*price)); // as typed: a pending change
                   },
                   [](Shop& s) {
                       child<QPushButton>(s.screen("EditTea", "TeaKind_frm"), "cmdUpdate")->click();
                       settle();
                   },
                   [](Floor& f, Shop& s) { f.editPrice(s.otherTea, 1500); },
                   nullptr,
                   [&big, price]() -> QString {
                       // The measured shop's runs come before the floor's, whose shop numbers its own.
                       const double stored =
                           big.number(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號 = ?"), {big.someTea});
                       return stored > 1000 ? QString() : QStringLiteral("the price stayed %1").arg(stored);
                   }};

    // A stock count lists every tea, not a screenful: its floor reads them all.
    addOpenScreen(list, QStringLiteral("StockCount_frm (every tea)"), "StockCount", "StockCount_frm",
                  [](Floor& f, Shop&) { f.everyTea(); });

    // Ctrl+F in the catalogue, each text typed anew from the first tea: a
    // name no tea has, the start of the last tea's number in lower case, and
    // part of its name. Each goes through the whole catalogue in number
    // order unless the indexes find it.
    const QString last = big.db->scalar(QStringLiteral("SELECT max(編號) FROM 茶葉資料表")).toString();
    const QStringList found = {QStringLiteral("沒有這種茶"), last.toLower(),
                               QString::number(last.mid(1).toInt()) + QStringLiteral(" 號")};
    for (const QString& text : found) {
        auto box = [](Shop& s) {
            auto* grid = child<DataGrid>(s.screen("EditTea", "TeaKind_frm"), "grdDataGrid");
            if (QLineEdit* b = grid->findChild<QLineEdit*>(QStringLiteral("findText")); b && b->isVisible())
                return b;
            grid->setFocus(Qt::OtherFocusReason);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier);
            QApplication::sendEvent(grid, &press);
            return child<QLineEdit>(grid, "findText");
        };
        list << Action{QStringLiteral("find a tea in TeaKind_frm, %1").arg(text),
                       [box](Shop& s) {
                           // Back to the first tea as the owner would, with
                           // Ctrl+Home: a list opened at the last one by the
                           // run before reads from the first again.
                           auto* grid = child<DataGrid>(s.screen("EditTea", "TeaKind_frm"), "grdDataGrid");
                           QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
                           QApplication::sendEvent(grid, &home);
                           box(s)->clear();
                           settle();
                       },
                       [box, text](Shop& s) {
                           QLineEdit* b = box(s);
                           b->setText(text);
                           emit b->textEdited(text);
                           settle();
                       },
                       [](Floor& f, Shop&) { f.teas(); }};
    }

    list << Action{QStringLiteral("catalogue refresh"), [](Shop& s) { s.screen("EditTea", "TeaKind_frm"); },
                   [](Shop& s) {
                       child<QPushButton>(s.screen("EditTea", "TeaKind_frm"), "cmdRefresh")->click();
                       settle();
                   },
                   [](Floor& f, Shop&) { f.teas(); }};
}

// Every action, in the order they are timed: the history's are after the
// checkouts, which give today its sales.
QList<Action> actions(Shop& big, int runs)
{
    QList<Action> list;
    addOpeningActions(list, big);
    addOrderActions(list, big, runs);
    addHistoryActions(list);
    addStockAndMoneyActions(list, big, runs);
    return list;
}

struct Options {
    ShopSize size;
    int runs = 9;
    bool json = false;
    QString shop;     // empty: a shop built in a folder of its own
    QString database; // a PostgreSQL server's URL instead
    QString only;
    int terminals = 0; // none: the screens' actions are timed
    int moves = 200;   // per terminal
};

// Reads the command line; false, with the reason already printed, when it is wrong.
bool readOptions(QApplication& app, Options* o)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times each user action of Lumaro against its floor."));
    parser.addHelpOption();
    const ShopSize defaults;
    parser.addOptions({
        {QStringLiteral("teas"), QStringLiteral("Teas in the catalogue (default %1).").arg(defaults.teas),
         QStringLiteral("N")},
        {QStringLiteral("orders"), QStringLiteral("Open orders of 5 lines (default %1).").arg(defaults.openOrders),
         QStringLiteral("N")},
        {QStringLiteral("big-order"),
         QStringLiteral("Lines of one more open order (default %1).").arg(defaults.bigOrderLines), QStringLiteral("N")},
        {QStringLiteral("history-orders"), QStringLiteral("Settled orders (default 0)."), QStringLiteral("N")},
        {QStringLiteral("history-lines"), QStringLiteral("Lines of the settled orders (default 0)."),
         QStringLiteral("N")},
        {QStringLiteral("shop"),
         QStringLiteral("Shop file to time; built there with the sizes given when it does not exist."),
         QStringLiteral("FILE")},
        {QStringLiteral("runs"), QStringLiteral("Runs per action (default 9)."), QStringLiteral("N")},
        {QStringLiteral("json"), QStringLiteral("One JSON object per action instead of the table.")},
        {QStringLiteral("database"),
         QStringLiteral("PostgreSQL shop to time: postgresql://user@host:port/name, built when the database does not "
                        "exist; a throwaway one when name is postgres."),
         QStringLiteral("URL")},
        {QStringLiteral("only"), QStringLiteral("Time only the actions whose names contain TEXT."),
         QStringLiteral("TEXT")},
        {QStringLiteral("terminals"),
         QStringLiteral("Time N terminals checking out and buying at once instead of the screens' actions."),
         QStringLiteral("N")},
        {QStringLiteral("moves"), QStringLiteral("Moves per terminal with --terminals (default 200)."),
         QStringLiteral("N")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "lumaro-bench: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().first()));
        return false;
    }
    bool ok = true;
    ShopSize& size = o->size;
    size.teas = positiveOption(parser, QStringLiteral("teas"), defaults.teas, &ok);
    size.openOrders = positiveOption(parser, QStringLiteral("orders"), defaults.openOrders, &ok);
    size.bigOrderLines = positiveOption(parser, QStringLiteral("big-order"), defaults.bigOrderLines, &ok);
    size.historyOrders = positiveOption(parser, QStringLiteral("history-orders"), 0, &ok);
    size.historyLines = positiveOption(parser, QStringLiteral("history-lines"), 0, &ok);
    o->runs = std::max(1, positiveOption(parser, QStringLiteral("runs"), 9, &ok));
    if (size.historyLines > 0 && size.historyOrders == 0)
        size.historyOrders = std::max(1, size.historyLines / 5);
    if (size.teas < 2)
        ok = false;
    o->json = parser.isSet(QStringLiteral("json"));
    o->shop = parser.value(QStringLiteral("shop"));
    o->only = parser.value(QStringLiteral("only"));
    o->database = parser.value(QStringLiteral("database"));
    // A server's shop named as --shop is timed as --database does, against a
    // floor on the same server.
    if (o->database.isEmpty() && Database::isPostgresUrl(o->shop))
        std::swap(o->database, o->shop);
    o->terminals = positiveOption(parser, QStringLiteral("terminals"), 0, &ok);
    o->moves = std::max(1, positiveOption(parser, QStringLiteral("moves"), 200, &ok));
    if (!o->database.isEmpty() && (!Database::isPostgresUrl(o->database) || !o->shop.isEmpty())) {
        std::fprintf(stderr, "lumaro-bench: --database wants a postgresql:// URL, and no --shop beside it\n");
        ok = false;
    }
    return ok;
}

// What the numbers were taken on: the machine and the shop, before the table.
void printHeading(const Options& o, const ShopSize& held, double built)
{
    const QString shopLine =
        QStringLiteral("%1 teas, %2 open orders (the biggest of %3 lines), %4 settled orders of %5 lines")
            .arg(held.teas)
            .arg(held.openOrders)
            .arg(held.bigOrderLines)
            .arg(held.historyOrders)
            .arg(held.historyLines);
    if (o.json) {
        print(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("teas"), held.teas},
                                                          {QStringLiteral("open_orders"), held.openOrders},
                                                          {QStringLiteral("history_orders"), held.historyOrders},
                                                          {QStringLiteral("history_lines"), held.historyLines},
                                                          {QStringLiteral("runs"), o.runs},
                                                          {QStringLiteral("server"), !o.database.isEmpty()},
                                                          {QStringLiteral("cpu"), cpuModel()},
                                                          {QStringLiteral("cores"), QThread::idealThreadCount()}})
                                    .toJson(QJsonDocument::Compact)));
    } else {
        print(QStringLiteral("lumaro-bench on %1, %2 cores, %3; median of %4 runs")
                  .arg(cpuModel())
                  .arg(QThread::idealThreadCount())
                  .arg(QSysInfo::prettyProductName())
                  .arg(o.runs));
        print(QStringLiteral("shop%1: %2 (ready in %3 s)")
                  .arg(o.database.isEmpty() ? QString() : QStringLiteral(" on a server"), shopLine)
                  .arg(built, 0, 'f', 1));
        print(QString());
        print(QStringLiteral("| action | median ms | floor ms | ratio | peak MB | goal |"));
        print(QStringLiteral("|---|---:|---:|---:|---:|---|"));
    }
}

// One run of a on shop, in nanoseconds. Start-up is timed by the password
// prompt itself, at the moment it is asked.
qint64 timedRun(const Action& a, Shop& shop)
{
    if (a.name.startsWith(QLatin1String("start-up"))) {
        a.run(shop);
        return benchPrompts->askedAt;
    }
    if (a.name.startsWith(QLatin1String("unlock"))) {
        a.run(shop);
        return unlockTime;
    }
    return timed([&] { a.run(shop); });
}

// The runs of a on the measured shop, then its floor: the same screen work on
// the screenful shop plus the database work of the measured one.
void timeAction(const Action& a, Shop& big, Shop& tiny, Floor& floor, int runs, QList<qint64>* measured,
                QList<qint64>* floors)
{
    if (a.start)
        a.start();
    for (int r = 0; r < runs; ++r) {
        if (a.setup)
            a.setup(big);
        *measured << timedRun(a, big);
    }
    for (int r = 0; r < runs; ++r) {
        if (a.setup)
            a.setup(tiny);
        const qint64 screen = timedRun(a, tiny);
        if (a.sqlSetup)
            a.sqlSetup(big);
        *floors << screen + timed([&] { a.sql(floor, big); });
    }
}

// One row of the table (or one JSON object): the medians, their ratio, the
// peak memory so far, and whether the goal was met: at most three times the
// floor, and on a shop file within a frame too. A server's every statement
// is a round trip, so there only the floor, which makes the same trips, is
// the measure.
void printTiming(bool json, bool onServer, const QString& name, const QList<qint64>& measured,
                 const QList<qint64>& floors)
{
    const double ms = median(measured) / 1e6;
    const double floorMs = median(floors) / 1e6;
    const double ratio = floorMs > 0 ? ms / floorMs : 0;
    const double peak = peakMB();
    const bool met = ratio <= 3 && (onServer || ms < 16);
    if (json) {
        print(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("action"), name},
                                                          {QStringLiteral("median_ms"), ms},
                                                          {QStringLiteral("floor_ms"), floorMs},
                                                          {QStringLiteral("ratio"), ratio},
                                                          {QStringLiteral("peak_mb"), peak},
                                                          {QStringLiteral("met"), met}})
                                    .toJson(QJsonDocument::Compact)));
    } else {
        print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                  .arg(name)
                  .arg(ms, 0, 'f', 2)
                  .arg(floorMs, 0, 'f', 2)
                  .arg(ratio, 0, 'f', 1)
                  .arg(peak, 0, 'f', 1)
                  .arg(met ? QStringLiteral("met") : QStringLiteral("MISSED")));
    }
}

// The databases a run makes on a server for itself, dropped when it ends.
struct Throwaway {
    QStringList urls;
    Throwaway() = default;
    Throwaway(const Throwaway&) = delete;
    Throwaway& operator=(const Throwaway&) = delete;
    ~Throwaway()
    {
        for (const QString& url : urls)
            server::drop(url);
    }
    QString make(const QString& serverUrl, const QString& name)
    {
        const QString url = server::databaseUrl(serverUrl, name);
        server::create(url);
        urls << url;
        return url;
    }
};

// The measured shop: a file, built when it does not exist yet; or on a
// server, a database of the run's own when the URL names none, else the
// named one, built when it does not exist yet. The floor's shop is of the
// same kind: on a server, a database of its own beside the measured one.
int benchmark(const Options& options)
{
    Throwaway made;
    QTemporaryDir dir;
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QString file = options.shop;
    bool build = false;
    QElapsedTimer buildClock;
    buildClock.start();
    if (!options.database.isEmpty()) {
        if (server::namesNoShop(options.database)) {
            file = made.make(options.database, QStringLiteral("lumaro_bench_") + pid);
            build = true;
        } else {
            file = options.database;
            build = !server::exists(file);
            if (build)
                server::create(file);
        }
    } else {
        if (file.isEmpty())
            file = dir.filePath(QStringLiteral("teadata.db"));
        build = !QFile::exists(file);
    }
    if (build)
        buildShop(file, options.size);
    const double built = double(buildClock.elapsed()) / 1000;
    if (options.terminals > 0)
        return runTerminals({file, options.terminals, options.moves, options.json});

    const QString floorShop = options.database.isEmpty()
                                  ? dir.filePath(QStringLiteral("screenful.db"))
                                  : made.make(options.database, QStringLiteral("lumaro_bench_floor_") + pid);
    buildShop(floorShop, screenfulShop());

    Shop big, tiny;
    big.open(file);
    tiny.open(floorShop);
    const ShopSize held = measureShop(*big.db);
    Floor floor(file);
    printHeading(options, held, built);

    QStringList faults;
    for (const Action& a : actions(big, options.runs)) {
        if (!a.name.contains(options.only))
            continue;
        QList<qint64> measured, floors;
        timeAction(a, big, tiny, floor, options.runs, &measured, &floors);
        const QString fault = a.check ? a.check() : QString();
        if (!fault.isEmpty())
            faults << a.name + QStringLiteral(": ") + fault;
        printTiming(options.json, Database::isPostgresUrl(file), a.name, measured, floors);
    }
    if (!benchPrompts->unexpected.isEmpty())
        std::fprintf(stderr, "unexpected messages: %s\n",
                     qPrintable(benchPrompts->unexpected.join(QStringLiteral(" / "))
                                    .replace(QLatin1Char('\r'), QLatin1Char(' '))));
    for (const QString& f : faults)
        std::fprintf(stderr, "NOT STORED: %s\n", qPrintable(f));
    return benchPrompts->unexpected.isEmpty() && faults.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    // The screens are timed in the font they show, which shapes its text at
    // a cost of its own.
    QApplication::setFont(shopFont());

    Options options;
    if (!readOptions(app, &options))
        return 2;

    BenchPrompts prompts;
    benchPrompts = &prompts;
    setPrompts(&prompts);

    try {
        return benchmark(options);
    } catch (const Failure& e) {
        std::fprintf(stderr, "lumaro-bench: %s\n",
                     qPrintable(QString(e.description()).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        return 1;
    }
}
