#include "upkeep/LegacyImport.h"

#include "JetFileReader.h"
#include "base/Dates.h"
#include "base/Numbers.h"
#include "books/Opening.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace lumaro {

namespace {

using legacy::Column;
using legacy::JetContents;
using legacy::Table;
using legacy::Value;

// Where a value sits, for the message that names it.
struct Cell {
    const Table& table;
    qsizetype row; // from 0
    int position;
    const QString& column; // the shop's name for it

    const Value& value() const { return table.rows[std::size_t(row)][std::size_t(position)]; }
    int type() const { return table.columns[std::size_t(position)].type; }

    [[noreturn]] void fail(const QString& what) const
    {
        QString shown = QString::fromUtf8(value().value_or(std::string()));
        if (shown.size() > 40)
            shown = shown.left(40) + QStringLiteral("…");
        throw DataError(QStringLiteral("舊資料檔的「%1」第 %2 列，欄位「%3」的值「%4」%5")
                            .arg(QString::fromStdString(table.name))
                            .arg(row + 1)
                            .arg(column, shown, what));
    }
};

bool isNumericType(int type)
{
    switch (type) {
    case legacy::JetBool:
    case legacy::JetByte:
    case legacy::JetInt:
    case legacy::JetLong:
    case legacy::JetMoney:
    case legacy::JetFloat:
    case legacy::JetDouble:
    case legacy::JetNumeric:
        return true;
    default:
        return false;
    }
}

bool isTextType(int type) { return type == legacy::JetText || type == legacy::JetMemo; }

// Text as stored; NULL stays NULL. libmdb sends UTF-8, so anything else means the
// Jet 3 file was decoded with the wrong code page.
QVariant text(const Cell& c)
{
    const Value& v = c.value();
    if (!v)
        return QVariant(QMetaType(QMetaType::QString));
    if (!isTextType(c.type()) && !isNumericType(c.type()) && c.type() != legacy::JetDateTime)
        c.fail(QStringLiteral("不是文字（欄位型態是 %1）。").arg(QLatin1String(legacy::jetTypeName(c.type()).data())));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(v->data(), qsizetype(v->size())));
    if (utf8.hasError())
        c.fail(QStringLiteral("不是正確的文字編碼；舊的 Jet 3 資料檔請用 --charset 指定編碼（例如 BIG5）。"));
    return s;
}

// A Single column holds a float, which libmdb prints with more digits than it
// carries (899.9 as 899.90002). The owner typed the shortest decimal that reads
// back as the same float, so that is the value kept.
double shortestSingle(const QString& printed)
{
    const QByteArray latin = printed.toLatin1();
    const float f = std::strtof(latin.constData(), nullptr);
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::strtod(std::string(buf, r.ptr).c_str(), nullptr);
}

// libmdb prints numbers in the C locale with their exact decimals (money with four);
// typed-in texts get the same plain form, nothing looser.
std::optional<double> number(const Cell& c)
{
    const Value& v = c.value();
    if (!v)
        return std::nullopt;
    if (!isNumericType(c.type()) && !isTextType(c.type()))
        c.fail(QStringLiteral("不是數字（欄位型態是 %1）。").arg(QLatin1String(legacy::jetTypeName(c.type()).data())));
    const QString s = text(c).toString().trimmed();
    if (s.isEmpty())
        return std::nullopt;
    static const QRegularExpression plain(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    bool ok = plain.match(s).hasMatch();
    const double x = ok ? s.toDouble(&ok) : 0;
    if (!ok || !std::isfinite(x))
        c.fail(QStringLiteral("不是數字。"));
    if (!isShopNumber(x))
        c.fail(QStringLiteral("超出可以記帳的範圍（絕對值不可超過 1000000000000）。"));
    if (c.type() == legacy::JetFloat)
        return shortestSingle(s);
    return x;
}

QVariant real(const Cell& c)
{
    const auto x = number(c);
    return x ? QVariant(*x) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<qlonglong> integer(const Cell& c)
{
    const auto x = number(c);
    if (!x)
        return std::nullopt;
    if (*x != std::floor(*x) || std::fabs(*x) > 9007199254740992.0)
        c.fail(QStringLiteral("不是整數。"));
    return qlonglong(*x);
}

QVariant integerOrNull(const Cell& c)
{
    const auto n = integer(c);
    return n ? QVariant(*n) : QVariant(QMetaType(QMetaType::LongLong));
}

// A date alone is kept as an ISO date; a date with a time of day keeps the time,
// to the second, in the form SQLite's own date functions read. Jet has no date
// without a time, so midnight means a date alone.
QVariant date(const Cell& c)
{
    const Value& v = c.value();
    const QVariant none(QMetaType(QMetaType::QString));
    if (!v)
        return none;
    if (c.type() != legacy::JetDateTime && !isTextType(c.type()))
        c.fail(QStringLiteral("不是日期（欄位型態是 %1）。").arg(QLatin1String(legacy::jetTypeName(c.type()).data())));
    const QString s = text(c).toString().trimmed();
    if (s.isEmpty())
        return none;
    static const QRegularExpression ymd(
        QStringLiteral("^(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    const auto m = ymd.match(s);
    const QDate d = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
    if (!d.isValid())
        c.fail(QStringLiteral("不是日期（應為 年-月-日）。"));
    if (m.captured(4).isEmpty())
        return d.toString(Qt::ISODate);
    const QTime t(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!t.isValid())
        c.fail(QStringLiteral("的時間不正確（應為 時:分:秒）。"));
    return storedDate(d, t);
}

const Table& requireColumns(const Table& t, int needed)
{
    if (t.columns.size() < std::size_t(needed))
        throw DataError(QStringLiteral("舊資料檔的「%1」只有 %2 個欄位，至少要有 %3 個。")
                            .arg(QString::fromStdString(t.name))
                            .arg(t.columns.size())
                            .arg(needed));
    return t;
}

// Each table of the legacy file read into the shop, in the order an import
// reads them; a table missing a column it needs, or a value that does not fit,
// throws DataError naming the table, the row and the column.

void readTeas(const JetContents& contents, LegacyShop& shop)
{
    namespace s = schema;
    const Table& teas = requireColumns(*contents.table(s::TeaTable.toStdString()), 5);
    QHash<QString, qsizetype> teaRow;
    for (qsizetype r = 0; r < qsizetype(teas.rows.size()); ++r) {
        LegacyShop::Tea t;
        const Cell number{teas, r, 0, s::tea::Number};
        t.number = text(number).toString();
        if (t.number.isEmpty())
            number.fail(QStringLiteral("是空的，每種茶葉都要有編號。"));
        if (teaRow.contains(t.number))
            number.fail(QStringLiteral("與第 %1 列重複。").arg(teaRow.value(t.number) + 1));
        teaRow.insert(t.number, r);
        t.name = text({teas, r, 1, s::tea::Name});
        t.cost = real({teas, r, 2, s::tea::Cost});
        t.price = real({teas, r, 3, s::tea::Price});
        t.stock = real({teas, r, 4, s::tea::Stock});
        shop.teas << t;
    }
}

void readOrders(const JetContents& contents, LegacyShop& shop)
{
    namespace s = schema;
    const Table& orders = requireColumns(*contents.table(s::OrderTable.toStdString()), 5);
    QHash<qlonglong, qsizetype> orderRow;
    for (qsizetype r = 0; r < qsizetype(orders.rows.size()); ++r) {
        LegacyShop::Order o;
        const Cell number{orders, r, 0, s::order::Number};
        const auto n = integer(number);
        if (!n)
            number.fail(QStringLiteral("是空的，每張訂單都要有編號。"));
        if (*n <= 0)
            number.fail(QStringLiteral("不是正整數。"));
        if (orderRow.contains(*n))
            number.fail(QStringLiteral("與第 %1 列重複。").arg(orderRow.value(*n) + 1));
        orderRow.insert(*n, r);
        o.number = *n;
        o.customer = text({orders, r, 1, s::order::Customer});
        o.date = date({orders, r, 2, s::order::Date});
        o.contact = text({orders, r, 3, s::order::Contact});
        const auto status = integer({orders, r, 4, s::order::Status});
        if (!status)
            shop.warnings << QStringLiteral("訂單 %1 沒有狀態，匯入為 0（未結帳）。").arg(o.number);
        o.status = status.value_or(0);
        shop.orders << o;
    }
}

// A line keeps its number, as an order does: a gap left by a deleted line
// stays a gap. A line without one (or a file without the column) is numbered
// after the highest kept.
void readLines(const JetContents& contents, LegacyShop& shop)
{
    namespace s = schema;
    const Table& lines = requireColumns(*contents.table(s::LineTable.toStdString()), 3);
    const bool linesNumbered = lines.columns.size() >= 4;
    QHash<qlonglong, qsizetype> lineRow;
    QList<qsizetype> unnumbered;
    qlonglong highestLine = 0;
    for (qsizetype r = 0; r < qsizetype(lines.rows.size()); ++r) {
        LegacyShop::Line l;
        l.order = integerOrNull({lines, r, 0, s::line::Order});
        l.tea = text({lines, r, 1, s::line::Tea});
        l.quantity = integerOrNull({lines, r, 2, s::line::Quantity});
        const Cell number{lines, r, 3, s::line::Id};
        const auto n = linesNumbered ? integer(number) : std::nullopt;
        if (n) {
            if (*n <= 0)
                number.fail(QStringLiteral("不是正整數。"));
            if (lineRow.contains(*n))
                number.fail(QStringLiteral("與第 %1 列重複。").arg(lineRow.value(*n) + 1));
            lineRow.insert(*n, r);
            l.id = *n;
            highestLine = qMax(highestLine, *n);
        } else {
            unnumbered << r;
        }
        shop.lines << l;
    }
    for (qsizetype r : unnumbered)
        shop.lines[r].id = ++highestLine;
}

// Cash is the second column; the bank balance goes by its name where the file
// has one, else it is the third.
void readAccount(const JetContents& contents, LegacyShop& shop)
{
    namespace s = schema;
    const Table& accounts = requireColumns(*contents.table(s::AccountTable.toStdString()), 2);
    int bankAt = -1;
    for (std::size_t i = 0; i < accounts.columns.size(); ++i)
        if (QString::fromStdString(accounts.columns[i].name) == s::account::Bank)
            bankAt = int(i);
    if (bankAt < 0) {
        requireColumns(accounts, 3);
        bankAt = 2;
    }
    if (accounts.rows.empty()) {
        shop.warnings << QStringLiteral("舊資料檔的帳款資料表沒有資料，現金與銀行從 0 開始。");
        return;
    }
    if (accounts.rows.size() > 1)
        shop.warnings << QStringLiteral("舊資料檔的帳款資料表有 %1 列，只匯入第 1 列。").arg(accounts.rows.size());
    const auto cash = number({accounts, 0, 1, s::account::Cash});
    const auto bank = number({accounts, 0, bankAt, s::account::Bank});
    if (!cash || !bank)
        shop.warnings << QStringLiteral("舊資料檔的現金或銀行是空的，匯入為 0。");
    shop.cash = cash.value_or(0);
    shop.bank = bank.value_or(0);
    shop.hasAccount = true;
}

void readPassword(const JetContents& contents, LegacyShop& shop)
{
    namespace s = schema;
    const Table& passwords = requireColumns(*contents.table(s::PasswordTable.toStdString()), 1);
    const QVariant password = passwords.rows.empty() ? QVariant() : text({passwords, 0, 0, s::password::Value});
    if (password.isNull())
        shop.warnings << QStringLiteral("舊資料檔沒有密碼，匯入後的密碼是空的，請盡快設定新密碼。");
    shop.password = password.toString();
    shop.hasPassword = !password.isNull();
}

} // namespace

QStringList legacyTableNames()
{
    return {schema::TeaTable, schema::OrderTable, schema::LineTable, schema::AccountTable, schema::PasswordTable};
}

LegacyShop convertLegacyTables(const JetContents& contents)
{
    QStringList missing;
    for (const QString& name : legacyTableNames())
        if (!contents.table(name.toStdString()))
            missing << QStringLiteral("「%1」").arg(name);
    if (!missing.isEmpty()) {
        QString text = QStringLiteral("舊資料檔缺少資料表%1：它不是這個商店的資料檔，或已損壞。")
                           .arg(missing.join(QStringLiteral("、")));
        // Jet 3 keeps even table names in its code page; a wrong one hides them all.
        if (contents.jetVersion == 0)
            text += QStringLiteral("若是用其他編碼存檔的 Access 97 檔案，請用 --charset 指定編碼（例如 BIG5）。");
        throw DataError(text);
    }

    LegacyShop shop;
    readTeas(contents, shop);
    readOrders(contents, shop);
    readLines(contents, shop);
    readAccount(contents, shop);
    readPassword(contents, shop);
    return shop;
}

namespace {

void removeShopFile(const QString& path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path + QStringLiteral("-journal"));
}

// One prepared statement per table, reused for every row: a shop of a hundred
// thousand order lines then imports in about a second.
class Inserter {
public:
    Inserter(Database& db, const QString& table, const QString& sql) : m_table(table), m_query(db.sql())
    {
        if (!m_query.prepare(sql))
            throw DataError(m_query.lastError().text());
    }
    void insert(qsizetype row, const QVariantList& values)
    {
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values[i]);
        if (!m_query.exec())
            throw DataError(
                QStringLiteral("無法寫入「%1」第 %2 列：%3").arg(m_table).arg(row + 1).arg(m_query.lastError().text()));
    }

private:
    QString m_table;
    QSqlQuery m_query;
};

void store(Database& db, const LegacyShop& shop, const ImportProgress& progress)
{
    const qlonglong total = qMax<qlonglong>(1, shop.teas.size() + shop.orders.size() + shop.lines.size());
    qlonglong done = 0;
    auto step = [&](const QString& stage) {
        if (progress && (++done % 500 == 0 || done == total))
            progress(60 + int(40 * done / total), stage);
    };

    {
        Inserter teas(db, schema::TeaTable, schema::insertRowSql(schema::TeaTable));
        for (qsizetype i = 0; i < shop.teas.size(); ++i) {
            const auto& t = shop.teas[i];
            teas.insert(i, {t.number, t.name, t.cost, t.price, t.stock});
            step(QStringLiteral("寫入茶葉資料"));
        }
    }
    {
        // The numbers are kept; SQLite's AUTOINCREMENT then continues after the highest.
        Inserter orders(db, schema::OrderTable, schema::insertRowSql(schema::OrderTable));
        for (qsizetype i = 0; i < shop.orders.size(); ++i) {
            const auto& o = shop.orders[i];
            orders.insert(i, {o.number, o.customer, o.date, o.contact, o.status});
            step(QStringLiteral("寫入訂單"));
        }
    }
    {
        // Kept numbers, as for orders: the auto-number continues after the highest.
        Inserter lines(db, schema::LineTable, schema::insertRowSql(schema::LineTable));
        for (qsizetype i = 0; i < shop.lines.size(); ++i) {
            const auto& l = shop.lines[i];
            lines.insert(i, {l.order, l.tea, l.quantity, l.id});
            step(QStringLiteral("寫入訂單明細"));
        }
    }
    setStoredBalances(db, shop.cash, shop.bank);
}

} // namespace

LegacyImportSummary importLegacyShop(const JetContents& contents, const QString& target, const ImportProgress& progress,
                                     const std::function<void(Database&)>& fill)
{
    if (Database::isPostgresUrl(target))
        throw DataError(QStringLiteral("舊資料只能匯入到新的 SQLite 資料檔（.db），不能直接匯入 PostgreSQL。"));
    if (target.isEmpty())
        throw DataError(QStringLiteral("請指定要建立的資料檔名稱。"));
    if (QFileInfo::exists(target))
        throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(target));
    const QFileInfo targetInfo(target);
    const QFileInfo folder(targetInfo.absolutePath());
    if (!folder.isDir())
        throw DataError(QStringLiteral("資料夾「%1」不存在。").arg(QDir::toNativeSeparators(folder.filePath())));
    if (!folder.isWritable())
        throw DataError(QStringLiteral("資料夾「%1」無法寫入。").arg(QDir::toNativeSeparators(folder.filePath())));

    const LegacyShop shop = convertLegacyTables(contents);
    if (progress)
        progress(60, QStringLiteral("寫入資料"));

    // Built under a name of its own and renamed at the end, so that neither a failure
    // nor a power cut half-way leaves something at target that looks like a shop.
    const QString temp =
        targetInfo.absoluteDir().filePath(QStringLiteral(".%1.import-%2")
                                              .arg(targetInfo.fileName())
                                              .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    try {
        {
            auto db = createShop(temp, shop.password, [&](Database& d) {
                store(d, shop, progress);
                if (fill)
                    fill(d);
            });
            // One file, no write-ahead log beside it, before it takes its real name;
            // the program turns the log back on when it opens the shop.
            db->useRollbackJournal();
        }
        // Refuses to replace a target that appeared meanwhile.
        if (!QFile::rename(temp, target))
            throw DataError(QStringLiteral("無法把匯入的資料存成「%1」（檔案已經存在或資料夾無法寫入）。").arg(target));
    } catch (...) {
        removeShopFile(temp);
        throw;
    }

    LegacyImportSummary summary;
    summary.teas = shop.teas.size();
    summary.orders = shop.orders.size();
    summary.lines = shop.lines.size();
    summary.accounts = shop.hasAccount ? 1 : 0;
    summary.passwords = shop.hasPassword ? 1 : 0;
    summary.password = shop.password;
    summary.warnings = shop.warnings;
    if (progress)
        progress(100, QStringLiteral("完成"));
    return summary;
}

LegacyImportSummary importLegacyFile(const QString& mdbPath, const QString& target, const LegacyImportOptions& options)
{
    // Checked before the source is read, so a refusal costs nothing.
    if (QFileInfo::exists(target))
        throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(target));

    legacy::JetFileReader reader(options.readerPath.isEmpty() ? legacy::JetFileReader::locateReader()
                                                              : options.readerPath);
    reader.setCharset(options.charset);
    const QStringList names = legacyTableNames();
    if (options.progress) {
        // Rows arrive one by one; the bar hears only of whole percents.
        reader.onProgress = [&, last = -1](const QString& table, qint64 rows, qint64 count) mutable {
            const qsizetype at = qMax<qsizetype>(0, names.indexOf(table));
            const double part = count > 0 ? qMin(1.0, double(rows) / double(count)) : 0.0;
            const int percent = int(60 * (double(at) + part) / double(names.size()));
            if (percent == last && rows != 0)
                return;
            last = percent;
            options.progress(percent, QStringLiteral("讀取「%1」").arg(table));
        };
    }
    const legacy::JetReadResult read = reader.read(mdbPath, names);
    if (!read.ok)
        throw DataError(read.error);
    return importLegacyShop(read.contents, target, options.progress, options.fill);
}

} // namespace lumaro
