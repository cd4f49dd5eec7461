#pragma once

#include "platform/Form.h"

class QLabel;

namespace lumaro {

namespace people {
struct Person;
}
class Database;
class DataControl;

// The lock screen: the program's title and logo, and the password prompt that
// keeps the shop closed until the stored password is typed.
class main_frm : public Form {
    Q_OBJECT
public:
    explicit main_frm(Database& db, QWidget* parent = nullptr);

    // Sizes the window to three quarters of the screen and places the logo near
    // its lower right corner. Done once, when the screen is loaded.
    void Form_Load();

    // Asks for the password, three tries. True once the right password was
    // typed (the lock screen is then hidden); after three wrong entries it says
    // so and ends the program, and returns false if the program goes on (only
    // under scripted prompts).
    bool Lock_Click();
    // Opens without asking, signed in as the owner who holds the shop's
    // password: for a shop made moments ago with that password typed twice.
    // Asks as Lock_Click does should the shop name no such owner.
    bool openAsOwner();

    enum class State { Locked, Unlocked, Ended };
    State state() const { return m_state; }
    bool prompting() const { return m_prompting; }

signals:
    // The right password was typed, at start-up or after a lock.
    void unlocked();

public:
protected:
    void Form_Activate() override;

private:
    void open(const people::Person& who);
    QLabel* logo = nullptr;
    DataControl* Pass_Data = nullptr;

    bool m_prompting = false;
    State m_state = State::Locked;
};

} // namespace lumaro
