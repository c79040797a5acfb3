// USB Auto Discovery against simulated devices on pseudo-terminals, reached through a
// device mapping that points the USB channels at symbolic links in a folder of the test.
// Connecting to a device found (after its probe closed the line) is the USB dialog's
// test (ConnectDialogsTest).

#include <gtest/gtest.h>

#include <filesystem>

#include "ConnectTestSupport.h"
#include "connect/UsbDiscovery.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

LinkConfig usbConfig(const TempDir& dir)
{
    LinkConfig config;
    config.usbDevicePattern = (dir.path() / "usb{n}").string();
    return config;
}

void plug(const TempDir& dir, int port, const SimProcess& sim)
{
    std::filesystem::create_symlink(sim.serialPath(), dir / ("usb" + std::to_string(port)));
}

} // namespace

TEST(UsbDiscovery, ProbesEveryPortAndListsTheDevices)
{
    TempDir dir;
    SimProcess three({"--serial", "--name", "Three"});
    plug(dir, 3, three);
    std::filesystem::create_symlink("/nonexistent/tty", dir / "usb5"); // a mapping to nothing
    SystemClock clock;
    PosixTransportFactory factory;
    CancelToken cancel;
    std::vector<int> progress;
    auto devices = ProbeUsbPorts(clock, usbConfig(dir), factory, cancel,
                                 [&](int port, int found) { progress.push_back(port * 100 + found); });
    EXPECT_EQ(devices, (std::vector<UsbDevice>{{"Three", 3}})); // two at once: the USB dialog's test
    ASSERT_EQ(progress.size(), 32u);
    EXPECT_EQ(progress[0], 100);
    EXPECT_EQ(progress[2], 301);
    EXPECT_EQ(progress.back(), 3201);
}

// Nothing plugged in is the USB dialog's test (its message).
TEST(UsbDiscovery, CancelledAfterThePortInHand)
{
    TempDir dir;
    SystemClock clock;
    PosixTransportFactory factory;
    CancelToken cancel;
    SimProcess one({"--serial", "--name", "One"});
    plug(dir, 1, one);
    int probed = 0;
    auto devices = ProbeUsbPorts(clock, usbConfig(dir), factory, cancel, [&](int, int) {
        if (++probed == 2)
            cancel.cancel();
    });
    EXPECT_EQ(probed, 2); // stopped after the port in hand
    EXPECT_EQ(devices, (std::vector<UsbDevice>{{"One", 1}}));
}
