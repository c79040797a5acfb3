// GoogleTest main for tests of windows and dialogs: one QApplication for the run
// (the offscreen platform in the test command).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
