#include "forms/DataGrid.h"

#include "base/Dates.h"
#include "base/DisplayText.h"
#include "base/Units.h"
#include "books/TeaUnits.h"
#include "data/DataControl.h"
#include "data/Schema.h"
#include "forms/ShapedTextDelegate.h"
#include "platform/Form.h"
#include "platform/Handler.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

namespace lumaro {

DataControlModel::DataControlModel(DataControl* control, QObject* parent)
    : QAbstractTableModel(parent), m_control(control)
{
    // Views hear of a change before the rows change, as Qt's contract asks.
    connect(control, &DataControl::rowsAboutToBeReset, this, [this] { beginResetModel(); });
    connect(control, &DataControl::rowsReset, this, [this] {
        readUnits();
        m_announcing = true;
        endResetModel();
        m_announcing = false;
    });
    connect(control, &DataControl::rowsAboutToBeInserted, this,
            [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(control, &DataControl::rowsInserted, this, [this] {
        m_announcing = true;
        endInsertRows();
        m_announcing = false;
    });
    connect(control, &DataControl::rowChanged, this, [this](int row) {
        // A row read again may be of a tea whose unit changed meanwhile.
        if (!m_unitColumns.isEmpty() && row >= 0 && row < rowCount())
            runHandler([this, row] {
                const QString tea = m_control->value(row, m_teaColumn).toString();
                const QString unit = units::toStored(teaUnits::unitOf(m_control->database(), tea));
                if (unit.isEmpty())
                    m_units.remove(tea);
                else
                    m_units.insert(tea, unit);
            });
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
}

void DataControlModel::setUnitCells(int teaColumn, const QList<int>& columns)
{
    beginResetModel();
    m_teaColumn = teaColumn;
    m_unitColumns = columns;
    readUnits();
    endResetModel();
}

void DataControlModel::readUnits()
{
    if (m_unitColumns.isEmpty() || !m_control)
        return;
    // A failed read shows the figures bare, and says why.
    m_units.clear();
    runHandler([this] { m_units = teaUnits::namedUnits(m_control->database()); });
}

int DataControlModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_control ? 0 : m_control->rowCount();
}

bool DataControlModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_control && m_control->canFetchMore();
}

void DataControlModel::fetchMore(const QModelIndex& parent)
{
    // A view that asks while it hears of the last change gets the page when it
    // asks again, so one change is announced before the next begins.
    if (parent.isValid() || !m_control || m_announcing)
        return;
    // The view asks while it lays itself out; a failed read is told, never thrown.
    runHandler([this] { m_control->fetchMore(); });
}

int DataControlModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_control ? 0 : m_control->columnCount();
}

QVariant DataControlModel::data(const QModelIndex& index, int role) const
{
    if (!m_control || !index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const QVariant v = m_control->value(index.row(), index.column());
        // An order date reads as a date, with its time of day where it has one.
        if (m_control->columnName(index.column()) == schema::order::Date)
            return dateText(v);
        if (!m_units.isEmpty() && !v.isNull() && m_unitColumns.contains(index.column())) {
            const QString unit = units::suffix(m_units.value(m_control->value(index.row(), m_teaColumn).toString()));
            if (!unit.isEmpty())
                return QString(displayText(v) + QLatin1Char(' ') + unit);
        }
        return displayText(v);
    }
    if (role == Qt::TextAlignmentRole) {
        const QVariant v = m_control->value(index.row(), index.column());
        const int t = v.typeId();
        if (t == QMetaType::Double || t == QMetaType::Int || t == QMetaType::LongLong)
            return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant DataControlModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole || !m_control)
        return QVariant();
    if (o == Qt::Horizontal)
        return section < m_control->columnCount() ? m_control->columnName(section) : QVariant();
    return m_control->currentRow() == section ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags DataControlModel::flags(const QModelIndex& index) const
{
    // Cells are read-only: editing goes through the screens' text boxes.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

namespace {

// The row selector: a marker on the current row, nothing on the others. Its
// width is that of the marker, so it is measured on two rows, not on up to
// two hundred each time the marker moves, as a plain header would.
class MarkerHeader : public QHeaderView {
public:
    explicit MarkerHeader(DataGrid* grid) : QHeaderView(Qt::Vertical, grid), m_grid(grid) {}

    QSize sizeHint() const override
    {
        const int count = this->count();
        if (count == 0)
            return QSize(0, 0);
        const DataControl* control = m_grid->dataControl();
        const int marked = control ? control->currentRow() : -1;
        // Every row but the marked one looks the same.
        QSize hint = sectionSizeFromContents(marked == 0 && count > 1 ? 1 : 0);
        if (marked >= 0 && marked < count)
            hint = hint.expandedTo(sectionSizeFromContents(marked));
        return hint;
    }

private:
    const DataGrid* m_grid;
};

} // namespace

DataGrid::DataGrid(QWidget* parent) : QTableView(parent)
{
    setVerticalHeader(new MarkerHeader(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    verticalHeader()->setDefaultSectionSize(22);
    verticalHeader()->setMinimumWidth(18);
    horizontalHeader()->setHighlightSections(false);
    setItemDelegate(new ShapedTextDelegate(this));
    // Tab leaves the grid for the next control, as it does everywhere else; the
    // arrow keys move between rows. Otherwise Tab would walk the cells and
    // quietly change the current row.
    setTabKeyNavigation(false);
    // A list opened at a tea far into it reads the rows before its first as
    // it is scrolled up to them.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == verticalScrollBar()->minimum())
            fetchBefore();
    });
}

void DataGrid::fetchBefore()
{
    if (!m_control || !m_model || !m_control->canFetchBefore() || m_fetchingBefore)
        return;
    m_fetchingBefore = true;
    runHandler([this] {
        const int at = verticalScrollBar()->value();
        const int n = m_control->fetchBefore();
        if (n == 0)
            return;
        // The rows in sight stay where they were, the new ones above them.
        updateGeometries();
        verticalScrollBar()->setValue(
            at + (verticalScrollMode() == ScrollPerItem ? n : n * verticalHeader()->defaultSectionSize()));
    });
    m_fetchingBefore = false;
}

void DataGrid::setDataControl(DataControl* control)
{
    m_control = control;
    delete m_model;
    m_model = new DataControlModel(control, this);
    setModel(m_model);
    // A re-read resets the model, which would put every column back to its
    // default width; the widths the screen or the user gave them stay.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        // The header still has the columns as they were shown; the control
        // already holds its new ones.
        m_columnWidths.clear();
        for (int c = 0; c < horizontalHeader()->count(); ++c)
            m_columnWidths << columnWidth(c);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_columnWidths.size() == m_model->columnCount())
            for (int c = 0; c < m_columnWidths.size(); ++c)
                setColumnWidth(c, m_columnWidths[c]);
    });
    connect(control, &DataControl::rowsReset, this, &DataGrid::followControl);
    connect(control, &DataControl::currentChanged, this, &DataGrid::followControl);
    followControl();
}

void DataGrid::followControl()
{
    if (!m_control || !m_model)
        return;
    m_syncing = true;
    const int r = m_control->currentRow();
    if (r >= 0 && r < m_model->rowCount()) {
        const int c = qMax(0, currentIndex().column());
        const QModelIndex idx = m_model->index(r, qMin(c, m_model->columnCount() - 1));
        if (currentIndex() != idx)
            setCurrentIndex(idx);
        scrollTo(idx);
    } else {
        clearSelection();
        if (currentIndex().isValid())
            setCurrentIndex(QModelIndex());
    }
    m_syncing = false;
    if (m_model->rowCount() > 0)
        emit m_model->headerDataChanged(Qt::Vertical, 0, m_model->rowCount() - 1);
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !m_control)
        return;
    runHandler([&] {
        if (current.isValid() && current.row() != m_control->currentRow()) {
            m_control->moveToRow(current.row());
            if (m_control->currentRow() != current.row()) {
                // The control refused to move (a pending change failed to store).
                followControl();
                return;
            }
        }
        if (current.row() != previous.row() || current.column() != previous.column())
            emit rowColChange(previous.row(), previous.column());
    });
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    QTableView::mouseDoubleClickEvent(e);
    emit notified();
}

void DataGrid::mousePressEvent(QMouseEvent* e)
{
    QTableView::mousePressEvent(e);
    highlightCurrentRow();
}

void DataGrid::mouseMoveEvent(QMouseEvent* e)
{
    QTableView::mouseMoveEvent(e);
    highlightCurrentRow();
}

void DataGrid::highlightCurrentRow()
{
    // The view selects the clicked row after it has made it current; when the
    // move was refused, or a screen put the current row back, the highlight
    // must stay on the row that is current, not on the one clicked.
    const QModelIndex current = currentIndex();
    if (current.isValid() && !selectionModel()->isRowSelected(current.row(), QModelIndex()))
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void DataGrid::setFind(int keyColumn, FindNext findNext, const QString& hint)
{
    m_findKeyColumn = keyColumn;
    m_findHint = hint;
    m_findNext = std::move(findNext);
}

void DataGrid::keyPressEvent(QKeyEvent* e)
{
    if (m_findNext && e->matches(QKeySequence::Find)) {
        openFind();
        return;
    }
    // Up from the first row held, or Page Up with it in sight, reads the rows
    // before it; Ctrl+Home goes to the first row of the list, not of those
    // held, and the screen follows as it follows any other move.
    if (m_control && m_control->canFetchBefore()) {
        if (e->matches(QKeySequence::MoveToStartOfDocument)) {
            const int row = currentIndex().row();
            const int column = currentIndex().column();
            runHandler([this] { m_control->moveFirst(); });
            if (m_control->currentRow() == 0)
                emit rowColChange(row, column);
            return;
        }
        if (e->modifiers() == Qt::NoModifier &&
            ((e->key() == Qt::Key_Up && currentIndex().row() <= 0) || (e->key() == Qt::Key_PageUp && rowAt(0) == 0)))
            fetchBefore();
    }
    QTableView::keyPressEvent(e);
}

void DataGrid::openFind()
{
    if (!m_findBox) {
        m_findBox = new QFrame(this);
        m_findBox->setObjectName(QStringLiteral("findBox"));
        m_findBox->setFrameShape(QFrame::StyledPanel);
        m_findBox->setAutoFillBackground(true);
        auto* line = new QHBoxLayout(m_findBox);
        line->setContentsMargins(4, 2, 4, 2);
        line->setSpacing(4);
        line->addWidget(new QLabel(QStringLiteral("尋找："), m_findBox));
        m_findText = new QLineEdit(m_findBox);
        m_findText->setObjectName(QStringLiteral("findText"));
        m_findText->setPlaceholderText(m_findHint);
        m_findText->setMinimumWidth(120);
        m_findText->installEventFilter(this);
        line->addWidget(m_findText);
        m_findNote = new QLabel(m_findBox);
        m_findNote->setObjectName(QStringLiteral("findNote"));
        line->addWidget(m_findNote);
        connect(m_findText, &QLineEdit::textEdited, this, [this] { findFrom(QVariant()); });
        connect(m_findText, &QLineEdit::returnPressed, this, [this] {
            findFrom(m_control && m_control->hasCurrent() ? m_control->storedField(m_findKeyColumn) : QVariant());
        });
    }
    m_findNote->clear();
    placeFind();
    m_findBox->show();
    m_findBox->raise();
    m_findText->setFocus(Qt::ShortcutFocusReason);
    m_findText->selectAll();
}

void DataGrid::closeFind()
{
    if (!m_findBox || !m_findBox->isVisible())
        return;
    const bool hadFocus = m_findText->hasFocus();
    m_findBox->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void DataGrid::placeFind()
{
    if (!m_findBox)
        return;
    // Over the grid's lower right corner: the screen's own controls stay put.
    m_findBox->adjustSize();
    const QRect area = viewport()->geometry();
    const int w = qMin(m_findBox->sizeHint().width(), width());
    const int h = m_findBox->sizeHint().height();
    m_findBox->setGeometry(qMax(0, area.right() - w), qMax(0, area.bottom() - h), w, h);
}

void DataGrid::resizeEvent(QResizeEvent* e)
{
    QTableView::resizeEvent(e);
    placeFind();
}

bool DataGrid::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_findText) {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            closeFind();
            return true;
        }
        if (e->type() == QEvent::FocusOut && !isWindowFocusChange(static_cast<QFocusEvent*>(e)->reason()))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_findText && !m_findText->hasFocus())
                        m_findBox->hide();
                },
                Qt::QueuedConnection);
    }
    return QTableView::eventFilter(watched, e);
}

void DataGrid::findFrom(const QVariant& after)
{
    m_findNote->clear();
    if (!m_control || m_findText->text().trimmed().isEmpty())
        return;
    runHandler([&] {
        const QString text = m_findText->text();
        // A match past the rows the grid has read so far is read up to, as
        // scrolling there would; one the grid does not list (added since it
        // was last read) is passed over for the next one.
        QVariant first;
        for (QVariant key = m_findNext(text, after); key.isValid() && !key.isNull(); key = m_findNext(text, key)) {
            if (first.isValid() && key == first)
                break;
            if (!first.isValid())
                first = key;
            const int row = m_findKeyColumn == m_control->keyColumn() ? m_control->seekKey(key)
                                                                      : m_control->findStoredRow(m_findKeyColumn, key);
            if (row < 0)
                continue;
            selectRow(row);
            return;
        }
        m_findNote->setText(QStringLiteral("找不到"));
    });
}

int DataGrid::currentDataRow() const
{
    const QModelIndex idx = currentIndex();
    return idx.isValid() ? idx.row() : -1;
}

int DataGrid::row() const
{
    const int r = currentDataRow();
    if (r < 0)
        return -1;
    const int top = qMax(0, rowAt(0));
    return r - top;
}

int DataGrid::col() const { return currentIndex().isValid() ? currentIndex().column() : -1; }

void DataGrid::selectRow(int dataRow)
{
    if (!m_model || dataRow < 0 || dataRow >= m_model->rowCount())
        return;
    setCurrentIndex(m_model->index(dataRow, qMax(0, col())));
}

} // namespace lumaro
