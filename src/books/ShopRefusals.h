#pragma once

#include <QList>
#include <QString>

namespace lumaro {

class Database;

// A reason the program would not open a shop, or would let nobody past its
// lock screen, in the words the program itself uses.
struct Refusal {
    enum class Kind {
        Newer,       // made by a newer program
        ForeignCode, // triggers or rules Lumaro did not make
        Upgrade,     // an older shop whose upgrade would stop on a value
        Unlock,      // no password, or one no entry can match or the lock will not check
    };
    Kind kind;
    QString text;
};

// Up to which step of starting the program the shop is judged: opening it
// (what Database::open refuses), or on to its upgrade and its lock screen.
enum class RefusalStage { Open, Unlock };

// Every reason the program would refuse the open shop up to stage; empty when
// it would open (and unlock). The one place these rules are gathered: opening
// a shop, restoring a backup and checking a file all ask here. A shop newer
// than the program gives that reason alone, as the rest of it is not read.
QList<Refusal> shopRefusals(Database& db, RefusalStage upTo = RefusalStage::Unlock);

// Throws the first reason the program would not open the shop: NewerShopError
// for a newer one, DataError otherwise.
void refuseToOpen(Database& db);

} // namespace lumaro
