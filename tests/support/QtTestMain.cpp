// GoogleTest main for the suites of windows and dialogs that list it: one
// QApplication for the run (the offscreen platform in the test command); a modal
// window nothing answers fails the test at once.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/ModalGuard.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    sorvane::test::ModalGuard guard([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    return RUN_ALL_TESTS();
}
