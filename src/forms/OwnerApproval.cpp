#include "forms/OwnerApproval.h"

#include "platform/Prompts.h"

#include <optional>

namespace lumaro {

namespace {

// Asks for an owner's password; none when cancelled or wrong (and then says so).
std::optional<people::Person> askOwner(Database& db, people::Right right)
{
    const QString entered = prompts().secret(ownerPasswordPrompt(right), ownerPasswordTitle());
    if (entered.isEmpty())
        return std::nullopt;
    std::optional<people::Person> owner = people::ownerWithPassword(db, entered);
    if (!owner)
        prompts().message(wrongOwnerPasswordText(), Buttons::Ok, ownerPasswordTitle());
    return owner;
}

} // namespace

QString ownerPasswordPrompt(people::Right right)
{
    return QStringLiteral("%1只有老闆可以做。請老闆輸入自己的密碼，允許這一次：").arg(people::rightText(right));
}

QString ownerPasswordTitle() { return QStringLiteral("需要老闆密碼"); }

QString wrongOwnerPasswordText() { return QStringLiteral("老闆密碼不正確，這個動作沒有執行。"); }

bool withRight(Database& db, people::Right right, const std::function<void()>& action)
{
    if (people::allowed(right)) {
        action();
        return true;
    }
    const std::optional<people::Person> owner = askOwner(db, right);
    if (!owner)
        return false;
    people::Approval approval(db, *owner);
    action();
    return true;
}

bool ownerAllows(Database& db, people::Right right, std::unique_ptr<people::Approval>* keep)
{
    if (people::allowed(right))
        return true;
    const std::optional<people::Person> owner = askOwner(db, right);
    if (owner && keep)
        *keep = std::make_unique<people::Approval>(db, *owner);
    return owner.has_value();
}

} // namespace lumaro
