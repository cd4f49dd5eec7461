#include "catalogue/WriteOffWindow.h"

#include "base/Numbers.h"
#include "books/Kinds.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("報廢");

const units::Unit& unitOf(const stock::BookStock& s)
{
    const units::Unit* u = units::fromStored(s.unit);
    return u ? *u : units::kilogram();
}

} // namespace

WriteOffWindow::WriteOffWindow(Database& db, const QString& tea, QWidget* parent)
    : QWidget(parent, Qt::Window), m_db(db), m_teas(stock::bookStock(db))
{
    setObjectName(QStringLiteral("WriteOffWindow"));
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    setBackground(this, lightYellow());

    cboTea = controls::make<QComboBox>(this, "cboTea");
    for (const stock::BookStock& s : m_teas)
        cboTea->addItem(s.tea + QLatin1Char(' ') + s.name, s.tea);
    lblStock = controls::make<QLabel>(this, "lblStock");
    txtQuantity = controls::make<QLineEdit>(this, "txtQuantity");
    lblUnit = controls::make<QLabel>(this, "lblUnit");
    cboReason = controls::make<QComboBox>(this, "cboReason");
    cboReason->addItems(moves::reason::all());
    cboReason->setCurrentText(moves::reason::Damaged);
    txtNote = controls::make<QLineEdit>(this, "txtNote");
    txtNote->setPlaceholderText(QStringLiteral("（可不填）"));
    cmdWriteOff = controls::button(this, "cmdWriteOff", QStringLiteral("報廢"));
    cmdCancel = controls::button(this, "cmdCancel", QStringLiteral("取消"));

    auto* quantity = new QHBoxLayout;
    quantity->addWidget(txtQuantity, 1);
    quantity->addWidget(lblUnit);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("茶葉："), cboTea);
    form->addRow(QStringLiteral("帳上庫存："), lblStock);
    form->addRow(QStringLiteral("報廢數量："), quantity);
    form->addRow(QStringLiteral("原因："), cboReason);
    form->addRow(QStringLiteral("備註："), txtNote);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdWriteOff);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(420, 230);

    if (const int at = cboTea->findData(tea); at >= 0)
        cboTea->setCurrentIndex(at);
    connect(cboTea, &QComboBox::currentIndexChanged, this, handler([this] { cboTea_Change(); }));
    connect(cmdWriteOff, &QPushButton::clicked, this, handler([this] { cmdWriteOff_Click(); }));
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    cboTea_Change();
}

const stock::BookStock* WriteOffWindow::current() const
{
    const int at = cboTea->currentIndex();
    return at >= 0 && at < m_teas.size() ? &m_teas[at] : nullptr;
}

void WriteOffWindow::cboTea_Change()
{
    const stock::BookStock* s = current();
    if (!s) {
        lblStock->setText(QStringLiteral("（沒有茶葉）"));
        lblUnit->clear();
        return;
    }
    lblUnit->setText(unitOf(*s).name);
    lblStock->setText((s->stock ? s->stock->toString() : badNumberMark()) + QLatin1Char(' ') + unitOf(*s).name);
}

void WriteOffWindow::cmdWriteOff_Click()
{
    const stock::BookStock* s = current();
    if (!s) {
        prompts().message(money::chooseTeaFirstText(), Buttons::Ok, kTitle);
        return;
    }
    const units::Unit& unit = unitOf(*s);
    units::Reading r = units::readExact(txtQuantity->text(), unit);
    if (r.ok() && unit.measure == units::Measure::Count && r.value != std::floor(r.value))
        r.refusal = QStringLiteral("這種茶葉以%1計，報廢數量必須是整數。").arg(unit.name);
    if (r.ok() && r.value <= 0)
        r.refusal = QStringLiteral("報廢數量必須大於 0。");
    if (!r.ok()) {
        prompts().message(r.refusal, Buttons::Ok, kTitle);
        return;
    }
    const Money quantity = Money::fromDouble(r.value);
    const QString reason = cboReason->currentText();
    QString cost;
    if (!s->cost.isNull() && isShopNumber(s->cost.toDouble()))
        cost = QStringLiteral("\r以進價計 %1。").arg((Money::fromStored(s->cost) * quantity).toString());
    const QString question = QStringLiteral("要報廢「%1 %2」%3 %4（%5）嗎？%6")
                                 .arg(s->tea, s->name, quantity.toString(), unit.name, reason, cost);
    if (prompts().message(question, Buttons::YesNo, kTitle) != Answer::Yes)
        return;
    const QString tea = s->tea;
    try {
        if (!withRight(m_db, people::Right::Adjust,
                       [&] { stock::writeOff(m_db, tea, quantity, reason, txtNote->text().trimmed()); }))
            return;
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, refused.title());
        return;
    }
    emit writtenOff(tea);
    close();
}

WriteOffWindow* showWriteOff(Database& db, const QString& tea, QWidget* parent)
{
    auto* w = new WriteOffWindow(db, tea, parent);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

} // namespace lumaro
