#pragma once
// main() of a suite of Qt Test classes: one QApplication, on the offscreen platform
// unless told otherwise, where a modal window nothing answers fails the test at once
// (ModalGuard). Each class runs in turn; the exit status is 1 when any failed.
// Header-only.

#include <initializer_list>
#include <memory>

#include <QApplication>
#include <QTest>

#include "support/ModalGuard.h"

namespace sorvane::test {

inline int RunQtTestClasses(int argc, char** argv, std::initializer_list<QObject* (*)()> classes)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ModalGuard guard([](const QString& m) { QTest::qFail(qPrintable(m), __FILE__, __LINE__); });
    int failures = 0;
    for (auto make : classes) {
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace sorvane::test
