#pragma once

#include "data/Statements.h"

#include "base/Money.h"
#include "base/Units.h"
#include "books/Books.h"
#include "books/MoneyMoves.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class CsvFile;
class Database;

// Stock changed by hand: a count of what is on the shelves, a write-off of
// tea poured for tasting, gone damp or lost in repacking, and the monthly
// report of those losses. Each change is a 調整 row of the journal with the
// tea, its stock change in the tea's unit, the tea's 進價 of the time as its
// unit price (so the loss is valued at cost) and a reason (moves::reason).
namespace stock {

// A tea as a count shows it.
struct BookStock {
    QString tea;
    QString name;
    std::optional<Money> stock; // in its unit, empty as 0; nothing when no usable number
    QVariant cost;              // 進價 as stored
    QString unit;               // as stored: empty for 公斤
};

// Every tea with its book stock, by number.
QList<BookStock> bookStock(Database& db);

// The 調整 row that changes a tea's stock by change: at its cost (NULL when
// it has none), in its unit, with the reason and an optional note. Refused
// (MoveRefused) when the cost is no number the books can hold.
books::Entry stockAdjustment(const BookStock& tea, Money change, const QString& reason, const QString& note);

// A figure typed as counted for a tea in unit: the exact reading of
// units::readExact, never below zero, and a whole number for a count unit
// (盒, 罐...).
units::Reading readCounted(const QString& text, const units::Unit& unit);

// One tea of a count: the book stock the owner was shown beside it, what was
// counted (in its unit) and why they differ (moves::reason; empty: 盤盈/盤虧).
struct Count {
    QString tea;
    QString name; // as shown, for the refusal of a tea deleted meanwhile
    Money seen;
    Money counted;
    QString reason;
};

// A count refused because a tea's book stock is no longer what was shown
// beside it (another terminal sold or bought it, or deleted the tea): nothing
// of the count was stored. moved() tells each such tea and its stock now.
class StockMoved : public MoveRefused {
public:
    struct Moved {
        QString tea;
        QString name;
        Money seen;
        std::optional<Money> now; // nothing: the tea was deleted
    };
    explicit StockMoved(QList<Moved> teas);
    const QList<Moved>& moved() const noexcept { return m_moved; }

private:
    QList<Moved> m_moved;
};

struct Posted {
    QString tea;
    Money change;
};

// Posts a count as one move: one 調整 row per tea whose count differs from
// its book stock, with its reason and the note. The book stock of every tea
// is read again inside the move: when one is no longer the figure shown, the
// whole count is refused (StockMoved) and nothing is stored, so a count is
// never half posted. Returns the changes stored; none when all agree.
QList<Posted> postCount(Database& db, const QList<Count>& counts, const QString& note,
                        const QString& moveId = QString());

// Writes off quantity (in the tea's unit, more than 0) of one tea with a
// reason and an optional note: the same 調整 row, without a count. Refused
// (MoveRefused) when the tea is gone or holds less than quantity: the stock
// never goes below zero by a write-off.
void writeOff(Database& db, const QString& tea, Money quantity, const QString& reason, const QString& note,
              const QString& moveId = QString());

// What the stock changes by hand took out, per month, tea and reason.
struct Loss {
    QDate month; // its first day, local
    QString tea;
    QString name; // as the journal last named it
    QString reason;
    double quantity = 0; // taken out (a count that found more: below 0), in kilograms for a tea by weight
    QString unit;        // 公斤, or the count unit (盒...) of the tea
    Money cost;          // the quantity at 進價
};

// The months from the month of from to that of to, inclusive, oldest first;
// within a month by tea and then reason.
QList<Loss> losses(Database& db, const QDate& from, const QDate& to);
// The same as a CSV file; returns the number of data rows.
qint64 exportLosses(Database& db, CsvFile& out, const QDate& from, const QDate& to);

} // namespace stock

} // namespace lumaro

// A count reads every tea into one list: moved as bytes when the list grows,
// not one tea at a time.
Q_DECLARE_TYPEINFO(lumaro::stock::BookStock, Q_RELOCATABLE_TYPE);

namespace lumaro::stock {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::stock
