#pragma once

#include "books/People.h"
#include "platform/Form.h"

#include <functional>
#include <optional>

class QPushButton;
class QTableWidget;

namespace lumaro {

class Database;

// 人員管理: the 老闆 adds people, changes a role, resets a password and
// retires a person. Retired people stay listed, as the history still names
// them. Each change asks again whether the one at the terminal may make it:
// the screen may have been opened for a 店員 by an owner who has since left.
class People_frm : public Form {
    Q_OBJECT
public:
    explicit People_frm(Database& db, QWidget* parent = nullptr);

    void reload();
    void cmdAdd_Click();
    void cmdRole_Click();
    void cmdPassword_Click();
    void cmdRetire_Click();
    void cmdRefresh_Click();

signals:
    // Someone was added, retired or changed: who is signed in may read
    // differently now.
    void peopleChanged();

protected:
    // Another terminal may have changed the people meanwhile.
    void Form_Activate() override;

private:
    QTableWidget* grdPeople = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRole = nullptr;
    QPushButton* cmdPassword = nullptr;
    QPushButton* cmdRetire = nullptr;
    QPushButton* cmdRefresh = nullptr;

    // The person on the grid's current row, as stored now, or none (and then
    // says why: nobody chosen, gone, or retired).
    std::optional<people::Person> chosen();
    // A new password typed twice; none when cancelled or the two differ.
    std::optional<QString> newPassword(const QString& name);
    // Runs a change once an owner allows it; a refusal is told and the list
    // re-read, so it shows what is stored.
    void change(const std::function<void()>& body);

    QList<people::Person> m_people;
    Database& m_db;
};

} // namespace lumaro
