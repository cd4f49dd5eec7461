#pragma once

#include "data/Statements.h"

#include "base/Money.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class Database;

// Tea given back after a sale, and sales voided the same day. A return is a
// move of its own (退貨, or 作廢 for the whole of a sale of today) whose rows
// name the sale's move (原交易) and, on each line's row, the sale's own row of
// that line (原列). The sale's rows are never changed: what is left to return
// is what was sold less what its returns gave back.
namespace returns {

// One line of a sale as it was charged, with what its returns took back.
struct SoldLine {
    qlonglong row = 0; // the sale's journal row of the line
    QString tea;
    QString name;         // the tea's name at the time
    QString unit;         // the unit of quantity as stored: empty for 公斤
    Money quantity;       // sold
    Money price;          // per unit, as charged
    Money net;            // what the customer paid for it: less its discount and its share of the order's
    Money returned;       // in the unit of quantity
    Money refunded;       // of net
    bool teaGone = false; // deleted from the catalogue since
    Money left() const { return quantity - returned; }
};

struct Sale {
    QString move; // the sale's move id
    qlonglong order = 0;
    QDateTime settled; // local
    QString customer;
    Money total;    // what was paid
    Money refunded; // by its returns so far
    QString method; // how it was paid (the first method of a split)
    QList<SoldLine> lines;
};

// The sale of a settled order. Throws DataError when the order is not
// settled, or was settled before the journal kept its lines.
Sale sale(Database& db, qlonglong order);

// What a return of quantity of the line refunds: its share of the line's net
// (rounded to 1/10000), or, when it takes the last of the line, exactly what
// is left of the net, so all returns of a sale add up to the sale.
Money refundOf(const SoldLine& line, Money quantity);

// Where returned tea goes.
enum class Destination { Stock, WriteOff };

struct Request {
    qlonglong order = 0;
    // Per sale row (SoldLine::row), the quantity given back in the line's unit.
    QList<std::pair<qlonglong, Money>> quantities;
    QString reason;
    Destination destination = Destination::Stock;
    QString writeOffReason; // 原因 of the write-off: 受潮/報廢 when empty
    QString method;         // the refund's payment method: the sale's when empty
    bool isVoid = false;    // every line's whole remainder, of a sale of today
    // The refund the owner was asked about; refused when the books now say
    // another figure (another terminal returned part of the sale meanwhile).
    std::optional<Money> expectedRefund;
};

// What one return gave back, as its slip shows it.
struct Slip {
    QString shopName, shopAddress, shopPhone;
    QString kind; // 退貨 or 作廢
    QString move;
    QDateTime made; // local
    qlonglong order = 0;
    QDateTime settled;
    QString customer;
    struct Line {
        QString tea, name, unit;
        Money quantity; // in unit
        Money refund;
    };
    QList<Line> lines;
    Money refund;
    QString method;
    QString reason;
    bool writtenOff = false;
    qlonglong person = 0; // who made it, by number in 人員表; 0 for nobody
};

// Stores the return as one move and gives its slip. Refused (DataError, with
// nothing stored) when a quantity is more than is left of its line (read
// again inside the move, so two terminals returning the last of a line store
// one return), when a tea since deleted would go back into stock, when its
// unit changed to one the sale's quantity does not convert to exactly, when
// the method is unknown or retired, and for a void, when the sale was not
// made today.
Slip returnSale(Database& db, const Request& request, const QString& moveId = QString());

// The slip of a stored return.
Slip slip(Database& db, const QString& move);

// The returns made between two journal times (UTC, start inclusive), oldest
// first, each as its slip shows it.
QList<Slip> slipsBetween(Database& db, const QString& start, const QString& end);

// A sale's returns, newest last: for the sales history and the receipt.
struct Given {
    QString move;
    QString kind;
    QDateTime made; // local
    Money refund;
    QString method;
    QString reason;
};
QList<Given> returnsOf(Database& db, const QString& saleMove);

// Lines returned beyond what was sold, for the check: the sale's row, the
// quantity sold and returned (in the sale's unit).
struct Overreturn {
    qlonglong row = 0;
    QVariant order, tea;
    Money sold, returned;
};
QList<Overreturn> overreturned(Database& db);

} // namespace returns

} // namespace lumaro

namespace lumaro::returns {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::returns
