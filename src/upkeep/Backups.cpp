#include "upkeep/Backups.h"

#include "books/Audit.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Faults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <numeric>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumaro {

namespace {

QString shown(const QString& file) { return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()); }
QByteArray native(const QString& path) { return QFile::encodeName(path); }

void syncPath(const QString& path, bool directory)
{
    const int fd = ::open(native(path).constData(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A file descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

// One process at a time changes what a folder holds of a shop (the list of
// its backups, a restore's files); the lock goes with the process.
class FolderLock {
public:
    explicit FolderLock(const QString& folder)
        : m_fd(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd.ok())
            while (::flock(m_fd.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
    }

private:
    Fd m_fd;
};

QString datedName(const QString& baseName, const QDate& day)
{
    return QStringLiteral("%1-%2.db").arg(baseName, day.toString(QStringLiteral("yyyy-MM-dd")));
}

// The day in the name of a dated backup of baseName; invalid for any other name.
QDate dayOf(const QString& baseName, const QString& fileName)
{
    const QRegularExpression dated(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})\\.db$").arg(QRegularExpression::escape(baseName)));
    const QRegularExpressionMatch m = dated.match(fileName);
    return m.hasMatch() ? QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd")) : QDate();
}

// The list of the backups Lumaro wrote of one shop, oldest first, beside
// them. A copy the owner makes is never on it, whatever its name.
QString listPath(const QString& folder, const QString& baseName)
{
    return QDir(folder).filePath(QStringLiteral(".%1-backups.list").arg(baseName));
}

QStringList readList(const QString& folder, const QString& baseName)
{
    QFile f(listPath(folder, baseName));
    QStringList names;
    if (!f.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line);
        // Only names of dated backups of this shop: a list changed by hand
        // cannot point anywhere else.
        if (dayOf(baseName, name).isValid() && !names.contains(name))
            names << name;
    }
    return names;
}

// Written whole under another name and renamed over the list, owner-only.
void writeList(const QString& folder, const QString& baseName, const QStringList& names)
{
    const QString path = listPath(folder, baseName);
    const QString temp = path + QStringLiteral(".new");
    const Fd fd(::open(native(temp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.ok())
        return;
    const QByteArray text = names.isEmpty() ? QByteArray() : names.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (::write(fd.get(), text.constData(), size_t(text.size())) != text.size() || ::fsync(fd.get()) != 0 ||
        ::rename(native(temp).constData(), native(path).constData()) != 0)
        ::unlink(native(temp).constData());
}

} // namespace

QString backupFolder(const QString& shopFile)
{
    return QFileInfo(shopFile).absoluteDir().filePath(QStringLiteral("backups"));
}

QString takeDailyBackup(Database& db, const QDate& today, const BackupKeep& keep)
{
    if (!db.isSQLite())
        return {};
    const QString folder = backupFolder(db.target());
    // The backups hold the shop's money and password hash: a folder made here
    // is the owner's alone from the start. One the owner made, or linked to
    // another disk, keeps the mode the owner gave it.
    if (::mkdir(native(folder).constData(), 0700) != 0 && errno != EEXIST)
        throw DataError(QStringLiteral("無法建立備份資料夾「%1」：沒有寫入權限，或磁碟是唯讀的。").arg(shown(folder)));
    const QString baseName = QFileInfo(db.target()).completeBaseName();
    const QString name = datedName(baseName, today);
    const QString dest = QDir(folder).filePath(name);
    if (QFileInfo::exists(dest))
        return {};
    try {
        backupShop(db, dest);
    } catch (const DataError& e) {
        if (QFileInfo::exists(dest)) // another terminal on this file was quicker
            return {};
        if (e.description().contains(shown(dest)))
            throw;
        throw DataError(QStringLiteral("無法寫入備份檔「%1」：%2").arg(shown(dest), e.description()));
    }
    noteBackups(folder, baseName, {name});
    pruneBackups(folder, baseName, today, keep);
    return dest;
}

void noteBackups(const QString& folder, const QString& baseName, const QStringList& fileNames)
{
    const FolderLock lock(folder);
    QStringList names = readList(folder, baseName);
    for (const QString& name : fileNames) {
        names.removeAll(name);
        names << name;
    }
    writeList(folder, baseName, names);
}

QStringList pruneBackups(const QString& folder, const QString& baseName, const QDate& today, const BackupKeep& keep)
{
    const FolderLock lock(folder);
    const QDir dir(folder);
    QStringList names; // in the order written, oldest first
    for (const QString& name : readList(folder, baseName))
        if (QFileInfo(dir.filePath(name)).isFile())
            names << name;

    // The day each backup counts as. A clock set ahead dates a backup in the
    // future; it is no newer than the backup written after it, or than today.
    const qsizetype n = names.size();
    QList<QDate> day(n);
    QDate next = today;
    for (qsizetype i = n - 1; i >= 0; --i) {
        const QDate named = dayOf(baseName, names[i]);
        day[i] = named <= today ? named : next;
        next = day[i];
    }

    // The newest few are kept whatever the clock says; today's always is.
    const QDate firstDaily = today.addDays(-(std::max(keep.days, 1) - 1));
    const QDate thisMonth(today.year(), today.month(), 1);
    const QDate firstMonthly = thisMonth.addMonths(-(std::max(keep.months, 0) - 1));
    QList<bool> kept(n);
    for (qsizetype i = 0; i < n; ++i)
        kept[i] = i >= n - KeepNewestBackups || day[i] >= firstDaily;
    // The month's first backup stands for it.
    QList<qsizetype> byDay(n);
    std::iota(byDay.begin(), byDay.end(), 0);
    std::stable_sort(byDay.begin(), byDay.end(), [&](qsizetype a, qsizetype b) { return day[a] < day[b]; });
    QSet<int> monthsKept; // year * 12 + month
    for (qsizetype i : byDay) {
        const int month = day[i].year() * 12 + day[i].month();
        if (keep.months > 0 && day[i] >= firstMonthly && !monthsKept.contains(month)) {
            monthsKept.insert(month);
            kept[i] = true;
        }
    }

    QStringList removed, left;
    for (qsizetype i = 0; i < n; ++i) {
        if (!kept[i] && QFile::remove(dir.filePath(names[i])))
            removed << dir.filePath(names[i]);
        else
            left << names[i];
    }
    writeList(folder, baseName, left);
    return removed;
}

namespace {

// SQLite's lock bytes (its os_unix.c). A connection holds a shared lock on
// part of the shop file's shared range while it reads, and in WAL mode (the
// program's) for as long as it is open; every connection in WAL mode also holds
// a shared lock on the "dead man switch" byte of the -shm.
constexpr off_t PendingByte = 0x40000000;
constexpr off_t SharedFirst = PendingByte + 2;
constexpr off_t SharedSize = 510;
constexpr off_t ShmDeadManSwitch = 120 + 8;

enum class Hold { Held, InUse, Unknown };

// Takes the write lock on a byte range of the file open as fd, as SQLite
// would for its exclusive lock; a read-only fd can only ask whether another
// holds it. Open file description locks: SQLite's own locks in other processes
// conflict with them, and closing another descriptor of the file here does not
// drop them.
Hold hold(int fd, bool writable, off_t start, off_t length)
{
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_start = start;
    l.l_len = length;
    if (::fcntl(fd, writable ? F_OFD_SETLK : F_OFD_GETLK, &l) != 0)
        return errno == EAGAIN || errno == EACCES ? Hold::InUse : Hold::Unknown;
    return writable || l.l_type == F_UNLCK ? Hold::Held : Hold::InUse;
}

// Opens file to hold it, for writing when it may be written.
int openToHold(const QString& file, bool* writable)
{
    const int fd = ::open(native(file).constData(), O_RDWR | O_CLOEXEC);
    *writable = fd >= 0;
    return fd >= 0 ? fd : ::open(native(file).constData(), O_RDONLY | O_CLOEXEC);
}

// The refusal of a backup the shop should not be put back from, or nothing.
void refuseUnfit(const ShopCheck& c, const QString& backup)
{
    if (c.newer())
        throw DataError(QStringLiteral("備份檔「%1」不能還原：%2").arg(shown(backup), c.refusals[0].text));
    if (c.damaged())
        throw DataError(
            QStringLiteral("備份檔「%1」已損壞：%2").arg(shown(backup), c.integrity.join(QLatin1Char(' '))));
    QStringList why;
    for (const Refusal& r : c.refusals)
        why << r.text;
    QStringList others; // triggers and rules are in the refusal above
    for (const ShopObject& o : c.foreign)
        if (!o.actsOnWrites())
            others << o.describe();
    if (!others.isEmpty())
        why << QStringLiteral("備份檔裡有不是 Lumaro 建立的物件，可能被人改過：%1")
                   .arg(others.join(QStringLiteral("、")));
    for (const ShopCheck::Mismatch& m : c.books)
        why << QStringLiteral("%1 %2 的「%3」存的是 %4，依帳務日誌應為 %5：備份檔可能被人改過。")
                   .arg(m.table, m.row, m.column, m.stored, m.expected);
    if (!why.isEmpty())
        throw DataError(QStringLiteral("備份檔「%1」不能還原：\r%2").arg(shown(backup), why.join(QLatin1Char('\r'))));
}

// Checks the shop file at path as lumaro-admin check does, reading only.
void checkBackup(const QString& path, const QString& backup)
{
    ShopCheck c;
    try {
        const std::unique_ptr<Database> db = Database::openReadOnly(path);
        c = checkShop(*db);
    } catch (const DataError& e) {
        throw DataError(QStringLiteral("備份檔「%1」無法使用：%2").arg(shown(backup), e.description()));
    }
    refuseUnfit(c, backup);
}

QString restorePrefix(const QString& fileName) { return QStringLiteral(".%1.restore-").arg(fileName); }

// What a restore killed part-way left beside the shop: its hidden copy (with
// the temporary file and journal of making it), and a second name of the shop
// itself, made to keep it, that was never needed. Only called while no
// other restore can be at work there.
void sweep(const QDir& dir, const QString& fileName, const struct stat& shop, bool shopExists)
{
    const QString copy = restorePrefix(fileName);
    const QString kept = fileName + QStringLiteral(".before-restore-");
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        struct stat s {};
        if (name.startsWith(copy) || name.startsWith(QLatin1Char('.') + copy))
            ::unlink(native(path).constData());
        else if (shopExists && name.startsWith(kept) && ::lstat(native(path).constData(), &s) == 0 &&
                 s.st_dev == shop.st_dev && s.st_ino == shop.st_ino)
            ::unlink(native(path).constData());
    }
}

// Keeps the shop file under the name aside, by a second name where the disk
// allows it, or by a copy (the file is held: nobody writes it meanwhile).
// Returns errno, or 0; EEXIST when the name is taken.
int keepAside(int shopFd, const QString& shop, const QString& aside)
{
    if (::link(native(shop).constData(), native(aside).constData()) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
        return errno;
    const Fd out(::open(native(aside).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.ok())
        return errno;
    char buffer[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(shopFd, buffer, sizeof buffer, at);
        if (got == 0 && ::fsync(out.get()) == 0)
            return 0;
        if (got < 0 || ::write(out.get(), buffer, size_t(got)) != got) {
            const int error = errno ? errno : EIO;
            ::unlink(native(aside).constData());
            return error;
        }
        at += got;
    }
}

// Where a restore puts the backup: the real shop file behind any link, and
// its folder. Every refusal here comes before anything is made or held.
struct RestorePlace {
    QString real;
    QFileInfo place;
    QDir dir;
};

RestorePlace restorePlace(const QFileInfo& source, const QString& backup, const QString& target)
{
    if (Database::isPostgresUrl(target))
        throw DataError(QStringLiteral("PostgreSQL 的資料庫請用 pg_restore（或 psql）從 pg_dump 的備份還原。"));
    if (!source.isFile())
        throw DataError(QStringLiteral("找不到備份檔「%1」。").arg(shown(backup)));
    // The shop behind any link: its -wal and -shm, and the locks of whoever
    // has it open, are those of the real file.
    const QFileInfo given(target);
    if (!given.exists() && given.isSymLink())
        throw DataError(QStringLiteral("「%1」是一個連結，它指向的檔案「%2」不存在。")
                            .arg(shown(target), QDir::toNativeSeparators(given.symLinkTarget())));
    const QString real = given.exists() ? given.canonicalFilePath() : given.absoluteFilePath();
    if (source.canonicalFilePath() == real)
        throw DataError(QStringLiteral("備份檔不能是資料檔本身。"));
    const QFileInfo place(real);
    const QDir dir = place.absoluteDir();
    if (!dir.exists())
        throw DataError(QStringLiteral("資料夾「%1」不存在。").arg(shown(place.absolutePath())));
    return {real, place, dir};
}

// A consistent copy of the backup beside the shop, made by SQLite (a backup
// that was itself opened, with a -wal beside it, comes over whole) and
// owner-only from its first byte. The backup is checked before, and the copy
// after, so what is put in place is what was checked. Returns the copy.
QString checkedCopy(const QFileInfo& source, const QString& backup, const RestorePlace& at)
{
    const QString copy =
        at.dir.filePath(restorePrefix(at.place.fileName()) +
                        QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    try {
        checkBackup(source.absoluteFilePath(), backup);
        {
            auto from = Database::openReadOnly(source.absoluteFilePath());
            backupShop(*from, copy);
        }
        checkBackup(copy, backup);
    } catch (...) {
        QFile::remove(copy);
        throw;
    }
    return copy;
}

// Throws the refusal after removing the copy, which then never reaches the shop.
using Refuse = std::function<void(const QString&)>;

// Holds the existing shop so that no program opens it until the swap is done:
// its log is written into the file first (whatever a program that ended
// without closing left there), then the file, and its -shm where there is
// one, are locked as SQLite's own users lock them. Refuses a shop in use, or
// one whose log could not be written in; removes the emptied logs.
void holdShop(const QString& real, const QString& target, Fd& held, Fd& heldShm, const Refuse& refuse)
{
    Database::foldLog(real);
    const QString inUse =
        QStringLiteral("資料檔「%1」正在使用中：請先關閉每一個開著它的 Lumaro，再還原。").arg(shown(target));
    bool writable = false;
    held.reset(openToHold(real, &writable));
    if (!held.ok()) {
        const int error = errno;
        refuse(QStringLiteral("無法開啟資料檔「%1」：%2。").arg(shown(target), fileErrorReason(error)));
    }
    Hold h = hold(held.get(), writable, PendingByte, 1);
    if (h == Hold::Held)
        h = hold(held.get(), writable, SharedFirst, SharedSize);
    const QString shm = real + QStringLiteral("-shm");
    if (h == Hold::Held && QFileInfo::exists(shm)) {
        bool shmWritable = false;
        heldShm.reset(openToHold(shm, &shmWritable));
        if (heldShm.ok())
            h = hold(heldShm.get(), shmWritable, ShmDeadManSwitch, 1);
    }
    if (h == Hold::InUse)
        refuse(inUse);
    if (h == Hold::Unknown)
        refuse(QStringLiteral("無法確認資料檔「%1」是否正在使用中（這個磁碟不支援檔案鎖定），所以沒有還原。")
                   .arg(shown(target)));
    // Nobody has it open. A log still holding moves could not be written
    // into the file; without it the file is not the whole shop, and beside
    // the backup SQLite would replay it onto the backup.
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        const QFileInfo log(real + suffix);
        if (log.exists() && log.size() > 0)
            refuse(QStringLiteral("資料檔「%1」旁的「%2」還有沒寫進資料檔的資料，無法先把它們寫進去，所以沒有還原。"
                                  "請先用 lumaro-admin check 檢查資料檔。")
                       .arg(shown(target), shown(log.filePath())));
    }
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-journal"), QStringLiteral("-shm")})
        ::unlink(native(real + suffix).constData());
}

// Keeps the held shop under a dated name beside it (numbered when that name is
// taken) and returns that name; the copy then takes the shop's owner.
QString keepOldShop(int heldFd, const QString& real, const QString& target, const QDateTime& now, const QDir& dir,
                    const QString& copy, const struct stat& shop, const Refuse& refuse)
{
    const QString base = real + QStringLiteral(".before-restore-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    int error = keepAside(heldFd, real, aside);
    for (int n = 2; error == EEXIST; ++n) {
        aside = base + QStringLiteral("-%1").arg(n);
        error = keepAside(heldFd, real, aside);
    }
    if (error != 0)
        refuse(QStringLiteral("無法把資料檔「%1」保留為「%2」：%3。")
                   .arg(shown(target), shown(aside), fileErrorReason(error)));
    syncPath(dir.path(), true);
    // The backup goes in with the shop file's owner, where the system
    // lets it (an administrator restoring a user's shop).
    if (::chown(native(copy).constData(), shop.st_uid, shop.st_gid) != 0) {
        // Only an administrator may give a file away; the owner's own copy is theirs already.
    }
    return aside;
}

// Puts the checked copy in the shop's place. Should that fail, the kept-aside
// name goes again, so the shop stays where it was, as it was.
void swapIn(const QString& copy, const QString& real, const QString& target, const QString& aside, bool existed,
            const struct stat& shop, const QDir& dir, const Refuse& refuse)
{
    if (::rename(native(copy).constData(), native(real).constData()) != 0) {
        const int error = errno;
        if (!aside.isEmpty())
            ::unlink(native(aside).constData());
        refuse(QStringLiteral("無法把備份放到「%1」：%2。").arg(shown(target), fileErrorReason(error)));
    }
    // The copy was the owner's alone until it became the shop; now it gets the
    // mode the shop had (a shop shared by a group stays shared).
    if (existed)
        ::chmod(native(real).constData(), shop.st_mode & 07777);
    syncPath(dir.path(), true);
}

} // namespace

QString restoreShop(const QString& backup, const QString& target, const QDateTime& now)
{
    const QFileInfo source(backup);
    const RestorePlace at = restorePlace(source, backup, target);

    const FolderLock lock(at.dir.path());
    struct stat shop {};
    const bool exists = ::stat(native(at.real).constData(), &shop) == 0;
    sweep(at.dir, at.place.fileName(), shop, exists);

    const QString copy = checkedCopy(source, backup, at);
    const Refuse refuse = [&](const QString& why) {
        QFile::remove(copy);
        throw DataError(why);
    };

    QString aside;
    Fd held, heldShm; // the shop is held from here until the swap is done
    if (exists) {
        holdShop(at.real, target, held, heldShm, refuse);
        aside = keepOldShop(held.get(), at.real, target, now, at.dir, copy, shop, refuse);
    }
    swapIn(copy, at.real, target, aside, exists, shop, at.dir, refuse);
    return aside;
}

} // namespace lumaro
