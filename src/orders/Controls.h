#pragma once

#include "platform/Controls.h"
#include "platform/Geometry.h"

#include <QString>
#include <QWidget>

class QLabel;
class QObject;

namespace lumaro {

class Database;
class DataControl;
class DataGrid;

// Building blocks of the order screen, beside the ones every screen uses:
// every control gets its name as its objectName and its place in twips.
namespace controls {

// The labels, boxes and grids keep the platform's colours on the screen's
// light yellow.
void keepPlatformColours(QWidget* w);
// A label never cuts its caption: it keeps its place and grows to fit.
void fitLabel(QLabel* label);
QLabel* label(QWidget* parent, const char* name, const QString& caption, const TwipsRect& place);
DataControl* dataControl(Database& db, QObject* parent, const char* name);
DataGrid* grid(QWidget* parent, const char* name, DataControl* control, const TwipsRect& place);

} // namespace controls

} // namespace lumaro
