#pragma once
// The test classes of the program's windows; main() in AppTestMain.cpp runs each.

#include <QObject>

namespace sorvane::test {

QObject* makeMainWindowTest();
QObject* makeDialogsTest();
QObject* makeStatusWindowTest();
QObject* makeShellTest();
QObject* makeStartupTest();
QObject* makeDevicesWindowTest();

} // namespace sorvane::test
