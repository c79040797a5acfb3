// Runs every Qt Test class of the program's windows.

#include "AppTests.h"
#include "support/QtTestClasses.h"

int main(int argc, char** argv)
{
    using namespace sorvane::test;
    return RunQtTestClasses(argc, argv,
                            {makeMainWindowTest, makeDialogsTest, makeStatusWindowTest, makeShellTest,
                             makeStartupTest, makeDevicesWindowTest});
}
