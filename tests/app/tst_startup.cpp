#include "app/FirstRunDialog.h"
#include "app/MDI_frm.h"
#include "app/Startup.h"
#include "app/main_frm.h"
#include "books/Password.h"
#include "books/People.h"
#include "books/Settings.h"
#include "books/Shop.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "platform/QtTexts.h"
#include "support/Outside.h"
#include "support/TestShop.h"
#include "upkeep/ShopLocation.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

namespace {

// The environment of a user whose home folder is home.
QProcessEnvironment homeIn(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    return env;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("error");
        QTest::newRow("default file") << texts({"lumaro"}) << "teadata.db" << false;
        QTest::newRow("another file") << texts({"lumaro", "--database", "/tmp/x.db"}) << "/tmp/x.db" << false;
        QTest::newRow("with equals") << texts({"lumaro", "--database=y.db"}) << "y.db" << false;
        QTest::newRow("server") << texts({"lumaro", "--database", "postgresql://shop@db/tea"})
                                << "postgresql://shop@db/tea" << false;
        QTest::newRow("missing value") << texts({"lumaro", "--database"}) << "teadata.db" << true;
        QTest::newRow("unknown") << texts({"lumaro", "--colour"}) << "teadata.db" << true;
        QTest::newRow("short") << texts({"lumaro", "-d", "z.db"}) << "z.db" << false;
        QTest::newRow("empty value") << texts({"lumaro", "--database="}) << "" << true;
        QTest::newRow("stray word") << texts({"lumaro", "shop.db"}) << "teadata.db" << true;
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, database);
        QFETCH(bool, error);
        const StartupOptions o = parseArguments(args);
        QCOMPARE(o.database, database);
        QCOMPARE(!o.error.isEmpty(), error);
    }

    // Where a shop started without --database is looked for.
    void location_data()
    {
        QTest::addColumn<QStringList>("files"); // made before looking; "std/" is the standard folder
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("legacy");
        QTest::newRow("shop in the working folder") << texts({"here/teadata.db", "std/teadata.db"}) << "elsewhere/x.db"
                                                    << "here/teadata.db" << false;
        QTest::newRow("old file in the working folder")
            << texts({"here/teadata.mdb", "elsewhere/x.db"}) << "elsewhere/x.db"
            << "here/teadata.db" << true;
        QTest::newRow("remembered shop") << texts({"elsewhere/x.db", "std/teadata.db"}) << "elsewhere/x.db"
                                         << "elsewhere/x.db" << false;
        QTest::newRow("remembered shop gone") << QStringList{} << "elsewhere/x.db"
                                              << "std/teadata.db" << false;
        QTest::newRow("remembered server") << QStringList{} << "postgresql://shop@db/tea"
                                           << "postgresql://shop@db/tea" << false;
        QTest::newRow("nothing anywhere") << QStringList{} << ""
                                          << "std/teadata.db" << false;
    }
    void location()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, remembered);
        QFETCH(QString, target);
        QFETCH(bool, legacy);
        QTemporaryDir dir;
        const QDir root(dir.path());
        for (const QString& f : files) {
            root.mkpath(QFileInfo(f).path());
            QFile(root.filePath(f)).open(QIODevice::WriteOnly);
        }
        root.mkpath(QStringLiteral("here"));
        const auto inRoot = [&](const QString& p) {
            return p.isEmpty() || p.startsWith(QStringLiteral("postgresql:")) ? p : root.filePath(p);
        };
        const location::Found found = location::findShop(root.filePath(QStringLiteral("here")), inRoot(remembered),
                                                         root.filePath(QStringLiteral("std")));
        QCOMPARE(found.target, inRoot(target));
        QCOMPARE(found.legacyFile, legacy ? root.filePath(QStringLiteral("here/teadata.mdb")) : QString());
    }

    void remembersTheLastShopWithoutPassword()
    {
        QStandardPaths::setTestModeEnabled(true);
        location::rememberShop(QStringLiteral("postgresql://shop:secret@db/tea"));
        QCOMPARE(location::rememberedShop(), QStringLiteral("postgresql://shop@db/tea"));
        const QString here = QDir::current().absoluteFilePath(QStringLiteral("x.db"));
        location::rememberShop(QStringLiteral("x.db"));
        QCOMPARE(location::rememberedShop(), here);
        location::rememberShop(QStringLiteral("backups/teadata-2026-12-07.db"));
        QCOMPARE(location::rememberedShop(), here);
    }

    // The dialog names the full path, and a folder of the owner's choosing is
    // made when it does not exist yet.
    void firstRunInAnotherFolder()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        const QString chosen = dir.filePath(QStringLiteral("shop/2026"));
        QString shownPath, refusal;
        bool typingStartsInPassword = false;
        QFile(dir.filePath(QStringLiteral("in-the-way"))).open(QIODevice::WriteOnly);
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shownPath = dialog->path->text();
            typingStartsInPassword = dialog->focusWidget() == dialog->password1;
            dialog->setFolder(dir.filePath(QStringLiteral("in-the-way/shop")));
            dialog->okButton->click();
            refusal = dialog->isVisible() ? dialog->message->text() : QString();
            dialog->setFolder(chosen);
            dialog->password1->setText(QStringLiteral("pw"));
            dialog->password2->setText(QStringLiteral("pw"));
            dialog->okButton->click();
        });
        StartupOptions options;
        options.database = dir.filePath(QStringLiteral("teadata.db"));
        auto db = openShop(options);
        QVERIFY(db);
        QCOMPARE(shownPath, dir.filePath(QStringLiteral("teadata.db")));
        QVERIFY(typingStartsInPassword);
        QVERIFY2(refusal.contains(dir.filePath(QStringLiteral("in-the-way/shop"))), qPrintable(refusal));
        QCOMPARE(db->target(), chosen + QStringLiteral("/teadata.db"));
        QVERIFY(QFileInfo::exists(chosen + QStringLiteral("/teadata.db")));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("teadata.db"))));
    }

    void fileMessagesNameTheFullPath()
    {
        QTemporaryDir dir;
        QFile(dir.filePath(QStringLiteral("in-the-way"))).open(QIODevice::WriteOnly);
        const QString file = dir.filePath(QStringLiteral("in-the-way/teadata.db"));
        try {
            createShop(file, QStringLiteral("pw"));
            QFAIL("created a shop under a plain file");
        } catch (const DataError& e) {
            QCOMPARE(e.description(), QStringLiteral("無法建立資料檔「%1」：資料夾不存在。").arg(file));
        }
    }

    // Answered before any window exists, so also on a terminal without a display.
    void commandLineWithoutDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString version = QStringLiteral(LUMARO_VERSION);
        QTest::newRow("help") << "LUMARO_BIN" << texts({"--help"}) << 0 << "用法：lumaro";
        QTest::newRow("version") << "LUMARO_BIN" << texts({"--version"}) << 0 << QStringLiteral("lumaro ") + version;
        QTest::newRow("unknown") << "LUMARO_BIN" << texts({"--colour"}) << 2 << "不認得的參數：--colour";
        QTest::newRow("window") << "LUMARO_BIN" << texts({"--database", "x.db"}) << 1
                                << "沒有可用的顯示器（DISPLAY 未設定），無法開啟 Lumaro 的視窗。";
        // A display named but not there (no X server listens on :79).
        QTest::newRow("window, display gone") << "LUMARO_BIN" << texts({"--database", "x.db"}) << 1
                                              << "無法連線到顯示器「:79」，無法開啟 Lumaro 的視窗。";
        QTest::newRow("admin version") << "LUMARO_ADMIN" << texts({"--version"}) << 0
                                       << QStringLiteral("lumaro-admin ") + version;
        QTest::newRow("admin help") << "LUMARO_ADMIN" << texts({"-h"}) << 0 << "用法：lumaro-admin";
        QTest::newRow("admin option") << "LUMARO_ADMIN" << texts({"check", "--colour"}) << 2
                                      << "check 不認得的選項：--colour";
        QTest::newRow("admin value") << "LUMARO_ADMIN" << texts({"backup", "x.db", "--database"}) << 2
                                     << "backup 的 --database 後面要接一個值。";
    }
    void commandLineWithoutDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (QByteArray(QTest::currentDataTag()).contains("display gone"))
            env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":79"));
        const Run r = run(qEnvironmentVariable(qPrintable(program)), args, {}, env);
        QVERIFY2(r.code == code && r.said().contains(said), qPrintable(r.said()));
        // Wrong arguments are told on standard error alone.
        QVERIFY2(code != 2 || r.out.isEmpty(), qPrintable(r.out));
    }

    // Help goes to standard output with exit code 0 and does nothing else: no
    // command opens or creates a shop for it.
    void helpOnStandardOutput_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("lumaro") << "LUMARO_BIN" << texts({"--help"}) << "4. ~/.local/share/lumaro/teadata.db";
        QTest::newRow("admin") << "LUMARO_ADMIN" << texts({"--help"}) << "lumaro-admin 指令 --help";
        for (const char* command :
             {"init", "passwd", "user", "import-mdb", "backup", "restore", "check", "upgrade", "export"})
            QTest::newRow(command) << "LUMARO_ADMIN" << texts({command, "--help"})
                                   << QStringLiteral("用法：lumaro-admin ") + QLatin1String(command);
        QTest::newRow("init -h with a file")
            << "LUMARO_ADMIN" << texts({"init", "--sample", "new.db", "-h"}) << "用法：lumaro-admin init";
        QTest::newRow("user add -h") << "LUMARO_ADMIN" << texts({"user", "add", "阿美", "-h"}) << "user list";
    }
    void helpOnStandardOutput()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const Run r = run(qEnvironmentVariable(qPrintable(program)), args, {}, homeIn(dir.path()), dir.path());
        QVERIFY2(r.code == 0 && r.out.contains(said) && r.err.isEmpty(), qPrintable(r.said()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Without --database lumaro-admin finds the shop as lumaro does, and names
    // it on standard error.
    void adminFindsTheShop_data()
    {
        QTest::addColumn<QStringList>("shops");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("working folder first") << texts({"here", "remembered", "standard"}) << "here";
        QTest::newRow("then the last opened") << texts({"remembered", "standard"}) << "remembered";
        QTest::newRow("then the standard folder") << texts({"standard"}) << "standard";
        QTest::newRow("none anywhere") << QStringList() << "standard";
    }
    void adminFindsTheShop()
    {
        QFETCH(QStringList, shops);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        const QMap<QString, QString> files = {{QStringLiteral("here"), dir.filePath(QStringLiteral("here/teadata.db"))},
                                              {QStringLiteral("remembered"),
                                               dir.filePath(QStringLiteral("elsewhere/shop.db"))},
                                              {QStringLiteral("standard"),
                                               dir.filePath(QStringLiteral("home/.local/share/lumaro/teadata.db"))}};
        for (const QString& f : files)
            QVERIFY(QDir().mkpath(QFileInfo(f).path()));
        for (const QString& s : shops)
            createShop(files[s], QStringLiteral("pw"));
        QSettings(dir.filePath(QStringLiteral("home/.config/lumaro/lumaro.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("lastShop"), files[QStringLiteral("remembered")]);

        const Run r = run(qEnvironmentVariable("LUMARO_ADMIN"), texts({"check"}), {},
                          homeIn(dir.filePath(QStringLiteral("home"))), dir.filePath(QStringLiteral("here")));
        QVERIFY2(r.err.startsWith(QStringLiteral("使用資料檔「%1」").arg(files[chosen])), qPrintable(r.said()));
        if (shops.isEmpty())
            QVERIFY2(r.code == 1 && r.out.contains(QStringLiteral("無法讀取")), qPrintable(r.said()));
        else
            QVERIFY2(r.code == 0 && r.out.startsWith(QStringLiteral("資料檔：%1\n").arg(files[chosen])),
                     qPrintable(r.said()));
    }

    // The opening cash and bank, from the first-run dialog and from
    // lumaro-admin init, become the balances and the books' opening row.
    void openingBalances_data()
    {
        QTest::addColumn<QString>("cash");
        QTest::addColumn<QString>("bank");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("float and bank") << "5000"
                                        << "12000.5"
                                        << "";
        QTest::newRow("blank is nothing") << ""
                                          << " 300 "
                                          << "";
        QTest::newRow("negative") << "-1"
                                  << "0"
                                  << "期初現金：期初金額不能是負數。";
        QTest::newRow("not a number") << "0"
                                      << "12,000"
                                      << "期初銀行存款：「12,000」不是金額";
        QTest::newRow("not finite") << "nan"
                                    << "0"
                                    << "期初現金：「nan」不是金額";
        QTest::newRow("too large") << "1e13"
                                   << "0"
                                   << "期初現金：「1e13」太大了";
    }
    void openingBalances()
    {
        QFETCH(QString, cash);
        QFETCH(QString, bank);
        QFETCH(QString, refusal);
        PromptScope prompts;
        QTemporaryDir dir;
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->password1->setText(QStringLiteral("pw"));
            dialog->password2->setText(QStringLiteral("pw"));
            dialog->openingCash->setText(cash);
            dialog->openingBank->setText(bank);
            dialog->okButton->click();
            if (dialog->isVisible()) {
                shown = dialog->message->text();
                dialog->cancelButton->click();
            }
        });
        StartupOptions options;
        options.database = dir.filePath(QStringLiteral("teadata.db"));
        auto db = openShop(options);
        if (!refusal.isEmpty()) {
            QVERIFY(!db);
            QVERIFY2(shown.startsWith(refusal), qPrintable(shown));
            QVERIFY(!QFile::exists(options.database));
            return;
        }
        QVERIFY(db);
        const double c = cash.trimmed().isEmpty() ? 0 : cash.toDouble(), b = bank.trimmed().toDouble();
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), c);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(), b);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金變動 FROM 帳務日誌表 WHERE 種類 = '期初'")).toDouble(), c);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 銀行變動 FROM 帳務日誌表 WHERE 種類 = '期初'")).toDouble(), b);
        db.reset();

        // lumaro-admin init takes the same amounts, and refuses the same.
        QStringList args{QStringLiteral("init"), QStringLiteral("--bank=") + bank,
                         dir.filePath(QStringLiteral("admin.db"))};
        if (!cash.isEmpty())
            args << QStringLiteral("--cash") << cash;
        QCOMPARE(admin(args, "pw\n").code, 0);
        auto made = openShop(dir.filePath(QStringLiteral("admin.db")));
        QCOMPARE(made->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), c);
        QCOMPARE(made->scalar(QStringLiteral("SELECT 銀行變動 FROM 帳務日誌表 WHERE 種類 = '期初'")).toDouble(), b);
    }

    void initRefusesABadOpeningAmount()
    {
        QTemporaryDir dir;
        const Run r = admin({QStringLiteral("init"), QStringLiteral("--bank"), QStringLiteral("-5"),
                             dir.filePath(QStringLiteral("x.db"))});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("init 的 --bank：期初金額不能是負數。")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.db"))));
    }

    void firstRunAsksTwiceAndCreatesTheFile()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        bool mismatchShown = false;
        QString emptyRefusal;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->okButton->click(); // Enter on the empty dialog makes no shop
            emptyRefusal = dialog->isVisible() ? dialog->message->text() : QString();
            dialog->password1->setText(QStringLiteral("烏龍 tea"));
            dialog->password2->setText(QStringLiteral("烏龍 te"));
            dialog->okButton->click();
            mismatchShown = dialog->isVisible() && !dialog->message->text().isEmpty();
            dialog->password2->setText(QStringLiteral("烏龍 tea"));
            dialog->okButton->click();
        });
        StartupOptions options;
        options.database = file;
        auto db = openShop(options);
        QVERIFY(db);
        QVERIFY(mismatchShown);
        QCOMPARE(emptyRefusal, QStringLiteral("密碼不可空白"));
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")),
                                QStringLiteral("烏龍 tea"))); // kept as a hash
        QVERIFY(prompts->shown().isEmpty());
    }

    // The owner typed the new password twice: the window opens at once,
    // signed in as that owner, with an unlock's backup taken, and the shop
    // holds the details receipts print and the sample teas. With
    // LUMARO_SCREENSHOTS naming a folder the filled dialog is saved there.
    void firstRunOpensAtOnceWithTheShopsDetails()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        bool samplesOffAtFirst = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            samplesOffAtFirst = !dialog->sampleTeas->isChecked();
            dialog->password1->setText(QStringLiteral("pw"));
            dialog->password2->setText(QStringLiteral("pw"));
            dialog->openingCash->setText(QStringLiteral("5000"));
            dialog->shopName->setText(QStringLiteral(" 山嵐茶行 "));
            dialog->shopPhone->setText(QStringLiteral("02-1234-5678"));
            dialog->sampleTeas->setChecked(true);
            if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty()) {
                dialog->setFolder(QStringLiteral("/home/shop/.local/share/lumaro"));
                dialog->grab().save(QDir(pictures).filePath(QStringLiteral("first-run.png")));
                dialog->setFolder(dir.path());
            }
            dialog->okButton->click();
        });
        StartupOptions options;
        options.database = dir.filePath(QStringLiteral("teadata.db"));
        bool created = false;
        auto db = openShop(options, &created);
        QVERIFY(db);
        QVERIFY(created);
        QVERIFY(samplesOffAtFirst);
        MDI_frm window(*db);
        QSignalSpy backedUp(&window, &MDI_frm::backupFinished);
        window.show();
        QVERIFY(window.Form_Load(created));
        QVERIFY(backedUp.wait(20000));
        QVERIFY2(prompts->shown().isEmpty(), qPrintable(prompts->shown().value(0).text));
        QCOMPARE(people::signedIn().role, people::Role::Owner);
        QCOMPARE(people::signedIn().name, people::firstOwnerName());
        QVERIFY(!window.lockScreen()->isVisible());
        QCOMPARE(QDir(dir.filePath(QStringLiteral("backups"))).entryList({QStringLiteral("teadata-*.db")}).size(), 1);
        QCOMPARE(settings::get(*db, settings::key::ShopName), QStringLiteral("山嵐茶行"));
        QCOMPARE(settings::get(*db, settings::key::ShopAddress), QString());
        QCOMPARE(settings::get(*db, settings::key::ShopPhone), QStringLiteral("02-1234-5678"));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 12);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(), 5000.0);

        // Opened again, the shop is no longer new: the lock asks as always.
        db.reset();
        auto again = openShop(options, &created);
        QVERIFY(again && !created);
    }

    // Qt's own file dialog in the shop's language: Chinese words, and the
    // modified dates as the shop writes them, whole.
    void fileDialogSpeaksTheShopsLanguage()
    {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
        installQtTexts();
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("收據")));
        QFile file(dir.filePath(QStringLiteral("茶葉.csv")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QFileDialog dialog(nullptr, QStringLiteral("匯出茶葉資料"), dir.filePath(QStringLiteral("茶葉.csv")),
                           QStringLiteral("CSV 檔 (*.csv)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setViewMode(QFileDialog::Detail);
        fitFileDialog(dialog);
        dialog.show();
        auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(view);
        const auto cell = [&](const QString& name, int column) {
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < view->model()->rowCount(root); ++r)
                if (view->model()->index(r, 0, root).data().toString() == name)
                    return view->model()->index(r, column, root).data().toString();
            return QString();
        };
        QTRY_VERIFY(!cell(QStringLiteral("茶葉.csv"), 3).isEmpty());
        const QString date = cell(QStringLiteral("茶葉.csv"), 3);
        QCOMPARE(date, QFileInfo(file).lastModified().toString(QStringLiteral("yyyy/M/d HH:mm")));
        QVERIFY(view->header()->sectionSize(3) > view->fontMetrics().horizontalAdvance(date));
        const QString size = cell(QStringLiteral("茶葉.csv"), 1);
        QCOMPARE(size, QStringLiteral("%1 位元組").arg(QFileInfo(file).size()));
        QVERIFY(view->header()->sectionSize(1) > view->fontMetrics().horizontalAdvance(size));
        QTRY_COMPARE(cell(QStringLiteral("收據"), 2), QStringLiteral("資料夾"));
        QVERIFY(view->model()->headerData(3, Qt::Horizontal).toString() != QStringLiteral("Date Modified"));
        if (const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !pictures.isEmpty())
            dialog.grab().save(QDir(pictures).filePath(QStringLiteral("file-dialog.png")));
    }

    void cancelledFirstRunWritesNothing()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget()))
                dialog->cancelButton->click();
        });
        StartupOptions options;
        options.database = file;
        QVERIFY(!openShop(options));
        QVERIFY(!QFile::exists(file));
    }

    void unreadableFileIsToldAndNotTouched()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        StartupOptions options;
        options.database = file;
        QVERIFY(!openShop(options));
        QCOMPARE(prompts->messages().size(), 1);
        QVERIFY(prompts->messages()[0].text.contains(QStringLiteral("不是 Lumaro 的資料檔")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(4096, 'x'));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
