#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace lumaro {

// Locks the program after a spell without input: every key, click, wheel turn
// or mouse move anywhere in the program starts the wait again.
class IdleLock : public QObject {
    Q_OBJECT
public:
    explicit IdleLock(std::function<void()> lock, QObject* parent = nullptr);
    ~IdleLock() override;

    // 0 turns it off.
    void setMinutes(int minutes);
    // The same in milliseconds (tests wait less than a minute).
    void setWait(int milliseconds);
    int wait() const { return m_wait; }
    // The wait is held while the lock prompt is up, and started afresh after.
    void pause();
    void resume();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_lock;
    QTimer m_timer;
    int m_wait = 0;
    bool m_paused = false;
};

} // namespace lumaro
