#include "app/FirstRunDialog.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "data/Password.h"
#include "support/TestShop.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
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
