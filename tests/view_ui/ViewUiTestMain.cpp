// Runs every Qt Test class of the device window and connecting.

#include "ViewUiTests.h"
#include "support/QtTestClasses.h"

int main(int argc, char** argv)
{
    using namespace sorvane::test;
    return RunQtTestClasses(argc, argv,
                            {makeKeyMapTest, makeDeviceWindowTest, makeInputTest, makeConnectTest, makeSkinWindowTest,
                             makeCaptureUiTest, makeRecordingTest, makeReconnectTest, makeFleetCommandsTest});
}
