#include "forms/BoundTextBox.h"

#include "base/DisplayText.h"
#include "data/DataControl.h"
#include "platform/Form.h"
#include "platform/Handler.h"

#include <QFocusEvent>

namespace lumaro {

BoundTextBox::BoundTextBox(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, &BoundTextBox::carryEdit);
}

void BoundTextBox::bind(DataControl* control, const QString& column)
{
    m_control = control;
    m_column = column;
    connect(control, &DataControl::currentChanged, this, &BoundTextBox::showCurrent);
    connect(control, &DataControl::rowsReset, this, &BoundTextBox::showCurrent);
    connect(control, &DataControl::rowChanged, this, [this](int row) {
        if (m_control && row == m_control->currentRow())
            showCurrent();
    });
    showCurrent();
}

void BoundTextBox::showCurrent()
{
    if (m_writing || !m_control)
        return;
    QString text;
    const int col = m_control->columnIndex(m_column);
    if (col >= 0 && m_control->hasCurrent())
        text = lumaro::displayText(m_control->field(col));
    if (text != this->text()) {
        setText(text);
        setCursorPosition(0); // show the start of a long value, not its tail
    }
}

void BoundTextBox::carryEdit(const QString& text)
{
    if (!m_control)
        return;
    if (!m_control->hasCurrent()) {
        // With no row to write into (an empty list, or the row just deleted)
        // typing has nowhere to go: the box stays as the row shows it, rather
        // than complaining at every keystroke or pretending to keep the text.
        showCurrent();
        return;
    }
    m_writing = true;
    runHandler([&] { m_control->setField(m_column, text); });
    m_writing = false;
}

void BoundTextBox::focusInEvent(QFocusEvent* e)
{
    if (isWindowFocusChange(e->reason())) {
        // The focus coming back with the window (a message box closed, the
        // user came back from another program) is not the user entering the
        // box: its selection stays as it was and GotFocus stays silent, or a
        // select-on-entry handler would delete the selected text.
        QLineEdit::focusInEvent(e);
        return;
    }
    switch (e->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason: {
        // Reaching the box by keyboard does not select its text by itself, so
        // a GotFocus handler finds the box as the user left it.
        QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
        break;
    }
    default:
        QLineEdit::focusInEvent(e);
        break;
    }
    emit gotFocus();
}

void selectOnEntry(QLineEdit* box)
{
    if (box->hasSelectedText())
        box->insert(QString()); // deletes the selection, as a keystroke would
    box->setSelection(0, box->text().size());
}

} // namespace lumaro
