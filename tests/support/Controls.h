#pragma once

#include <QObject>
#include <QString>

namespace lumaro::test {

// A screen's control, found by the name the screen gives it; a test that asks
// for a control the screen lacks stops there, naming both.
template <class T>
T* control(const QObject* screen, const char* name)
{
    T* c = screen->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("%s has no control %s", qPrintable(screen->objectName()), name);
    return c;
}

} // namespace lumaro::test
