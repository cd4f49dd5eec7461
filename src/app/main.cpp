#include "app/MDI_frm.h"
#include "app/ShopLocation.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "platform/Failure.h"
#include "platform/QtPrompts.h"
#include "platform/QtTexts.h"

#include <QApplication>
#include <QFont>
#include <QLocale>

#include <csignal>
#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

int run(int argc, char* argv[], const lumaro::StartupOptions& options)
{
    QApplication app(argc, argv);
    // The name gives the standard places: ~/.local/share/lumaro for the shop,
    // ~/.config/lumaro for the user's own settings.
    QApplication::setApplicationName(QStringLiteral("lumaro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumaro"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    lumaro::installQtTexts();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK TC"), font.family()});
    QApplication::setFont(font);

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
    if (options.help || options.version || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        if (options.version && options.error.isEmpty()) {
            std::printf("lumaro %s\n", LUMARO_VERSION);
            return 0;
        }
        std::fprintf(stderr, "%s\n", lumaro::usageText().toLocal8Bit().constData());
        return options.error.isEmpty() ? 0 : 2;
    }
    return run(argc, argv, options);
}
