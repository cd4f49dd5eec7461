// lumaro-bench [--size small|large] [--runs N]
//
// Builds a shop of the given size in a temporary folder, runs each user action
// end to end through the screens' code (offscreen), and prints per action the
// median time, the median of the same database work done directly (the
// floor), their ratio, and the peak memory. Without --size it runs each size
// in a process of its own, so each peak is its own.
#include "Floor.h"
#include "History.h"
#include "Shop.h"

#include "accounts/Money_frm.h"
#include "app/MDI_frm.h"
#include "app/main_frm.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "data/DataControl.h"
#include "forms/DataGrid.h"
#include "data/Database.h"
#include "orders/Order_frm.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
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

// A screen's control, found by its name.
template <class T>
T* ctl(const QObject* form, const char* name)
{
    return form->findChild<T*>(QString::fromLatin1(name));
}

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

// The offscreen platform's notes about window hints are noise in the table.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")) || text.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (type == QtFatalMsg)
        std::abort();
}

struct Action {
    QString name;
    bool store;                   // a store (goal: ratio <= 3) or a screen load (<= 5)
    std::function<void()> setup;  // untimed, before each run of either side
    std::function<qint64()> screen; // returns nanoseconds
    std::function<void()> floor;
    std::function<QString()> check = nullptr; // after all runs: empty, or what the screen failed to store
    std::function<void()> start = nullptr;    // once, before the first run: notes what check compares with
};

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

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Lets queued events (sub-window activation, repaints) run, as the event loop
// would before the user sees the result.
void settle() { QCoreApplication::processEvents(); }

int runSize(const ShopSize& size, int runs)
{
    QTemporaryDir dir;
    const QString shop = dir.filePath(QStringLiteral("teadata.db"));
    QElapsedTimer buildClock;
    buildClock.start();
    buildShop(shop, size);
    print(QStringLiteral("%1 shop: %2 teas, %3 open orders of %4 lines%5 (built in %6 s)")
              .arg(size.name)
              .arg(size.teas)
              .arg(size.openOrders)
              .arg(size.linesPerOrder)
              .arg(size.bigOrderLines ? QStringLiteral(", one of %1").arg(size.bigOrderLines) : QString())
              .arg(double(buildClock.elapsed()) / 1000, 0, 'f', 1));

    // The program as the shop owner has it: open, unlocked.
    std::unique_ptr<Database> db = Database::open(shop);
    MDI_frm window(*db);
    window.resize(1280, 800);
    window.show();
    if (!window.Form_Load())
        qFatal("the bench shop did not unlock");
    settle();
    Floor floor(shop);

    QList<Action> actions;
    actions << Action{QStringLiteral("start-up to password prompt"), false, nullptr,
                      [&] {
                          QElapsedTimer clock;
                          benchPrompts->clock = &clock;
                          benchPrompts->askedAt = -1;
                          clock.start();
                          {
                              std::unique_ptr<Database> d = Database::open(shop);
                              MDI_frm w(*d);
                              w.resize(1280, 800);
                              w.show();
                              w.Form_Load();
                          }
                          benchPrompts->clock = nullptr;
                          return benchPrompts->askedAt;
                      },
                      [&] { Floor::startup(shop); }};

    auto openScreen = [&](const QString& name, std::function<void()> click, std::function<void()> floorWork) {
        actions << Action{QStringLiteral("open ") + name, false,
                          [&window] {
                              // Each run opens the screen anew.
                              for (QMdiSubWindow* s : window.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->subWindowList())
                                  if (s->widget() != static_cast<QWidget*>(window.lockScreen()))
                                      s->close();
                              settle();
                              QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                          },
                          [click] { return timed([&] {
                                        click();
                                        settle();
                                    }); },
                          floorWork};
    };
    openScreen(QStringLiteral("TeaKind_frm"), [&] { window.EditTea_Click(); }, [&] { floor.catalogue(); });
    openScreen(QStringLiteral("TeaStock_frm"), [&] { window.StoreTea_Click(); }, [&] { floor.catalogue(); });
    openScreen(QStringLiteral("Money_frm"), [&] { window.EditMoney_Click(); }, [&] { floor.account(); });
    openScreen(QStringLiteral("Order_frm"), [&] { window.EditOrder_Click(); }, [&] { floor.openOrders(); });

    // The actions on an open screen. Each brings its screen up untimed.
    const qlonglong big = biggestOrder(*db);
    auto orders = [&] {
        window.EditOrder_Click();
        settle();
        return window.orderScreen();
    };
    auto selectOrder = [&](Order_frm* o, qlonglong order) {
        ctl<DataGrid>(o, "grdDataGrid")->selectRow(ctl<DataControl>(o, "datPrimaryRS")->findRow(0, order));
        settle();
    };
    // A new open order with the first n lines of the big one, on show in the
    // order list.
    auto newOrder = [&](int lines) {
        const qlonglong id = db->scalar(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 訂單狀態) VALUES ('結帳客', 0) "
                                                       "RETURNING 訂單編號"))
                                 .toLongLong();
        db->exec(QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) SELECT ?, 茶葉編號, 數量 FROM 訂單明細表 "
                                "WHERE 訂單編號 = ? ORDER BY 明細編號 LIMIT ?"),
                 {id, big, lines})
            .finish();
        return id;
    };
    const QString someTea = db->scalar(QStringLiteral("SELECT min(編號) FROM 茶葉資料表")).toString();
    auto before = std::make_shared<double>(0);
    auto stockOf = [&](const QString& tea) {
        return db->scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = ?"), {tea}).toDouble();
    };
    auto linesOf = [&](qlonglong order) {
        return db->scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 訂單編號 = ?"), {order}).toDouble();
    };

    actions << Action{QStringLiteral("select an order (%1 lines)").arg(size.bigOrderLines ? size.bigOrderLines : size.linesPerOrder),
                      false,
                      [&] {
                          Order_frm* o = orders();
                          ctl<DataGrid>(o, "grdDataGrid")->selectRow(ctl<DataControl>(o, "datPrimaryRS")->findRow(0, big) == 0 ? 1 : 0);
                          settle();
                      },
                      [&] { return timed([&] { selectOrder(window.orderScreen(), big); }); },
                      [&] { floor.orderLines(big); }};

    actions << Action{QStringLiteral("add a line with its total"), true,
                      [&] {
                          Order_frm* o = orders();
                          if (ctl<DataControl>(o, "datPrimaryRS")->field(0).toLongLong() != big)
                              selectOrder(o, big);
                          ctl<DataGrid>(o, "DataGrid2")->selectRow(ctl<DataControl>(o, "Adodc2")->findRow(0, someTea));
                          ctl<QScrollBar>(o, "HScroll1")->setValue(1);
                          settle();
                      },
                      [&] { return timed([&] {
                                ctl<QPushButton>(window.orderScreen(), "Command1")->click();
                                settle();
                            }); },
                      [&] { floor.addLine(big, someTea, 1); },
                      [&] {
                          const double added = linesOf(big) - *before;
                          return added == 2.0 * runs ? QString() : QStringLiteral("%1 lines added").arg(added);
                      },
                      [&] { *before = linesOf(big); }};

    for (int lines : {size.linesPerOrder, size.bigOrderLines}) {
        if (lines <= 0)
            continue;
        auto pending = std::make_shared<qlonglong>(0);
        actions << Action{QStringLiteral("checkout (%1 lines)").arg(lines), true,
                          [&, lines, pending] {
                              *pending = newOrder(lines);
                              Order_frm* o = orders();
                              ctl<QPushButton>(o, "cmdRefresh")->click();
                              settle();
                              selectOrder(o, *pending);
                          },
                          [&] { return timed([&] {
                                    ctl<QPushButton>(window.orderScreen(), "Command3")->click();
                                    settle();
                                }); },
                          [&, pending] { floor.checkout(*pending); },
                          [&]() -> QString {
                              const int open = db->scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 客戶名稱 = '結帳客' AND 訂單狀態 = 0")).toInt();
                              return open == 0 ? QString() : QStringLiteral("%1 orders left open").arg(open);
                          }};
    }

    actions << Action{QStringLiteral("stock purchase"), true,
                      [&] {
                          window.StoreTea_Click();
                          settle();
                          TeaStock_frm* t = window.teaStockScreen();
                          ctl<DataGrid>(t, "grdDataGrid")->selectRow(ctl<DataControl>(t, "datPrimaryRS")->findRow(0, someTea));
                          ctl<QScrollBar>(t, "HScroll1")->setValue(2);
                          settle();
                      },
                      [&] { return timed([&] {
                                ctl<QPushButton>(window.teaStockScreen(), "Buy")->click();
                                settle();
                            }); },
                      [&] { floor.purchase(someTea, 2); },
                      [&] {
                          const double bought = stockOf(someTea) - *before;
                          return bought == 4.0 * runs ? QString() : QStringLiteral("the stock rose by %1").arg(bought);
                      },
                      [&] { *before = stockOf(someTea); }};

    actions << Action{QStringLiteral("transfer"), true,
                      [&] {
                          window.EditMoney_Click();
                          settle();
                          ctl<QLineEdit>(window.moneyScreen(), "temp_money")->setText(QStringLiteral("100"));
                      },
                      [&] { return timed([&] {
                                ctl<QPushButton>(window.moneyScreen(), "bank_cmd")->click();
                                settle();
                            }); },
                      [&] { floor.transfer(100); },
                      [&] {
                          const double moved = db->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble() - *before;
                          return moved == 200.0 * runs ? QString() : QStringLiteral("the bank rose by %1").arg(moved);
                      },
                      [&] { *before = db->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(); }};

    actions << Action{QStringLiteral("catalogue refresh"), false,
                      [&] {
                          window.EditTea_Click();
                          settle();
                      },
                      [&] { return timed([&] {
                                ctl<QPushButton>(window.teaKindScreen(), "cmdRefresh")->click();
                                settle();
                            }); },
                      [&] { floor.catalogue(); }};

    // Years of settled sales behind the shop: the history screen reads only
    // the page it shows, so it must stay as fast at ten years as at one day.
    {
        const bool large = size.name == QLatin1String("large");
        const int historyOrders = large ? 100000 : 50;
        const int historyLines = large ? 10 : 5;
        QElapsedTimer historyClock;
        historyClock.start();
        buildSalesHistory(*db, historyOrders, historyLines);
        print(QStringLiteral("sales history: %1 settled orders of %2 lines (built in %3 s)")
                  .arg(historyOrders)
                  .arg(historyLines)
                  .arg(double(historyClock.elapsed()) / 1000, 0, 'f', 1));
        addSalesHistoryActions(window, *db, [&](const QString& name, std::function<void()> screen,
                                                std::function<void()> floorWork) {
            actions << Action{name, false,
                              [&window] {
                                  for (QMdiSubWindow* s : window.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->subWindowList())
                                      if (s->widget() != static_cast<QWidget*>(window.lockScreen()))
                                          s->close();
                                  settle();
                                  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                              },
                              [screen] { return timed([&] {
                                            screen();
                                            settle();
                                        }); },
                              floorWork};
        });
    }

    print(QString());
    print(QStringLiteral("| action | kind | median ms | floor ms | ratio | goal |"));
    print(QStringLiteral("|---|---|---:|---:|---:|---|"));
    QStringList faults;
    for (const Action& a : actions) {
        QList<qint64> screen, base;
        if (a.start)
            a.start();
        for (int r = 0; r < runs; ++r) {
            if (a.setup)
                a.setup();
            screen << a.screen();
            if (a.setup)
                a.setup();
            base << timed(a.floor);
        }
        const QString fault = a.check ? a.check() : QString();
        if (!fault.isEmpty())
            faults << a.name + QStringLiteral(": ") + fault;
        const double ms = median(screen) / 1e6;
        const double floorMs = median(base) / 1e6;
        const double ratio = floorMs > 0 ? ms / floorMs : 0;
        const double limit = a.store ? 3 : 5;
        const bool met = ms < 50 && ratio <= limit;
        print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                  .arg(a.name, a.store ? QStringLiteral("store") : QStringLiteral("screen"))
                  .arg(ms, 0, 'f', 2)
                  .arg(floorMs, 0, 'f', 2)
                  .arg(ratio, 0, 'f', 1)
                  .arg(met ? QStringLiteral("met") : QStringLiteral("MISSED")));
    }
    const long peak = peakKiB();
    print(QStringLiteral("peak memory: %1 MB (goal under 120 MB: %2)")
              .arg(double(peak) / 1024, 0, 'f', 1)
              .arg(peak < 120 * 1024 ? QStringLiteral("met") : QStringLiteral("MISSED")));
    if (!benchPrompts->unexpected.isEmpty())
        print(QStringLiteral("unexpected messages: ")
              + benchPrompts->unexpected.join(QStringLiteral(" / ")).replace(QLatin1Char('\r'), QLatin1Char(' ')));
    for (const QString& f : faults)
        print(QStringLiteral("NOT STORED: ") + f);
    return benchPrompts->unexpected.isEmpty() && faults.isEmpty() ? 0 : 1;
}

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown CPU");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QString sizeName;
    int runs = 9;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--size" && i + 1 < argc)
            sizeName = QString::fromUtf8(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, QByteArray(argv[++i]).toInt());
        else {
            std::fputs("usage: lumaro-bench [--size small|large] [--runs N]\n", stderr);
            return 2;
        }
    }

    if (sizeName.isEmpty()) {
        // One process per size, so each peak memory is that size's own.
        QCoreApplication app(argc, argv);
        print(QStringLiteral("lumaro-bench on %1, %2 cores, %3; median of %4 runs")
                  .arg(cpuModel())
                  .arg(QThread::idealThreadCount())
                  .arg(QSysInfo::prettyProductName())
                  .arg(runs));
        int status = 0;
        for (const QString& s : {QStringLiteral("small"), QStringLiteral("large")}) {
            print(QString());
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--size"), s, QStringLiteral("--runs"), QString::number(runs)});
            child.waitForFinished(-1);
            if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
                status = 1;
        }
        return status;
    }

    QApplication app(argc, argv);
    BenchPrompts prompts;
    benchPrompts = &prompts;
    setPrompts(&prompts);
    const ShopSize size = sizeName == QLatin1String("large") ? largeShop() : smallShop();
    return runSize(size, runs);
}
