#include "platform/Form.h"

#include "platform/Geometry.h"
#include "platform/Handler.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiSubWindow>

namespace lumaro {

Form::Form(const QString& caption, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(caption);
    setBackground(this, lightYellow());
}

double Form::innerWidthTwips() const { return pixelsToTwips(width()); }
double Form::innerHeightTwips() const { return pixelsToTwips(height()); }
double Form::outerWidthTwips() const { return pixelsToTwips(outerSize().width()); }
double Form::outerHeightTwips() const { return pixelsToTwips(outerSize().height()); }

QSize Form::outerSize() const
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        return sub->size();
    if (isWindow())
        return frameGeometry().size();
    return size();
}

void Form::activate()
{
    runHandler([this] { Form_Activate(); });
}

void Form::Form_Unload() { resetMousePointer(); }

bool Form::event(QEvent* e)
{
    // A top-level screen (outside the main window) is activated by the window
    // system; inside the main window the MDI area tells us instead.
    if (e->type() == QEvent::WindowActivate && isWindow())
        activate();
    return QWidget::event(e);
}

void Form::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    runHandler([this] { Form_Resize(); });
}

void Form::closeEvent(QCloseEvent* e)
{
    runHandler([this] { Form_Unload(); });
    e->accept();
}

bool isWindowFocusChange(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

void resetMousePointer()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

} // namespace lumaro
