#pragma once

#include "data/Statements.h"

#include <QList>
#include <QString>

namespace lumaro {

class Database;

// Something in a shop that Lumaro's own CREATE statements did not make: a
// trigger or a rule that could change what a move writes, a view, a function,
// a table or an index. A shop file is data, never code, so such objects are
// listed by the check and triggers and rules keep the program from opening it.
struct ShopObject {
    enum class Kind { Trigger, Rule, View, Function, Table, Index };
    Kind kind;
    QString name;
    QString table; // the table it belongs to, when it belongs to one

    // Triggers and rules act on every write to their table.
    bool actsOnWrites() const { return kind == Kind::Trigger || kind == Kind::Rule; }
    QString describe() const; // 觸發程序「名稱」（資料表 帳款資料表）
};

// Every object of the shop Lumaro did not make, in a stable order. What Lumaro
// makes is read from the schema's CREATE statements, so a table or an index
// the schema gains is known here without a list of its own.
QList<ShopObject> foreignObjects(Database& db);

// The program's refusal to open a shop whose tables carry triggers or rules
// among objects, naming them; empty when there are none.
QString foreignCodeRefusal(const QList<ShopObject>& objects);

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> shopObjectStatements(Dialect dialect);
} // namespace lumaro
