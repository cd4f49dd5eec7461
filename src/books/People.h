#pragma once

#include "data/Statements.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class Database;

// The people behind the counter: each has a name, a role and a password of
// their own. The lock screen asks as it always has; the password typed tells
// who is working. One person holds the shop's own password (密碼表), so a shop
// made before people were kept opens with its old password, as its 老闆.
namespace people {

enum class Role { Owner, Clerk };
QString roleName(Role role); // 老闆, 店員
std::optional<Role> roleNamed(const QString& name);

struct Person {
    qlonglong id = 0; // 0: nobody in 人員表 (lumaro-admin, a shop that keeps no people)
    QString name;
    Role role = Role::Owner;
    bool retired = false;
    bool holdsShopPassword = false;
};

// What a person may do. A 老闆 may do everything; a 店員 may take orders,
// check out, print receipts, buy stock and read the reports, and nothing on
// this list but Sell.
enum class Right {
    Sell,
    EditPrices,   // change 進價 or 訂價, or a tea's unit
    DeleteTea,    // delete or renumber a tea
    ReturnOrVoid, // give a sale back
    Adjust,       // a cash count's difference, a stock count, a write-off
    Transfer,     // between cash and bank
    Settings,     // the shop's settings and payment methods
    Export,       // any file of the shop's data: CSV, the journal
    Restore,      // put a backup in the shop's place
    ManagePeople, // add people, change roles, reset passwords, retire
};
bool may(Role role, Right right);
// What the right is, for a refusal: 修改進價或訂價, 退貨或作廢 ...
QString rightText(Right right);

// Everyone, retired included, in the order they were added.
QList<Person> all(Database& db);
// The people who can sign in.
QList<Person> active(Database& db);
std::optional<Person> find(Database& db, qlonglong id);
// The name the journal's number stands for; an empty text for none, and the
// number itself for someone no longer in the table.
QString nameOf(Database& db, const QVariant& id);

// Each refuses with a Failure the owner can read and changes nothing:
// an empty or taken name, an empty password or one someone else already
// signs in with, and leaving the shop without an active 老闆.
Person add(Database& db, const QString& name, Role role, const QString& password);
void setRole(Database& db, qlonglong id, Role role);
void setPassword(Database& db, qlonglong id, const QString& password);
void retire(Database& db, qlonglong id);

// Who signs in with what was typed at the lock. The lock screen compares the
// entry with the shop's own password itself, as it always did, and says
// whether it matched: then it is the person who holds that password (an
// implicit 老闆 where the shop keeps no people yet). Otherwise the entry is
// tried against each active person's own password. None when nobody signs in
// with it, also for the holder of the shop's password once retired.
std::optional<Person> signingIn(Database& db, const QString& entered, bool matchesShopPassword);
// The active 老闆 whose password this is, if any: an owner allowing one
// action for a 店員.
std::optional<Person> ownerWithPassword(Database& db, const QString& entered);

// The new shop's first person, holding its password. Joins the transaction
// under way.
void addFirstOwner(Database& db);
// The name the first 老闆 is given.
QString firstOwnerName(); // 老闆

// Who is working at this terminal: signed in at the lock, and named on every
// journal row this terminal writes. Before anyone signs in (lumaro-admin, a
// test) the terminal works as the shop's owner and names nobody.
const Person& signedIn();
void signIn(Database& db, const Person& person);
// Whether the one signed in may, or an owner allows it for this action.
bool allowed(Right right);
// The refusal when not: 需要老闆密碼 and what was asked.
QString ownerNeededText(Right right);
// Throws Failure(ownerNeededText()) unless allowed: the books refuse even
// where a screen forgot to ask.
void require(Right right);

// An owner allowing one action for the person signed in: while it lives, what
// they may do is allowed, and the journal names both. Made and ended outside
// any transaction.
class Approval {
public:
    Approval(Database& db, const Person& owner);
    ~Approval();
    Approval(const Approval&) = delete;
    Approval& operator=(const Approval&) = delete;

private:
    Database& m_db;
};
const Person* approver();

QList<Statement> statements(Dialect dialect);

} // namespace people

} // namespace lumaro
