#pragma once

#include "data/Statements.h"

#include "base/Money.h"
#include "books/Payments.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class Database;

// What the order screen reads and writes beyond its data controls: the
// order's lines priced from the catalogue, and checkout. Tea and order numbers
// are always bound values, so any text is a valid tea number.
namespace OrderStore {

// One line of an order with its tea's catalogue row. A line whose tea has
// left the catalogue has teaFound false and null name and price.
struct PricedLine {
    QVariant tea;      // the line's tea number
    QVariant quantity; // kg
    QVariant name;
    QVariant price; // the sale price 訂價: what the customer is charged
    QVariant stock; // the tea's 庫存, which a sale lowers
    bool teaFound = false;
    QVariant id;      // the line's own number
    QString discount; // the discount typed on the line ("50", "10%"), or empty
};

// The lines of one order joined to the catalogue, in the order they were
// added. One query, however many lines.
QList<PricedLine> pricedLines(Database& db, qlonglong order);

// "找不到茶葉：" and the number, for a line whose tea is gone.
QString missingTeaText(const QVariant& tea);
// Fails with missingTeaText for the first line whose tea is gone.
void requireTeas(const QList<PricedLine>& lines);

// Fails with a text naming the tea when a line cannot be sold: its tea has no
// price (it would go for nothing), or its price, quantity or stock, or the
// order's total, is not a number that can be worked out: infinity or NaN
// written into the file by another tool, or a figure past the shop's range.
void requireChargeable(const QList<PricedLine>& lines);
// Whether the lines' total can be worked out, for the total label: a line
// without a price adds nothing there, and only checkout refuses it.
bool isChargeable(const QList<PricedLine>& lines);

// quantity x price, exact to 1/10000; an empty quantity or price makes no
// amount.
std::optional<Money> subtotal(const PricedLine& line);

// The amount checkout charges (orderTotal of Money.h): the total label, the
// summary and the settle show and charge this one figure.
Money checkoutTotal(const QList<PricedLine>& lines);

// What checkout charges for an order: the lines' amounts, what is taken off
// each line and off the whole order, and what is left to pay.
struct Bill {
    Money gross;                // the lines' amounts, as the total label shows
    QList<Money> lineDiscounts; // one per line, in the lines' order
    Money linesDiscount;        // their sum
    Money orderDiscount;        // off what the lines come to after theirs
    Money discount() const { return linesDiscount + orderDiscount; }
    Money net() const { return gross - discount(); }
};
// Fails (DataError) with the reason when a discount cannot be taken: not a
// number, negative, over the cap (percent) or more than what it is taken off.
Bill bill(const QList<PricedLine>& lines, const QString& orderDiscount, Money capPercent);
// The order's bill as it stands in the file: its lines, its discounts, the cap.
Bill bill(Database& db, qlonglong order, const QList<PricedLine>& lines);

// How the customer pays: the first method takes whatever the second leaves.
struct Payment {
    QString method = QStringLiteral("現金");
    QString second;                // a second method, or empty for none
    Money secondAmount;            // paid by the second method
    std::optional<Money> tendered; // the cash handed over, when typed
};
// One money row of a sale.
struct Charge {
    QString method;
    bool bank = false; // booked to the bank, else to the drawer
    Money amount;
    std::optional<Money> tendered; // on the row of the drawer's part
};
// The money rows of a sale of net paid as payment says, against the shop's
// methods (retired ones refused). Fails (DataError) with a text for the user:
// an unknown or retired method, the same method twice, a second amount that
// is not more than 0 and less than net, cash typed without a cash part, or
// less cash than the cash part.
QList<Charge> charges(const QList<payments::Method>& methods, Money net, const Payment& payment);
// The change to give: the cash handed over less the drawer's part.
Money change(const QList<Charge>& charges);

// Settles an open order as one transaction: the order marked settled (only if
// it is still open), every line's quantity taken out of its tea's stock, and
// the total added to the shop's cash, all by relative updates so another
// terminal's moves are kept. All or nothing: any failure stores nothing and
// throws DataError with a text for the user. With expectedTotal, the order is
// refused when its lines no longer add up to the figure the user confirmed.
// Journaled as one move (one row per line with the price charged, one for
// the cash) and stored exactly once; a retry with the same moveId finds it
// stored and changes nothing. Returns the amount added to the cash.
Money settleOrder(Database& db, qlonglong order, std::optional<Money> expectedTotal = std::nullopt,
                  const QString& moveId = QString());

// The same, paid as payment says, each method's amount added to its balance
// and journaled on a money row of its own (method, the order's discount on
// the first, the cash handed over on the drawer's). expectedTotal is the net
// the customer was shown and expectedDiscount what was taken off: a change to
// either (a line, a price or a discount changed on another terminal) refuses.
// Returns the amount settled: the money rows' sum.
struct Settle {
    std::optional<Money> expectedTotal;
    std::optional<Money> expectedDiscount;
    Payment payment;
};
Money settleOrder(Database& db, qlonglong order, const Settle& settle, const QString& moveId = QString());

// The refusal texts, for screens that check before they ask.
QString noLinesText(); // 此訂單沒有明細
QString alreadySettledText();
QString orderGoneText();
QString chooseOrderFirstText(); // 請先選擇訂單

} // namespace OrderStore

} // namespace lumaro

namespace lumaro::OrderStore {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::OrderStore
