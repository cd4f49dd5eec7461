#include "Terminals.h"

#include "Shop.h"

#include "books/Audit.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Shop.h"
#include "data/Database.h"
#include "platform/Failure.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStringList>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <latch>
#include <thread>
#include <vector>

using namespace lumaro;

namespace bench {

namespace {

void print(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

constexpr int LinesPerOrder = 5;

// What one terminal did: its moves' times and what the stored ones changed.
struct Terminal {
    QList<qint64> checkouts, purchases; // ns, stored moves only
    int errors = 0;
    QString firstError;
    Money cash;       // added to the drawer
    double stock = 0; // kg added to the stock, all teas together
    qlonglong stored = 0;
};

// One terminal's moves: its orders checked out as 結帳 does (the lines read
// afresh, the bill, the settle for exactly that figure), each followed by a
// purchase of a few kilograms of a tea, as 進貨 does.
void workDay(const QString& target, const QList<qlonglong>& orders, int moves, quint32 seed, const QStringList& teas,
             std::latch& ready, Terminal& out)
{
    std::unique_ptr<Database> db;
    try {
        db = openShop(target);
    } catch (const Failure& e) {
        out.errors = moves;
        out.firstError = e.description();
    }
    ready.arrive_and_wait();
    if (!db)
        return;
    QRandomGenerator rng(seed);
    qsizetype next = 0;
    QElapsedTimer clock;
    for (int i = 0; i < moves; ++i) {
        const bool checkout = i % 2 == 0 && next < orders.size();
        clock.start();
        try {
            if (checkout) {
                const qlonglong order = orders[next++];
                const QList<OrderStore::PricedLine> lines = OrderStore::pricedLines(*db, order);
                OrderStore::requireChargeable(lines);
                const OrderStore::Bill bill = OrderStore::bill(*db, order, lines);
                const Money paid =
                    OrderStore::settleOrder(*db, order, OrderStore::Settle{bill.net(), bill.discount(), {}});
                out.checkouts << clock.nsecsElapsed();
                out.cash += paid;
                for (const OrderStore::PricedLine& line : lines)
                    out.stock -= line.quantity.toDouble();
            } else {
                const QString tea = teas[rng.bounded(int(teas.size()))];
                const Money kg = Money::fromDouble(1 + rng.bounded(5));
                const std::optional<Money> cost = money::purchaseCost(*db, tea, kg);
                money::purchase(*db, tea, kg, money::Paid{});
                out.purchases << clock.nsecsElapsed();
                out.cash -= cost.value_or(Money());
                out.stock += kg.toDouble();
            }
            ++out.stored;
        } catch (const std::exception& e) {
            ++out.errors;
            if (out.firstError.isEmpty()) {
                const auto* f = dynamic_cast<const Failure*>(&e);
                out.firstError = f ? f->description() : QString::fromUtf8(e.what());
            }
        }
    }
}

double ms(qint64 ns) { return double(ns) / 1e6; }

// The time below which share of the moves fell (nearest rank).
qint64 percentile(const QList<qint64>& sorted, double share)
{
    if (sorted.isEmpty())
        return 0;
    const auto rank = qsizetype(std::ceil(share * double(sorted.size())));
    return sorted[std::clamp<qsizetype>(rank - 1, 0, sorted.size() - 1)];
}

// The shop's cash, its stock of all teas and its moves, to compare before and after.
struct Books {
    Money cash;
    double stock = 0;
    qlonglong moves = 0;
    static Books read(Database& db)
    {
        return {Money::fromDouble(db.scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble()),
                db.scalar(QStringLiteral("SELECT sum(庫存) FROM 茶葉資料表")).toDouble(),
                db.scalar(QStringLiteral("SELECT count(DISTINCT 異動編號) FROM 帳務日誌表")).toLongLong()};
    }
};

} // namespace

int runTerminals(const Load& load)
{
    std::unique_ptr<Database> db = openShop(load.target);
    const int checkoutsEach = (load.movesEach + 1) / 2;
    const QList<QList<qlonglong>> orders = addTerminalOrders(*db, load.terminals, checkoutsEach, LinesPerOrder);
    const QStringList teas = [&] {
        QStringList out;
        QSqlQuery q = db->exec(QStringLiteral("SELECT 編號 FROM 茶葉資料表 ORDER BY 編號 LIMIT 1000"));
        while (q.next())
            out << q.value(0).toString();
        return out;
    }();
    const Books before = Books::read(*db);

    std::vector<Terminal> done(std::size_t(load.terminals));
    std::latch ready(load.terminals + 1);
    QElapsedTimer wall;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < load.terminals; ++t)
            threads.emplace_back([&, t] {
                workDay(load.target, orders[t], load.movesEach, quint32(1000 + t), teas, ready, done[std::size_t(t)]);
            });
        ready.arrive_and_wait();
        wall.start();
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;

    Terminal all;
    QStringList errors;
    for (const Terminal& t : done) {
        all.checkouts << t.checkouts;
        all.purchases << t.purchases;
        all.errors += t.errors;
        all.cash += t.cash;
        all.stock += t.stock;
        all.stored += t.stored;
        if (!t.firstError.isEmpty())
            errors << t.firstError;
    }

    // Every stored move, and only those, shows in the cash, the stock and
    // the journal; the shop's own check finds its books add up.
    const Books after = Books::read(*db);
    QStringList unbalanced;
    if (after.cash - before.cash != all.cash)
        unbalanced << QStringLiteral("the cash moved by %1, the moves say %2")
                          .arg((after.cash - before.cash).toString(), all.cash.toString());
    if (std::abs(after.stock - before.stock - all.stock) > 1e-6)
        unbalanced << QStringLiteral("the stock moved by %1 kg, the moves say %2")
                          .arg(after.stock - before.stock)
                          .arg(all.stock);
    if (after.moves - before.moves != all.stored)
        unbalanced << QStringLiteral("%1 moves journalled, %2 stored").arg(after.moves - before.moves).arg(all.stored);
    if (!checkShop(*db).clean())
        unbalanced << QStringLiteral("lumaro-admin check finds faults");

    const bool onServer = Database::isPostgresUrl(load.target);
    const QString where = onServer ? QStringLiteral("server") : QStringLiteral("file");
    qint64 slowest = 0;
    qint64 worstP99 = 0;
    struct Kind {
        QString name;
        QList<qint64> times;
    };
    const QList<Kind> kinds{{QStringLiteral("checkout (%1 lines)").arg(LinesPerOrder), all.checkouts},
                            {QStringLiteral("stock purchase"), all.purchases}};
    const double rate = seconds > 0 ? double(all.stored) / seconds : 0;
    if (!load.json) {
        print(QStringLiteral("lumaro-bench on %1 cores, %2; %3 terminals on %4, %5 moves each")
                  .arg(QThread::idealThreadCount())
                  .arg(QSysInfo::prettyProductName())
                  .arg(load.terminals)
                  .arg(onServer ? QStringLiteral("a shop on a server") : QStringLiteral("a shop file"))
                  .arg(load.movesEach));
        print(QString());
        print(QStringLiteral("| move | stored | median ms | p99 ms | max ms |"));
        print(QStringLiteral("|---|---:|---:|---:|---:|"));
    }
    for (Kind k : kinds) {
        std::sort(k.times.begin(), k.times.end());
        const qint64 p50 = percentile(k.times, 0.5), p99 = percentile(k.times, 0.99),
                     most = k.times.isEmpty() ? 0 : k.times.last();
        slowest = std::max(slowest, most);
        worstP99 = std::max(worstP99, p99);
        if (load.json)
            print(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("move"), k.name},
                                                              {QStringLiteral("stored"), k.times.size()},
                                                              {QStringLiteral("median_ms"), ms(p50)},
                                                              {QStringLiteral("p99_ms"), ms(p99)},
                                                              {QStringLiteral("max_ms"), ms(most)}})
                                        .toJson(QJsonDocument::Compact)));
        else
            print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                      .arg(k.name)
                      .arg(k.times.size())
                      .arg(ms(p50), 0, 'f', 2)
                      .arg(ms(p99), 0, 'f', 2)
                      .arg(ms(most), 0, 'f', 2));
    }
    const bool met = ms(worstP99) < 50 && ms(slowest) < 1000 && all.errors == 0;
    if (load.json) {
        print(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("terminals"), load.terminals},
                                                          {QStringLiteral("shop"), where},
                                                          {QStringLiteral("stored"), all.stored},
                                                          {QStringLiteral("seconds"), seconds},
                                                          {QStringLiteral("moves_per_s"), rate},
                                                          {QStringLiteral("errors"), all.errors},
                                                          {QStringLiteral("balanced"), unbalanced.isEmpty()},
                                                          {QStringLiteral("met"), met}})
                                    .toJson(QJsonDocument::Compact)));
    } else {
        print(QString());
        print(QStringLiteral("%1 moves stored in %2 s: %3 moves/s; %4 errors; goal (p99 under 50 ms, none over 1 s, "
                             "no error) %5; books %6")
                  .arg(all.stored)
                  .arg(seconds, 0, 'f', 2)
                  .arg(rate, 0, 'f', 0)
                  .arg(all.errors)
                  .arg(met ? QStringLiteral("met") : QStringLiteral("MISSED"))
                  .arg(unbalanced.isEmpty() ? QStringLiteral("balanced") : QStringLiteral("UNBALANCED")));
    }
    for (const QString& e : errors)
        std::fprintf(stderr, "ERROR: %s\n", qPrintable(QString(e).replace(QLatin1Char('\r'), QLatin1Char(' '))));
    for (const QString& u : unbalanced)
        std::fprintf(stderr, "NOT BALANCED: %s\n", qPrintable(u));
    return all.errors == 0 && unbalanced.isEmpty() ? 0 : 1;
}

} // namespace bench
