#pragma once

#include "data/Statements.h"

#include <QString>
#include <QVariant>

namespace lumaro {

class Database;

// Whether the entered text opens the shop, given the value stored in the
// password table. A stored Argon2id hash is verified against the entry; any
// other stored text is a password kept as it was typed (shops brought over
// from the old file format) and is compared exactly and case-sensitively. An
// empty stored password is matched by an empty entry, and a missing (null)
// one by nothing. Throws DataError for a hash that asks for more memory or
// passes than a lock screen may spend.
bool passwordMatches(const QVariant& stored, const QString& entered);

// An Argon2id hash of the password in the self-describing form that
// passwordMatches() verifies. Throws Failure when the machine lacks the memory.
QString hashPassword(const QString& password);
bool isPasswordHash(const QString& stored);

// A new or changed password may not be empty: with an empty one the lock
// would never ask. (A shop that already holds one keeps opening as before.)
QString emptyPasswordText(); // 密碼不可空白
bool isAcceptableNewPassword(const QString& password);

// The lock screen's refusal of a shop without a password row.
QString noPasswordText(); // 資料檔中沒有設定系統密碼。
// Why nobody could get past the lock screen of this shop, or empty when the
// right entry would: no password row, a missing (null) password, a hash that
// cannot be read, or one that asks more than the lock screen may spend.
QString unlockRefusal(Database& db);

// Notes in the shop's settings whether its password is empty, so the lock
// screen need not run a hash check to find out. Joins the transaction under way.
void notePasswordEmpty(Database& db, bool empty);
// Whether an empty entry could open the shop, given the stored value: false
// only when the stored hash is noted as that of a non-empty password. Where the
// note is missing (files made before it), the hash must be checked as usual.
bool emptyEntryMayOpen(Database& db, const QVariant& stored);

// Replaces the shop's password with a hash of the new one, and notes whether it
// is empty, in one transaction; a shop without a password row gets one.
// Refuses an empty password with emptyPasswordText().
void storePassword(Database& db, const QString& password);

// A new shop's password, kept only as a hash; returns the hash. Joins the
// creating transaction.
QString storeFirstPassword(Database& db, const QString& password);
// Notes whether a new shop's password is empty, as the lock screen will want
// to know first: the one given, unless the shop's fill brought its own (an
// imported shop's password, kept as it was typed).
void noteNewShopPassword(Database& db, const QString& password, const QString& hash);

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> passwordStatements(Dialect dialect);
} // namespace lumaro
