#pragma once

class QFileDialog;
class QString;
class QWidget;

namespace lumaro {

// Qt's own texts (a text box's Undo and Copy, the file dialog's columns and
// buttons) in the shop's language: every catalogue Qt installs for zh_TW,
// and the few file dialog words those catalogues lack. Call once, after the
// application object is made.
void installQtTexts();

// Qt's own file dialog as the shop reads it: the modified dates in the shop's
// locale (the dialog itself would use the system's, often English), and wide
// enough that a date shows whole. A desktop's own dialog is left as it is.
void fitFileDialog(QFileDialog& dialog);

// The file dialogs the program opens, each fitted as above. Both return an
// empty text when the user cancels.
QString askSaveFile(QWidget* parent, const QString& title, const QString& suggested, const QString& filter);
QString askFolder(QWidget* parent, const QString& title, const QString& start);

} // namespace lumaro
