#include "catalogue/StockCount_frm.h"

#include "base/Numbers.h"
#include "books/Kinds.h"
#include "catalogue/WriteOffWindow.h"
#include "forms/OwnerApproval.h"
#include "forms/ShapedTextDelegate.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("盤點庫存");
// The most teas a question lists one by one.
constexpr int kListed = 12;

// The reason cell is chosen from the reasons, never typed.
class ReasonDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* box = new QComboBox(parent);
        box->addItems(moves::reason::all());
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QComboBox*>(editor)->setCurrentText(index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

const units::Unit& unitOf(const stock::BookStock& s)
{
    const units::Unit* u = units::fromStored(s.unit);
    return u ? *u : units::kilogram();
}

QString label(const stock::BookStock& s) { return s.tea + QLatin1Char(' ') + s.name; }

} // namespace

// Every tea of the count, and what the owner typed on the few rows counted.
// A model rather than a table of items: the view asks only for the rows in
// sight, and a row nobody typed on costs nothing beyond the tea itself, so a
// catalogue of hundreds of thousands of teas opens about as fast as it is read.
class StockCountModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // What the owner typed on a row.
    struct Typed {
        QString counted;
        QString reason = moves::reason::Counted;
    };

    // The teas read afresh, what was typed kept by tea.
    void setTeas(QList<stock::BookStock> teas)
    {
        QHash<QString, Typed> kept;
        for (auto it = m_typed.cbegin(); it != m_typed.cend(); ++it)
            if (!it->counted.trimmed().isEmpty() || it->reason != moves::reason::Counted)
                kept.insert(m_teas[it.key()].tea, *it);
        beginResetModel();
        m_teas = std::move(teas);
        m_typed.clear();
        for (int row = 0; !kept.isEmpty() && row < m_teas.size(); ++row) {
            const auto it = kept.constFind(m_teas[row].tea);
            if (it != kept.cend()) {
                m_typed.insert(row, *it);
                kept.erase(it);
            }
        }
        endResetModel();
    }

    // Posted: every count and reason back to empty and the default.
    void clearTyped()
    {
        if (m_typed.isEmpty())
            return;
        m_typed.clear();
        Q_EMIT dataChanged(index(0, StockCount_frm::Counted), index(rowCount() - 1, StockCount_frm::Reason));
    }

    const stock::BookStock& tea(int row) const { return m_teas[row]; }
    // The rows typed on, by row.
    const QMap<int, Typed>& typed() const { return m_typed; }
    Typed typedOn(int row) const { return m_typed.value(row); }

    // The difference and its cost as the row shows them.
    std::pair<QString, QString> difference(int row) const
    {
        const stock::BookStock& s = m_teas[row];
        const auto it = m_typed.constFind(row);
        if (!s.stock || it == m_typed.cend() || it->counted.trimmed().isEmpty())
            return {};
        const units::Reading r = stock::readCounted(it->counted, unitOf(s));
        if (!r.ok())
            return {QStringLiteral("（看不懂）"), QString()};
        const Money diff = Money::fromDouble(r.value) - *s.stock;
        QString cost;
        if (!s.cost.isNull() && isShopNumber(s.cost.toDouble()))
            cost = (Money::fromStored(s.cost) * diff).toString();
        return {diff.toString(), cost};
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_teas.size()); }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : StockCount_frm::Columns;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        const int column = index.column();
        if (role == Qt::TextAlignmentRole)
            return column >= StockCount_frm::Book && column <= StockCount_frm::Cost
                       ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                       : QVariant();
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        const stock::BookStock& s = m_teas[index.row()];
        switch (column) {
        case StockCount_frm::Tea:
            return s.tea;
        case StockCount_frm::Name:
            return s.name;
        case StockCount_frm::Unit:
            return unitOf(s).name;
        case StockCount_frm::Book:
            return s.stock ? s.stock->toString() : badNumberMark();
        case StockCount_frm::Counted:
            return typedOn(index.row()).counted;
        case StockCount_frm::Difference:
            return difference(index.row()).first;
        case StockCount_frm::Cost:
            return difference(index.row()).second;
        default:
            return typedOn(index.row()).reason;
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (!index.isValid())
            return f;
        if (index.column() == StockCount_frm::Counted) {
            // A stock no move can be worked out on is not counted over.
            if (!m_teas[index.row()].stock)
                return f & ~Qt::ItemIsEnabled;
            return f | Qt::ItemIsEditable;
        }
        if (index.column() == StockCount_frm::Reason)
            return f | Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid) || (role != Qt::EditRole && role != Qt::DisplayRole))
            return false;
        const int row = index.row();
        const int column = index.column();
        if (column != StockCount_frm::Counted && column != StockCount_frm::Reason)
            return false;
        Typed t = typedOn(row);
        (column == StockCount_frm::Counted ? t.counted : t.reason) = value.toString();
        if (t.counted.isEmpty() && t.reason == moves::reason::Counted)
            m_typed.remove(row);
        else
            m_typed.insert(row, t);
        // A count changes its difference and cost beside it.
        Q_EMIT dataChanged(index, this->index(row, column == StockCount_frm::Counted ? StockCount_frm::Cost : column));
        return true;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QStringList headers{QStringLiteral("編號"),     QStringLiteral("名稱"),     QStringLiteral("單位"),
                                         QStringLiteral("帳面庫存"), QStringLiteral("盤點數量"), QStringLiteral("差異"),
                                         QStringLiteral("差異金額"), QStringLiteral("原因")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers.size())
            return headers[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QList<stock::BookStock> m_teas;
    QMap<int, Typed> m_typed;
};

StockCount_frm::StockCount_frm(Database& db, QWidget* parent) : Form(kTitle, parent), m_db(db)
{
    setObjectName(QStringLiteral("StockCount_frm"));
    txtNote = controls::make<QLineEdit>(this, "txtNote");
    txtNote->setPlaceholderText(QStringLiteral("（可不填）"));
    cmdRefresh = controls::button(this, "cmdRefresh", QStringLiteral("重新整理"));
    cmdWriteOff = controls::button(this, "cmdWriteOff", QStringLiteral("報廢…"));
    cmdPost = controls::button(this, "cmdPost", QStringLiteral("過帳"));

    grdCount = controls::make<QTableView>(this, "grdCount");
    m_model = new StockCountModel(grdCount);
    grdCount->setModel(m_model);
    grdCount->verticalHeader()->hide();
    grdCount->setSelectionBehavior(QAbstractItemView::SelectItems);
    grdCount->setSelectionMode(QAbstractItemView::SingleSelection);
    grdCount->setEditTriggers(QAbstractItemView::AllEditTriggers);
    // Every tea is listed: its cells are painted from texts shaped once.
    grdCount->setItemDelegate(new ShapedTextDelegate(grdCount));
    grdCount->setItemDelegateForColumn(Reason, new ReasonDelegate(grdCount));
    grdCount->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    // Room for a difference typed later, such as -12.5 or -1234.5.
    grdCount->horizontalHeader()->setMinimumSectionSize(80);
    // Fitting the columns measures the first screenfuls, not every tea of a
    // large catalogue.
    grdCount->horizontalHeader()->setResizeContentsPrecision(100);
    lblSummary = controls::make<QLabel>(this, "lblSummary");

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("備註："), this));
    top->addWidget(txtNote, 1);
    top->addWidget(cmdRefresh);
    top->addWidget(cmdWriteOff);
    top->addWidget(cmdPost);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdCount, 1);
    layout->addWidget(lblSummary);

    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex&) {
        runHandler([=, this] { grdCount_Change(from.row(), from.column()); });
    });
    connect(cmdPost, &QPushButton::clicked, this, handler([this] { cmdPost_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, handler([this] { cmdRefresh_Click(); }));
    connect(cmdWriteOff, &QPushButton::clicked, this, handler([this] { cmdWriteOff_Click(); }));
    runHandler([this] { reload(); });
    // The screen is shown and activated right after it is made: the teas just
    // read are not read a second time for that (at 200,000 teas the reading is
    // most of the opening). Any later activation reads afresh.
    m_justRead = true;
    QTimer::singleShot(0, this, [this] { m_justRead = false; });
}

void StockCount_frm::reload()
{
    // Read afresh, the owner stays on the same row and cell.
    const QModelIndex current = grdCount->currentIndex();
    const int scrolled = grdCount->verticalScrollBar()->value();
    m_model->setTeas(stock::bookStock(m_db));
    grdCount->resizeColumnsToContents();
    if (current.isValid() && current.row() < m_model->rowCount())
        grdCount->setCurrentIndex(m_model->index(current.row(), current.column()));
    grdCount->verticalScrollBar()->setValue(scrolled);
    showSummary();
}

void StockCount_frm::showSummary()
{
    int counted = 0, differ = 0;
    Money total;
    const QMap<int, StockCountModel::Typed>& typed = m_model->typed();
    for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
        if (it->counted.trimmed().isEmpty())
            continue;
        ++counted;
        const auto [diff, cost] = m_model->difference(it.key());
        if (!diff.isEmpty() && diff != QLatin1String("0"))
            ++differ;
        total += Money::parse(cost);
    }
    lblSummary->setText(counted == 0 ? QStringLiteral("在「盤點數量」欄輸入點算的數量（可以只輸入幾種）。")
                                     : QStringLiteral("已輸入 %1 種，其中 %2 種與帳面不同，差異金額合計 %3。")
                                           .arg(counted)
                                           .arg(differ)
                                           .arg(total.toString()));
}

void StockCount_frm::grdCount_Change(int row, int column)
{
    if (column != Counted || row < 0 || row >= m_model->rowCount())
        return;
    grdCount->resizeColumnToContents(Difference);
    grdCount->resizeColumnToContents(Cost);
    showSummary();
}

void StockCount_frm::Form_Activate()
{
    if (!std::exchange(m_justRead, false))
        reload();
}

void StockCount_frm::cmdRefresh_Click() { reload(); }

void StockCount_frm::cmdWriteOff_Click()
{
    const int row = grdCount->currentIndex().row();
    const QString tea = row >= 0 && row < m_model->rowCount() ? m_model->tea(row).tea : QString();
    WriteOffWindow* w = showWriteOff(m_db, tea, this);
    connect(w, &WriteOffWindow::writtenOff, this, handler([this] { reload(); }));
}

void StockCount_frm::cmdPost_Click()
{
    QList<stock::Count> counts;
    QStringList listed;
    Money total;
    const QMap<int, StockCountModel::Typed>& typed = m_model->typed();
    for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
        const int row = it.key();
        const stock::BookStock& s = m_model->tea(row);
        if (!s.stock || it->counted.trimmed().isEmpty())
            continue;
        const units::Reading r = stock::readCounted(it->counted, unitOf(s));
        if (!r.ok()) {
            grdCount->setCurrentIndex(m_model->index(row, Counted));
            prompts().message(QStringLiteral("%1：%2").arg(label(s), r.refusal), Buttons::Ok, kTitle);
            return;
        }
        const stock::Count c{s.tea, s.name, *s.stock, Money::fromDouble(r.value), it->reason};
        counts << c;
        const Money diff = c.counted - c.seen;
        if (diff == Money())
            continue;
        if (!s.cost.isNull() && isShopNumber(s.cost.toDouble()))
            total += Money::fromStored(s.cost) * diff;
        if (listed.size() <= kListed)
            listed << QStringLiteral("%1：%2 → %3 %4（%5）")
                          .arg(label(s), c.seen.toString(), c.counted.toString(), unitOf(s).name, c.reason);
    }
    if (counts.isEmpty()) {
        prompts().message(QStringLiteral("請先在「盤點數量」欄輸入點算的數量。"), Buttons::Ok, kTitle);
        return;
    }
    if (listed.isEmpty()) {
        prompts().message(QStringLiteral("盤點數量與帳面庫存都相符，不需要調整。"), Buttons::Ok, kTitle);
        return;
    }
    if (listed.size() > kListed)
        listed.last() = QStringLiteral("……");
    const QString question = QStringLiteral("要把這次盤點過帳嗎？\r%1\r差異金額合計（以進價計）%2。")
                                 .arg(listed.join(QChar(13)), total.toString());
    if (prompts().message(question, Buttons::YesNo, kTitle) != Answer::Yes)
        return;
    QList<stock::Posted> posted;
    try {
        if (!withRight(m_db, people::Right::Adjust,
                       [&] { posted = stock::postCount(m_db, counts, txtNote->text().trimmed()); }))
            return;
    } catch (const stock::StockMoved& moved) {
        // The new book figures are shown beside the counts as typed.
        reload();
        prompts().message(moved.description(), Buttons::Ok, moved.title());
        return;
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, refused.title());
        return;
    }
    // Posted once: the counts are cleared, so a second click has nothing to post.
    m_model->clearTyped();
    txtNote->clear();
    reload();
    prompts().message(QStringLiteral("盤點已過帳：%1 種茶葉的帳面庫存已改成盤點數量。").arg(posted.size()), Buttons::Ok,
                      kTitle);
}

} // namespace lumaro
