#include "platform/Failure.h"
#include "platform/Handler.h"
#include "support/TestShop.h"

#include <QPushButton>
#include <QtTest>

#include <stdexcept>

using namespace lumaro;
using lumaro::test::PromptScope;

class HandlerTest : public QObject {
    Q_OBJECT
private slots:
    void failuresBecomeOneMessageTitledLumaro_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("our failure") << 0 << "庫存不足";
        QTest::newRow("standard exception") << 1 << "boom";
        QTest::newRow("anything else") << 2 << "發生未預期的錯誤。";
    }
    void failuresBecomeOneMessageTitledLumaro()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        PromptScope prompts;
        int stepsRun = 0;
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, &button, handler([&] {
            ++stepsRun;
            if (kind == 0)
                throw Failure(QStringLiteral("庫存不足"));
            if (kind == 1)
                throw std::runtime_error("boom");
            throw 42;
        }));
        button.click();
        button.click(); // the program keeps running: the handler runs again
        QCOMPARE(stepsRun, 2);
        const auto shown = prompts->messages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, text);
        QCOMPARE(shown[0].title, QStringLiteral("Lumaro"));
        QCOMPARE(shown[0].buttons, Buttons::Ok);
        QVERIFY(!prompts->ended());
    }

    void successShowsNothing()
    {
        PromptScope prompts;
        bool ran = false;
        runHandler([&] { ran = true; });
        QVERIFY(ran);
        QVERIFY(prompts->shown().isEmpty());
    }
};

QTEST_MAIN(HandlerTest)
#include "tst_handler.moc"
