// Runs every Qt Test class of the device window and connecting in one
// QApplication, on the offscreen platform unless told otherwise; a modal window
// nothing answers fails the test at once.

#include <memory>

#include <QApplication>
#include <QTest>

#include "ViewUiTests.h"
#include "support/ModalGuard.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    sorvane::test::ModalGuard guard([](const QString& m) { QTest::qFail(qPrintable(m), __FILE__, __LINE__); });
    int failures = 0;
    for (auto make : {sorvane::test::makeKeyMapTest, sorvane::test::makeDeviceWindowTest,
                      sorvane::test::makeInputTest, sorvane::test::makeConnectTest,
                      sorvane::test::makeSkinWindowTest, sorvane::test::makeCaptureUiTest,
                      sorvane::test::makeRecordingTest, sorvane::test::makeReconnectTest}) {
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
