#include "app/MDI_frm.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "platform/QtPrompts.h"

#include <QApplication>
#include <QFont>
#include <QLocale>

#include <cstdio>
#include <csignal>

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumaro"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
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

    lumaro::MDI_frm window(*db);
    window.showMaximized();
    if (!window.Form_Load())
        return 0;
    return app.exec();
}
