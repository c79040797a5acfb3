#pragma once
// Where the link layer sends its connections. The connect flows fill this from the
// stored platform settings (linkConfigFrom, ConnectContext.h); tests point every
// address at loopback.

#include <cstdint>
#include <string>
#include <vector>

#include "ssh/SshGateway.h"

namespace sorvane {

struct LinkConfig {
    // ActiveSync attempts rotate through these, in this order, one per attempt. Host
    // order: the first octet is the most significant byte. Empty: no ActiveSync link.
    std::vector<uint32_t> activeSyncCandidates{
        0xC0A83765, // 192.168.55.101
        0x7F000001, // 127.0.0.1
        0xA9FE0201, // 169.254.2.1
    };
    // Device path of serial port n: "{n}" stands for n, "{n-1}" for n - 1. A pattern
    // without either names one device for every port number.
    std::string comDevicePattern = "/dev/ttyS{n-1}";
    std::string usbDevicePattern = "/dev/ttyUSB{n-1}";
    // TCP port of the device agent (ActiveSync, WAN and LAN links).
    uint16_t agentPort = 1899;
    // How links through an SSH gateway are made (known hosts, the time bound).
    SshSettings ssh;
};

} // namespace sorvane
