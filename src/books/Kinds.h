#pragma once

#include "data/Schema.h"

#include <QList>
#include <QString>

// The kinds of move the program knows, in one place: the name a kind's
// journal rows carry in 種類, and what the reports need of it. The journal
// stores any name, so a new kind is a constant here and its line in kinds(),
// and no table changes with it.
namespace lumaro::moves {

// Where the day's report counts a kind's rows.
enum class DayLine {
    Opening,     // the balances a day starts from, never a move of the day
    Takings,     // sold: the takings and the kilograms sold per tea
    Purchases,   // bought into stock: the kilograms and their cost
    Transfers,   // between cash and bank, the direction in the sign
    Adjustments, // the cash a count found more or less, and any kind not known
};

struct Kind {
    QString name;
    DayLine day;
};

namespace kind {
// The catalogue's triggers and the index of the sales name these three in
// the file's own statements, so their names come from the schema.
inline const Kind Opening{schema::journalKind::Opening, DayLine::Opening};
inline const Kind Checkout{schema::journalKind::Checkout, DayLine::Takings};
inline const Kind Adjustment{schema::journalKind::Adjustment, DayLine::Adjustments};
inline const Kind Purchase{QStringLiteral("進貨"), DayLine::Purchases};
inline const Kind Deposit{QStringLiteral("存款"), DayLine::Transfers};
inline const Kind Withdrawal{QStringLiteral("提款"), DayLine::Transfers};
// A tea's stock taken out in its old unit and put back in its new one: no
// money moves and nothing is sold or bought.
inline const Kind ChangeUnit{QStringLiteral("換算單位"), DayLine::Adjustments};
} // namespace kind

// Every kind above: what the check accepts in the journal.
inline const QList<const Kind*>& kinds()
{
    static const QList<const Kind*> all = {&kind::Opening, &kind::Checkout,   &kind::Adjustment, &kind::Purchase,
                                           &kind::Deposit, &kind::Withdrawal, &kind::ChangeUnit};
    return all;
}

// The kind of that name, or null when the program does not know it.
inline const Kind* findKind(const QString& name)
{
    for (const Kind* k : kinds())
        if (k->name == name)
            return k;
    return nullptr;
}

// Where the day's report counts rows of that name: a kind the program does
// not know counts with the adjustments, so the day still adds up.
inline DayLine dayLineOf(const QString& name)
{
    const Kind* k = findKind(name);
    return k ? k->day : DayLine::Adjustments;
}

} // namespace lumaro::moves
