#include "books/Books.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStringList>

using namespace lumaro;

void say(const QString& line); // probe.cpp

// One terminal's day in fast motion. Orders are picked at random among the
// open ones, so two terminals sometimes reach for the same order and one of
// them must be refused. Each move is announced with the id it is stored
// under, so whoever reads the journal can tell which moves were stored.
int moves(const QString& shop, int count, quint32 seed)
{
    std::unique_ptr<Database> db = openShop(shop);
    QRandomGenerator rng(seed);
    const QStringList teas = [&] {
        QStringList t;
        QSqlQuery q = db->exec(QStringLiteral("SELECT 編號 FROM 茶葉資料表 ORDER BY 編號"));
        while (q.next())
            t << q.value(0).toString();
        return t;
    }();
    say(QStringLiteral("ready"));
    qint64 slowest = 0;
    QElapsedTimer move;
    for (int i = 0; i < count; ++i) {
        const int kind = rng.bounded(3);
        move.start();
        const QString id = books::newMoveId();
        try {
            if (kind == 0) {
                const qlonglong order = db->scalar(QStringLiteral("SELECT 訂單編號 FROM 訂單資料表 WHERE 訂單狀態 = 0 "
                                                                  "ORDER BY 訂單編號 LIMIT 1 OFFSET ?"),
                                                   {rng.bounded(8)})
                                            .toLongLong();
                if (order == 0)
                    continue;
                say(QStringLiteral("try C %1 %2").arg(order).arg(id));
                OrderStore::settleOrder(*db, order, std::nullopt, id);
            } else if (kind == 1) {
                const QString tea = teas[rng.bounded(int(teas.size()))];
                const int kg = 1 + rng.bounded(5);
                say(QStringLiteral("try P %1 %2 %3").arg(tea).arg(kg).arg(id));
                money::purchase(*db, tea, Money::fromDouble(kg), id);
            } else {
                const int amount = (1 + rng.bounded(300)) * (rng.bounded(2) ? 1 : -1);
                say(QStringLiteral("try T %1 %2").arg(amount).arg(id));
                money::transfer(*db, Money::fromDouble(amount), id);
            }
            say(QStringLiteral("ok"));
            slowest = std::max(slowest, move.elapsed());
        } catch (const MoveRefused&) {
            say(QStringLiteral("no"));
        } catch (const DataError& e) {
            // Another terminal settled the order first: the screen's refusal.
            if (e.description() == OrderStore::alreadySettledText())
                say(QStringLiteral("no"));
            else
                say(QStringLiteral("fail ") + QString(e.description()).replace(QLatin1Char('\r'), QLatin1Char(' ')));
        } catch (const Failure& e) {
            say(QStringLiteral("fail ") + e.description());
        }
    }
    say(QStringLiteral("slowest %1 ms").arg(slowest));
    say(QStringLiteral("done"));
    return 0;
}
