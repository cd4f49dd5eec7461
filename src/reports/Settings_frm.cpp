#include "reports/Settings_frm.h"

#include "base/Numbers.h"
#include "books/Settings.h"
#include "data/Database.h"
#include "data/Transaction.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
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
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(cmdSave, 0, Qt::AlignLeft);
    layout->addStretch();

    connect(cmdSave, &QPushButton::clicked, this, handler([this] { cmdSave_Click(); }));
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
    t.commit();
    load();
    prompts().message(QStringLiteral("設定已儲存。"), Buttons::Ok, QStringLiteral("系統設定"));
}

} // namespace lumaro
