#include "platform/Controls.h"

#include <QPushButton>

namespace lumaro {

namespace controls {

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = make<QPushButton>(parent, name);
    b->setText(caption);
    return b;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const TwipsRect& place)
{
    QPushButton* b = button(parent, name, caption);
    placeTwips(b, place);
    return b;
}

} // namespace controls

} // namespace lumaro
