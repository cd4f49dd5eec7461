#pragma once

#include "data/Sql.h"
#include "data/Statements.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The shop's tables, their columns in their binding order, and the record
// sources the screens open. Screens read "select *" rows by column position, so
// the order here is part of the file format, not only of the queries.
namespace lumaro::schema {

// Table names.
inline const QString TeaTable = QStringLiteral("茶葉資料表");
inline const QString OrderTable = QStringLiteral("訂單資料表");
inline const QString LineTable = QStringLiteral("訂單明細表");
inline const QString AccountTable = QStringLiteral("帳款資料表");
inline const QString PasswordTable = QStringLiteral("密碼表");
inline const QString JournalTable = QStringLiteral("帳務日誌表");
inline const QString SettingsTable = QStringLiteral("設定表");
inline const QString VersionTable = QStringLiteral("資料版本表");       // PostgreSQL only
inline const QString UnitTable = QStringLiteral("茶葉單位表");          // a tea's unit when not 公斤
inline const QString OrderDiscountTable = QStringLiteral("訂單折扣表"); // typed before checkout
inline const QString LineDiscountTable = QStringLiteral("明細折扣表");
inline const QString PeopleTable = QStringLiteral("人員表"); // who works the counter, and in what role
// Since version 9, on SQLite: the trigram index of the orders' customer names,
// {N} in statements. PostgreSQL keeps it as an index of the orders table.
inline const QString CustomerIndex = QStringLiteral("客戶名稱索引");
namespace customerIndex {
inline const QString Trigram = QStringLiteral("三字"); // three characters of a name, ASCII letters in lower case
inline const QString Order = QStringLiteral("訂單編號");
} // namespace customerIndex
// Since version 10, on SQLite: the trigram index of the teas' names, {F} in
// statements, its trigrams {n.trigram} as in the customers'. PostgreSQL keeps
// it as an index of the teas table.
inline const QString TeaIndex = QStringLiteral("茶葉名稱索引");
namespace teaIndex {
inline const QString Tea = QStringLiteral("編號");
} // namespace teaIndex

// The version of the tables this program writes. A file carries its own
// (PRAGMA user_version on SQLite, 資料版本表 on PostgreSQL); older files are
// upgraded when opened, newer ones refused.
constexpr int CurrentVersion = 11;

// Column names.
namespace tea {
inline const QString Number = QStringLiteral("編號");
inline const QString Name = QStringLiteral("名稱");
inline const QString Cost = QStringLiteral("進價");  // purchase price per kg
inline const QString Price = QStringLiteral("訂價"); // sale price per kg
inline const QString Stock = QStringLiteral("庫存"); // kg
} // namespace tea
namespace order {
inline const QString Number = QStringLiteral("訂單編號");
inline const QString Customer = QStringLiteral("客戶名稱");
inline const QString Date = QStringLiteral("訂購日期");
inline const QString Contact = QStringLiteral("連絡方式");
inline const QString Status = QStringLiteral("訂單狀態"); // 0 open, 1 settled
} // namespace order
namespace line {
inline const QString Order = QStringLiteral("訂單編號");
inline const QString Tea = QStringLiteral("茶葉編號");
inline const QString Quantity = QStringLiteral("數量");
inline const QString Id = QStringLiteral("明細編號");
} // namespace line
namespace account {
inline const QString Id = QStringLiteral("帳號");
inline const QString Cash = QStringLiteral("現金");
inline const QString Bank = QStringLiteral("銀行");
} // namespace account
namespace password {
inline const QString Value = QStringLiteral("密碼");
} // namespace password
namespace journal {
inline const QString Id = QStringLiteral("日誌編號");
inline const QString Move = QStringLiteral("異動編號"); // made by the terminal before the transaction
inline const QString Kind = QStringLiteral("種類");     // the kind of move; the kinds are declared in books
inline const QString Time = QStringLiteral("時間");     // UTC, YYYY-MM-DD HH:MM:SS
inline const QString Terminal = QStringLiteral("終端");
inline const QString Order = QStringLiteral("訂單編號");
inline const QString Tea = QStringLiteral("茶葉編號");
inline const QString TeaName = QStringLiteral("茶葉名稱"); // the name at the time
inline const QString StockChange = QStringLiteral("庫存變動");
inline const QString UnitPrice = QStringLiteral("單價"); // price charged, or cost per kg bought
inline const QString CashChange = QStringLiteral("現金變動");
inline const QString BankChange = QStringLiteral("銀行變動");
inline const QString Note = QStringLiteral("說明");
// Since version 6. Empty in older rows, which read as 公斤, 現金 and no discount.
inline const QString Unit = QStringLiteral("單位");       // the unit of 庫存變動 and 單價
inline const QString Method = QStringLiteral("付款方式"); // on a sale's money rows
inline const QString Discount = QStringLiteral("折扣");   // taken off a line, or off the order on a money row
inline const QString Tendered = QStringLiteral("實收");   // the cash the customer handed over
// Since version 7. A return's rows name the sale they mend: its move, and on a
// line row the sale's own row of that line. 原因 is why stock was counted,
// written off or returned.
inline const QString Source = QStringLiteral("原交易");
inline const QString SourceRow = QStringLiteral("原列");
inline const QString Reason = QStringLiteral("原因");
// Since version 8: who was signed in at the terminal that wrote the row, and
// the owner who allowed it for them, each by their number in 人員表. Empty on
// older rows and on rows written with nobody signed in (lumaro-admin).
inline const QString Person = QStringLiteral("人員");
inline const QString Approver = QStringLiteral("核准");
} // namespace journal
namespace person {
inline const QString Id = QStringLiteral("編號");
inline const QString Name = QStringLiteral("姓名");
inline const QString Role = QStringLiteral("角色"); // 老闆 or 店員
// An Argon2id hash of the person's own password. Empty for the one person whose
// password is the shop's own, kept in 密碼表 where the lock screen always read it.
inline const QString Password = QStringLiteral("密碼");
inline const QString Retired = QStringLiteral("停用"); // 1: can no longer sign in, still named in the history
} // namespace person
namespace unit {
inline const QString Tea = QStringLiteral("編號");
inline const QString Name = QStringLiteral("單位");
} // namespace unit
namespace discount {
inline const QString Order = QStringLiteral("訂單編號");
inline const QString Line = QStringLiteral("明細編號");
inline const QString Value = QStringLiteral("折扣"); // "50" takes 50 off, "10%" a tenth
} // namespace discount
// The kinds of move the file's own statements name: the catalogue's triggers
// and the index of the sales. Every kind the program knows is declared in
// books (Kinds.h); the journal stores any.
namespace journalKind {
inline const QString Opening = QStringLiteral("期初");
inline const QString Checkout = QStringLiteral("結帳");
inline const QString Adjustment = QStringLiteral("調整");
} // namespace journalKind
namespace setting {
inline const QString Key = QStringLiteral("項目");
inline const QString Value = QStringLiteral("內容");
} // namespace setting
namespace version {
inline const QString Value = QStringLiteral("版本");
} // namespace version

enum class ColumnType { Text, Real, Integer, Date };

// What a column holds besides its type; combined with |.
enum ColumnTrait : unsigned {
    Plain = 0,
    NotNull = 1,
    Ranged = 2,       // a number within ±MaxShopNumber, so never NaN or infinite
    ZeroDefault = 4,  // 0 when a new row leaves it out
    TodayDefault = 8, // the local date of the day the row is added
    Wide = 16,        // an integer that holds a journal row's number: 64 bits on PostgreSQL
};

struct ColumnDef {
    QString name;
    ColumnType type;
    QString word; // how statements name it: {t.stock}
    unsigned traits = Plain;
    int sinceVersion = 1; // a later version adds it to a table that had none

    bool has(ColumnTrait trait) const { return (traits & trait) != 0; }
};

// How a table numbers a row added without its key.
enum class Numbering {
    None,      // the key is given, or the table has none
    Counter,   // counts on and never gives a number again, not even the last one deleted
    RowNumber, // rows are never deleted, so the plain row number counts on (64 bits)
};

struct IndexDef {
    QStringList columns;
    QString label{};     // between the table and the first column in its name: 帳務日誌表_結帳_時間
    const char* where{}; // a partial index's condition, in the schema's words
    int sinceVersion = 1;
    bool unique = false;
};

struct TableDef {
    QString name;
    QList<ColumnDef> columns; // in their binding order
    QString key{};            // empty: the table cannot be written through a data control
    Numbering numbering = Numbering::None;
    int sinceVersion = 1; // the schema version that brought the table
    QString word;         // how statements name it: {T}; its columns are {t.*}
    QList<IndexDef> indexes{};

    int indexOf(const QString& column) const;
    const ColumnDef* column(const QString& name) const;
};

const QList<TableDef>& tables();
const TableDef* findTable(const QString& name);

// A statement in the schema's words (see data/Sql.h): {T} 茶葉資料表, {O}
// 訂單資料表, {L} 訂單明細表, {A} 帳款資料表, {P} 密碼表, {J} 帳務日誌表, {S}
// 設定表, {V} 資料版本表, {U} 茶葉單位表, {D} 訂單折扣表, {E} 明細折扣表 and {W} 人員表; {t.price}, {j.time} ... their
// columns as tables() names them; {k.checkout} ... a journal kind as a literal.
QString statement(const char* text, const QStringList& pieces = {});
// The same, or nothing when the condition is false: an optional clause.
QString part(bool when, const char* text, const QStringList& pieces = {});
// The dictionary of statement().
const sql::Words& words();

// CREATE statements for a new shop at CurrentVersion, one statement per
// entry, in an order that runs.
QStringList sqliteDdl();
QStringList postgresDdl();

// The CREATE TABLE statement of one table on SQLite as a new shop has it,
// under another name when as is given (an upgrade rebuilds tables that way),
// and the CREATE INDEX statements that belong to it.
QString sqliteCreateTable(const QString& table, const QString& as = QString(), int version = CurrentVersion);
// The ADD COLUMN statements of the columns a version added to tables an
// earlier version brought, and the CREATE statements of the tables it
// brought with their indexes, in an order that runs.
QStringList addedInVersion(int version, Dialect d);
// The indexes of a table as a version had them.
QStringList sqliteIndexes(const QString& table, int version = CurrentVersion);

// The number columns of a table: the ones that refuse non-finite values and
// values beyond MaxShopNumber.
QStringList numberColumns(const QString& table);
// A whole row of a table in its column order, numbers and all, every value
// bound: how rows brought over from another file are written.
QString insertRowSql(const QString& table);
// The stored unit of the tea whose number the expression gives (NULL for
// 公斤). The unit table's key bears the catalogue's column name, so the
// expression must name its table: {T}.{t.number}, l.{l.tea}.
QString unitOfTea(const QString& teaNumber);
// The CHECK expression that keeps one column in range (true for NULL).
QString rangeCheck(const QString& column);
// The index of the sales by time: only each checkout's own row (the one without
// a tea), so a day's or ten years' sales are found without walking the other
// moves of the range (such as the opening stock of a large catalogue) or each
// sale's lines, and writing a checkout's lines costs it nothing. A statement
// uses it by saying both conditions as written here. Version 3 added it; it is
// made only where missing.
QString salesTimeIndex();
// The index of the orders by date, so the orders settled before the journal
// are found among the days asked for, not by reading every order. Version 4
// added it; it is made only where missing.
QString orderDateIndex();
// The tables and indexes version 2 added, on PostgreSQL, as version 2 had them.
QStringList postgresJournalDdl();
// The version table of a PostgreSQL shop, holding the version given.
QStringList postgresVersionDdl(int number);
// The version a SQLite shop carries, read and written.
QString sqliteVersionSql();
QString sqliteSetVersionSql(int number);
// The triggers that journal the stock a tea brings along when it is added to
// the catalogue, or takes away when it is deleted or renumbered.
// As a version wrote them: an upgrade step makes the triggers of its own
// version, so a file left between two steps is whole.
QStringList sqliteTriggers(int version = CurrentVersion);
QStringList postgresTriggers(int version = CurrentVersion);
// Every journal row names who was signed in at the terminal that wrote it,
// and the owner who allowed it, also the rows the catalogue's triggers write.
// The terminal's connection says who (Database::setJournalStamp): on
// PostgreSQL through two settings of its session, which this trigger of the
// file reads (a connection that set nothing writes none); on SQLite through a
// trigger of the connection's own, which the file never holds, so any other
// program may still write to it.
QStringList postgresJournalStamp();
QStringList sqliteJournalStamp(const QVariant& person, const QVariant& approver);
QString sqliteDropJournalStamp();
// The statements that remove the triggers (any version's), so they can be
// made anew.
QStringList dropTriggers(Dialect d);

// Searching for part of a customer's name: a trigram index of the orders'
// names, kept in step by the file itself in the same transaction as each
// order written. SQLite keeps every three characters of each name in a table
// of its own (the orders' triggers write it), PostgreSQL a pg_trgm index of
// the folded name; where the server will not add pg_trgm the statements leave
// the index out and a search reads every name, as it did before version 9.
QStringList customerIndexDdl(Dialect d);
// The objects those statements make that no CREATE statement of the DDL
// names by itself (the index made in a block).
QStringList customerIndexObjects(Dialect d);
// Fills the SQLite index from the orders; how many of its rows differ from
// the orders' names (0 when it is whole).
QString customerIndexRebuild();
QString customerIndexCheck();
// A name as the search compares it: ASCII letters in lower case, every other
// character as it is, on both databases (SQLite's LIKE folds those alone).
QString foldedName(Dialect d, const QString& column);
// The escape clause a LIKE with a pattern from likeOf-style escaping needs:
// SQLite's LIKE has no escape character unless told; PostgreSQL's takes the
// backslash already, and one written in a plain string would keep the
// statement from going to the server with its values in one round trip.
QString likeEscape(Dialect d);
// A text with its ASCII letters in lower case and every other character as it
// is: what a searched text is compared as against foldedName.
QString foldedText(const QString& text);
// The fewest characters a part of a name must have for the index to find it:
// a shorter one reads every name.
constexpr int CustomerIndexMinimum = 3;

// Finding a tea by part of its name or the start of its number: the same
// trigram index of the teas' names, kept in step by the teas' own triggers
// (SQLite) or as a pg_trgm index (PostgreSQL, where the server has it), and
// an index of the numbers with their ASCII letters in lower case, so the
// numbers starting with a text are a range of it on both databases.
QStringList teaIndexDdl(Dialect d);
QStringList teaIndexObjects(Dialect d);
// A tea's name as the find and its index on a server compare it: ASCII
// letters in lower case, as foldedName, through PostgreSQL's lower() under the
// C collation (since version 11), which checks a name in a fraction of the
// time translate() takes.
QString foldedTeaName(Dialect d, const QString& column);
// The server's trigram index of the teas' names, and the statement that drops
// it (version 11 makes it anew on the folded name above).
QStringList teaNameIndexDdl();
QStringList dropTeaNameIndex();
QString teaIndexRebuild();
QString teaIndexCheck();

// A record source a screen opens: the SELECT text with '?' for its bound
// values, and the table it reads, whose key the data control writes back
// through. A source with columns is also read page by page in key order, as
// "select <columns> from <table> [where <filter>] order by <key>", so a screen
// reads the rows it shows and not the whole table.
struct Source {
    QString text;
    QString table;
    QString columns;
    QString filter;
    bool paged() const { return !columns.isEmpty(); }
    operator const QString&() const { return text; }
};

// Record sources the screens open. Values are bound, never pasted in.
namespace sources {
inline const Source
    TeaCatalogue{statement("select {t.number},{t.name},{t.cost},{t.price},{t.stock} from {T} Order by {t.number}"),
                 TeaTable, statement("{t.number},{t.name},{t.cost},{t.price},{t.stock}"), QString()};
inline const Source OpenOrders{
    statement("select {o.number},{o.customer},{o.date},{o.contact} ,{o.status} from {O} Where {o.status}=0 "
              "order by {o.number}"),
    OrderTable, statement("{o.number},{o.customer},{o.date},{o.contact},{o.status}"), statement("{o.status}=0")};
inline const Source LinesOfOrder{statement("select * from {L} where {l.order}=?"), LineTable, {}, {}};
// In number order, so the list can be read a screenful at a time.
inline const Source OrderTeaList{statement(
                                     "select {t.number},{t.name},{t.price},{t.stock} from {T} order by {t.number}"),
                                 TeaTable, statement("{t.number},{t.name},{t.price},{t.stock}"), QString()};
inline const Source OneTea{statement("select * from {T} where {t.number}=?"), TeaTable, {}, {}};
} // namespace sources

} // namespace lumaro::schema

namespace lumaro::schema {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::schema
