#pragma once
// The test classes of the device window and connecting; main() runs each.

#include <QObject>

namespace sorvane::test {

QObject* makeDeviceWindowTest();
QObject* makeInputTest();
QObject* makeConnectTest();
QObject* makeKeyMapTest();
QObject* makeSkinWindowTest();
QObject* makeCaptureUiTest();
QObject* makeRecordingTest();
QObject* makeReconnectTest();
QObject* makeFleetCommandsTest();

} // namespace sorvane::test
