// lumaro-probe [--uid N] [--fsize BYTES] MODE SHOP ...
//
// A second process on a shop, for the suites that need one:
//   open SHOP        opens the shop and adds one tea through a data control
//   fill SHOP        adds teas ten to a transaction until a write fails;
//                    prints "committed N" after each commit
//   moves SHOP N SEED  N random checkouts, stock purchases and transfers
//                    through the functions the screens call, journalled as
//                    "try C order ID" / "try P tea kg ID" / "try T amount ID",
//                    each followed by "ok", "no" (refused) or "fail text"
//   hold SHOP        opens the shop, says "ready" and waits to be killed
//   syncfail SHOP die|on  100 into the cash, then a deposit of 7 whose commit meets a failing log
//                    sync (with the failsync library preloaded), answered
//                    "try ID" then "ok" or "fail text"; then either dies on
//                    the spot or deposits 5 more ("after ok")
//   exit SHOP        the program's main window over the shop (its password
//                    empty, so it opens at once), a stock purchase of 3 kg of
//                    the first tea and a transfer of 100 to the bank, then
//                    離開系統; never returns when the program ends as it should
// Exit codes: 0 done, 3 the shop refused (its message is printed), 2 misuse.
#include "app/MDI_frm.h"
#include "books/Books.h"
#include "books/MoneyMoves.h"
#include "books/Shop.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Transaction.h"
#include "platform/QtPrompts.h"

#include <QAction>
#include <QApplication>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace lumaro;

int moves(const QString& shop, int count, quint32 seed); // probe_moves.cpp

void say(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

namespace {

int openAndWrite(const QString& shop)
{
    std::unique_ptr<Database> db = openShop(shop);
    DataControl teas(*db);
    teas.setRecordSource(schema::TeaTable);
    teas.refresh();
    teas.addNew();
    teas.setField(schema::tea::Number, QStringLiteral("P%1").arg(QCoreApplication::applicationPid()));
    teas.setField(schema::tea::Name, QStringLiteral("探針茶"));
    teas.update();
    say(QStringLiteral("stored"));
    return 0;
}

int fill(const QString& shop)
{
    std::unique_ptr<Database> db = openShop(shop);
    const QString name(4000, QChar(0x8336));
    for (int batch = 0;; ++batch) {
        Transaction t(*db);
        for (int i = 0; i < 10; ++i)
            db->exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES (?, ?, 1, 2, 3)"),
                     {QStringLiteral("F%1-%2").arg(batch).arg(i), name})
                .finish();
        t.commit();
        say(QStringLiteral("committed %1").arg(batch + 1));
    }
}

int moveThenExit(const QString& shop)
{
    QtPrompts prompts;
    setPrompts(&prompts);
    std::unique_ptr<Database> db = openShop(shop);
    MDI_frm window(*db);
    window.show();
    if (!window.Form_Load())
        return 4;
    money::purchase(*db, db->scalar(QStringLiteral("SELECT min(編號) FROM 茶葉資料表")).toString(),
                    Money::fromDouble(3));
    money::transfer(*db, Money::fromDouble(100));
    say(QStringLiteral("moved"));
    window.findChild<QAction*>(QStringLiteral("Exit"))->trigger();
    return 5; // still running after 離開系統
}

// Another terminal that keeps the shop open until it is killed.
int hold(const QString& shop)
{
    std::unique_ptr<Database> db = openShop(shop);
    db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表"));
    say(QStringLiteral("ready"));
    for (;;)
        ::pause();
}

int syncFail(const QString& shop, bool die)
{
    std::unique_ptr<Database> db = openShop(shop);
    money::adjust(*db, Money::fromUnits(100 * Money::Scale),
                  QStringLiteral("開店")); // the log syncs well before the fault
    const QString id = books::newMoveId();
    say(QStringLiteral("try ") + id);
    qputenv("LUMARO_FAIL_WAL_SYNC", "once");
    try {
        money::deposit(*db, Money::fromDouble(7), id);
        say(QStringLiteral("ok"));
    } catch (const Failure& e) {
        say(QStringLiteral("fail ") + QString(e.description()).replace(QLatin1Char('\r'), QLatin1Char(' ')));
    }
    if (die)
        ::raise(SIGKILL);
    money::deposit(*db, Money::fromDouble(5));
    say(QStringLiteral("after ok"));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::signal(SIGXFSZ, SIG_IGN); // as the program itself does
    // The main window needs a GUI application; the other modes do not.
    bool gui = false;
    for (int i = 1; i < argc; ++i)
        gui = gui || qstrcmp(argv[i], "exit") == 0;
    std::unique_ptr<QCoreApplication> app(gui ? new QApplication(argc, argv) : new QCoreApplication(argc, argv));
    QStringList args = QCoreApplication::arguments().mid(1);
    while (args.size() >= 2 && args[0].startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        const qlonglong value = args.takeFirst().toLongLong();
        if (option == QLatin1String("--fsize")) {
            rlimit limit{rlim_t(value), rlim_t(value)};
            setrlimit(RLIMIT_FSIZE, &limit);
        } else if (option == QLatin1String("--uid")) {
            if (setgid(gid_t(value)) != 0 || setuid(uid_t(value)) != 0) {
                say(QStringLiteral("cannot change user"));
                return 2;
            }
        }
    }
    if (args.size() < 2)
        return 2;
    try {
        if (args[0] == QLatin1String("open"))
            return openAndWrite(args[1]);
        if (args[0] == QLatin1String("fill"))
            return fill(args[1]);
        if (args[0] == QLatin1String("exit"))
            return moveThenExit(args[1]);
        if (args[0] == QLatin1String("hold"))
            return hold(args[1]);
        if (args[0] == QLatin1String("syncfail") && args.size() >= 3)
            return syncFail(args[1], args[2] == QLatin1String("die"));
        if (args[0] == QLatin1String("moves") && args.size() >= 4)
            return ::moves(args[1], args[2].toInt(), args[3].toUInt());
    } catch (const DataError& e) {
        say(QStringLiteral("ERROR: ") + QString(e.description()).replace(QLatin1Char('\r'), QLatin1Char(' ')));
        return 3;
    }
    return 2;
}
