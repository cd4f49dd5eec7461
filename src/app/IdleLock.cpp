#include "app/IdleLock.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

namespace lumaro {

IdleLock::IdleLock(std::function<void()> lock, QObject* parent) : QObject(parent), m_lock(std::move(lock))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_paused && m_wait > 0)
            m_lock();
    });
    QCoreApplication::instance()->installEventFilter(this);
}

IdleLock::~IdleLock()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void IdleLock::setMinutes(int minutes)
{
    // More than a day is no idle lock a shop would mean; QTimer also takes milliseconds in an int.
    setWait(minutes > 0 ? std::min(minutes, 24 * 60) * 60 * 1000 : 0);
}

void IdleLock::setWait(int milliseconds)
{
    m_wait = std::max(milliseconds, 0);
    resume();
}

void IdleLock::pause()
{
    m_paused = true;
    m_timer.stop();
}

void IdleLock::resume()
{
    m_paused = false;
    if (m_wait > 0)
        m_timer.start(m_wait);
    else
        m_timer.stop();
}

bool IdleLock::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        if (!m_paused && m_timer.isActive())
            m_timer.start(); // the same interval, from now
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lumaro
