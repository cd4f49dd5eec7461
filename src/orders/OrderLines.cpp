// The lower half of the order screen: the selected order's lines, the tea
// list to order from, the quantity, and the order's running total.

#include "orders/Order_frm.h"

#include "base/Numbers.h"
#include "books/Find.h"
#include "books/MoneyMoves.h"
#include "books/TeaUnits.h"
#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "data/Schema.h"
#include "forms/DataGrid.h"
#include "orders/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include <cmath>

namespace lumaro {

namespace {

// The most the quantity bar can hold.
constexpr int kMaxQuantity = 32767;

// The lines and the tea list, in twips. The two rows above the grids stand 60
// twips higher than first drawn and the buttons are 300 high, as the order
// list's are: at 255, with their bottoms under the grids' headers, the
// captions were cut.
constexpr double kLinesRowTop = 2700;
constexpr double kTeaRowTop = 4860;
constexpr TwipsRect kLabel4{360, kLinesRowTop, 720, 180};
constexpr TwipsRect kCommand2{1200, kLinesRowTop, 975, 300};
constexpr TwipsRect kLabel6{2640, kLinesRowTop, 540, 180};
constexpr TwipsRect kMoney{3240, kLinesRowTop, 165, 180};
constexpr TwipsRect kDataGrid1{360, 3000, 8415, 1815};
constexpr TwipsRect kLabel5{360, kTeaRowTop, 720, 180};
constexpr TwipsRect kHScroll1{1680, kTeaRowTop, 2175, 255};
constexpr TwipsRect kBuy{3960, kTeaRowTop, 270, 180};
constexpr TwipsRect kCommand1{4440, kTeaRowTop, 975, 300};
constexpr TwipsRect kDataGrid2{360, 5160, 8415, 1815};
// The chosen tea's unit follows Buy's digits; the typed quantity stands after 訂購.
constexpr TwipsRect kBuyUnit{4230, kTeaRowTop, 210, 180};
constexpr TwipsRect kQuantity{5520, kTeaRowTop, 1200, 285};
// The grids' columns of the tea number and of the quantity or stock.
constexpr int kLineTeaColumn = 1, kLineQuantityColumn = 2, kTeaColumn = 0, kTeaStockColumn = 3;

// The unit of the tea grid's current tea.
const units::Unit& chosenUnit(Database& db, const DataControl& teas)
{
    return teas.hasCurrent() ? teaUnits::unitOf(db, teas.field(0).toString()) : units::kilogram();
}

} // namespace

void Order_frm::buildOrderLines()
{
    Adodc1 = controls::dataControl(m_db, this, "Adodc1");
    // No order chosen yet: no lines.
    Adodc1->setRecordSource(schema::sources::LinesOfOrder, {qlonglong(0)});
    Adodc2 = controls::dataControl(m_db, this, "Adodc2");
    Adodc2->setRecordSource(schema::sources::OrderTeaList);

    Label4 = controls::label(this, "Label4", QStringLiteral("訂單明細"), kLabel4);
    Command2 = controls::button(this, "Command2", QStringLiteral("刪除"), kCommand2);
    Label6 = controls::label(this, "Label6", QStringLiteral("總價："), kLabel6);
    Money = controls::label(this, "Money", QStringLiteral(" "), kMoney);
    DataGrid1 = controls::grid(this, "DataGrid1", Adodc1, kDataGrid1);
    Label5 = controls::label(this, "Label5", QStringLiteral("選擇茶葉"), kLabel5);
    HScroll1 = controls::make<QScrollBar>(this, "HScroll1");
    HScroll1->setOrientation(Qt::Horizontal);
    HScroll1->setRange(0, kMaxQuantity);
    HScroll1->setValue(0);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    placeTwips(HScroll1, kHScroll1);
    Buy = controls::label(this, "Buy", QStringLiteral("      "), kBuy);
    Command1 = controls::button(this, "Command1", QStringLiteral("訂購"), kCommand1);
    DataGrid2 = controls::grid(this, "DataGrid2", Adodc2, kDataGrid2);
    DataGrid2->setFind(
        0, [this](const QString& text, const QVariant& after) { return find::nextTea(m_db, text, after); },
        find::teaHint());

    DataGrid1->setUnitCells(kLineTeaColumn, {kLineQuantityColumn});
    DataGrid2->setUnitCells(kTeaColumn, {kTeaStockColumn});
    lblBuyUnit = controls::label(this, "lblBuyUnit", QString(), kBuyUnit);
    lblBuyUnit->hide(); // shown for a tea not in 公斤
    placeBuyUnit();
    txtQuantity = controls::make<QLineEdit>(this, "txtQuantity");
    txtQuantity->setPlaceholderText(QStringLiteral("例：4兩、半斤"));
    placeTwips(txtQuantity, kQuantity);

    connect(txtQuantity, &QLineEdit::returnPressed, this, handler([this] { txtQuantity_KeyPress(); }));
    connect(DataGrid2, &DataGrid::rowColChange, this, handler([this] { DataGrid2_RowColChange(); }));
    connect(DataGrid1, &DataGrid::notified, this, handler([this] { DataGrid1_Notified(); }));
    connect(HScroll1, &QScrollBar::valueChanged, this, handler([this] { HScroll1_Change(); }));
    connect(Command1, &QPushButton::clicked, this, handler([this] { Command1_Click(); }));
    connect(Command2, &QPushButton::clicked, this, handler([this] { Command2_Click(); }));
}

void Order_frm::grdDataGrid_RowColChange() { readLines(); }

void Order_frm::readLines()
{
    const QVariant order = currentOrder();
    if (order.isNull())
        return;
    readLinesOf(order);
    showTotal();
}

void Order_frm::readLinesOf(const QVariant& order)
{
    Adodc1->setRecordSource(schema::sources::LinesOfOrder, {order});
    Adodc1->refresh();
}

void Order_frm::DataGrid1_Notified()
{
    Adodc1->refresh();
    showTotal();
}

void Order_frm::DataGrid2_RowColChange()
{
    if (!Adodc2->hasCurrent())
        return;
    const QVariant stock = Adodc2->field(3);
    // Whole kilograms, a half to the even neighbour; the bar holds no more
    // than 32767, and a tea with nothing in stock still offers 1.
    // A stock the file holds as NaN or infinity offers the least.
    const double kg = stock.isNull() || !std::isfinite(stock.toDouble()) ? 0 : std::nearbyint(stock.toDouble());
    const int most = kg >= kMaxQuantity ? kMaxQuantity : kg < 1 ? 1 : static_cast<int>(kg);
    HScroll1->setRange(1, most);
    const units::Unit& unit = chosenUnit(m_db, *Adodc2);
    lblBuyUnit->setText(&unit == &units::kilogram() ? QString() : unit.name);
    lblBuyUnit->setVisible(!lblBuyUnit->text().isEmpty());
    placeBuyUnit();
}

void Order_frm::placeBuyUnit()
{
    // The unit reads right after the digits, however many there are.
    lblBuyUnit->move(Buy->x() + Buy->width(), lblBuyUnit->y());
    controls::fitLabel(lblBuyUnit);
}

void Order_frm::HScroll1_Change()
{
    Buy->setText(QString::number(HScroll1->value()));
    controls::fitLabel(Buy);
    if (lblBuyUnit)
        placeBuyUnit();
}

void Order_frm::txtQuantity_KeyPress()
{
    if (!Adodc2->hasCurrent()) {
        prompts().message(money::chooseTeaFirstText());
        return;
    }
    const units::Unit& unit = chosenUnit(m_db, *Adodc2);
    const units::Reading typed = units::readWhole(txtQuantity->text(), unit);
    const QString title = QStringLiteral("訂購數量");
    if (!typed.ok()) {
        prompts().message(typed.refusal, Buttons::Ok, title);
        return;
    }
    // The bar offers 1 up to the stock: a quantity outside it is refused, not
    // quietly changed into another.
    if (typed.value < HScroll1->minimum() || typed.value > HScroll1->maximum()) {
        prompts().message(QStringLiteral("「%1」是 %2%3，可以訂購的數量是 %4 到 %5%3。")
                              .arg(txtQuantity->text().trimmed(), formatNumber(typed.value), unit.name)
                              .arg(HScroll1->minimum())
                              .arg(HScroll1->maximum()),
                          Buttons::Ok, title);
        return;
    }
    HScroll1->setValue(static_cast<int>(typed.value));
}

void Order_frm::Command1_Click()
{
    const QVariant order = currentOrder();
    if (order.isNull()) {
        prompts().message(OrderStore::chooseOrderFirstText());
        return;
    }
    if (!Adodc2->hasCurrent()) {
        prompts().message(money::chooseTeaFirstText());
        return;
    }
    const QVariant tea = Adodc2->field(0);

    Adodc1->addNew();
    try {
        Adodc1->setField(0, order);
        Adodc1->setField(1, tea);
        Adodc1->setField(2, HScroll1->value());
        Adodc1->update();
    } catch (...) {
        // No half-made line stays behind in the grid to be stored later.
        Adodc1->cancelUpdate();
        throw;
    }
    readLinesOf(order);
    UpdateTotal();
}

void Order_frm::Command2_Click()
{
    // The only line gone: nothing is left to stand on, and that is no error.
    RecordEditor::remove(*Adodc1, RecordEditor::WhenEmptied::StandNowhere);
    UpdateTotal();
}

void Order_frm::UpdateTotal()
{
    showTotal();
    // As after a walk through the lines: none is current, so 刪除 deletes
    // only a line the user has chosen since.
    if (Adodc1->hasCurrent()) {
        Adodc1->moveLast();
        Adodc1->moveNext();
    }
}

QList<OrderStore::PricedLine> Order_frm::showTotal()
{
    // Blank while the figure is unknown, so a failed total never leaves
    // another order's figure beside the lines.
    showMoney(QStringLiteral(" "));
    m_net.reset();
    if (!Adodc1->isOpen())
        return {};
    const qlonglong order = Adodc1->parameters().value(0).toLongLong();
    const QList<OrderStore::PricedLine> lines = OrderStore::pricedLines(m_db, order);
    OrderStore::requireTeas(lines);
    // A price the file holds as infinity or NaN cannot be totalled: the label
    // says so, and checkout refuses the order with the reason.
    if (!OrderStore::isChargeable(lines)) {
        showMoney(badNumberMark());
        return lines;
    }
    showMoney(OrderStore::checkoutTotal(lines).toString());
    showDiscounts(order, lines);
    return lines;
}

void Order_frm::showMoney(const QString& text)
{
    Money->setText(text);
    controls::fitLabel(Money);
}

} // namespace lumaro
