#include "reports/Settings_frm.h"

#include "base/Numbers.h"
#include "books/Settings.h"
#include "data/Database.h"
#include "data/Transaction.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

namespace {

QLineEdit* edit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

// A whole number from 0 to max, or nothing.
std::optional<int> wholeNumber(const QString& text, int max)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > max)
        return std::nullopt;
    return n;
}

} // namespace

Settings_frm::Settings_frm(Database& db, QWidget* parent) : Form(QStringLiteral("系統設定"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Settings_frm"));
    txtShopName = edit(this, "txtShopName");
    txtShopAddress = edit(this, "txtShopAddress");
    txtShopPhone = edit(this, "txtShopPhone");
    chkReceiptAfterCheckout = new QCheckBox(QStringLiteral("結帳後列印收據"), this);
    chkReceiptAfterCheckout->setObjectName(QStringLiteral("chkReceiptAfterCheckout"));
    txtLowStockLevel = edit(this, "txtLowStockLevel");
    txtBackupDays = edit(this, "txtBackupDays");
    txtBackupMonths = edit(this, "txtBackupMonths");
    txtIdleLockMinutes = edit(this, "txtIdleLockMinutes");
    chkPurchaseAskBelowZero = new QCheckBox(QStringLiteral("進貨會使現金或銀行低於零時先詢問"), this);
    chkPurchaseAskBelowZero->setObjectName(QStringLiteral("chkPurchaseAskBelowZero"));
    cmdSave = controls::button(this, "cmdSave", QStringLiteral("儲存"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("店名："), txtShopName);
    form->addRow(QStringLiteral("地址："), txtShopAddress);
    form->addRow(QStringLiteral("電話："), txtShopPhone);
    form->addRow(QString(), chkReceiptAfterCheckout);
    form->addRow(QStringLiteral("低庫存水準（公斤）："), txtLowStockLevel);
    form->addRow(QStringLiteral("每日備份保留天數："), txtBackupDays);
    form->addRow(QStringLiteral("每月備份保留月數："), txtBackupMonths);
    form->addRow(QStringLiteral("閒置幾分鐘後自動鎖定（0 為不鎖定）："), txtIdleLockMinutes);
    form->addRow(QString(), chkPurchaseAskBelowZero);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(cmdSave, 0, Qt::AlignLeft);
    left->addStretch();

    // Payment methods and the discount cap, to the right of the rest.
    grdMethods = new QTableWidget(0, 3, this);
    grdMethods->setObjectName(QStringLiteral("grdMethods"));
    grdMethods->setHorizontalHeaderLabels({QStringLiteral("付款方式"), QStringLiteral("記入"), QStringLiteral("停用")});
    grdMethods->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdMethods->verticalHeader()->hide();
    cmdAddMethod = controls::button(this, "cmdAddMethod", QStringLiteral("新增付款方式"));
    lblMethodsDamaged =
        new QLabel(QStringLiteral("付款方式的設定讀不懂，目前使用預設的付款方式；按「儲存」會以下面的清單取代。"),
                   this);
    lblMethodsDamaged->setObjectName(QStringLiteral("lblMethodsDamaged"));
    lblMethodsDamaged->setWordWrap(true);
    lblMethodsDamaged->hide();
    txtDiscountCap = edit(this, "txtDiscountCap");
    auto* cap = new QFormLayout;
    cap->addRow(QStringLiteral("折扣上限（%）："), txtDiscountCap);
    auto* payment = new QGroupBox(QStringLiteral("付款方式與折扣"), this);
    payment->setObjectName(QStringLiteral("grpPayment"));
    auto* right = new QVBoxLayout(payment);
    right->addWidget(lblMethodsDamaged);
    right->addWidget(grdMethods);
    right->addWidget(cmdAddMethod, 0, Qt::AlignLeft);
    right->addLayout(cap);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(payment, 1);

    connect(cmdSave, &QPushButton::clicked, this, handler([this] { cmdSave_Click(); }));
    connect(cmdAddMethod, &QPushButton::clicked, this, handler([this] { cmdAddMethod_Click(); }));
    runHandler([this] { load(); });
}

void Settings_frm::load()
{
    using namespace settings;
    txtShopName->setText(get(m_db, key::ShopName));
    txtShopAddress->setText(get(m_db, key::ShopAddress));
    txtShopPhone->setText(get(m_db, key::ShopPhone));
    chkReceiptAfterCheckout->setChecked(get(m_db, key::ReceiptAfterCheckout, QStringLiteral("0")) ==
                                        QLatin1String("1"));
    txtLowStockLevel->setText(get(m_db, key::LowStockLevel, QStringLiteral("5")));
    txtBackupDays->setText(get(m_db, key::BackupDays, QStringLiteral("30")));
    txtBackupMonths->setText(get(m_db, key::BackupMonths, QStringLiteral("12")));
    txtIdleLockMinutes->setText(get(m_db, key::IdleLockMinutes, QStringLiteral("0")));
    chkPurchaseAskBelowZero->setChecked(get(m_db, key::PurchaseAskBelowZero) == QLatin1String("1"));
    const payments::Methods methods = payments::methods(m_db);
    m_loadedMethods = methods.list;
    m_methodsDamaged = methods.damaged;
    lblMethodsDamaged->setVisible(methods.damaged);
    showMethods(methods.list);
    m_loadedCap = get(m_db, key::DiscountCap);
    txtDiscountCap->setText(m_loadedCap);
}

void Settings_frm::showMethods(const QList<payments::Method>& list)
{
    grdMethods->setRowCount(0);
    for (const payments::Method& m : list)
        addMethodRow(m);
}

void Settings_frm::addMethodRow(const payments::Method& m)
{
    const int row = grdMethods->rowCount();
    grdMethods->insertRow(row);
    const bool cash = m.name == payments::Cash;
    auto* name = new QTableWidgetItem(m.name);
    auto* retired = new QTableWidgetItem;
    retired->setCheckState(m.retired ? Qt::Checked : Qt::Unchecked);
    auto* to = new QComboBox(grdMethods);
    to->addItems({QStringLiteral("現金"), QStringLiteral("銀行")});
    to->setCurrentIndex(m.bank ? 1 : 0);
    // 現金 is the drawer's, always offered: the one row that cannot change.
    if (cash) {
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        retired->setFlags(Qt::NoItemFlags);
        to->setEnabled(false);
    } else {
        retired->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    }
    grdMethods->setItem(row, 0, name);
    grdMethods->setCellWidget(row, 1, to);
    grdMethods->setItem(row, 2, retired);
}

QList<payments::Method> Settings_frm::typedMethods() const
{
    QList<payments::Method> out;
    for (int row = 0; row < grdMethods->rowCount(); ++row) {
        const auto* to = qobject_cast<const QComboBox*>(grdMethods->cellWidget(row, 1));
        out << payments::Method{grdMethods->item(row, 0)->text().trimmed(), to && to->currentIndex() == 1,
                                grdMethods->item(row, 2)->checkState() == Qt::Checked};
    }
    return out;
}

void Settings_frm::cmdAddMethod_Click()
{
    addMethodRow(payments::Method{QString(), true, false});
    const int row = grdMethods->rowCount() - 1;
    grdMethods->setCurrentCell(row, 0);
    grdMethods->editItem(grdMethods->item(row, 0));
}

void Settings_frm::cmdSave_Click()
{
    bool ok = false;
    const double level = toNumberStrict(txtLowStockLevel->text().trimmed(), &ok);
    if (!ok || level < 0 || level > MaxShopNumber) {
        prompts().message(QStringLiteral("低庫存水準要是 0 或更大的公斤數。"), Buttons::Ok, QStringLiteral("系統設定"));
        txtLowStockLevel->setFocus();
        return;
    }
    const auto days = wholeNumber(txtBackupDays->text(), 36500);
    const auto months = wholeNumber(txtBackupMonths->text(), 1200);
    if (!days || !months) {
        prompts().message(QStringLiteral("備份保留的天數和月數要是 0 或更大的整數。"), Buttons::Ok,
                          QStringLiteral("系統設定"));
        (days ? txtBackupMonths : txtBackupDays)->setFocus();
        return;
    }
    const auto idle = wholeNumber(txtIdleLockMinutes->text(), 24 * 60);
    if (!idle) {
        prompts().message(QStringLiteral("自動鎖定的分鐘數要是 0 到 1440 的整數（0 為不鎖定）。"), Buttons::Ok,
                          QStringLiteral("系統設定"));
        txtIdleLockMinutes->setFocus();
        return;
    }

    const QList<payments::Method> methods = typedMethods();
    if (const QString problem = payments::methodsProblem(methods); !problem.isEmpty()) {
        prompts().message(problem, Buttons::Ok, QStringLiteral("系統設定"));
        grdMethods->setFocus();
        return;
    }
    const QString cap = txtDiscountCap->text().trimmed();
    if (const QString problem = payments::capProblem(cap); !problem.isEmpty()) {
        prompts().message(problem, Buttons::Ok, QStringLiteral("系統設定"));
        txtDiscountCap->setFocus();
        return;
    }

    // Asked once the settings are known to be good, so the owner is not
    // called over for a box typed wrong.
    if (!ownerAllows(m_db, people::Right::Settings))
        return;
    using namespace settings;
    Transaction t(m_db);
    set(m_db, key::ShopName, txtShopName->text().trimmed());
    set(m_db, key::ShopAddress, txtShopAddress->text().trimmed());
    set(m_db, key::ShopPhone, txtShopPhone->text().trimmed());
    set(m_db, key::ReceiptAfterCheckout,
        chkReceiptAfterCheckout->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    set(m_db, key::LowStockLevel, formatNumber(level));
    set(m_db, key::BackupDays, QString::number(*days));
    set(m_db, key::BackupMonths, QString::number(*months));
    set(m_db, key::IdleLockMinutes, QString::number(*idle));
    set(m_db, key::PurchaseAskBelowZero,
        chkPurchaseAskBelowZero->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    // Left unset while never changed, so they keep reading as the defaults.
    if (methods != m_loadedMethods || m_methodsDamaged)
        payments::saveMethods(m_db, methods);
    if (cap != m_loadedCap)
        set(m_db, key::DiscountCap, cap);
    t.commit();
    load();
    prompts().message(QStringLiteral("設定已儲存。"), Buttons::Ok, QStringLiteral("系統設定"));
}

} // namespace lumaro
