// Beside checkout: how the customer pays (one method, or two for a split),
// the cash handed over and the change, and the discounts typed on a line or
// on the whole order before checkout.

#include "orders/Order_frm.h"

#include "books/Payments.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "forms/DataGrid.h"
#include "orders/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace lumaro {

namespace {

// Right of 結 帳 on the lines' row, and on the row under the tea list, where
// the screen has room; none covers a control of the screen.
constexpr TwipsRect kCboPayment{5520, 2700, 1080, 300};
constexpr TwipsRect kCboPayment2{6660, 2700, 1200, 300};
constexpr TwipsRect kTxtPayment2{7920, 2700, 855, 300};
constexpr double kRowTop = 7050;
constexpr TwipsRect kLblLineDiscount{360, kRowTop + 60, 720, 180};
constexpr TwipsRect kTxtLineDiscount{1140, kRowTop, 960, 300};
constexpr TwipsRect kLblOrderDiscount{2220, kRowTop + 60, 720, 180};
constexpr TwipsRect kTxtOrderDiscount{3000, kRowTop, 960, 300};
constexpr TwipsRect kLblNet{4080, kRowTop + 60, 1500, 180};
constexpr TwipsRect kLblTendered{5700, kRowTop + 60, 360, 180};
constexpr TwipsRect kTxtTendered{6120, kRowTop, 900, 300};
constexpr TwipsRect kLblChange{7140, kRowTop + 60, 1635, 180};

const QString kNoSecond = QStringLiteral("不分開");

QLineEdit* box(QWidget* parent, const char* name, const TwipsRect& place, const QString& hint)
{
    auto* e = controls::make<QLineEdit>(parent, name);
    e->setPlaceholderText(hint);
    placeTwips(e, place);
    controls::keepPlatformColours(e);
    return e;
}

QComboBox* choice(QWidget* parent, const char* name, const TwipsRect& place)
{
    auto* c = controls::make<QComboBox>(parent, name);
    placeTwips(c, place);
    controls::keepPlatformColours(c);
    return c;
}

// An amount typed for a payment: exact, not negative.
std::optional<Money> typedAmount(const QString& text)
{
    const std::optional<Money> m = Money::readExact(text);
    if (!m || *m < Money())
        return std::nullopt;
    return m;
}

} // namespace

void Order_frm::buildPayment()
{
    cboPayment = choice(this, "cboPayment", kCboPayment);
    cboPayment->setToolTip(QStringLiteral("付款方式"));
    cboPayment2 = choice(this, "cboPayment2", kCboPayment2);
    cboPayment2->setToolTip(QStringLiteral("分開付款：第二種付款方式"));
    txtPayment2 = box(this, "txtPayment2", kTxtPayment2, QStringLiteral("金額"));
    txtPayment2->setToolTip(QStringLiteral("第二種付款方式付的金額，其餘由第一種付"));
    lblLineDiscount = controls::label(this, "lblLineDiscount", QStringLiteral("明細折扣"), kLblLineDiscount);
    txtLineDiscount = box(this, "txtLineDiscount", kTxtLineDiscount, QStringLiteral("50／10%"));
    txtLineDiscount->setToolTip(QStringLiteral("選定那筆明細的折扣：金額（50）或百分比（10%），清空即取消"));
    lblOrderDiscount = controls::label(this, "lblOrderDiscount", QStringLiteral("整單折扣"), kLblOrderDiscount);
    txtOrderDiscount = box(this, "txtOrderDiscount", kTxtOrderDiscount, QStringLiteral("50／10%"));
    txtOrderDiscount->setToolTip(QStringLiteral("整張訂單的折扣：金額（50）或百分比（10%），清空即取消"));
    lblNet = controls::label(this, "lblNet", QString(), kLblNet);
    lblTendered = controls::label(this, "lblTendered", QStringLiteral("實收"), kLblTendered);
    txtTendered = box(this, "txtTendered", kTxtTendered, QStringLiteral("現金"));
    txtTendered->setToolTip(QStringLiteral("客人付的現金，用來算找零"));
    lblChange = controls::label(this, "lblChange", QString(), kLblChange);
    lblNet->hide();
    lblChange->hide();
    loadMethods();

    connect(txtLineDiscount, &QLineEdit::editingFinished, this, handler([this] { txtLineDiscount_Commit(); }));
    connect(txtOrderDiscount, &QLineEdit::editingFinished, this, handler([this] { txtOrderDiscount_Commit(); }));
    connect(txtTendered, &QLineEdit::textChanged, this, handler([this] { txtTendered_Change(); }));
    connect(txtPayment2, &QLineEdit::textChanged, this, handler([this] { txtTendered_Change(); }));
    connect(cboPayment, &QComboBox::currentIndexChanged, this, handler([this] { txtTendered_Change(); }));
    connect(cboPayment2, &QComboBox::currentIndexChanged, this, handler([this] { txtTendered_Change(); }));
    connect(DataGrid1, &DataGrid::rowColChange, this, handler([this] { showLineDiscount(); }));
}

void Order_frm::loadMethods()
{
    const QString first = cboPayment->currentText();
    const QString second = cboPayment2->currentText();
    QStringList names;
    for (const payments::Method& m : payments::activeMethods(m_db))
        names << m.name;
    const QSignalBlocker b1(cboPayment);
    const QSignalBlocker b2(cboPayment2);
    cboPayment->clear();
    cboPayment->addItems(names);
    cboPayment2->clear();
    cboPayment2->addItem(kNoSecond);
    cboPayment2->addItems(names);
    // What was chosen stays chosen while it is still offered.
    cboPayment->setCurrentIndex(std::max(0, int(names.indexOf(first.isEmpty() ? payments::Cash : first))));
    cboPayment2->setCurrentIndex(std::max(0, cboPayment2->findText(second)));
}

void Order_frm::resetPayment()
{
    cboPayment->setCurrentIndex(std::max(0, cboPayment->findText(payments::Cash)));
    cboPayment2->setCurrentIndex(0);
    txtPayment2->clear();
    txtTendered->clear();
    lblChange->clear();
    lblChange->hide();
}

void Order_frm::showDiscounts(qlonglong order, const QList<OrderStore::PricedLine>& lines)
{
    m_net.reset();
    lblNet->clear();
    if (!txtOrderDiscount->hasFocus())
        txtOrderDiscount->setText(payments::orderDiscount(m_db, order));
    showLineDiscount();
    try {
        const OrderStore::Bill b = OrderStore::bill(m_db, order, lines);
        m_net = b.net();
        if (b.discount() != lumaro::Money())
            lblNet->setText(QStringLiteral("應付：%1").arg(b.net().toString()));
    } catch (const DataError&) {
        // A discount the cap no longer allows: checkout names it.
        lblNet->setText(QStringLiteral("折扣有誤"));
    }
    controls::fitLabel(lblNet);
    lblNet->setVisible(!lblNet->text().isEmpty());
    txtTendered_Change();
}

void Order_frm::showLineDiscount()
{
    if (txtLineDiscount->hasFocus())
        return;
    const QVariant line = Adodc1->hasCurrent() ? Adodc1->field(3) : QVariant();
    txtLineDiscount->setText(line.isNull() ? QString() : payments::lineDiscount(m_db, line.toLongLong()));
}

void Order_frm::txtLineDiscount_Commit()
{
    const QString text = txtLineDiscount->text().trimmed();
    const QVariant line = Adodc1->hasCurrent() ? Adodc1->field(3) : QVariant();
    if (line.isNull()) {
        if (!text.isEmpty()) {
            txtLineDiscount->clear();
            prompts().message(QStringLiteral("請先在訂單明細選一筆明細，再輸入它的折扣。"));
        }
        return;
    }
    const qlonglong id = line.toLongLong();
    if (text == payments::lineDiscount(m_db, id))
        return;
    const qlonglong order = Adodc1->parameters().value(0).toLongLong();
    const QList<OrderStore::PricedLine> lines = OrderStore::pricedLines(m_db, order);
    for (const OrderStore::PricedLine& l : lines) {
        if (l.id.toLongLong() != id)
            continue;
        try {
            payments::discountAmount(text, OrderStore::subtotal(l).value_or(lumaro::Money()),
                                     payments::discountCap(m_db), QStringLiteral("這筆明細"));
        } catch (const DataError& e) {
            txtLineDiscount->setText(payments::lineDiscount(m_db, id));
            prompts().message(e.description());
            return;
        }
    }
    payments::setLineDiscount(m_db, id, text);
    showDiscounts(order, OrderStore::pricedLines(m_db, order));
}

void Order_frm::txtOrderDiscount_Commit()
{
    const QString text = txtOrderDiscount->text().trimmed();
    const QVariant current = currentOrder();
    if (current.isNull()) {
        if (!text.isEmpty()) {
            txtOrderDiscount->clear();
            prompts().message(OrderStore::chooseOrderFirstText());
        }
        return;
    }
    const qlonglong order = current.toLongLong();
    if (text == payments::orderDiscount(m_db, order))
        return;
    const QList<OrderStore::PricedLine> lines = OrderStore::pricedLines(m_db, order);
    try {
        OrderStore::bill(lines, text, payments::discountCap(m_db));
    } catch (const DataError& e) {
        txtOrderDiscount->setText(payments::orderDiscount(m_db, order));
        prompts().message(e.description());
        return;
    }
    payments::setOrderDiscount(m_db, order, text);
    showDiscounts(order, lines);
}

OrderStore::Payment Order_frm::typedPayment() const
{
    OrderStore::Payment p;
    p.method = cboPayment->currentText();
    if (cboPayment2->currentIndex() > 0) {
        p.second = cboPayment2->currentText();
        const std::optional<lumaro::Money> amount = typedAmount(txtPayment2->text());
        if (!amount)
            throw DataError(QStringLiteral("請在「%1」旁填上它付的金額（例如 500）。").arg(p.second));
        p.secondAmount = *amount;
    }
    if (!txtTendered->text().trimmed().isEmpty()) {
        p.tendered = typedAmount(txtTendered->text());
        if (!p.tendered)
            throw DataError(QStringLiteral("實收金額「%1」看不懂，請填客人付的現金（例如 1000）。")
                                .arg(txtTendered->text().trimmed()));
    }
    return p;
}

void Order_frm::txtTendered_Change()
{
    lblChange->clear();
    lblChange->hide();
    if (txtTendered->text().trimmed().isEmpty() || !m_net)
        return;
    try {
        const QList<OrderStore::Charge> charges =
            OrderStore::charges(payments::activeMethods(m_db), *m_net, typedPayment());
        lblChange->setText(QStringLiteral("找零：%1").arg(OrderStore::change(charges).toString()));
    } catch (const DataError&) {
        lblChange->setText(QStringLiteral("找零：—"));
    }
    controls::fitLabel(lblChange);
    lblChange->show();
}

} // namespace lumaro
