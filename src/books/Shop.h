#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace lumaro {

class Database;

// Opening and creating a shop with its rules: the connection comes from the
// data room; what makes it a shop the program will work on is decided here.

// Opens an existing shop. target is a file path or a postgresql:// URL;
// password is the database server's, only for PostgreSQL. Refuses, before
// anything is written, a shop made by a newer program, one holding code
// Lumaro did not put there, one whose upgrade would stop, and one nobody
// could unlock.
std::unique_ptr<Database> openShop(const QString& target, const QString& password = QString());

// Creates a new shop: the tables, one account row at 0 and 0, the given
// password (kept as a hash) and the opening rows of its books; with sample,
// a small catalogue and three open orders. Refuses a file (or a PostgreSQL
// database) that already holds a shop, and leaves nothing behind when it fails.
std::unique_ptr<Database> createShop(const QString& target, const QString& password, bool sample = false);
// The same, with fill run inside the creating transaction, before the books
// open: the new shop exists with everything fill stored, or not at all.
std::unique_ptr<Database> createShop(const QString& target, const QString& password,
                                     const std::function<void(Database&)>& fill);

} // namespace lumaro
