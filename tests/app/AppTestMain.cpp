// Runs every Qt Test class of the program's windows in one QApplication. The
// test command sets QT_QPA_PLATFORM=offscreen; it is the default here as well.

#include <memory>

#include <QApplication>
#include <QTest>

#include "AppTests.h"
#include "support/ModalGuard.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    sorvane::test::ModalGuard guard([](const QString& m) { QTest::qFail(qPrintable(m), __FILE__, __LINE__); });
    int failures = 0;
    for (auto make : {sorvane::test::makeMainWindowTest, sorvane::test::makeDialogsTest,
                      sorvane::test::makeStatusWindowTest, sorvane::test::makeShellTest,
                      sorvane::test::makeStartupTest}) {
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
