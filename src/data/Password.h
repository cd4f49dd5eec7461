#pragma once

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

// Replaces the shop's password with a hash of the new one, in one
// transaction; a shop without a password row gets one.
void storePassword(Database& db, const QString& password);

} // namespace lumaro
