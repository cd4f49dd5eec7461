#include "app/FirstRunDialog.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "data/Password.h"
#include "support/TestShop.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace lumaro;
using lumaro::test::PromptScope;

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("error");
        QTest::newRow("default file") << QStringList{"lumaro"} << "teadata.db" << false;
        QTest::newRow("another file") << QStringList{"lumaro", "--database", "/tmp/x.db"} << "/tmp/x.db" << false;
        QTest::newRow("with equals") << QStringList{"lumaro", "--database=y.db"} << "y.db" << false;
        QTest::newRow("server") << QStringList{"lumaro", "--database", "postgresql://shop@db/tea"}
                                << "postgresql://shop@db/tea" << false;
        QTest::newRow("missing value") << QStringList{"lumaro", "--database"} << "teadata.db" << true;
        QTest::newRow("unknown") << QStringList{"lumaro", "--colour"} << "teadata.db" << true;
        QTest::newRow("short") << QStringList{"lumaro", "-d", "z.db"} << "z.db" << false;
        QTest::newRow("empty value") << QStringList{"lumaro", "--database="} << "" << true;
        QTest::newRow("stray word") << QStringList{"lumaro", "shop.db"} << "teadata.db" << true;
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

    // Answered before any window exists, so also on a terminal without a display.
    void commandLineWithoutDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString version = QStringLiteral(LUMARO_VERSION);
        QTest::newRow("help") << "LUMARO_BIN" << QStringList{"--help"} << 0 << "用法：lumaro";
        QTest::newRow("version") << "LUMARO_BIN" << QStringList{"--version"} << 0 << "lumaro " + version;
        QTest::newRow("unknown") << "LUMARO_BIN" << QStringList{"--colour"} << 2 << "不認得的參數：--colour";
        QTest::newRow("admin version") << "LUMARO_ADMIN" << QStringList{"--version"} << 0 << "lumaro-admin " + version;
        QTest::newRow("admin help") << "LUMARO_ADMIN" << QStringList{"-h"} << 0 << "用法：lumaro-admin";
        QTest::newRow("admin option") << "LUMARO_ADMIN" << QStringList{"check", "--colour"} << 2
                                      << "check 不認得的選項：--colour";
        QTest::newRow("admin value") << "LUMARO_ADMIN" << QStringList{"backup", "x.db", "--database"} << 2
                                     << "backup 的 --database 後面要接一個值。";
    }
    void commandLineWithoutDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable(qPrintable(program)), args);
        QVERIFY(p.waitForFinished(30000));
        const QString output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == code && output.contains(said), qPrintable(output));
    }

    void firstRunAsksTwiceAndCreatesTheFile()
    {
        PromptScope prompts;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("teadata.db"));
        bool mismatchShown = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
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
        QVERIFY(passwordMatches(db->scalar("SELECT 密碼 FROM 密碼表"), QStringLiteral("烏龍 tea"))); // kept as a hash
        QVERIFY(prompts->shown().isEmpty());
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
