// First run next to the old program's teadata.mdb: the dialog offers the import,
// shows its progress, and the shop then opens with the old password.
#include "app/FirstRunDialog.h"
#include "app/Startup.h"
#include "books/Password.h"
#include "books/Settings.h"
#include "books/Shop.h"
#include "data/Database.h"
#include "support/TestShop.h"
#include "upkeep/LegacyFixtures.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

class TestFirstRunImport : public QObject {
    Q_OBJECT
private slots:
    void importIsOfferedAndTakesTheOldPassword()
    {
        QTemporaryDir dir;
        qputenv("LUMARO_MDBREADER", writeFakeReader(dir.path(), legacyShop()).toUtf8());
        const QString legacy = dir.filePath(QStringLiteral("teadata.mdb"));
        QFile(legacy).open(QIODevice::WriteOnly);
        const QString target = dir.filePath(QStringLiteral("teadata.db"));

        FirstRunDialog dialog(target, nullptr, legacy);
        dialog.show();
        QVERIFY(dialog.importChoice && dialog.importChoice->isChecked());
        QVERIFY(!dialog.password1->isEnabled());
        // The old file knows no shop name; the one typed here comes along.
        QVERIFY(dialog.shopName->isEnabled() && !dialog.sampleTeas->isEnabled());
        dialog.shopName->setText(QStringLiteral("山嵐茶行"));
        int highest = 0;
        connect(dialog.progress, &QProgressBar::valueChanged, this, [&](int v) { highest = qMax(highest, v); });
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.imported());
        QCOMPARE(highest, 100);
        auto db = openShop(target);
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶香")));
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 茶葉資料表")).toInt(), 3);
        QCOMPARE(settings::get(*db, settings::key::ShopName), QStringLiteral("山嵐茶行"));
        qunsetenv("LUMARO_MDBREADER");
    }

    // The old program's real files, through the installed reader. With
    // LUMARO_SCREENSHOTS naming a folder the dialog is saved there half-way.
    void importsTheRealShopFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("double prices") << QStringLiteral("teadata-jet4.mdb");
        QTest::newRow("single prices") << QStringLiteral("teadata-single.mdb");
    }

    void importsTheRealShopFiles()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        qputenv("LUMARO_MDBREADER", LUMARO_MDBREADER);
        // Started in the shop's folder, as the owner would.
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        auto back = qScopeGuard([&] { QDir::setCurrent(before); });
        const QString legacy = QStringLiteral("teadata.mdb");
        QVERIFY(QFile::copy(QStringLiteral(LUMARO_TEST_DATA_DIR "/") + file, legacy));
        const QString target = QStringLiteral("teadata.db");

        FirstRunDialog dialog(target, nullptr, legacy);
        dialog.show();
        const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS");
        bool saved = false;
        connect(dialog.progress, &QProgressBar::valueChanged, this, [&](int v) {
            if (!pictures.isEmpty() && !saved && v >= 40 && file.contains(QLatin1String("jet4"))) {
                saved = dialog.grab().save(QDir(pictures).filePath(QStringLiteral("first-run-import.png")));
            }
        });
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.imported());
        auto db = openShop(target);
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表")).toInt(), 27);
        QCOMPARE(db->scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號 = 'A004'")).toDouble(), 899.9);
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶Tea-1'x")));
        qunsetenv("LUMARO_MDBREADER");
    }

    void aFailedImportLeavesTheChoiceOpen()
    {
        QTemporaryDir dir;
        JetContents broken = legacyShop();
        broken.tables.pop_back(); // no password table: not the shop's file
        qputenv("LUMARO_MDBREADER", writeFakeReader(dir.path(), broken).toUtf8());
        const QString legacy = dir.filePath(QStringLiteral("teadata.mdb"));
        QFile(legacy).open(QIODevice::WriteOnly);
        const QString target = dir.filePath(QStringLiteral("teadata.db"));

        FirstRunDialog dialog(target, nullptr, legacy);
        dialog.show();
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QVERIFY2(dialog.message->text().contains(QStringLiteral("密碼表")), qPrintable(dialog.message->text()));
        QVERIFY(!QFileInfo::exists(target));

        // The owner starts a new shop instead.
        dialog.createChoice->setChecked(true);
        QVERIFY(dialog.password1->isEnabled());
        dialog.password1->setText(QStringLiteral("新的"));
        dialog.password2->setText(QStringLiteral("新的"));
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.imported());
        QCOMPARE(dialog.password(), QStringLiteral("新的"));
        qunsetenv("LUMARO_MDBREADER");
    }

    void startupOffersTheImportOnlyWithALegacyFile()
    {
        QTemporaryDir dir;
        qputenv("LUMARO_MDBREADER", writeFakeReader(dir.path(), legacyShop()).toUtf8());
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        PromptScope prompts;

        // Without teadata.mdb the plain dialog appears; cancelling it ends the start.
        bool sawImport = true;
        QTimer::singleShot(0, this, [&] {
            auto* d = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            sawImport = d->importChoice != nullptr;
            d->reject();
        });
        StartupOptions options = parseArguments({QStringLiteral("lumaro")});
        QVERIFY(!openShop(options));
        QVERIFY(!sawImport);

        QFile(dir.filePath(QStringLiteral("teadata.mdb"))).open(QIODevice::WriteOnly);
        QTimer::singleShot(0, this, [&] {
            auto* d = qobject_cast<FirstRunDialog*>(QApplication::activeModalWidget());
            QVERIFY(d && d->importChoice);
            QTest::mouseClick(d->okButton, Qt::LeftButton);
        });
        auto db = openShop(options);
        QDir::setCurrent(before);
        qunsetenv("LUMARO_MDBREADER");
        QVERIFY(db);
        QVERIFY(passwordMatches(db->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表")), QStringLiteral("茶香")));
        QCOMPARE(db->scalar(QStringLiteral("SELECT max(訂單編號) FROM 訂單資料表")).toInt(), 42);
    }
};

QTEST_MAIN(TestFirstRunImport)
#include "tst_firstrunimport.moc"
