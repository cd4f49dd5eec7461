#pragma once

#include "MdbStream.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace lumaro {

class Database;

// Moving a shop in from the old program's Jet file (teadata.mdb). The five tables
// have the same names there; their columns are taken by position, as the old program
// read them, since their names and types vary between copies of that file.

// The shop's rows as they will be stored, converted and checked.
struct LegacyShop {
    struct Tea {
        QString number;
        QVariant name, cost, price, stock;
    };
    struct Order {
        qlonglong number = 0;
        QVariant customer, date, contact;
        qlonglong status = 0;
    };
    struct Line {
        QVariant order, tea, quantity;
        qlonglong id = 0; // the file's own 明細編號, or the next one after the highest
    };
    QList<Tea> teas;
    QList<Order> orders;
    QList<Line> lines;
    double cash = 0;
    double bank = 0;
    QString password;
    bool hasAccount = false, hasPassword = false; // found in the legacy file
    QStringList warnings;                         // what was imported differently from how it stood
};

// The tables an import reads, in the order it reads them.
QStringList legacyTableNames();

// Converts the legacy tables. A missing table, or a value that does not fit its
// column, throws DataError naming the table, the row (counted from 1) and the column.
LegacyShop convertLegacyTables(const legacy::JetContents& contents);

struct LegacyImportSummary {
    qlonglong teas = 0, orders = 0, lines = 0, accounts = 0, passwords = 0;
    QString password; // the shop's password from now on
    QStringList warnings;
};

// percent 0..100 and what is being done, for a progress bar.
using ImportProgress = std::function<void(int percent, const QString& stage)>;

// Creates target as a new SQLite shop file holding the legacy shop, in one
// transaction; fill, when given, stores more in that same transaction (what the
// owner typed beside the import). Refuses an existing target; on any failure
// nothing is left at target.
LegacyImportSummary importLegacyShop(const legacy::JetContents& contents, const QString& target,
                                     const ImportProgress& progress = {},
                                     const std::function<void(Database&)>& fill = {});

struct LegacyImportOptions {
    QString charset;    // Jet 3 text encoding (an iconv name such as BIG5); empty: the file's own
    QString readerPath; // empty: the lumaro-mdbreader installed with the program
    ImportProgress progress;
    std::function<void(Database&)> fill; // see importLegacyShop
};

// Reads mdbPath (never changing it) in the reader process, then imports it as above.
LegacyImportSummary importLegacyFile(const QString& mdbPath, const QString& target,
                                     const LegacyImportOptions& options = {});

} // namespace lumaro
