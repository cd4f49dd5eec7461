#pragma once

// What the shop must hold after terminals' journals of moves: the expected
// cash, bank, stock of every tea and set of settled orders, worked out from
// the shop as it was and the moves each terminal says it made. Every amount
// in these tests is whole, so the comparisons are exact.

#include "books/Books.h"
#include "data/Database.h"
#include "data/Transaction.h"
#include "support/TestShop.h"

#include <QEventLoop>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <span>

namespace lumaro::test {

struct ShopState {
    double cash = 0;
    double bank = 0;
    QMap<QString, double> stock;
    QSet<qlonglong> settled;

    bool operator==(const ShopState&) const = default;

    static ShopState read(Database& db)
    {
        ShopState s;
        QSqlQuery a = db.exec(QStringLiteral("SELECT 現金, 銀行 FROM 帳款資料表"));
        a.next();
        s.cash = a.value(0).toDouble();
        s.bank = a.value(1).toDouble();
        a.finish();
        QSqlQuery t = db.exec(QStringLiteral("SELECT 編號, 庫存 FROM 茶葉資料表"));
        while (t.next())
            s.stock[t.value(0).toString()] = t.value(1).toDouble();
        t.finish();
        QSqlQuery o = db.exec(QStringLiteral("SELECT 訂單編號 FROM 訂單資料表 WHERE 訂單狀態 = 1"));
        while (o.next())
            s.settled.insert(o.value(0).toLongLong());
        o.finish();
        return s;
    }

    QString differenceFrom(const ShopState& stored) const
    {
        QStringList d;
        if (cash != stored.cash)
            d << QStringLiteral("cash %1, stored %2").arg(cash, 0, 'f').arg(stored.cash, 0, 'f');
        if (bank != stored.bank)
            d << QStringLiteral("bank %1, stored %2").arg(bank, 0, 'f').arg(stored.bank, 0, 'f');
        for (auto it = stock.cbegin(); it != stock.cend(); ++it)
            if (stored.stock.value(it.key()) != it.value())
                d << QStringLiteral("stock of %1 %2, stored %3")
                         .arg(it.key())
                         .arg(it.value())
                         .arg(stored.stock.value(it.key()));
        if (settled != stored.settled)
            d << QStringLiteral("%1 orders settled, %2 stored").arg(settled.size()).arg(stored.settled.size());
        return d.join(QStringLiteral("; "));
    }
};

class Ledger {
public:
    // Reads the shop before any move: balances, stock, costs and each open
    // order's lines at the catalogue's sale prices.
    explicit Ledger(Database& db) : m_expected(ShopState::read(db))
    {
        QSqlQuery c = db.exec(QStringLiteral("SELECT 編號, 進價 FROM 茶葉資料表"));
        while (c.next())
            m_cost[c.value(0).toString()] = c.value(1).toDouble();
        c.finish();
        QSqlQuery l = db.exec(QStringLiteral("SELECT l.訂單編號, l.茶葉編號, l.數量, t.訂價 FROM 訂單明細表 l "
                                             "JOIN 茶葉資料表 t ON t.編號 = l.茶葉編號"));
        while (l.next())
            m_lines[l.value(0).toLongLong()].append(
                {l.value(1).toString(), l.value(2).toDouble(), l.value(3).toDouble()});
        l.finish();
    }

    const ShopState& expected() const { return m_expected; }
    int applied() const { return m_applied; }
    const QStringList& failures() const { return m_failures; }

    // What a "fail" answer means in a test.
    enum class Failed {
        Fault,     // nothing may fail: it is counted in failures()
        NotStored, // a refused write (a full disk, a cut connection): it must not be stored
    };

    // Applies the moves a terminal reported. Every move names the id it is
    // journaled under: an "ok" move must be in the journal, a failed one must
    // not, and one without an answer (the process was killed) counts as the
    // journal says. Returns what does not add up, or empty.
    QString apply(const QStringList& journals, Database& db, Failed failed = Failed::Fault)
    {
        QStringList wrong;
        for (const QString& journal : journals) {
            QStringList pending;
            auto settle = [&](bool answered, bool stored) {
                if (pending.isEmpty())
                    return;
                const bool inJournal = books::moveStored(db, pending.last());
                if (answered && inJournal != stored)
                    wrong << QStringLiteral("%1 said %2 but the journal %3 it")
                                 .arg(pending.join(QLatin1Char(' ')),
                                      stored ? QStringLiteral("stored") : QStringLiteral("not stored"),
                                      inJournal ? QStringLiteral("holds") : QStringLiteral("does not hold"));
                if (inJournal) {
                    if (!move(m_expected, pending))
                        wrong << QStringLiteral("a settled order settled again: ") + pending.join(QLatin1Char(' '));
                    ++m_applied;
                }
                pending.clear();
            };
            for (const QString& line : journal.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                if (line.startsWith(QLatin1String("try "))) {
                    settle(false, false);
                    pending = line.mid(4).split(QLatin1Char(' '));
                } else if (line == QLatin1String("ok")) {
                    settle(true, true);
                } else if (line == QLatin1String("no")) {
                    settle(true, false);
                } else if (line.startsWith(QLatin1String("fail"))) {
                    if (failed == Failed::Fault)
                        m_failures << line;
                    // "Not known whether stored" is an honest answer too.
                    settle(!line.contains(QStringLiteral("無法確認")), false);
                }
            }
            settle(false, false);
        }
        const ShopState stored = ShopState::read(db);
        if (!(m_expected == stored))
            wrong << m_expected.differenceFrom(stored);
        if (!wrong.isEmpty())
            m_expected = stored; // one fault is reported once
        return wrong.join(QStringLiteral("; "));
    }

private:
    struct Line {
        QString tea;
        double kg;
        double price;
    };

    bool move(ShopState& s, const QStringList& m)
    {
        if (m.value(0) == QLatin1String("C")) {
            const qlonglong order = m.value(1).toLongLong();
            if (s.settled.contains(order))
                return false;
            s.settled.insert(order);
            for (const Line& l : m_lines.value(order)) {
                s.stock[l.tea] -= l.kg;
                s.cash += l.kg * l.price;
            }
        } else if (m.value(0) == QLatin1String("P")) {
            const double kg = m.value(2).toDouble();
            s.stock[m.value(1)] += kg;
            s.cash -= kg * m_cost.value(m.value(1));
        } else if (m.value(0) == QLatin1String("T")) {
            const double toBank = m.value(1).toDouble();
            s.cash -= toBank;
            s.bank += toBank;
        }
        return true;
    }

    ShopState m_expected;
    QMap<QString, double> m_cost;
    QMap<qlonglong, QList<Line>> m_lines;
    int m_applied = 0;
    QStringList m_failures;
};

// Twenty teas with distinct whole costs and prices, plenty of stock, and many
// open orders of one to three lines, so a terminal always finds work.
inline void stockTheShop(TestShop& shop, int orders)
{
    Transaction t(shop.db());
    for (int i = 1; i <= 20; ++i)
        shop.tea(QStringLiteral("L%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("負載茶 %1").arg(i), 100 + 7 * i,
                 150 + 11 * i, 100000);
    for (int o = 0; o < orders; ++o) {
        const qlonglong order = shop.order(QStringLiteral("客戶 %1").arg(o));
        for (int l = 0; l <= o % 3; ++l)
            shop.line(order, QStringLiteral("L%1").arg(1 + (o * 7 + l * 5) % 20, 2, 10, QLatin1Char('0')),
                      1 + (o + l) % 4);
    }
    shop.balances(50000, 50000);
    t.commit();
}

// A shop stocked for load, the ledger of its moves, and the terminals that
// work on it: each a probe making random moves through the screens' own calls.
struct LoadedShop {
    TestShop shop;
    std::unique_ptr<Ledger> ledger;

    explicit LoadedShop(int orders)
    {
        stockTheShop(shop, orders);
        ledger = std::make_unique<Ledger>(shop.db());
    }

    void startTerminal(QProcess& terminal, int moves, int seed)
    {
        terminal.start(qEnvironmentVariable("LUMARO_PROBE"),
                       {QStringLiteral("moves"), shop.path(), QString::number(moves), QString::number(seed)});
    }
};

// Waits until every terminal has ended (or msecs have passed, unless -1) and
// returns what each printed, reading all of them as their output comes. A
// terminal left unread stalls in its next write once its pipe is full, and
// the move it is making looks that much slower.
inline QStringList readTerminals(std::span<QProcess> terminals, int msecs = -1)
{
    QList<QByteArray> out(qsizetype(terminals.size()));
    std::size_t running = terminals.size();
    QEventLoop loop;
    auto ended = [&] {
        if (--running == 0)
            loop.quit();
    };
    for (std::size_t i = 0; i < terminals.size(); ++i) {
        QProcess& p = terminals[i];
        const auto take = [&out, &p, i] { out[qsizetype(i)] += p.readAllStandardOutput(); };
        QObject::connect(&p, &QProcess::readyReadStandardOutput, &loop, take);
        QObject::connect(&p, &QProcess::finished, &loop, [take, ended] {
            take();
            ended();
        });
        QObject::connect(&p, &QProcess::errorOccurred, &loop, [ended](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                ended();
        });
        if (p.state() == QProcess::NotRunning)
            --running;
    }
    if (msecs >= 0)
        QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    if (running > 0)
        loop.exec();
    QStringList journals;
    for (const QByteArray& bytes : out)
        journals << QString::fromUtf8(bytes);
    return journals;
}

} // namespace lumaro::test
