#pragma once

#include "books/People.h"

#include <functional>
#include <memory>

namespace lumaro {

class Database;

// Runs an action the person signed in may take, or asks for a 老闆's password
// for this one action when they may not: with the right password the action
// runs under that owner's approval (the journal names both), and the terminal
// then goes back to the person signed in. Returns whether the action ran; a
// cancelled or wrong password runs nothing and changes nothing.
bool withRight(Database& db, people::Right right, const std::function<void()>& action);

// Whether the person signed in may take the action, asking an owner as above
// when not; for a screen that goes on to act itself. Where the owner allowed
// it and keep is given, it holds the owner's approval for the screen to end
// once it has acted, so the journal rows written meanwhile name the owner too.
bool ownerAllows(Database& db, people::Right right, std::unique_ptr<people::Approval>* keep = nullptr);

QString ownerPasswordPrompt(people::Right right); // 這個動作需要老闆密碼…
QString ownerPasswordTitle();                     // 需要老闆密碼
QString wrongOwnerPasswordText();

} // namespace lumaro
