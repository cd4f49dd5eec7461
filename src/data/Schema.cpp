#include "data/Schema.h"

#include "base/Numbers.h"
#include "data/Statements.h"

namespace lumaro::schema {

int TableDef::indexOf(const QString& columnName) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name == columnName)
            return i;
    return -1;
}

const ColumnDef* TableDef::column(const QString& columnName) const
{
    int i = indexOf(columnName);
    return i < 0 ? nullptr : &columns[i];
}

const QList<TableDef>& tables()
{
    using T = ColumnType;
    static const QList<TableDef> all = {
        {.name = TeaTable,
         .columns = {{tea::Number, T::Text, QStringLiteral("number"), NotNull},
                     {tea::Name, T::Text, QStringLiteral("name")},
                     {tea::Cost, T::Real, QStringLiteral("cost"), Ranged},
                     {tea::Price, T::Real, QStringLiteral("price"), Ranged},
                     {tea::Stock, T::Real, QStringLiteral("stock"), ZeroDefault | Ranged}},
         .key = tea::Number,
         .word = QStringLiteral("T")},
        {.name = OrderTable,
         .columns = {{order::Number, T::Integer, QStringLiteral("number")},
                     {order::Customer, T::Text, QStringLiteral("customer")},
                     {order::Date, T::Date, QStringLiteral("date"), TodayDefault},
                     {order::Contact, T::Text, QStringLiteral("contact")},
                     {order::Status, T::Integer, QStringLiteral("status"), NotNull | ZeroDefault}},
         .key = order::Number,
         .numbering = Numbering::Counter,
         .word = QStringLiteral("O"),
         .indexes = {{.columns = {order::Status, order::Number}}, {.columns = {order::Date}, .sinceVersion = 4}}},
        {.name = LineTable,
         .columns = {{line::Order, T::Integer, QStringLiteral("order")},
                     {line::Tea, T::Text, QStringLiteral("tea")},
                     {line::Quantity, T::Integer, QStringLiteral("quantity"), Ranged},
                     {line::Id, T::Integer, QStringLiteral("id")}},
         .key = line::Id,
         .numbering = Numbering::Counter,
         .word = QStringLiteral("L"),
         .indexes = {{.columns = {line::Order}}}},
        {.name = AccountTable,
         .columns = {{account::Id, T::Integer, QStringLiteral("id")},
                     {account::Cash, T::Real, QStringLiteral("cash"), Ranged},
                     {account::Bank, T::Real, QStringLiteral("bank"), Ranged}},
         .key = account::Id,
         .word = QStringLiteral("A")},
        {.name = PasswordTable,
         .columns = {{password::Value, T::Text, QStringLiteral("value")}},
         .word = QStringLiteral("P")},
        // Journal rows are never deleted, so the plain row number already
        // counts on without reuse; a counter would add a page to every commit.
        {.name = JournalTable,
         .columns = {{journal::Id, T::Integer, QStringLiteral("id")},
                     {journal::Move, T::Text, QStringLiteral("move"), NotNull},
                     {journal::Kind, T::Text, QStringLiteral("kind"), NotNull},
                     {journal::Time, T::Text, QStringLiteral("time"), NotNull},
                     {journal::Terminal, T::Text, QStringLiteral("terminal")},
                     {journal::Order, T::Integer, QStringLiteral("order")},
                     {journal::Tea, T::Text, QStringLiteral("tea")},
                     {journal::TeaName, T::Text, QStringLiteral("teaName")},
                     {journal::StockChange, T::Real, QStringLiteral("stock"), NotNull | ZeroDefault | Ranged},
                     {journal::UnitPrice, T::Real, QStringLiteral("price"), Ranged},
                     {journal::CashChange, T::Real, QStringLiteral("cash"), NotNull | ZeroDefault | Ranged},
                     {journal::BankChange, T::Real, QStringLiteral("bank"), NotNull | ZeroDefault | Ranged},
                     {journal::Note, T::Text, QStringLiteral("note")},
                     {journal::Unit, T::Text, QStringLiteral("unit"), Plain, 6},
                     {journal::Method, T::Text, QStringLiteral("method"), Plain, 6},
                     {journal::Discount, T::Real, QStringLiteral("discount"), Ranged, 6},
                     {journal::Tendered, T::Real, QStringLiteral("tendered"), Ranged, 6},
                     {journal::Source, T::Text, QStringLiteral("source"), Plain, 7},
                     {journal::SourceRow, T::Integer, QStringLiteral("sourceRow"), Wide, 7},
                     {journal::Reason, T::Text, QStringLiteral("reason"), Plain, 7},
                     {journal::Person, T::Integer, QStringLiteral("person"), Plain, 8},
                     {journal::Approver, T::Integer, QStringLiteral("approver"), Plain, 8}},
         .key = journal::Id,
         .numbering = Numbering::RowNumber,
         .sinceVersion = 2,
         .word = QStringLiteral("J"),
         .indexes = {{.columns = {journal::Time}},
                     {.columns = {journal::Move}},
                     {.columns = {journal::Order}},
                     {.columns = {journal::Time},
                      .label = journalKind::Checkout,
                      .where = "{j.kind} = {k.checkout} AND {j.tea} IS NULL",
                      .sinceVersion = 3},
                     // A sale's returns, found from the sale.
                     {.columns = {journal::Source}, .where = "{j.source} IS NOT NULL", .sinceVersion = 7},
                     // The sales of the orders found for a customer: each sale's money
                     // rows by order, with what the sales list shows of them, so the
                     // list reads this index alone and not a page of the journal for
                     // each sale. The kind and tea close the index, so that SQLite
                     // counts it as holding every column a statement names.
                     {.columns = {journal::Order, journal::Move, journal::Time, journal::CashChange,
                                  journal::BankChange, journal::Method, journal::Person, journal::Kind, journal::Tea},
                      .label = journalKind::Checkout,
                      .where = "{j.kind} = {k.checkout} AND {j.tea} IS NULL",
                      .sinceVersion = 11},
                     // The few rows that took something off, by order and move: a
                     // sale's discounts summed without reading its lines.
                     {.columns = {journal::Order, journal::Move, journal::Discount},
                      .label = journal::Discount,
                      .where = "{j.discount} IS NOT NULL",
                      .sinceVersion = 11}}},
        {.name = SettingsTable,
         .columns = {{setting::Key, T::Text, QStringLiteral("key"), NotNull},
                     {setting::Value, T::Text, QStringLiteral("value")}},
         .key = setting::Key,
         .sinceVersion = 2,
         .word = QStringLiteral("S")},
        // Beside the tea, keyed by its number, so the catalogue keeps its five
        // columns in their order. A tea without a row here is in 公斤.
        {.name = UnitTable,
         .columns = {{unit::Tea, T::Text, QStringLiteral("tea"), NotNull},
                     {unit::Name, T::Text, QStringLiteral("name"), NotNull}},
         .key = unit::Tea,
         .sinceVersion = 6,
         .word = QStringLiteral("U")},
        {.name = OrderDiscountTable,
         .columns = {{discount::Order, T::Integer, QStringLiteral("order"), NotNull},
                     {discount::Value, T::Text, QStringLiteral("value"), NotNull}},
         .key = discount::Order,
         .sinceVersion = 6,
         .word = QStringLiteral("D")},
        {.name = LineDiscountTable,
         .columns = {{discount::Line, T::Integer, QStringLiteral("line"), NotNull},
                     {discount::Value, T::Text, QStringLiteral("value"), NotNull}},
         .key = discount::Line,
         .sinceVersion = 6,
         .word = QStringLiteral("E")},
        // People are never deleted, only retired, so the journal's numbers
        // always name someone.
        {.name = PeopleTable,
         .columns = {{person::Id, T::Integer, QStringLiteral("id")},
                     {person::Name, T::Text, QStringLiteral("name"), NotNull},
                     {person::Role, T::Text, QStringLiteral("role"), NotNull},
                     {person::Password, T::Text, QStringLiteral("password")},
                     {person::Retired, T::Integer, QStringLiteral("retired"), NotNull | ZeroDefault}},
         .key = person::Id,
         .numbering = Numbering::Counter,
         .sinceVersion = 8,
         .word = QStringLiteral("W"),
         .indexes = {{.columns = {person::Name}, .unique = true}}},
    };
    return all;
}

const TableDef* findTable(const QString& name)
{
    for (const TableDef& t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const sql::Words& words()
{
    static const sql::Words all = [] {
        sql::Words w;
        // A table's word, upper case, names it; its columns go by the same letter in lower case.
        auto table = [&w](const QString& word, const QString& name) {
            w.insert(word, sql::name(name));
            QString prefix = word.toLower();
            prefix += u'.';
            return prefix;
        };
        for (const TableDef& t : tables()) {
            const QString prefix = table(t.word, t.name);
            for (const ColumnDef& c : t.columns)
                w.insert(QString(prefix).append(c.word), sql::name(c.name));
        }
        w.insert(table(QStringLiteral("V"), VersionTable).append(QStringLiteral("value")), sql::name(version::Value));
        w.insert(QStringLiteral("N"), sql::name(CustomerIndex));
        w.insert(QStringLiteral("n.trigram"), sql::name(customerIndex::Trigram));
        w.insert(QStringLiteral("n.order"), sql::name(customerIndex::Order));
        w.insert(QStringLiteral("F"), sql::name(TeaIndex));
        w.insert(QStringLiteral("f.tea"), sql::name(teaIndex::Tea));
        // The kinds the file's own statements name; the rest are the books'.
        const std::pair<const char*, const QString*> kinds[] = {
            {"opening", &journalKind::Opening},
            {"checkout", &journalKind::Checkout},
            {"adjustment", &journalKind::Adjustment},
        };
        for (const auto& [word, kind] : kinds)
            w.insert(QStringLiteral("k.") + QLatin1String(word), sql::literal(*kind));
        return w;
    }();
    return all;
}

QString statement(const char* text, const QStringList& pieces)
{
    return sql::fill(words(), QString::fromUtf8(text), pieces);
}

QString part(bool when, const char* text, const QStringList& pieces)
{
    return when ? statement(text, pieces) : QString();
}

QString unitOfTea(const QString& teaNumber)
{
    return statement("(SELECT u.{u.name} FROM {U} u WHERE u.{u.tea} = {1})", {teaNumber});
}

QString rangeCheck(const QString& column)
{
    // NULL passes (an empty price is allowed); NaN and infinities fail the
    // comparison on both databases.
    return statement("CHECK ({1} BETWEEN -{2} AND {2})", {column, sql::number(MaxShopNumber)});
}

QString insertRowSql(const QString& table)
{
    const TableDef& t = *findTable(table);
    QStringList names;
    for (const ColumnDef& c : t.columns)
        names << sql::name(c.name);
    return statement("INSERT INTO {1} ({2}) VALUES ({3})",
                     {sql::name(t.name), names.join(QStringLiteral(", ")), sql::marks(names.size())});
}

QStringList numberColumns(const QString& table)
{
    QStringList out;
    if (const TableDef* t = findTable(table))
        for (const ColumnDef& c : t->columns)
            if (c.has(Ranged))
                out << c.name;
    return out;
}

namespace {

const TableDef& table(const QString& name)
{
    const TableDef* t = findTable(name);
    Q_ASSERT(t);
    return *t;
}

// One column of a CREATE TABLE statement.
QString columnDdl(const TableDef& t, const ColumnDef& c, Dialect d)
{
    const bool sqlite = d == Dialect::SQLite;
    QString out = c.name + u' ';
    switch (c.type) {
    case ColumnType::Text:
        out += sqlite ? QStringLiteral("TEXT") : QStringLiteral("text");
        break;
    case ColumnType::Real:
        out += sqlite ? QStringLiteral("REAL") : QStringLiteral("double precision");
        break;
    case ColumnType::Integer:
        out += sqlite                                                                    ? QStringLiteral("INTEGER")
               : (c.name == t.key && t.numbering == Numbering::RowNumber) || c.has(Wide) ? QStringLiteral("bigint")
                                                                                         : QStringLiteral("integer");
        break;
    case ColumnType::Date:
        out += sqlite ? QStringLiteral("TEXT") : QStringLiteral("date");
        break;
    }
    if (c.has(NotNull))
        out += QStringLiteral(" NOT NULL");
    if (c.name == t.key) {
        if (!sqlite && t.numbering != Numbering::None)
            out += QStringLiteral(" GENERATED BY DEFAULT AS IDENTITY");
        out += QStringLiteral(" PRIMARY KEY");
        if (sqlite && t.numbering == Numbering::Counter)
            out += QStringLiteral(" AUTOINCREMENT");
    }
    if (c.has(ZeroDefault))
        out += QStringLiteral(" DEFAULT 0");
    if (c.has(TodayDefault))
        out += sqlite ? QStringLiteral(" DEFAULT (date('now','localtime'))") : QStringLiteral(" DEFAULT CURRENT_DATE");
    if (c.has(Ranged))
        out += u' ' + rangeCheck(c.name);
    return out;
}

// STRICT tables on SQLite: the file itself refuses text in a number column,
// whoever writes it. No foreign keys: a line may outlive its tea or its order,
// and the screens and the check command deal with that.
QString createTable(const TableDef& t, Dialect d, const QString& as = QString(), int version = CurrentVersion)
{
    QStringList columns;
    for (const ColumnDef& c : t.columns)
        if (c.sinceVersion <= version)
            columns << columnDdl(t, c, d);
    return statement(d == Dialect::SQLite ? "CREATE TABLE {1} ({2}) STRICT" : "CREATE TABLE {1} ({2})",
                     {as.isEmpty() ? t.name : as, columns.join(QLatin1String(", "))});
}

// An index a later version added is made only where it is missing.
QString createIndex(const TableDef& t, const IndexDef& i)
{
    QString name = t.name + u'_';
    if (!i.label.isEmpty())
        name += i.label + u'_';
    name += i.columns.first();
    return statement("CREATE {6}INDEX {1}{2} ON {3} ({4}){5}",
                     {i.sinceVersion > t.sinceVersion ? QStringLiteral("IF NOT EXISTS ") : QString(), name, t.name,
                      i.columns.join(QLatin1String(", ")),
                      i.where ? QStringLiteral(" WHERE ") + statement(i.where) : QString(),
                      i.unique ? QStringLiteral("UNIQUE ") : QString()});
}

// The indexes a table has at a version: a later index may be on a column the
// table did not have yet.
QStringList indexes(const TableDef& t, int version = CurrentVersion)
{
    QStringList out;
    for (const IndexDef& i : t.indexes)
        if (i.sinceVersion <= version)
            out << createIndex(t, i);
    return out;
}

// Every table a version brought, each followed by its indexes, with the
// columns they have at version upTo.
QStringList tablesOf(int version, Dialect d, int upTo = CurrentVersion)
{
    QStringList out;
    for (const TableDef& t : tables())
        if (t.sinceVersion == version)
            out << createTable(t, d, QString(), upTo) << indexes(t, upTo);
    return out;
}

} // namespace

QString sqliteCreateTable(const QString& name, const QString& as, int version)
{
    return createTable(table(name), Dialect::SQLite, as, version);
}

QStringList addedInVersion(int version, Dialect d)
{
    QStringList out;
    for (const TableDef& t : tables())
        if (t.sinceVersion < version)
            for (const ColumnDef& c : t.columns)
                if (c.sinceVersion == version)
                    out << statement("ALTER TABLE {1} ADD COLUMN {2}", {t.name, columnDdl(t, c, d)});
    for (const TableDef& t : tables())
        if (t.sinceVersion < version)
            for (const IndexDef& i : t.indexes)
                if (i.sinceVersion == version)
                    out << createIndex(t, i);
    return out + tablesOf(version, d);
}

QStringList sqliteIndexes(const QString& name, int version) { return indexes(table(name), version); }

namespace {

// The index a version added to a table.
QString indexOfVersion(const QString& name, int version)
{
    const TableDef& t = table(name);
    for (const IndexDef& i : t.indexes)
        if (i.sinceVersion == version)
            return createIndex(t, i);
    Q_ASSERT(false);
    return QString();
}

} // namespace

QString salesTimeIndex() { return indexOfVersion(JournalTable, 3); }

QString orderDateIndex() { return indexOfVersion(OrderTable, 4); }

QStringList sqliteDdl()
{
    QStringList out;
    for (const TableDef& t : tables())
        out << createTable(t, Dialect::SQLite) << indexes(t);
    out << sqliteTriggers() << customerIndexDdl(Dialect::SQLite) << teaIndexDdl(Dialect::SQLite);
    return out;
}

// The same tables for a shared PostgreSQL server: same names, same order. The
// version lives in a one-row table of its own.
QStringList postgresDdl()
{
    QStringList out;
    for (int version = 1; version <= CurrentVersion; ++version)
        out << tablesOf(version, Dialect::PostgreSQL);
    return out + postgresTriggers() + postgresJournalStamp() + customerIndexDdl(Dialect::PostgreSQL) +
           teaIndexDdl(Dialect::PostgreSQL) + postgresVersionDdl(CurrentVersion);
}

QStringList postgresJournalDdl() { return tablesOf(2, Dialect::PostgreSQL, 2); }

QString sqliteVersionSql() { return statement("PRAGMA user_version"); }
QString sqliteSetVersionSql(int number) { return statement("PRAGMA user_version = {1}", {QString::number(number)}); }

QStringList postgresVersionDdl(int number)
{
    return {statement("CREATE TABLE {V} ({v.value} integer NOT NULL)"),
            statement("INSERT INTO {V} ({v.value}) VALUES ({1})", {QString::number(number)})};
}

QList<Statement> statements(Dialect k)
{
    QList<Statement> out;
    for (const QString& ddl : k == Dialect::SQLite ? sqliteDdl() : postgresDdl())
        out << Statement{QStringLiteral("schema: ") + ddl.section(QLatin1Char(' '), 0, 2), ddl,
                         StatementCheck::RunOnEmpty};
    const std::pair<const char*, const Source*> named[] = {
        {"catalogue", &sources::TeaCatalogue},
        {"open orders", &sources::OpenOrders},
        {"lines of order", &sources::LinesOfOrder},
        {"tea list", &sources::OrderTeaList},
        {"one tea", &sources::OneTea},
    };
    for (const auto& [name, source] : named)
        out << Statement{QStringLiteral("source: ") + QLatin1String(name), source->text};
    for (const QString& table : {TeaTable, OrderTable, LineTable})
        out << Statement{QStringLiteral("schema: a whole row of ") + table, insertRowSql(table)};
    return out;
}

} // namespace lumaro::schema
