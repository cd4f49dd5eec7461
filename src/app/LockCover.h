#pragma once

#include <QList>
#include <QPointer>

class QWidget;

namespace lumaro {

// While the password prompt is up, a plain light-yellow page with the logo lies
// over the main window's screens and over every other window the program has
// open (a receipt, a question already asked), so nobody at the counter can read
// the balances or a customer's name behind the prompt. Nothing underneath is
// hidden, moved or closed: when the cover goes, every screen is as it was.
class LockCover {
public:
    // Covers mainArea (the screens' area of the main window, leaving its menu
    // bar in view as at start-up) and every other visible window.
    explicit LockCover(QWidget* mainArea);
    ~LockCover();
    LockCover(const LockCover&) = delete;
    LockCover& operator=(const LockCover&) = delete;

private:
    QList<QPointer<QWidget>> m_pages;
};

} // namespace lumaro
