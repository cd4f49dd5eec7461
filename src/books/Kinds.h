#pragma once

#include "data/Schema.h"

#include <QList>
#include <QString>
#include <QStringList>

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
    Returns,     // given back: the refunds and the stock that came back
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
// Part or all of a sale given back, its rows naming the sale (原交易, 原列);
// a void is the whole of a sale of the same day. The sale's rows stay as they
// were.
inline const Kind Return{QStringLiteral("退貨"), DayLine::Returns};
inline const Kind Void{QStringLiteral("作廢"), DayLine::Returns};
} // namespace kind

// Why stock was changed by hand, in 原因: a stock count's differences, a
// write-off and tea that came back unfit to sell are 調整 rows with one of these.
namespace reason {
inline const QString Tasting = QStringLiteral("試喝/樣品");
inline const QString Damaged = QStringLiteral("受潮/報廢");
inline const QString Repacking = QStringLiteral("分裝損耗");
inline const QString Counted = QStringLiteral("盤盈/盤虧");
inline const QStringList& all()
{
    static const QStringList list = {Tasting, Damaged, Repacking, Counted};
    return list;
}
} // namespace reason

// Every kind above: what the check accepts in the journal.
inline const QList<const Kind*>& kinds()
{
    static const QList<const Kind*> all = {&kind::Opening,    &kind::Checkout, &kind::Adjustment,
                                           &kind::Purchase,   &kind::Deposit,  &kind::Withdrawal,
                                           &kind::ChangeUnit, &kind::Return,   &kind::Void};
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
