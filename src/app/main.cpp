#include "app/MDI_frm.h"
#include "app/ShopLocation.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "platform/QtPrompts.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <csignal>

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    // The name gives the standard places: ~/.local/share/lumaro for the shop,
    // ~/.config/lumaro for the user's own settings.
    QApplication::setApplicationName(QStringLiteral("lumaro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumaro"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    // Qt's own texts (a text box's Undo, Cut, Copy…) in the shop's language.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK TC"), font.family()});
    QApplication::setFont(font);

    lumaro::QtPrompts prompts;
    lumaro::setPrompts(&prompts);

    const lumaro::StartupOptions options = lumaro::parseArguments(QApplication::arguments());
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(options.error));
        std::fprintf(stderr, "用法：lumaro [--database 資料檔或 postgresql://使用者@主機/資料庫]\n");
        return options.help ? 0 : 2;
    }

    std::unique_ptr<lumaro::Database> db = lumaro::openShop(options);
    if (!db)
        return 1;
    lumaro::location::rememberShop(db->target());

    lumaro::MDI_frm window(*db);
    window.showMaximized();
    if (!window.Form_Load())
        return 0;
    return app.exec();
}
