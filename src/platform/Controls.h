#pragma once

#include "platform/Geometry.h"

#include <QString>
#include <QWidget>

class QPushButton;

namespace lumaro {

// Making a screen's controls: each gets its name as its objectName, the name
// by which tests find it.
namespace controls {

template <class W>
W* make(QWidget* parent, const char* name)
{
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// Every push button is made here. A screen laid out in twips passes the
// button's place; a screen built with Qt layouts adds it to a layout.
QPushButton* button(QWidget* parent, const char* name, const QString& caption);
QPushButton* button(QWidget* parent, const char* name, const QString& caption, const TwipsRect& place);

} // namespace controls

} // namespace lumaro
