#pragma once

#include "data/Statements.h"

#include "books/ShopRefusals.h"
#include "data/ShopObjects.h"
#include "data/Snapshot.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace lumaro {

class Database;

struct ShopCheck {
    int version = 0;
    QStringList integrity; // SQLite's own findings; {"ok"} when the file is sound
    struct OrphanLine {
        qlonglong line = 0;
        QVariant order, tea;
        bool orderGone = false, teaGone = false;
    };
    QList<OrphanLine> orphanLines;
    struct Stock {
        QString tea;
        QVariant name;
        double stock = 0;
    };
    QList<Stock> negativeStock;
    struct Status {
        qlonglong order = 0;
        qlonglong status = 0;
    };
    QList<Status> badStatus;
    // Numbers no move can be worked out on: infinity, NaN, text, or past the
    // shop's range. key is the row's key (tea number, line number, account).
    struct BadNumber {
        QString table, keyColumn, key, column;
        QVariant value;
    };
    QList<BadNumber> badNumbers;
    int accountRows = 0;
    QVariant cash, bank;
    QList<ShopObject> foreign; // triggers, views and other objects Lumaro did not make
    // Balances and stocks that differ from the opening rows plus the journal
    // (version 2 on).
    struct Mismatch {
        QString table, row, column;
        QString stored, expected;
    };
    QList<Mismatch> books;
    // Checkout rows of the journal without the price charged: a tea sold for
    // nothing because it had no 訂價 (version 2 on).
    struct UnpricedSale {
        qlonglong row = 0;
        QVariant order, tea, name;
    };
    QList<UnpricedSale> unpricedSales;
    // Journal rows of a kind the program does not know (version 2 on): the
    // file takes any kind, so rows written by another tool or a newer program
    // show here, each kind with how many rows carry it and the first of them.
    struct UnknownKind {
        QString kind;
        qlonglong rows = 0;
        qlonglong first = 0;
    };
    QList<UnknownKind> unknownKinds;
    // Lines of a sale that its returns gave back more of than was sold, in
    // the sale's unit (version 7 on).
    struct Overreturn {
        qlonglong row = 0; // the sale's journal row of the line
        QVariant order, tea;
        QString sold, returned;
    };
    QList<Overreturn> overreturned;

    // Every reason the program would not open the shop or let anyone past
    // its lock. A shop newer than the program is checked no further.
    QList<Refusal> refusals;
    bool newer() const { return !refusals.isEmpty() && refusals[0].kind == Refusal::Kind::Newer; }

    bool damaged() const { return integrity != QStringList{QStringLiteral("ok")}; }
    bool clean() const
    {
        return !damaged() && orphanLines.isEmpty() && negativeStock.isEmpty() && badStatus.isEmpty() &&
               accountRows == 1 && badNumbers.isEmpty() && foreign.isEmpty() && books.isEmpty() &&
               unpricedSales.isEmpty() && unknownKinds.isEmpty() && overreturned.isEmpty();
    }
};

// What a check is doing: told the name of each step as it starts, and whether
// that step reads the whole file (SQLite's integrity check, nearly all of the
// time a check takes: it reads alongside the other steps and is told last,
// when the check waits for it); told an empty name when the check is over.
using CheckProgress = std::function<void(const QString& step, bool wholeFile)>;

// Reads the shop and reports what is wrong with it; changes nothing. progress,
// when given, is told what the check is doing.
ShopCheck checkShop(Database& db, const CheckProgress& progress = {});

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> auditStatements(Dialect dialect);
} // namespace lumaro
