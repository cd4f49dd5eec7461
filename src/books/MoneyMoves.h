#pragma once

#include "data/Statements.h"

#include "base/Money.h"
#include "books/Moves.h"
#include "platform/Failure.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class Database;

// A move the shop's rules refuse (not enough money, a negative amount, a tea
// that cannot be bought). Nothing was changed. It carries the title of the
// message box it is shown in; an empty title shows the program's title.
class MoveRefused : public Failure {
public:
    MoveRefused(const QString& description, const QString& title = QString()) : Failure(description), m_title(title) {}
    const QString& title() const noexcept { return m_title; }

private:
    QString m_title;
};

// The money moves of the shop. Each is one transaction of relative updates
// (現金 = 現金 - ?, 銀行 = 銀行 + ?, 庫存 = 庫存 + ?): both of its changes are
// stored, or neither is. An empty balance or stock counts as 0.
//
// Refusals throw MoveRefused; database failures throw DataError; a result too
// large for a number throws NumberError. In every case nothing is stored.
namespace money {

// A cash count refused because the book cash is no longer the figure the
// count was compared with: another terminal (or screen) stored a move since.
// now() is the book cash as it is.
class CashChanged : public MoveRefused {
public:
    CashChanged(Money seen, Money now);
    Money now() const noexcept { return m_now; }

private:
    Money m_now;
};

// The account row every move works on, for the screens that show the
// balances beside a move: its record source and its balances.
using moves::AccountRow;
using moves::accountRow;
using moves::accountRowSource;

// Each runs through the engine of moves (Moves.h), so it is stored exactly
// once: a caller that retries a move passes the same moveId again, and a move
// already in the journal is not made a second time. Without one, each call is
// a new move.

// A typed figure as the moves take it: refused (NumberError with
// shopNumberRefusal, naming what) when it is no number the shop can hold,
// such as infinity, NaN or more than a trillion, and otherwise rounded to
// 1/10000 as the screens show it.
Money typedAmount(double typed, const QString& what);

// Cash into the bank. Refused with "店內沒那麼多現金啦" / "現金不足" when the
// stored cash, as the screen would show it, is less than the amount; a cash
// balance equal to the amount passes.
void deposit(Database& db, Money amount, const QString& moveId = QString());

// Bank into the cash. Refused with "銀行沒那麼多錢啦" / "存款不足" when the
// stored bank balance is less than the amount.
void withdraw(Database& db, Money amount, const QString& moveId = QString());

// One call for both directions: a positive amount is a deposit into the bank,
// a negative one a withdrawal of its size, zero a deposit of nothing.
void transfer(Database& db, Money amountToBank, const QString& moveId = QString());

// Buys kg of a tea in its unit (kilograms for a tea in 公斤): its stock rises by kg and the cash falls by
// kg x its purchase price. A negative kg is a return to the supplier; the cash
// may go below zero. Refused when the tea is unknown or has no purchase price.
void purchase(Database& db, const QString& tea, Money kg, const QString& moveId = QString());

// A purchase as it was paid: the amount, when it was not quantity x 進價 (a
// delivery at this week's price), from the bank rather than the cash, and a
// note for the supplier. The defaults are the purchase above.
struct Paid {
    std::optional<Money> amount; // for the whole quantity, never below 0
    bool fromBank = false;
    QString note;
};
void purchase(Database& db, const QString& tea, Money kg, const Paid& paid, const QString& moveId = QString());

// What a purchase of kg of the tea costs by its 進價, or nothing when the tea
// is unknown or its price cannot be worked with: what the screen offers as
// the amount to pay.
std::optional<Money> purchaseCost(Database& db, const QString& tea, Money kg);

// Adds cashDelta (either sign) to the cash as an adjustment (調整) with its
// reason, journaled: a cash count that found more or less than the books.
void adjust(Database& db, Money cashDelta, const QString& reason, const QString& moveId = QString());

// A cash count: counted is the cash in the drawer, bookCash the book cash the
// user was shown beside it. Stores counted - bookCash as an adjustment (調整)
// with its reason and returns it; nothing when they agree. The book cash is
// read again inside the move's transaction, under its lock: when it is no
// longer bookCash, nothing is stored and CashChanged tells the cash as it is
// now, so two terminals storing the same count store it once.
Money countCash(Database& db, Money counted, Money bookCash, const QString& reason, const QString& moveId = QString());

// The refusal texts, for screens that test the same rules on what they show.
QString cashShortText();
QString cashShortTitle();
QString bankShortText();
QString bankShortTitle();
QString negativeAmountText();
QString negativeAmountTitle();
QString chooseTeaFirstText(); // 請先選擇茶葉

} // namespace money

} // namespace lumaro

namespace lumaro::money {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::money
