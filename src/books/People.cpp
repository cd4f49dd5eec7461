#include "books/People.h"

#include "books/Password.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"
#include "platform/Failure.h"

#include <QSqlQuery>

namespace lumaro::people {

namespace {

using namespace schema;

QString allSql()
{
    return statement("SELECT {w.id}, {w.name}, {w.role}, {w.password}, {w.retired} FROM {W} ORDER BY {w.id}");
}
QString oneSql()
{
    return statement("SELECT {w.id}, {w.name}, {w.role}, {w.password}, {w.retired} FROM {W} WHERE {w.id} = ?");
}
QString nameSql() { return statement("SELECT {w.name} FROM {W} WHERE {w.id} = ?"); }
QString nameTakenSql() { return statement("SELECT 1 FROM {W} WHERE {w.name} = ?"); }
QString insertSql()
{
    return statement("INSERT INTO {W} ({w.name}, {w.role}, {w.password}, {w.retired}) VALUES (?, ?, ?, 0)");
}
QString roleSql() { return statement("UPDATE {W} SET {w.role} = ? WHERE {w.id} = ?"); }
QString passwordSql() { return statement("UPDATE {W} SET {w.password} = ? WHERE {w.id} = ?"); }
QString retireSql() { return statement("UPDATE {W} SET {w.retired} = 1 WHERE {w.id} = ?"); }
// The active owners but one: whether the shop keeps an owner without them.
QString otherOwnersSql()
{
    return statement("SELECT count(*) FROM {W} WHERE {w.role} = ? AND {w.retired} = 0 AND {w.id} <> ?");
}
QString shopPasswordSql() { return statement("SELECT {p.value} FROM {P}"); }

struct Stored {
    Person person;
    QVariant hash;
};

Stored read(const QSqlQuery& q)
{
    Stored s;
    s.person.id = q.value(0).toLongLong();
    s.person.name = q.value(1).toString();
    s.person.role = roleNamed(q.value(2).toString()).value_or(Role::Clerk);
    s.hash = q.value(3);
    s.person.retired = q.value(4).toInt() != 0;
    s.person.holdsShopPassword = s.hash.isNull();
    return s;
}

QList<Stored> stored(Database& db)
{
    QList<Stored> out;
    QSqlQuery q = db.exec(allSql());
    while (q.next())
        out << read(q);
    return out;
}

// The shop keeps no people yet: its own password opens it, as its owner.
Person implicitOwner()
{
    Person p;
    p.name = firstOwnerName();
    p.holdsShopPassword = true;
    return p;
}

// Whether a stored password opens with the entry. A hash that cannot be read,
// or asks more than the lock may spend, opens with nothing: the others are
// still tried. A person's own password is only ever kept as a hash, so text
// planted in its place opens nothing either.
bool opens(const QVariant& stored, const QString& entered)
{
    try {
        return isPasswordHash(stored.toString()) && passwordMatches(stored, entered);
    } catch (const DataError&) {
        return false;
    }
}

// The same for the shop's own password, which a shop brought over from the
// old file format keeps as it was typed.
bool opensShop(const QVariant& stored, const QString& entered)
{
    try {
        return passwordMatches(stored, entered);
    } catch (const DataError&) {
        return false;
    }
}

// Whether someone other than the person given already signs in with the
// password: it would no longer tell who is working.
bool passwordTaken(Database& db, qlonglong except, const QString& password)
{
    const QList<Stored> everyone = stored(db);
    bool shopPasswordHeld = everyone.isEmpty();
    for (const Stored& s : everyone) {
        if (s.person.retired)
            continue;
        if (s.person.holdsShopPassword) {
            if (s.person.id != except)
                shopPasswordHeld = true;
            continue;
        }
        if (s.person.id != except && opens(s.hash, password))
            return true;
    }
    return shopPasswordHeld && opensShop(db.scalar(shopPasswordSql()), password);
}

void refuseNewPassword(Database& db, qlonglong except, const QString& password)
{
    if (!isAcceptableNewPassword(password))
        throw Failure(emptyPasswordText());
    if (passwordTaken(db, except, password))
        throw Failure(QStringLiteral("這個密碼已經有別人使用，請換一個：密碼要能分辨是誰在操作。"));
}

QString lastOwnerText() { return QStringLiteral("商店至少要有一位在職的老闆，不能停用或改變最後一位老闆。"); }

Person require(Database& db, qlonglong id)
{
    const std::optional<Person> p = find(db, id);
    if (!p)
        throw Failure(QStringLiteral("找不到編號 %1 的人員。").arg(id));
    return *p;
}

void refuseLeavingNoOwner(Database& db, qlonglong id)
{
    if (db.scalar(otherOwnersSql(), {roleName(Role::Owner), id}).toLongLong() == 0)
        throw Failure(lastOwnerText());
}

Person g_signedIn;
std::optional<Person> g_approver;

QVariant stampOf(qlonglong id) { return id == 0 ? QVariant(QMetaType(QMetaType::LongLong)) : QVariant(id); }

} // namespace

QString roleName(Role role) { return role == Role::Owner ? QStringLiteral("老闆") : QStringLiteral("店員"); }

std::optional<Role> roleNamed(const QString& name)
{
    for (Role r : {Role::Owner, Role::Clerk})
        if (roleName(r) == name.trimmed())
            return r;
    return std::nullopt;
}

bool may(Role role, Right right) { return role == Role::Owner || right == Right::Sell; }

QString rightText(Right right)
{
    switch (right) {
    case Right::Sell:
        return QStringLiteral("銷售");
    case Right::EditPrices:
        return QStringLiteral("修改進價、訂價或單位");
    case Right::DeleteTea:
        return QStringLiteral("刪除茶葉或更改茶葉編號");
    case Right::ReturnOrVoid:
        return QStringLiteral("退貨或作廢");
    case Right::Adjust:
        return QStringLiteral("調整現金或庫存");
    case Right::Transfer:
        return QStringLiteral("存款或提款");
    case Right::Settings:
        return QStringLiteral("變更設定");
    case Right::Export:
        return QStringLiteral("匯出資料");
    case Right::Restore:
        return QStringLiteral("還原備份");
    case Right::ManagePeople:
        return QStringLiteral("管理人員");
    }
    return QString();
}

QList<Person> all(Database& db)
{
    QList<Person> out;
    for (const Stored& s : stored(db))
        out << s.person;
    return out;
}

QList<Person> active(Database& db)
{
    QList<Person> out;
    for (const Person& p : all(db))
        if (!p.retired)
            out << p;
    return out;
}

std::optional<Person> find(Database& db, qlonglong id)
{
    QSqlQuery q = db.exec(oneSql(), {id});
    if (!q.next())
        return std::nullopt;
    return read(q).person;
}

QString nameOf(Database& db, const QVariant& id)
{
    if (id.isNull() || !id.isValid())
        return QString();
    const QVariant name = db.scalar(nameSql(), {id.toLongLong()});
    return name.isNull() ? id.toString() : name.toString();
}

Person add(Database& db, const QString& name, Role role, const QString& password)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        throw Failure(QStringLiteral("請輸入人員的名字。"));
    if (!db.scalar(nameTakenSql(), {trimmed}).isNull())
        throw Failure(QStringLiteral("已經有名叫「%1」的人員（停用的人員也算）。").arg(trimmed));
    refuseNewPassword(db, -1, password);
    const QString hash = hashPassword(password);
    Transaction t(db);
    // Asked again under the write lock: another terminal may have added the
    // same name meanwhile (the unique index would refuse it less kindly).
    if (!db.scalar(nameTakenSql(), {trimmed}).isNull())
        throw Failure(QStringLiteral("已經有名叫「%1」的人員（停用的人員也算）。").arg(trimmed));
    db.exec(insertSql(), {trimmed, roleName(role), hash}).finish();
    t.commit();
    for (const Person& p : all(db))
        if (p.name == trimmed)
            return p;
    throw Failure(QStringLiteral("無法新增人員「%1」。").arg(trimmed));
}

void setRole(Database& db, qlonglong id, Role role)
{
    Transaction t(db);
    const Person p = require(db, id);
    if (p.retired)
        throw Failure(QStringLiteral("「%1」已經停用。").arg(p.name));
    if (p.role == Role::Owner && role != Role::Owner)
        refuseLeavingNoOwner(db, id);
    db.exec(roleSql(), {roleName(role), id}).finish();
    t.commit();
}

void setPassword(Database& db, qlonglong id, const QString& password)
{
    const Person p = require(db, id);
    if (p.retired)
        throw Failure(QStringLiteral("「%1」已經停用。").arg(p.name));
    refuseNewPassword(db, id, password);
    // The holder's password stays where the lock screen has always read it.
    if (p.holdsShopPassword) {
        storePassword(db, password);
        return;
    }
    const QString hash = hashPassword(password);
    Transaction t(db);
    db.exec(passwordSql(), {hash, id}).finish();
    t.commit();
}

void retire(Database& db, qlonglong id)
{
    Transaction t(db);
    const Person p = require(db, id);
    if (p.retired)
        return;
    if (p.role == Role::Owner)
        refuseLeavingNoOwner(db, id);
    db.exec(retireSql(), {id}).finish();
    t.commit();
}

std::optional<Person> signingIn(Database& db, const QString& entered, bool matchesShopPassword)
{
    QList<Stored> everyone;
    try {
        everyone = stored(db);
    } catch (const DataError&) {
        // A shop without the table of people: its own password is its owner's.
        return matchesShopPassword ? std::optional<Person>(implicitOwner()) : std::nullopt;
    }
    if (everyone.isEmpty())
        return matchesShopPassword ? std::optional<Person>(implicitOwner()) : std::nullopt;
    if (matchesShopPassword) {
        for (const Stored& s : everyone)
            if (s.person.holdsShopPassword && !s.person.retired)
                return s.person;
    }
    // No own password is empty, so an empty entry costs no hash checks.
    if (entered.isEmpty())
        return std::nullopt;
    for (const Stored& s : everyone)
        if (!s.person.retired && !s.person.holdsShopPassword && opens(s.hash, entered))
            return s.person;
    return std::nullopt;
}

std::optional<Person> ownerWithPassword(Database& db, const QString& entered)
{
    QVariant shopPassword;
    try {
        shopPassword = db.scalar(shopPasswordSql());
    } catch (const DataError&) {
    }
    const std::optional<Person> p = signingIn(db, entered, opensShop(shopPassword, entered));
    if (p && p->role == Role::Owner)
        return p;
    return std::nullopt;
}

QString firstOwnerName() { return QStringLiteral("老闆"); }

void addFirstOwner(Database& db)
{
    db.exec(insertSql(), {firstOwnerName(), roleName(Role::Owner), QVariant(QMetaType(QMetaType::QString))}).finish();
}

const Person& signedIn() { return g_signedIn; }

void signIn(Database& db, const Person& person)
{
    g_approver.reset();
    db.setJournalStamp(stampOf(person.id), QVariant(QMetaType(QMetaType::LongLong)));
    g_signedIn = person;
}

bool allowed(Right right) { return may(g_signedIn.role, right) || (g_approver && may(g_approver->role, right)); }

QString ownerNeededText(Right right)
{
    return QStringLiteral("需要老闆密碼：%1只有老闆可以做。").arg(rightText(right));
}

void require(Right right)
{
    if (!allowed(right))
        throw Failure(ownerNeededText(right));
}

Approval::Approval(Database& db, const Person& owner) : m_db(db)
{
    m_db.setJournalStamp(stampOf(g_signedIn.id), stampOf(owner.id));
    g_approver = owner;
}

Approval::~Approval()
{
    g_approver.reset();
    try {
        m_db.setJournalStamp(stampOf(g_signedIn.id), QVariant(QMetaType(QMetaType::LongLong)));
    } catch (...) {
        // The connection is gone; a new one is stamped when it opens.
    }
}

const Person* approver() { return g_approver ? &*g_approver : nullptr; }

QList<Statement> statements(Dialect)
{
    return {
        {QStringLiteral("people: all"), allSql()},
        {QStringLiteral("people: one"), oneSql()},
        {QStringLiteral("people: name"), nameSql()},
        {QStringLiteral("people: name taken"), nameTakenSql()},
        {QStringLiteral("people: add"), insertSql()},
        {QStringLiteral("people: role"), roleSql()},
        {QStringLiteral("people: password"), passwordSql()},
        {QStringLiteral("people: retire"), retireSql()},
        {QStringLiteral("people: other owners"), otherOwnersSql()},
        {QStringLiteral("people: shop password"), shopPasswordSql()},
    };
}

} // namespace lumaro::people
