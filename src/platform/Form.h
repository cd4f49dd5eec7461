#pragma once

#include <QWidget>

namespace lumaro {

// Base of every screen: a light-yellow widget with the shop's event handlers.
// Activation, resizing and closing reach the screen's Form_* handlers inside the
// handler boundary. Inside the main window the screen sits in an MDI
// sub-window, whose activation the main window passes on through activate().
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(const QString& caption, QWidget* parent = nullptr);

    // The client area, in twips.
    double innerWidthTwips() const;
    double innerHeightTwips() const;
    // The whole window with frame and title bar, in twips.
    double outerWidthTwips() const;
    double outerHeightTwips() const;

    // Called when the screen becomes the active window.
    void activate();

protected:
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    // Closing never is refused; the default puts the mouse pointer back.
    virtual void Form_Unload();

    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QSize outerSize() const;
};

// Puts the application-wide mouse pointer back to the default arrow.
void resetMousePointer();

// Focus that comes and goes with the whole window (a message box opening and
// closing, another program in front) is not the user entering or leaving a
// control.
bool isWindowFocusChange(Qt::FocusReason reason);

} // namespace lumaro
