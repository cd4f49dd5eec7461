#include "app/MDI_frm.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "platform/Failure.h"
#include "platform/QtPrompts.h"
#include "platform/QtTexts.h"
#include "upkeep/ShopLocation.h"

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// Qt's X11 platform ends the program with an abort and an English line when
// there is no display to connect to; say it first, in the shop's language and
// in English, as scripts/run does, with what works on a machine without a
// screen. Other platforms (Wayland, offscreen, vnc…) are left to Qt. Empty when
// a display can be tried.
QString missingDisplay()
{
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    const QStringList platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (platforms.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    for (const QString& platform : platforms) {
        if (platform.section(QLatin1Char(':'), 0, 0).trimmed() != QLatin1String("xcb"))
            return {};
    }
    QString said = QStringLiteral(
        "沒有可用的顯示器（DISPLAY 未設定），無法開啟 Lumaro 的視窗。沒有螢幕的機器可以用：xvfb-run -a lumaro\n"
        "No display is available (DISPLAY is not set), so Lumaro cannot open its window. On a machine without a "
        "screen: xvfb-run -a lumaro\n");
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        said += QStringLiteral(
            "xvfb-run 在 xvfb 套件裡，這台機器還沒有安裝；請以 root 執行：apt-get install xvfb xauth\n"
            "xvfb-run comes with the package xvfb, which is not installed here; as root: apt-get install xvfb xauth\n");
    return said;
#else
    return {};
#endif
}

// A display that is named but cannot be reached (a closed X server, a DISPLAY
// left over from another session) is only found when Qt tries it, and Qt then
// ends the program with an English line and an abort. While the application
// object starts, its platform's lines are held back and a fatal one becomes a
// clean exit with the same words as above.
QtMessageHandler qtOwnHandler = nullptr;
bool startingPlatform = false;
QList<std::tuple<QtMsgType, QByteArray, QString>> heldBack;

void platformStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!startingPlatform) {
        if (qtOwnHandler)
            qtOwnHandler(type, context, text);
        return;
    }
    if (type == QtFatalMsg) {
        const QString said =
            QStringLiteral("無法連線到顯示器「%1」，無法開啟 Lumaro 的視窗。沒有螢幕的機器可以用：xvfb-run -a lumaro\n"
                           "Cannot connect to the display \"%1\", so Lumaro cannot open its window. On a machine "
                           "without a screen: xvfb-run -a lumaro\n")
                .arg(qEnvironmentVariable("DISPLAY"));
        std::fputs(said.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    // The context's strings live in the caller's frame: keep a copy of the category.
    heldBack.append({type, QByteArray(context.category), text});
}

int run(int argc, char* argv[], const lumaro::StartupOptions& options)
{
    qtOwnHandler = qInstallMessageHandler(platformStartMessage);
    startingPlatform = true;
    QApplication app(argc, argv);
    startingPlatform = false;
    qInstallMessageHandler(qtOwnHandler);
    for (const auto& [type, category, text] : std::as_const(heldBack)) {
        if (qtOwnHandler)
            qtOwnHandler(type, QMessageLogContext(nullptr, 0, nullptr, category.constData()), text);
    }
    heldBack.clear();
    // The name gives the standard places: ~/.local/share/lumaro for the shop,
    // ~/.config/lumaro for the user's own settings.
    QApplication::setApplicationName(lumaro::location::applicationName());
    QApplication::setApplicationDisplayName(QStringLiteral("Lumaro"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    lumaro::installQtTexts();
    QApplication::setFont(lumaro::shopFont());

    lumaro::QtPrompts prompts;
    lumaro::setPrompts(&prompts);
    lumaro::installWaitCursor();

    try {
        bool created = false;
        std::unique_ptr<lumaro::Database> db = lumaro::openShop(options, &created);
        if (!db)
            return 1;
        lumaro::location::rememberShop(db->target());
        lumaro::MDI_frm window(*db);
        window.showMaximized();
        if (!window.Form_Load(created))
            return 0;
        return app.exec();
    } catch (const lumaro::Failure& e) {
        // Every screen's handler catches its own; this is the last resort.
        prompts.message(e.description(), lumaro::Buttons::Ok, QStringLiteral("程式發生錯誤"));
    } catch (const std::exception& e) {
        prompts.message(QString::fromLocal8Bit(e.what()), lumaro::Buttons::Ok, QStringLiteral("程式發生錯誤"));
    }
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);

    // Before the application object, which needs a display: --help and
    // --version answer on any terminal.
    const lumaro::StartupOptions options = lumaro::parseArguments(argumentsOf(argc, argv));
    // Help and the version go to standard output, wrong arguments to standard error.
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s\n", options.error.toLocal8Bit().constData(),
                     lumaro::usageText().toLocal8Bit().constData());
        return 2;
    }
    if (options.help) {
        std::printf("%s\n", lumaro::helpText().toLocal8Bit().constData());
        return 0;
    }
    if (options.version) {
        std::printf("lumaro %s\n", LUMARO_VERSION);
        return 0;
    }
    if (const QString said = missingDisplay(); !said.isEmpty()) {
        std::fputs(said.toLocal8Bit().constData(), stderr);
        return 1;
    }
    return run(argc, argv, options);
}
