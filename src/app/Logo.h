#pragma once

#include <QPixmap>

namespace lumaro {

// The program's logo, 329 x 209 pixels, drawn rather than shipped.
QPixmap makeLogo();
// A square icon in the same style.
QPixmap makeIcon(int size);

} // namespace lumaro
