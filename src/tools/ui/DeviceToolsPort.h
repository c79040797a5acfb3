#pragma once
// What the device tools need of one live connection: exchanges that expect a reply are
// posted as its jobs (JobPort::post, run on the connection's thread while the screen
// poll waits; a window has the result delivered through platform/ui/UiThread.h),
// messages that expect none are handed to the connection whole. The dialogs and
// commands are written against this; one adapter maps it onto the connection.
//
// Thread: user-interface thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/DeviceToolsMemory.h"
#include "view/InputPackets.h"
#include "view/Job.h"

namespace sorvane {

class DeviceToolsPort : public JobPort {
public:
    // Sends a whole message that expects no reply, in order with input; never blocks.
    virtual void sendMessage(std::vector<uint8_t> bytes) = 0;
    // The same for a message that is the user's input (typed text, a paste): input
    // broadcast hands it on to the other devices as well.
    virtual void sendInputMessage(std::vector<uint8_t> bytes) { sendMessage(std::move(bytes)); }
    // This device's last status and process list.
    virtual std::shared_ptr<DeviceToolsMemory> memory() = 0;
    // The link dropped and is being made again: requests fail and messages are lost
    // until it is back, so the commands refuse them and say why.
    virtual bool reconnecting() const { return false; }
    // Key packets a tool typed (already sent in a message): recorded and counted as the
    // user's own keys. Nothing by default.
    virtual void keysTyped(const std::vector<InputPacket>& packets) { (void)packets; }
};

// The refusal of a command while the device is reconnecting: "<what>: the device is
// reconnecting ..." (what: "Nothing was pasted").
std::string ReconnectingRefusal(const std::string& what);

} // namespace sorvane
