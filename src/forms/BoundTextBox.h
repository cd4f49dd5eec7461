#pragma once

#include <QLineEdit>
#include <QPointer>

#include "data/DataControl.h"

namespace lumaro {

// A text box bound to one column of a data control: it shows the current row's
// value and carries the user's typing into the row as a pending change.
class BoundTextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit BoundTextBox(QWidget* parent = nullptr);

    void bind(DataControl* control, const QString& column);
    DataControl* dataControl() const { return m_control; }
    const QString& dataField() const { return m_column; }

signals:
    // The user moved the keyboard focus into the box (the screens' GotFocus
    // handlers). Not sent when the focus only comes back with the window.
    void gotFocus();

protected:
    void focusInEvent(QFocusEvent* e) override;

private:
    void showCurrent();
    void carryEdit(const QString& text);

    QPointer<DataControl> m_control;
    QString m_column;
    bool m_writing = false;
};

// Deletes whatever is selected in the box, then selects all that remains, so
// the next keystroke replaces it.
void selectOnEntry(QLineEdit* box);

} // namespace lumaro
