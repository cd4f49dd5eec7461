// import-mdb, backup, restore and check: moving a shop in from the old program, and keeping it safe.
#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Help.h"
#include "admin/Terminal.h"

#include "base/Numbers.h"
#include "books/Audit.h"
#include "books/Shop.h"
#include "books/Upgrade.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "upkeep/Backups.h"
#include "upkeep/LegacyImport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace lumaro::admin {

namespace {

QString shown(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("（空白）");
    bool ok = false;
    const double x = v.toDouble(&ok);
    return ok && v.typeId() != QMetaType::QString ? describeNumber(x) : v.toString();
}

} // namespace

int importMdb(const QStringList& args)
{
    const CommandShape shape{.name = QStringLiteral("import-mdb"),
                             .option = QStringLiteral("charset"),
                             .optionDefault = QString(),
                             .fewestPlain = 1,
                             .mostPlain = 2,
                             .usage = QStringLiteral(
                                 "用法：lumaro-admin import-mdb [--charset 編碼] 舊資料檔.mdb [新資料檔.db]")};
    return runCommand(
        shape, args,
        [](const CommandInput& in) {
            const QString source = in.plain[0];
            const QString target = in.plain.size() > 1 ? in.plain[1] : Database::defaultFile();
            LegacyImportOptions options;
            options.charset = in.option;
            const LegacyImportSummary s = importLegacyFile(source, target, options);
            out(QStringLiteral("已從「%1」匯入到新的資料檔「%2」：").arg(source, target));
            out(QStringLiteral("  %1  %2 列").arg(schema::TeaTable).arg(s.teas));
            out(QStringLiteral("  %1  %2 列").arg(schema::OrderTable).arg(s.orders));
            out(QStringLiteral("  %1  %2 列").arg(schema::LineTable).arg(s.lines));
            out(QStringLiteral("  %1  %2 列").arg(schema::AccountTable).arg(s.accounts));
            out(QStringLiteral("  %1      %2 列").arg(schema::PasswordTable).arg(s.passwords));
            for (const QString& w : s.warnings)
                out(QStringLiteral("注意：%1").arg(w));
            if (s.passwords)
                out(QStringLiteral("開啟系統的密碼與舊程式相同。"));
            return 0;
        },
        [] { err(QStringLiteral("沒有建立任何資料檔。")); });
}

int backup(const QStringList& args)
{
    const CommandShape shape{.name = QStringLiteral("backup"),
                             .option = QStringLiteral("database"),
                             .optionDefault = QString(), // the shop lumaro would open
                             .fewestPlain = 1,
                             .mostPlain = 1,
                             .usage = QStringLiteral("用法：lumaro-admin backup [--database 資料檔] 備份檔")};
    return runCommand(shape, args, [](const CommandInput& in) {
        const QString database = chosenShop(in.option);
        // Read only: a read-only shop file, or one on read-only media, is
        // backed up as it is.
        {
            auto db = Database::openReadOnly(database);
            backupShop(*db, in.plain[0]);
        }
        out(QStringLiteral("已把「%1」備份到「%2」。")
                .arg(QFileInfo(database).absoluteFilePath(), QFileInfo(in.plain[0]).absoluteFilePath()));
        return 0;
    });
}

int restore(const QStringList& args)
{
    const CommandShape shape{.name = QStringLiteral("restore"),
                             .option = QStringLiteral("database"),
                             .optionDefault = QString(), // the shop lumaro would open
                             .fewestPlain = 1,
                             .mostPlain = 1,
                             .usage = QStringLiteral("用法：lumaro-admin restore 備份檔 [--database 資料檔]")};
    return runCommand(
        shape, args,
        [](const CommandInput& in) {
            const QString database = chosenShop(in.option);
            const QString target =
                Database::isPostgresUrl(database) ? database : QFileInfo(database).absoluteFilePath();
            const QString aside = restoreShop(in.plain[0], target, QDateTime::currentDateTime());
            out(QStringLiteral("已用備份「%1」還原資料檔「%2」。")
                    .arg(QFileInfo(in.plain[0]).absoluteFilePath(), target));
            if (!aside.isEmpty())
                out(QStringLiteral("原來的資料檔保留為「%1」。").arg(aside));
            return 0;
        },
        [] { err(QStringLiteral("資料檔沒有任何改變。")); });
}

namespace {

// "無" for none, else how many, with the unit the line counts in.
QString howMany(qsizetype count, const QString& unit)
{
    return count == 0 ? QStringLiteral("無") : QString::number(count) + QLatin1Char(' ') + unit;
}

void printVersionAndIntegrity(const QString& database, const ShopCheck& c)
{
    out(QStringLiteral("資料檔：%1").arg(database));
    out(QStringLiteral("資料版本：%1%2")
            .arg(c.version)
            .arg(c.version < schema::CurrentVersion
                     ? QStringLiteral("（較舊，程式開啟時或用 lumaro-admin upgrade 升級到 %1）")
                           .arg(schema::CurrentVersion)
                     : QString()));
    out(QStringLiteral("完整性檢查：%1").arg(c.integrity.join(QStringLiteral("\n  "))));
}

// Rows that break what the program assumes of them, each kind with its rows.
void printBadRows(const ShopCheck& c)
{
    out(QStringLiteral("對不到訂單或茶葉的訂單明細：%1").arg(howMany(c.orphanLines.size(), QStringLiteral("筆"))));
    for (const auto& o : c.orphanLines) {
        QStringList why;
        if (o.orderGone)
            why << QStringLiteral("訂單 %1 已不存在").arg(shown(o.order));
        if (o.teaGone)
            why << QStringLiteral("茶葉「%1」已不存在").arg(shown(o.tea));
        out(QStringLiteral("  明細 %1：%2").arg(o.line).arg(why.join(QStringLiteral("，"))));
    }
    out(QStringLiteral("庫存是負數的茶葉：%1").arg(howMany(c.negativeStock.size(), QStringLiteral("種"))));
    for (const auto& s : c.negativeStock)
        out(QStringLiteral("  %1 %2：%3").arg(s.tea, s.name.toString(), describeNumber(s.stock)));
    if (!c.negativeStock.isEmpty())
        out(QStringLiteral("  請在程式的「庫存」選單開「盤點庫存」，輸入實際點算的數量後過帳，帳上庫存就會改正。"));
    out(QStringLiteral("狀態不是 0 或 1 的訂單：%1").arg(howMany(c.badStatus.size(), QStringLiteral("張"))));
    for (const auto& s : c.badStatus)
        out(QStringLiteral("  訂單 %1：狀態 %2").arg(s.order).arg(s.status));
    out(QStringLiteral("無法計算的數值（無限大、NaN、文字或超過一兆）：%1")
            .arg(howMany(c.badNumbers.size(), QStringLiteral("個"))));
    for (const auto& b : c.badNumbers)
        out(QStringLiteral("  %1 %2 %3 的 %4：%5").arg(b.table, b.keyColumn, b.key, b.column, shown(b.value)));
    out(QStringLiteral("不是 Lumaro 建立的觸發程序、檢視表或其他物件：%1")
            .arg(howMany(c.foreign.size(), QStringLiteral("個"))));
    for (const ShopObject& o : c.foreign)
        out(QStringLiteral("  %1").arg(o.describe()));
}

// The balances, and from data version 2 on, how they agree with the journal.
void printBooks(const ShopCheck& c)
{
    if (c.accountRows != 1)
        out(QStringLiteral("帳款資料表應有 1 列，現有 %1 列。").arg(c.accountRows));
    out(QStringLiteral("現金：%1").arg(shown(c.cash)));
    out(QStringLiteral("銀行：%1").arg(shown(c.bank)));
    if (c.version < 2)
        return;
    out(QStringLiteral("與期初加帳務日誌不符的餘額或庫存：%1").arg(howMany(c.books.size(), QStringLiteral("筆"))));
    for (const auto& m : c.books)
        out(QStringLiteral("  %1 %2 的「%3」：存的是 %4，依帳務日誌應為 %5")
                .arg(m.table, m.row, m.column, m.stored, m.expected));
    out(QStringLiteral("沒有單價的結帳日誌：%1").arg(howMany(c.unpricedSales.size(), QStringLiteral("筆"))));
    for (const auto& u : c.unpricedSales)
        out(QStringLiteral("  日誌 %1：訂單 %2，茶葉 %3 %4")
                .arg(u.row)
                .arg(shown(u.order), shown(u.tea), u.name.toString()));
    // Only shops with returns can have these: the line stays out of the
    // report of every other shop.
    if (!c.overreturned.isEmpty()) {
        out(QStringLiteral("退貨超過賣出數量的明細：%1").arg(howMany(c.overreturned.size(), QStringLiteral("筆"))));
        for (const auto& o : c.overreturned)
            out(QStringLiteral("  日誌 %1：訂單 %2，茶葉 %3，賣出 %4，退貨 %5")
                    .arg(o.row)
                    .arg(shown(o.order), shown(o.tea), o.sold, o.returned));
    }
    qlonglong unknown = 0;
    for (const auto& k : c.unknownKinds)
        unknown += k.rows;
    out(QStringLiteral("程式不認得種類的帳務日誌：%1").arg(howMany(unknown, QStringLiteral("筆"))));
    for (const auto& k : c.unknownKinds)
        out(QStringLiteral("  種類「%1」：%2 筆，最早的是日誌 %3").arg(k.kind).arg(k.rows).arg(k.first));
}

// What keeps the program from opening the shop or anyone from unlocking it.
void printRefusals(const ShopCheck& c)
{
    out(QStringLiteral("程式會拒絕開啟或解鎖的原因：%1").arg(howMany(c.refusals.size(), QStringLiteral("個"))));
    for (const Refusal& r : c.refusals)
        out(QStringLiteral("  %1").arg(QString(r.text).replace(QLatin1Char('\r'), QStringLiteral("\n    "))));
}

// The last line, and the exit code it stands for.
int printVerdict(const ShopCheck& c)
{
    if (c.damaged()) {
        out(QStringLiteral("結果：資料檔已損壞，請從備份還原。"));
        return 1;
    }
    if (!c.clean() || !c.refusals.isEmpty()) {
        out(QStringLiteral("結果：資料檔完整，但有上面列出的問題。"));
        return 3;
    }
    out(QStringLiteral("結果：正常。"));
    return 0;
}

// What check is doing, on standard error when that is a terminal: a line per
// step, and for the integrity check, which reads the whole file and takes
// nearly all of the time, how much of the file it has read so far. Nothing
// when standard error is a file or a pipe.
class CheckLine {
public:
    explicit CheckLine(const QString& file) : m_on(::isatty(STDERR_FILENO) == 1), m_size(QFileInfo(file).size()) {}
    // A check cut short leaves its step's line as it was.
    ~CheckLine()
    {
        stopTicking();
        if (m_on && !m_step.isEmpty())
            std::fputs("\n", stderr);
    }
    CheckLine(const CheckLine&) = delete;
    CheckLine& operator=(const CheckLine&) = delete;

    void step(const QString& name, bool wholeFile)
    {
        if (!m_on)
            return;
        stopTicking();
        std::lock_guard lock(m_mutex);
        if (!m_step.isEmpty())
            show(QStringLiteral("%1… 完成\n").arg(m_step));
        m_step = name;
        if (name.isEmpty())
            return;
        show(QStringLiteral("%1…").arg(name));
        if (wholeFile && m_size > 0) {
            m_start = bytesRead();
            m_ticking = true;
            m_ticker = std::thread([this] { tick(); });
        }
    }

private:
    // Bytes this process has read so far; SQLite reads the file with
    // pread(), each page once during an integrity check.
    static qint64 bytesRead()
    {
        QFile io(QStringLiteral("/proc/self/io"));
        if (!io.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : io.readAll().split('\n'))
            if (line.startsWith("rchar:"))
                return line.mid(6).trimmed().toLongLong();
        return -1;
    }
    void show(const QString& text) const
    {
        std::fputs("\r\033[K", stderr);
        std::fputs(text.toUtf8().constData(), stderr);
        std::fflush(stderr);
    }
    void tick()
    {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return !m_ticking; })) {
            const qint64 now = bytesRead();
            if (m_start < 0 || now < 0)
                continue;
            const qint64 percent = std::min<qint64>(99, (now - m_start) * 100 / m_size);
            show(QStringLiteral("%1… %2%").arg(m_step).arg(percent));
        }
    }
    void stopTicking()
    {
        {
            std::lock_guard lock(m_mutex);
            m_ticking = false;
        }
        m_wake.notify_all();
        if (m_ticker.joinable())
            m_ticker.join();
    }

    const bool m_on;
    const qint64 m_size;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_ticker;
    bool m_ticking = false;
    QString m_step;
    qint64 m_start = 0;
};

} // namespace

int check(const QStringList& args)
{
    const CommandShape shape{.name = QStringLiteral("check"),
                             .option = QStringLiteral("database"),
                             .optionDefault = QString(), // the shop lumaro would open
                             .fewestPlain = 0,
                             .mostPlain = 0,
                             .usage = QStringLiteral("用法：lumaro-admin check [--database 資料檔]")};
    ShopCheck c;
    QString database;
    const int read = runCommand(
        shape, args,
        [&](const CommandInput& in) {
            // Read only: the check changes no byte of the shop, not even its journal mode.
            database = chosenShop(in.option);
            auto db = Database::openReadOnly(database);
            CheckLine line(Database::isPostgresUrl(database) ? QString() : database);
            c = checkShop(*db, [&line](const QString& step, bool wholeFile) { line.step(step, wholeFile); });
            return 0;
        },
        [] { out(QStringLiteral("結果：資料檔無法讀取或已損壞。")); });
    // Nothing read: wrong arguments, a failure, or only the help asked for.
    if (read != 0 || database.isEmpty())
        return read;
    if (c.newer()) {
        err(c.refusals[0].text);
        out(QStringLiteral("結果：資料檔比這個程式新，沒有檢查。"));
        return 1;
    }
    // The report is printed after the read: a fault in printing it is not a
    // shop that could not be read.
    printVersionAndIntegrity(database, c);
    printBadRows(c);
    printBooks(c);
    printRefusals(c);
    return printVerdict(c);
}
int upgrade(const QStringList& args)
{
    const CommandShape shape{.name = QStringLiteral("upgrade"),
                             .option = QStringLiteral("database"),
                             .optionDefault = QString(), // the shop lumaro would open
                             .fewestPlain = 0,
                             .mostPlain = 0,
                             .usage = QStringLiteral("用法：lumaro-admin upgrade [--database 資料檔]")};
    return runCommand(shape, args, [](const CommandInput& in) {
        const QString database = chosenShop(in.option);
        auto db = openShop(database);
        const int before = upgrade::versionOf(*db);
        const QString backup = upgrade::run(*db);
        if (before >= schema::CurrentVersion) {
            out(QStringLiteral("「%1」已經是資料版本 %2，不需要升級。").arg(database).arg(before));
            return 0;
        }
        out(QStringLiteral("已把「%1」從資料版本 %2 升級到 %3。")
                .arg(database)
                .arg(before)
                .arg(upgrade::versionOf(*db)));
        if (!backup.isEmpty())
            out(QStringLiteral("升級前的資料檔保存在「%1」。").arg(backup));
        return 0;
    });
}

} // namespace lumaro::admin
