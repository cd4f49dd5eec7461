#include "app/MDI_frm.h"

#include "accounts/Money_frm.h"
#include "app/IdleLock.h"
#include "app/LockCover.h"
#include "app/Logo.h"
#include "app/main_frm.h"
#include "base/Csv.h"
#include "books/People.h"
#include "books/Reports.h"
#include "books/Settings.h"
#include "books/Upgrade.h"
#include "catalogue/StockCount_frm.h"
#include "catalogue/TeaKind_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "catalogue/WriteOffWindow.h"
#include "data/Database.h"
#include "forms/OwnerApproval.h"
#include "orders/Order_frm.h"
#include "platform/Failure.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"
#include "reports/DayReport_frm.h"
#include "reports/Export.h"
#include "reports/Losses_frm.h"
#include "reports/LowStock_frm.h"
#include "reports/People_frm.h"
#include "reports/Receipt.h"
#include "reports/SalesHistory_frm.h"
#include "reports/Settings_frm.h"
#include "upkeep/BackgroundBackup.h"
#include "upkeep/Backups.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUrl>

namespace lumaro {

namespace {

// The restored size of the client area, in twips.
constexpr double kRestoredWidth = 7815;
constexpr double kRestoredHeight = 6240;

// Where the owner's guide may be: where the package installs it, the same
// place under a program installed elsewhere, and (outside a release package)
// the source tree the program was built from.
QStringList guidePlaces()
{
    QStringList places{QStringLiteral(LUMARO_GUIDE_INSTALLED),
                       QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                       QStringLiteral("/../share/doc/lumaro/guide.zh_TW.md"))};
#ifdef LUMARO_GUIDE_SOURCE
    places << QStringLiteral(LUMARO_GUIDE_SOURCE);
#endif
    places.removeDuplicates();
    return places;
}

} // namespace

MDI_frm::MDI_frm(Database& db, QWidget* parent) : QMainWindow(parent), m_db(db)
{
    setObjectName(QStringLiteral("MDI_frm"));
    setWindowTitle(Prompts::programTitle());
    setWindowIcon(QIcon(makeIcon(64)));

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(lightYellow());
    setCentralWidget(mdiArea);
    resize(twips(kRestoredWidth), twips(kRestoredHeight) + menuBar()->sizeHint().height());

    buildMenus();
    connectMenus();
    // However the program ends (離開系統, three wrong passwords), the shop file
    // alone then holds every move: people back it up by copying it.
    // A backup under way is given up first: its half-written copy goes.
    setAtProgramEnd([this, &db = m_db] {
        m_backup.reset();
        db.closeForExit();
    });

    m_idleLock = new IdleLock(
        [this] {
            // Not over a lock prompt already up, nor before the first unlock.
            if (m_lock && m_lock->state() == main_frm::State::Unlocked && !m_lock->prompting())
                runHandler([this] { Lock_Click(); });
        },
        this);

    // A screen becoming the active window is told so (balances and order
    // lines are re-read then).
    connect(mdiArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
        if (!w)
            return;
        if (auto* form = qobject_cast<Form*>(w->widget()))
            form->activate();
    });
}

MDI_frm::~MDI_frm()
{
    setAtProgramEnd(nullptr);
    m_backup.reset();
}

void MDI_frm::buildMenus()
{
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
    Report = addMenu(QStringLiteral("Report"), QStringLiteral("報表(&R)"));
    SalesHistory = addItem(Report, QStringLiteral("SalesHistory"), QStringLiteral("銷售紀錄"));
    DayReport = addItem(Report, QStringLiteral("DayReport"), QStringLiteral("日結"));
    LowStock = addItem(Report, QStringLiteral("LowStock"), QStringLiteral("低庫存"));
    Losses = addItem(Report, QStringLiteral("Losses"), QStringLiteral("損耗報表"));
    Report->addSeparator();
    ExportCatalogue = addItem(Report, QStringLiteral("ExportCatalogue"), QStringLiteral("匯出茶葉資料 CSV…"));
    Report->addSeparator();
    SystemSettings = addItem(Report, QStringLiteral("SystemSettings"), QStringLiteral("系統設定"));
    Stock = addMenu(QStringLiteral("Stock"), QStringLiteral("庫存(&K)"));
    StockCount = addItem(Stock, QStringLiteral("StockCount"), QStringLiteral("盤點庫存"));
    WriteOff = addItem(Stock, QStringLiteral("WriteOff"), QStringLiteral("報廢…"));
    People = addMenu(QStringLiteral("People"), QStringLiteral("人員(&P)"));
    EditPeople = addItem(People, QStringLiteral("EditPeople"), QStringLiteral("人員管理"));
    Help = addMenu(QStringLiteral("Help"), QStringLiteral("說明(&H)"));
    UserGuide = addItem(Help, QStringLiteral("UserGuide"), QStringLiteral("使用說明"));
    About = addItem(Help, QStringLiteral("About"), QStringLiteral("關於 Lumaro"));

    // Who is working reads in the menu bar's corner: the title stays the
    // program's, and the client area keeps its room.
    lblPerson = new QLabel(menuBar());
    lblPerson->setObjectName(QStringLiteral("lblPerson"));
    lblPerson->setContentsMargins(0, 0, 8, 0);
    lblPerson->hide();
    menuBar()->setCornerWidget(lblPerson, Qt::TopRightCorner);
}

void MDI_frm::connectMenus()
{
    connect(EditOrder, &QAction::triggered, this, handler([this] { EditOrder_Click(); }));
    connect(EditTea, &QAction::triggered, this, handler([this] { EditTea_Click(); }));
    connect(StoreTea, &QAction::triggered, this, handler([this] { StoreTea_Click(); }));
    connect(EditMoney, &QAction::triggered, this, handler([this] { EditMoney_Click(); }));
    connect(SalesHistory, &QAction::triggered, this, handler([this] { SalesHistory_Click(); }));
    connect(DayReport, &QAction::triggered, this, handler([this] { DayReport_Click(); }));
    connect(LowStock, &QAction::triggered, this, handler([this] { LowStock_Click(); }));
    connect(Losses, &QAction::triggered, this, handler([this] { Losses_Click(); }));
    connect(StockCount, &QAction::triggered, this, handler([this] { StockCount_Click(); }));
    connect(WriteOff, &QAction::triggered, this, handler([this] { WriteOff_Click(); }));
    connect(EditPeople, &QAction::triggered, this, handler([this] { EditPeople_Click(); }));
    connect(ExportCatalogue, &QAction::triggered, this, handler([this] { ExportCatalogue_Click(); }));
    connect(SystemSettings, &QAction::triggered, this, handler([this] { SystemSettings_Click(); }));
    connect(UserGuide, &QAction::triggered, this, handler([this] { UserGuide_Click(); }));
    connect(About, &QAction::triggered, this, handler([this] { About_Click(); }));
    connect(Lock, &QAction::triggered, this, handler([this] { Lock_Click(); }));
    connect(Exit, &QAction::triggered, this, handler([this] { Exit_Click(); }));
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
SalesHistory_frm* MDI_frm::salesHistoryScreen() const { return m_sales; }
DayReport_frm* MDI_frm::dayReportScreen() const { return m_day; }
LowStock_frm* MDI_frm::lowStockScreen() const { return m_lowStock; }
Settings_frm* MDI_frm::settingsScreen() const { return m_settings; }
StockCount_frm* MDI_frm::stockCountScreen() const { return m_stockCount; }
Losses_frm* MDI_frm::lossesScreen() const { return m_losses; }
People_frm* MDI_frm::peopleScreen() const { return m_people; }

QMdiSubWindow* MDI_frm::subWindowOf(QWidget* screen)
{
    return screen ? qobject_cast<QMdiSubWindow*>(screen->parentWidget()) : nullptr;
}

bool MDI_frm::Form_Load(bool justCreated)
{
    if (!m_lock) {
        makeLockScreen();
        mdiArea->addSubWindow(m_lock);
        m_lock->Form_Load();
    }
    if (justCreated && m_lock->state() == main_frm::State::Locked) {
        // The lock screen stays made: 系統鎖定 uses it later.
        m_lock->openAsOwner();
        return m_lock->state() == main_frm::State::Unlocked;
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

void MDI_frm::EditOrder_Click()
{
    const bool fresh = !m_order;
    openScreen(m_order);
    if (fresh)
        connect(m_order, &Order_frm::orderSettled, this,
                [this](qlonglong order) { runHandler([this, order] { offerReceipt(order); }); });
}
void MDI_frm::EditTea_Click() { openScreen(m_teaKind); }
void MDI_frm::StoreTea_Click() { openScreen(m_teaStock); }
void MDI_frm::EditMoney_Click() { openScreen(m_money); }
void MDI_frm::SalesHistory_Click() { openScreen(m_sales); }
void MDI_frm::DayReport_Click() { openScreen(m_day); }
void MDI_frm::LowStock_Click() { openScreen(m_lowStock); }
void MDI_frm::SystemSettings_Click() { openScreen(m_settings); }
void MDI_frm::Losses_Click() { openScreen(m_losses); }
void MDI_frm::StockCount_Click() { openScreen(m_stockCount); }

void MDI_frm::WriteOff_Click()
{
    WriteOffWindow* w = showWriteOff(m_db, QString(), this);
    // An open count shows the stock the write-off left.
    connect(w, &WriteOffWindow::writtenOff, this, [this] {
        if (m_stockCount)
            runHandler([this] { m_stockCount->reload(); });
    });
}

void MDI_frm::EditPeople_Click()
{
    if (!ownerAllows(m_db, people::Right::ManagePeople))
        return;
    const bool fresh = !m_people;
    openScreen(m_people);
    if (fresh)
        connect(m_people, &People_frm::peopleChanged, this, [this] { runHandler([this] { showSignedIn(); }); });
}

void MDI_frm::showSignedIn()
{
    const people::Person& who = people::signedIn();
    const bool several = !who.name.isEmpty() && people::active(m_db).size() > 1;
    lblPerson->setText(several ? QStringLiteral("目前人員：%1（%2）").arg(who.name, people::roleName(who.role))
                               : QString());
    lblPerson->setVisible(several);
}

void MDI_frm::ExportCatalogue_Click()
{
    exportCsv(m_db, QStringLiteral("匯出茶葉資料"), QStringLiteral("茶葉資料.csv"),
              [this](CsvFile& csv) { return reports::exportCatalogue(m_db, csv); });
}

void MDI_frm::offerReceipt(qlonglong order)
{
    if (settings::get(m_db, settings::key::ReceiptAfterCheckout, QStringLiteral("0")) == QLatin1String("1"))
        showReceipt(m_db, order, this);
}

void MDI_frm::UserGuide_Click()
{
    if (!m_guide) {
        const QStringList places = guidePlaces();
        QString text;
        for (const QString& place : places) {
            QFile file(place);
            if (file.open(QIODevice::ReadOnly)) {
                text = QString::fromUtf8(file.readAll());
                break;
            }
        }
        if (text.isEmpty()) {
            QStringList looked;
            for (const QString& place : places)
                looked << QStringLiteral("「%1」").arg(place);
            prompts().message(QStringLiteral("找不到使用說明，找過：\r") + looked.join(QStringLiteral("\r")),
                              Buttons::Ok, QStringLiteral("使用說明"));
            return;
        }
        auto* browser = new QTextBrowser;
        browser->setObjectName(QStringLiteral("txtGuide"));
        browser->setOpenExternalLinks(true);
        browser->setMarkdown(text);
        browser->setWindowTitle(QStringLiteral("使用說明"));
        m_guide = mdiArea->addSubWindow(browser);
        m_guide->setAttribute(Qt::WA_DeleteOnClose);
        m_guide->setWindowIcon(windowIcon());
    }
    m_guide->show();
    mdiArea->setActiveSubWindow(m_guide);
    m_guide->showMaximized();
}

void MDI_frm::About_Click()
{
    QString shop = m_db.target();
    QString where = QStringLiteral("資料檔");
    if (Database::isPostgresUrl(shop)) {
        // Never a server password on the screen.
        QUrl url(shop);
        url.setPassword(QString());
        shop = url.toString();
        where = QStringLiteral("資料庫");
    } else {
        shop = QDir::toNativeSeparators(QFileInfo(shop).absoluteFilePath());
    }
    prompts().message(QStringLiteral("Lumaro %1\r小茶行的訂單、庫存與帳款管理\r\r%2：「%3」\r資料版本：%4")
                          .arg(QStringLiteral(LUMARO_VERSION), where, shop)
                          .arg(upgrade::versionOf(m_db)),
                      Buttons::Ok, QStringLiteral("關於 Lumaro"));
}

// Start-up made the lock screen (Form_Load); once unlocked it stays hidden, so
// it is never closed while the window lives.
void MDI_frm::Lock_Click()
{
    m_idleLock->pause();
    // The prompt alone would leave the balances and any open receipt readable
    // behind it; they are covered until the right password is typed.
    const LockCover cover(mdiArea);
    m_lock->Lock_Click();
}

void MDI_frm::makeLockScreen()
{
    m_lock = new main_frm(m_db);
    connect(m_lock, &main_frm::unlocked, this, [this] { runHandler([this] { afterUnlock(); }); });
}

void MDI_frm::afterUnlock()
{
    const auto number = [this](const QString& key, int fallback) {
        bool ok = false;
        const int n = settings::get(m_db, key, QString::number(fallback)).trimmed().toInt(&ok);
        return ok ? n : fallback;
    };
    // The first unlock of a day backs the shop file up, behind the window:
    // the counter is usable at once and stays writable meanwhile. The status
    // bar tells when it is done, or why it failed; the day's work goes on.
    // A server is backed up with pg_dump.
    if (m_db.isSQLite() && !backupRunning())
        m_backup = std::make_unique<BackgroundBackup>(
            m_db.target(), QDate::currentDate(),
            BackupKeep{number(settings::key::BackupDays, 30), number(settings::key::BackupMonths, 12)}, this,
            [this](const BackgroundBackup::Outcome& o) {
                if (!o.error.isEmpty())
                    statusBar()->showMessage(QStringLiteral("今天的自動備份沒有完成：%1").arg(o.error));
                else if (!o.path.isEmpty())
                    statusBar()->showMessage(
                        QStringLiteral("今天的備份已完成：「%1」").arg(QDir::toNativeSeparators(o.path)));
                emit backupFinished();
            });
    m_idleLock->setMinutes(number(settings::key::IdleLockMinutes, 0));
    showSignedIn();
}

bool MDI_frm::backupRunning() const { return m_backup && m_backup->running(); }

void MDI_frm::Exit_Click() { prompts().endProgram(); }

} // namespace lumaro
