#include "data/Schema.h"

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
        {TeaTable,
         {{tea::Number, T::Text},
          {tea::Name, T::Text},
          {tea::Cost, T::Real},
          {tea::Price, T::Real},
          {tea::Stock, T::Real}},
         tea::Number,
         false},
        {OrderTable,
         {{order::Number, T::Integer},
          {order::Customer, T::Text},
          {order::Date, T::Date},
          {order::Contact, T::Text},
          {order::Status, T::Integer}},
         order::Number,
         true},
        {LineTable,
         {{line::Order, T::Integer}, {line::Tea, T::Text}, {line::Quantity, T::Integer}, {line::Id, T::Integer}},
         line::Id,
         true},
        {AccountTable,
         {{account::Id, T::Integer}, {account::Cash, T::Real}, {account::Bank, T::Real}},
         account::Id,
         false},
        {PasswordTable, {{password::Value, T::Text}}, QString(), false},
        {JournalTable,
         {{journal::Id, T::Integer},
          {journal::Move, T::Text},
          {journal::Kind, T::Text},
          {journal::Time, T::Text},
          {journal::Terminal, T::Text},
          {journal::Order, T::Integer},
          {journal::Tea, T::Text},
          {journal::TeaName, T::Text},
          {journal::StockChange, T::Real},
          {journal::UnitPrice, T::Real},
          {journal::CashChange, T::Real},
          {journal::BankChange, T::Real},
          {journal::Note, T::Text}},
         journal::Id,
         true,
         2},
        {SettingsTable, {{setting::Key, T::Text}, {setting::Value, T::Text}}, setting::Key, false, 2},
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

QString rangeCheck(const QString& column)
{
    // NULL passes (an empty price is allowed); NaN and infinities fail the
    // comparison on both databases.
    return QStringLiteral("CHECK (%1 BETWEEN -1e12 AND 1e12)").arg(column);
}

QStringList numberColumns(const QString& table)
{
    if (table == TeaTable)
        return {tea::Cost, tea::Price, tea::Stock};
    if (table == LineTable)
        return {line::Quantity};
    if (table == AccountTable)
        return {account::Cash, account::Bank};
    if (table == JournalTable)
        return {journal::StockChange, journal::UnitPrice, journal::CashChange, journal::BankChange};
    return {};
}

// STRICT tables: the file itself refuses text in a number column, whoever
// writes it. No foreign keys: a line may outlive its tea or its order, and the
// screens and the check command deal with that.
QString sqliteCreateTable(const QString& table, const QString& as)
{
    const QString name = as.isEmpty() ? table : as;
    QString body;
    if (table == TeaTable)
        body = QStringLiteral(
                   "編號 TEXT NOT NULL PRIMARY KEY, 名稱 TEXT, 進價 REAL %1, 訂價 REAL %2, 庫存 REAL DEFAULT 0 %3")
                   .arg(rangeCheck(tea::Cost), rangeCheck(tea::Price), rangeCheck(tea::Stock));
    else if (table == OrderTable)
        body = QStringLiteral("訂單編號 INTEGER PRIMARY KEY AUTOINCREMENT, 客戶名稱 TEXT, "
                              "訂購日期 TEXT DEFAULT (date('now','localtime')), 連絡方式 TEXT, "
                              "訂單狀態 INTEGER NOT NULL DEFAULT 0");
    else if (table == LineTable)
        body = QStringLiteral(
                   "訂單編號 INTEGER, 茶葉編號 TEXT, 數量 INTEGER %1, 明細編號 INTEGER PRIMARY KEY AUTOINCREMENT")
                   .arg(rangeCheck(line::Quantity));
    else if (table == AccountTable)
        body = QStringLiteral("帳號 INTEGER PRIMARY KEY, 現金 REAL %1, 銀行 REAL %2")
                   .arg(rangeCheck(account::Cash), rangeCheck(account::Bank));
    else if (table == PasswordTable)
        body = QStringLiteral("密碼 TEXT");
    else if (table == JournalTable)
        // Journal rows are never deleted, so the plain row number already
        // counts on without reuse; AUTOINCREMENT would add a page to every commit.
        body = QStringLiteral("日誌編號 INTEGER PRIMARY KEY, 異動編號 TEXT NOT NULL, "
                              "種類 TEXT NOT NULL, 時間 TEXT NOT NULL, 終端 TEXT, "
                              "訂單編號 INTEGER, 茶葉編號 TEXT, 茶葉名稱 TEXT, 庫存變動 REAL NOT NULL DEFAULT 0 %1, "
                              "單價 REAL %2, 現金變動 REAL NOT NULL DEFAULT 0 %3, 銀行變動 REAL NOT NULL DEFAULT 0 %4, "
                              "說明 TEXT")
                   .arg(rangeCheck(journal::StockChange), rangeCheck(journal::UnitPrice),
                        rangeCheck(journal::CashChange), rangeCheck(journal::BankChange));
    else if (table == SettingsTable)
        body = QStringLiteral("項目 TEXT NOT NULL PRIMARY KEY, 內容 TEXT");
    return QStringLiteral("CREATE TABLE %1 (%2) STRICT").arg(name, body);
}

QStringList sqliteIndexes(const QString& table)
{
    if (table == LineTable)
        return {QStringLiteral("CREATE INDEX 訂單明細表_訂單編號 ON 訂單明細表 (訂單編號)")};
    if (table == OrderTable)
        return {QStringLiteral("CREATE INDEX 訂單資料表_訂單狀態 ON 訂單資料表 (訂單狀態, 訂單編號)"),
                orderDateIndex()};
    if (table == JournalTable)
        return {QStringLiteral("CREATE INDEX 帳務日誌表_時間 ON 帳務日誌表 (時間)"),
                QStringLiteral("CREATE INDEX 帳務日誌表_異動編號 ON 帳務日誌表 (異動編號)"),
                QStringLiteral("CREATE INDEX 帳務日誌表_訂單編號 ON 帳務日誌表 (訂單編號)"), salesTimeIndex()};
    return {};
}

QStringList sqliteDdl()
{
    QStringList out;
    for (const TableDef& t : tables()) {
        out << sqliteCreateTable(t.name);
        out << sqliteIndexes(t.name);
    }
    out << sqliteTriggers();
    return out;
}

// The catalogue adds, deletes and renumbers teas through its data control;
// the stock such a tea brings or takes along is journaled with it, so the
// books still add up. Changes of the stock itself are never journaled here:
// those belong to the moves, and one made behind their back must show.
QStringList sqliteTriggers()
{
    const QString row = QStringLiteral(
        "INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 茶葉編號, 茶葉名稱, 庫存變動, 說明) "
        "VALUES (lower(hex(randomblob(16))), '%1', strftime('%Y-%m-%d %H:%M:%S','now'), %2, %3, %4, '%5');");
    return {
        QStringLiteral("CREATE TRIGGER 茶葉資料表_新增 AFTER INSERT ON 茶葉資料表 WHEN COALESCE(NEW.庫存, 0) <> 0 "
                       "BEGIN %1 END")
            .arg(row.arg(journalKind::Opening, QStringLiteral("NEW.編號"), QStringLiteral("NEW.名稱"),
                         QStringLiteral("NEW.庫存"), QStringLiteral("新增茶葉時的庫存"))),
        QStringLiteral("CREATE TRIGGER 茶葉資料表_刪除 AFTER DELETE ON 茶葉資料表 WHEN COALESCE(OLD.庫存, 0) <> 0 "
                       "BEGIN %1 END")
            .arg(row.arg(journalKind::Adjustment, QStringLiteral("OLD.編號"), QStringLiteral("OLD.名稱"),
                         QStringLiteral("-OLD.庫存"), QStringLiteral("刪除茶葉"))),
        QStringLiteral("CREATE TRIGGER 茶葉資料表_改編號 AFTER UPDATE OF 編號 ON 茶葉資料表 "
                       "WHEN OLD.編號 IS NOT NEW.編號 AND COALESCE(OLD.庫存, 0) <> 0 BEGIN %1 %2 END")
            .arg(row.arg(journalKind::Adjustment, QStringLiteral("OLD.編號"), QStringLiteral("OLD.名稱"),
                         QStringLiteral("-OLD.庫存"), QStringLiteral("更改茶葉編號")),
                 row.arg(journalKind::Adjustment, QStringLiteral("NEW.編號"), QStringLiteral("NEW.名稱"),
                         QStringLiteral("OLD.庫存"), QStringLiteral("更改茶葉編號"))),
    };
}

QStringList postgresTriggers()
{
    const QString row = QStringLiteral(
        "INSERT INTO 帳務日誌表 (異動編號, 種類, 時間, 茶葉編號, 茶葉名稱, 庫存變動, 說明) "
        "VALUES (gen_random_uuid()::text, '%1', to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'), "
        "%2, %3, %4, '%5');");
    return {
        QStringLiteral(
            "CREATE FUNCTION 茶葉資料表_記帳() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "IF TG_OP = 'INSERT' THEN IF COALESCE(NEW.庫存, 0) <> 0 THEN %1 END IF; RETURN NULL; END IF; "
            "IF COALESCE(OLD.庫存, 0) = 0 OR (TG_OP = 'UPDATE' AND OLD.編號 = NEW.編號) THEN RETURN NULL; END IF; "
            "IF TG_OP = 'DELETE' THEN %2 RETURN NULL; END IF; "
            "%3 %4 RETURN NULL; END $$")
            .arg(row.arg(journalKind::Opening, QStringLiteral("NEW.編號"), QStringLiteral("NEW.名稱"),
                         QStringLiteral("NEW.庫存"), QStringLiteral("新增茶葉時的庫存")),
                 row.arg(journalKind::Adjustment, QStringLiteral("OLD.編號"), QStringLiteral("OLD.名稱"),
                         QStringLiteral("-OLD.庫存"), QStringLiteral("刪除茶葉")),
                 row.arg(journalKind::Adjustment, QStringLiteral("OLD.編號"), QStringLiteral("OLD.名稱"),
                         QStringLiteral("-OLD.庫存"), QStringLiteral("更改茶葉編號")),
                 row.arg(journalKind::Adjustment, QStringLiteral("NEW.編號"), QStringLiteral("NEW.名稱"),
                         QStringLiteral("OLD.庫存"), QStringLiteral("更改茶葉編號"))),
        QStringLiteral("CREATE TRIGGER 茶葉資料表_記帳 AFTER INSERT OR DELETE OR UPDATE OF 編號 ON 茶葉資料表 "
                       "FOR EACH ROW EXECUTE FUNCTION 茶葉資料表_記帳()"),
    };
}

// The same tables for a shared PostgreSQL server: same names, same order. The
// version lives in a one-row table of its own.
QStringList postgresDdl()
{
    QStringList out = {
        QStringLiteral("CREATE TABLE 茶葉資料表 (編號 text NOT NULL PRIMARY KEY, 名稱 text, "
                       "%1, %2, 庫存 double precision DEFAULT 0 %3)")
            .arg(QStringLiteral("進價 double precision ") + rangeCheck(tea::Cost),
                 QStringLiteral("訂價 double precision ") + rangeCheck(tea::Price), rangeCheck(tea::Stock)),
        QStringLiteral("CREATE TABLE 訂單資料表 (訂單編號 integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
                       "客戶名稱 text, 訂購日期 date DEFAULT CURRENT_DATE, 連絡方式 text, "
                       "訂單狀態 integer NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE 訂單明細表 (訂單編號 integer, 茶葉編號 text, 數量 integer %1, "
                       "明細編號 integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY)")
            .arg(rangeCheck(line::Quantity)),
        QStringLiteral("CREATE INDEX 訂單明細表_訂單編號 ON 訂單明細表 (訂單編號)"),
        QStringLiteral("CREATE INDEX 訂單資料表_訂單狀態 ON 訂單資料表 (訂單狀態, 訂單編號)"),
        orderDateIndex(),
        QStringLiteral("CREATE TABLE 帳款資料表 (帳號 integer PRIMARY KEY, 現金 double precision %1, "
                       "銀行 double precision %2)")
            .arg(rangeCheck(account::Cash), rangeCheck(account::Bank)),
        QStringLiteral("CREATE TABLE 密碼表 (密碼 text)"),
    };
    out << postgresJournalDdl();
    out << postgresTriggers();
    out << postgresVersionDdl(CurrentVersion);
    return out;
}

QString sqliteVersionSql() { return QStringLiteral("PRAGMA user_version"); }
QString sqliteSetVersionSql(int number) { return QStringLiteral("PRAGMA user_version = %1").arg(number); }

QStringList postgresVersionDdl(int number)
{
    return {QStringLiteral("CREATE TABLE %1 (%2 integer NOT NULL)").arg(VersionTable, version::Value),
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(VersionTable, version::Value).arg(number)};
}

QString salesTimeIndex()
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1_結帳_%3 ON %1 (%3) WHERE %2 = '%5' AND %4 IS NULL")
        .arg(JournalTable, journal::Kind, journal::Time, journal::Tea, journalKind::Checkout);
}

QString orderDateIndex()
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2 ON %1 (%2)").arg(OrderTable, order::Date);
}

QStringList postgresJournalDdl()
{
    return {
        QStringLiteral(
            "CREATE TABLE 帳務日誌表 (日誌編號 bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
            "異動編號 text NOT NULL, 種類 text NOT NULL, 時間 text NOT NULL, 終端 text, "
            "訂單編號 integer, 茶葉編號 text, 茶葉名稱 text, "
            "庫存變動 double precision NOT NULL DEFAULT 0 %1, 單價 double precision %2, "
            "現金變動 double precision NOT NULL DEFAULT 0 %3, 銀行變動 double precision NOT NULL DEFAULT 0 %4, "
            "說明 text)")
            .arg(rangeCheck(journal::StockChange), rangeCheck(journal::UnitPrice), rangeCheck(journal::CashChange),
                 rangeCheck(journal::BankChange)),
        QStringLiteral("CREATE INDEX 帳務日誌表_時間 ON 帳務日誌表 (時間)"),
        QStringLiteral("CREATE INDEX 帳務日誌表_異動編號 ON 帳務日誌表 (異動編號)"),
        QStringLiteral("CREATE INDEX 帳務日誌表_訂單編號 ON 帳務日誌表 (訂單編號)"),
        salesTimeIndex(),
        QStringLiteral("CREATE TABLE 設定表 (項目 text NOT NULL PRIMARY KEY, 內容 text)"),
    };
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
    return out;
}

} // namespace lumaro::schema
