#include "app/MDI_frm.h"

#include "accounts/Money_frm.h"
#include "app/Logo.h"
#include "app/main_frm.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "orders/Order_frm.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

namespace lumaro {

MDI_frm::MDI_frm(Database& db, QWidget* parent) : QMainWindow(parent), m_db(db)
{
    setObjectName(QStringLiteral("MDI_frm"));
    setWindowTitle(Prompts::programTitle());
    setWindowIcon(QIcon(makeIcon(64)));

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(lightYellow());
    setCentralWidget(mdiArea);
    // The restored size: a client area of 7815 x 6240 twips.
    resize(twips(7815), twips(6240) + menuBar()->sizeHint().height());

    System = addMenu(QStringLiteral("System"), QStringLiteral("系統管理(&S)"));
    Lock = addItem(System, QStringLiteral("Lock"), QStringLiteral("系統鎖定"));
    z = System->addSeparator();
    z->setObjectName(QStringLiteral("z"));
    Exit = addItem(System, QStringLiteral("Exit"), QStringLiteral("離開系統"));
    Order = addMenu(QStringLiteral("Order"), QStringLiteral("訂單管理(&O)"));
    EditOrder = addItem(Order, QStringLiteral("EditOrder"), QStringLiteral("編輯訂單"));
    Tea = addMenu(QStringLiteral("Tea"), QStringLiteral("茶葉管理(&T)"));
    EditTea = addItem(Tea, QStringLiteral("EditTea"), QStringLiteral("編輯茶葉種類"));
    // "頁" where "葉" would be expected: the shop has always seen it so.
    StoreTea = addItem(Tea, QStringLiteral("StoreTea"), QStringLiteral("茶頁庫存管理"));
    Money = addMenu(QStringLiteral("Money"), QStringLiteral("會計系統(&M)"));
    EditMoney = addItem(Money, QStringLiteral("EditMoney"), QStringLiteral("帳款管理"));

    connect(EditOrder, &QAction::triggered, this, handler([this] { EditOrder_Click(); }));
    connect(EditTea, &QAction::triggered, this, handler([this] { EditTea_Click(); }));
    connect(StoreTea, &QAction::triggered, this, handler([this] { StoreTea_Click(); }));
    connect(EditMoney, &QAction::triggered, this, handler([this] { EditMoney_Click(); }));
    connect(Lock, &QAction::triggered, this, handler([this] { Lock_Click(); }));
    connect(Exit, &QAction::triggered, this, handler([this] { Exit_Click(); }));

    // A screen becoming the active window is told so (balances and order
    // lines are re-read then).
    connect(mdiArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
        if (!w)
            return;
        if (auto* form = qobject_cast<Form*>(w->widget()))
            form->activate();
    });
}

QMenu* MDI_frm::addMenu(const QString& name, const QString& caption)
{
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name + QStringLiteral("Menu"));
    return m;
}

QAction* MDI_frm::addItem(QMenu* menu, const QString& name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setParent(this); // findChild<QAction*>(name) on the main window finds it
    menu->addAction(a);
    return a;
}

main_frm* MDI_frm::lockScreen() const { return m_lock; }
Order_frm* MDI_frm::orderScreen() const { return m_order; }
TeaKind_frm* MDI_frm::teaKindScreen() const { return m_teaKind; }
TeaStock_frm* MDI_frm::teaStockScreen() const { return m_teaStock; }
Money_frm* MDI_frm::moneyScreen() const { return m_money; }

QMdiSubWindow* MDI_frm::subWindowOf(QWidget* screen)
{
    return screen ? qobject_cast<QMdiSubWindow*>(screen->parentWidget()) : nullptr;
}

bool MDI_frm::Form_Load()
{
    if (!m_lock) {
        m_lock = new main_frm(m_db);
        mdiArea->addSubWindow(m_lock);
        m_lock->Form_Load();
    }
    QMdiSubWindow* sub = subWindowOf(m_lock);
    m_lock->show();
    sub->showMaximized();
    // Activating the lock screen may already have run the prompt.
    if (m_lock->state() == main_frm::State::Locked)
        m_lock->Lock_Click();
    // The maximised lock screen lent the caption its title; give it back.
    setWindowTitle(Prompts::programTitle());
    return m_lock->state() == main_frm::State::Unlocked;
}

template <class F>
F* MDI_frm::openScreen(QPointer<F>& slot)
{
    if (!slot) {
        slot = new F(m_db);
        QMdiSubWindow* sub = mdiArea->addSubWindow(slot);
        // Closing a screen unloads it, so the next opening loads it afresh.
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowIcon(windowIcon());
    }
    QMdiSubWindow* sub = subWindowOf(slot);
    slot->show();
    sub->show();
    mdiArea->setActiveSubWindow(sub);
    sub->showMaximized();
    return slot;
}

void MDI_frm::EditOrder_Click() { openScreen(m_order); }
void MDI_frm::EditTea_Click() { openScreen(m_teaKind); }
void MDI_frm::StoreTea_Click() { openScreen(m_teaStock); }
void MDI_frm::EditMoney_Click() { openScreen(m_money); }

// Start-up made the lock screen (Form_Load); once unlocked it stays hidden, so
// it is never closed while the window lives.
void MDI_frm::Lock_Click() { m_lock->Lock_Click(); }

void MDI_frm::Exit_Click() { prompts().endProgram(); }

} // namespace lumaro
