#pragma once

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace lumaro {

class BackgroundBackup;
class Database;
class Form;
class IdleLock;
class main_frm;
class Money_frm;
class Order_frm;
class People_frm;
class DayReport_frm;
class LowStock_frm;
class Losses_frm;
class SalesHistory_frm;
class Settings_frm;
class StockCount_frm;
class TeaKind_frm;
class TeaStock_frm;

// The main window: a menu bar over an MDI area in which every screen opens,
// one shared instance each, maximised.
class MDI_frm : public QMainWindow {
    Q_OBJECT
public:
    explicit MDI_frm(Database& db, QWidget* parent = nullptr);
    ~MDI_frm() override;

    // Shows the lock screen and runs its password prompt. True once the right
    // password was given. For a shop just created, whose owner typed the new
    // password twice a moment ago, it opens signed in as that owner instead,
    // with what an unlock does (today's backup, the idle lock).
    bool Form_Load(bool justCreated = false);

    // The screens' shared instances; null while a screen is not loaded.
    main_frm* lockScreen() const;
    Order_frm* orderScreen() const;
    TeaKind_frm* teaKindScreen() const;
    TeaStock_frm* teaStockScreen() const;
    Money_frm* moneyScreen() const;
    SalesHistory_frm* salesHistoryScreen() const;
    DayReport_frm* dayReportScreen() const;
    LowStock_frm* lowStockScreen() const;
    Settings_frm* settingsScreen() const;
    StockCount_frm* stockCountScreen() const;
    Losses_frm* lossesScreen() const;
    People_frm* peopleScreen() const;

    void EditOrder_Click();
    void EditTea_Click();
    void StoreTea_Click();
    void EditMoney_Click();
    void SalesHistory_Click();
    void DayReport_Click();
    void LowStock_Click();
    void Losses_Click();
    void ExportCatalogue_Click();
    void SystemSettings_Click();
    void StockCount_Click();
    void WriteOff_Click();
    // 人員管理: for a 店員 only with a 老闆's password.
    void EditPeople_Click();
    // After a checkout: the receipt window, when 結帳後列印收據 is on.
    void offerReceipt(qlonglong order);
    // 說明: the owner's guide in a window of its own, and what program and
    // shop this is.
    void UserGuide_Click();
    void About_Click();
    void Lock_Click();
    void Exit_Click();

    // The sub-window that holds a screen.
    static QMdiSubWindow* subWindowOf(QWidget* screen);

    // After the right password: today's backup, if not taken yet (started
    // in the background), and the idle lock's wait from the shop's settings.
    void afterUnlock();
    // Whether today's backup is still being written.
    bool backupRunning() const;

    // Names the person signed in beside the menus, where the shop has more
    // than one person who can sign in; a one-person shop sees nothing there.
    void showSignedIn();

    // Runs 系統鎖定 after the set minutes without input (閒置自動鎖定).
    IdleLock* idleLock() const { return m_idleLock; }

signals:
    // Today's backup is over, and the status bar says how it went.
    void backupFinished();

private:
    void makeLockScreen();
    void buildMenus();
    void connectMenus();
    QMdiArea* mdiArea = nullptr;
    QMenu* System = nullptr;
    QAction* Lock = nullptr;
    QAction* z = nullptr;
    QAction* Exit = nullptr;
    QMenu* Order = nullptr;
    QAction* EditOrder = nullptr;
    QMenu* Tea = nullptr;
    QAction* EditTea = nullptr;
    QAction* StoreTea = nullptr;
    QMenu* Money = nullptr;
    QAction* EditMoney = nullptr;
    QMenu* Report = nullptr;
    QAction* SalesHistory = nullptr;
    QAction* DayReport = nullptr;
    QAction* LowStock = nullptr;
    QAction* Losses = nullptr;
    QAction* ExportCatalogue = nullptr;
    QAction* SystemSettings = nullptr;
    QMenu* Stock = nullptr;
    QAction* StockCount = nullptr;
    QAction* WriteOff = nullptr;
    QMenu* People = nullptr;
    QAction* EditPeople = nullptr;
    QMenu* Help = nullptr;
    QAction* UserGuide = nullptr;
    QAction* About = nullptr;
    QLabel* lblPerson = nullptr;

    template <class F>
    F* openScreen(QPointer<F>& slot);
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption);
    QMenu* addMenu(const QString& name, const QString& caption);

    Database& m_db;
    IdleLock* m_idleLock = nullptr;
    std::unique_ptr<BackgroundBackup> m_backup;
    QPointer<main_frm> m_lock;
    QPointer<Order_frm> m_order;
    QPointer<TeaKind_frm> m_teaKind;
    QPointer<TeaStock_frm> m_teaStock;
    QPointer<Money_frm> m_money;
    QPointer<SalesHistory_frm> m_sales;
    QPointer<DayReport_frm> m_day;
    QPointer<LowStock_frm> m_lowStock;
    QPointer<Settings_frm> m_settings;
    QPointer<StockCount_frm> m_stockCount;
    QPointer<Losses_frm> m_losses;
    QPointer<People_frm> m_people;
    QPointer<QMdiSubWindow> m_guide;
};

} // namespace lumaro
