#include "platform/Geometry.h"

#include <QPalette>
#include <QWidget>

#include <cmath>

namespace lumaro {

int twips(double t) { return static_cast<int>(std::lround(t / kTwipsPerPixel)); }

double pixelsToTwips(int px) { return px * kTwipsPerPixel; }

void placeTwips(QWidget* w, double left, double top, double width, double height)
{
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void placeTwips(QWidget* w, const TwipsRect& r) { placeTwips(w, r.left, r.top, r.width, r.height); }

void setBackground(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Base, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColor(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

} // namespace lumaro
