#include "orders/Controls.h"

#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "forms/DataGrid.h"
#include "platform/Geometry.h"

#include <QGuiApplication>
#include <QLabel>

namespace lumaro {

namespace controls {

void keepPlatformColours(QWidget* w)
{
    // Children take the screen's light yellow unless told otherwise.
    QPalette p = w->palette();
    const QPalette platform = QGuiApplication::palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button})
        p.setColor(role, platform.color(role));
    w->setPalette(p);
}

void fitLabel(QLabel* l)
{
    // Never smaller than laid out, so a shorter figure shrinks the label back.
    const QSize laidOut = l->property("laidOutSize").toSize();
    const QSize hint = l->sizeHint();
    l->resize(qMax(laidOut.width(), hint.width()), qMax(laidOut.height(), hint.height()));
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, const TwipsRect& place)
{
    auto* l = make<QLabel>(parent, name);
    l->setText(caption);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keepPlatformColours(l);
    l->setAutoFillBackground(true);
    placeTwips(l, place);
    l->setProperty("laidOutSize", l->size());
    fitLabel(l);
    return l;
}

DataControl* dataControl(Database& db, QObject* parent, const char* name)
{
    auto* c = new DataControl(db, parent);
    c->setObjectName(QString::fromLatin1(name));
    // A store that happens on its own (the current row moved) has no button
    // to report through.
    RecordEditor::reportDataErrors(c);
    return c;
}

DataGrid* grid(QWidget* parent, const char* name, DataControl* control, const TwipsRect& place)
{
    auto* g = make<DataGrid>(parent, name);
    g->setDataControl(control);
    placeTwips(g, place);
    keepPlatformColours(g);
    return g;
}

} // namespace controls

} // namespace lumaro
