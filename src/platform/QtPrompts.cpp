#include "platform/QtPrompts.h"
#include "platform/QtTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace lumaro {

namespace {
// A message box sizes itself to its text; keep it wide enough that the
// window system can show the whole title.
void fitTitle(QMessageBox& box, const QString& title)
{
    const int wanted = QFontMetrics(QApplication::font()).horizontalAdvance(title) * 3 / 2 + 140;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

QString displayText(QString text)
{
    // The shop's texts break lines with a lone carriage return.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

Answer QtPrompts::message(const QString& text, Buttons buttons, const QString& title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? programTitle() : title);
    box.setText(displayText(text));
    box.setIcon(QMessageBox::NoIcon);
    fitTitle(box, box.windowTitle());
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("確定"));
    box.exec();
    return Answer::Ok;
}

namespace {

QString ask(const QString& prompt, const QString& title, QLineEdit::EchoMode echo)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title.isEmpty() ? Prompts::programTitle() : title);
    dialog.setLabelText(displayText(prompt));
    dialog.setTextEchoMode(echo);
    dialog.setOkButtonText(QStringLiteral("確定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

} // namespace

QString QtPrompts::input(const QString& prompt, const QString& title) { return ask(prompt, title, QLineEdit::Normal); }

QString QtPrompts::secret(const QString& prompt, const QString& title)
{
    return ask(prompt, title, QLineEdit::Password);
}

void QtPrompts::endProgram()
{
    // At once: no screen's close handling runs. Every stored move is already
    // committed; the shop is only written out whole into its file, after the
    // windows are gone, so the user sees the program end at once.
    for (QWidget* w : QApplication::topLevelWidgets())
        w->hide();
    runAtProgramEnd();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}

QString QtPrompts::saveFile(const QString& title, const QString& suggested, const QString& filter)
{
    return askSaveFile(QApplication::activeWindow(), title, suggested, filter);
}

} // namespace lumaro
