#include "reports/People_frm.h"

#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Failure.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("人員管理");

enum Column { Name, Role, State, Password, Columns };

QTableWidgetItem* cell(const QString& text, bool retired)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    // Greyed, not hidden: the history still names a retired person.
    if (retired)
        item->setForeground(QColor(128, 128, 128));
    return item;
}

void tell(const QString& text) { prompts().message(text, Buttons::Ok, kTitle); }

bool confirmed(const QString& question) { return prompts().message(question, Buttons::YesNo, kTitle) == Answer::Yes; }

QString retiredText(const people::Person& p) { return QStringLiteral("「%1」已經停用。").arg(p.name); }

} // namespace

People_frm::People_frm(Database& db, QWidget* parent) : Form(kTitle, parent), m_db(db)
{
    setObjectName(QStringLiteral("People_frm"));
    cmdAdd = controls::button(this, "cmdAdd", QStringLiteral("新增…"));
    cmdRole = controls::button(this, "cmdRole", QStringLiteral("改變角色"));
    cmdPassword = controls::button(this, "cmdPassword", QStringLiteral("重設密碼…"));
    cmdRetire = controls::button(this, "cmdRetire", QStringLiteral("停用"));
    cmdRefresh = controls::button(this, "cmdRefresh", QStringLiteral("重新整理"));

    grdPeople = controls::make<QTableWidget>(this, "grdPeople");
    grdPeople->setColumnCount(Columns);
    grdPeople->setHorizontalHeaderLabels(
        {QStringLiteral("姓名"), QStringLiteral("角色"), QStringLiteral("狀態"), QStringLiteral("登入密碼")});
    grdPeople->verticalHeader()->hide();
    grdPeople->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdPeople->setSelectionMode(QAbstractItemView::SingleSelection);
    grdPeople->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdPeople->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    grdPeople->horizontalHeader()->setMinimumSectionSize(80);

    auto* top = new QHBoxLayout;
    for (QPushButton* b : {cmdAdd, cmdRole, cmdPassword, cmdRetire})
        top->addWidget(b);
    top->addStretch();
    top->addWidget(cmdRefresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdPeople, 1);
    layout->addWidget(new QLabel(QStringLiteral("新增的人員是店員；角色的改變在那個人下次登入時生效。"), this));

    connect(cmdAdd, &QPushButton::clicked, this, handler([this] { cmdAdd_Click(); }));
    connect(cmdRole, &QPushButton::clicked, this, handler([this] { cmdRole_Click(); }));
    connect(cmdPassword, &QPushButton::clicked, this, handler([this] { cmdPassword_Click(); }));
    connect(cmdRetire, &QPushButton::clicked, this, handler([this] { cmdRetire_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, handler([this] { cmdRefresh_Click(); }));
    runHandler([this] { reload(); });
}

void People_frm::Form_Activate() { reload(); }

void People_frm::reload()
{
    const int row = grdPeople->currentRow();
    const qlonglong current = row >= 0 && row < m_people.size() ? m_people[row].id : -1;
    m_people = people::all(m_db);
    grdPeople->setRowCount(int(m_people.size()));
    for (int r = 0; r < m_people.size(); ++r) {
        const people::Person& p = m_people[r];
        grdPeople->setItem(r, Name, cell(p.name, p.retired));
        grdPeople->setItem(r, Role, cell(people::roleName(p.role), p.retired));
        grdPeople->setItem(r, State, cell(p.retired ? QStringLiteral("停用") : QStringLiteral("在職"), p.retired));
        grdPeople->setItem(r, Password,
                           cell(p.holdsShopPassword ? QStringLiteral("系統密碼") : QStringLiteral("個人密碼"),
                                p.retired));
        if (p.id == current)
            grdPeople->selectRow(r);
    }
    grdPeople->resizeColumnsToContents();
}

std::optional<people::Person> People_frm::chosen()
{
    const int row = grdPeople->currentRow();
    if (row < 0 || row >= m_people.size()) {
        tell(QStringLiteral("請先在清單中選一位人員。"));
        return std::nullopt;
    }
    // As stored now: another terminal may have changed them meanwhile.
    const people::Person shown = m_people[row];
    const std::optional<people::Person> p = people::find(m_db, shown.id);
    if (!p) {
        reload();
        tell(QStringLiteral("找不到「%1」，清單已重新整理。").arg(shown.name));
    } else if (p->retired) {
        // A retired person keeps their name in the history and nothing else.
        tell(retiredText(*p));
        return std::nullopt;
    }
    return p;
}

std::optional<QString> People_frm::newPassword(const QString& name)
{
    const QString first = prompts().secret(QStringLiteral("「%1」的新密碼：").arg(name), kTitle);
    if (first.isEmpty())
        return std::nullopt;
    const QString second = prompts().secret(QStringLiteral("再輸入一次「%1」的新密碼：").arg(name), kTitle);
    if (second.isEmpty())
        return std::nullopt;
    if (first != second) {
        tell(QStringLiteral("兩次輸入的密碼不一樣，沒有做任何變更。"));
        return std::nullopt;
    }
    return first;
}

void People_frm::change(const std::function<void()>& body)
{
    if (!ownerAllows(m_db, people::Right::ManagePeople))
        return;
    try {
        body();
    } catch (const Failure& e) {
        tell(e.description());
    }
    reload();
    emit peopleChanged();
}

void People_frm::cmdAdd_Click()
{
    change([this] {
        const QString name = prompts().input(QStringLiteral("新人員的名字（新增為店員）："), kTitle);
        if (name.isEmpty())
            return;
        const std::optional<QString> password = newPassword(name.trimmed());
        if (!password)
            return;
        const people::Person added = people::add(m_db, name, people::Role::Clerk, *password);
        reload();
        for (int r = 0; r < m_people.size(); ++r)
            if (m_people[r].id == added.id)
                grdPeople->selectRow(r);
    });
}

void People_frm::cmdRole_Click()
{
    const std::optional<people::Person> p = chosen();
    if (!p)
        return;
    change([&] {
        const people::Role to = p->role == people::Role::Owner ? people::Role::Clerk : people::Role::Owner;
        if (confirmed(QStringLiteral("把「%1」從%2改為%3？\r已經登入的人，下次登入時才會改變。")
                          .arg(p->name, people::roleName(p->role), people::roleName(to))))
            people::setRole(m_db, p->id, to);
    });
}

void People_frm::cmdPassword_Click()
{
    const std::optional<people::Person> p = chosen();
    if (!p)
        return;
    change([&] {
        const std::optional<QString> password = newPassword(p->name);
        if (!password)
            return;
        people::setPassword(m_db, p->id, *password);
        tell(p->holdsShopPassword ? QStringLiteral("已重設「%1」的密碼，也就是系統密碼。").arg(p->name)
                                  : QStringLiteral("已重設「%1」的密碼。").arg(p->name));
    });
}

void People_frm::cmdRetire_Click()
{
    const std::optional<people::Person> p = chosen();
    if (!p)
        return;
    change([&] {
        if (confirmed(QStringLiteral("停用「%1」？\r停用後不能再登入，歷史紀錄仍會顯示這個名字。").arg(p->name)))
            people::retire(m_db, p->id);
    });
}

void People_frm::cmdRefresh_Click()
{
    reload();
    emit peopleChanged();
}

} // namespace lumaro
