#pragma once

#include <QColor>

class QWidget;

namespace lumaro {

// Places and sizes are kept in twips, as the shop's screens were laid out:
// 15 twips make one pixel at 96 dpi.
constexpr double kTwipsPerPixel = 15.0;

int twips(double t);          // twips to whole pixels
double pixelsToTwips(int px); // pixels to twips

// Sets a widget's geometry from twips, relative to its parent.
void placeTwips(QWidget* w, double left, double top, double width, double height);

// A control's place in twips, as a screen's layout table gives it.
struct TwipsRect {
    double left, top, width, height;
    constexpr double right() const { return left + width; }
    constexpr double bottom() const { return top + height; }
};
void placeTwips(QWidget* w, const TwipsRect& r);

// The height of a data control's bar. The bars are hidden, but the screens'
// resize rules still leave their room.
constexpr double kDataControlHeight = 330;

inline QColor lightYellow() { return QColor(255, 255, 192); }
inline QColor lightRed() { return QColor(255, 192, 192); }
inline QColor lightBlue() { return QColor(192, 192, 255); }
inline QColor lightGreen() { return QColor(192, 255, 192); }

void setBackground(QWidget* w, const QColor& c);
void setTextColor(QWidget* w, const QColor& c);

} // namespace lumaro
