#pragma once
// What the device tools need of one live connection: exchanges that expect a reply run
// as jobs on the connection's thread (the screen poll waits meanwhile), messages that
// expect none are handed to the connection whole. The dialogs and commands are
// written against this; one adapter maps it onto the connection.
//
// Thread: user-interface thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/DeviceToolsMemory.h"
#include "view/InputPackets.h"

class QObject;

namespace sorvane {

class LinkChannel;

enum class ToolsJob { Status, Processes, ClipboardText, Message };

class DeviceToolsPort {
public:
    // Runs on the connection's thread; true when served, else a reason in `error`.
    using Work = std::function<bool(LinkChannel& channel, std::string& error)>;
    // Runs once on the user-interface thread when the work ended in any way (failed,
    // when it never ran); dropped when the receiver is gone by then.
    using Finished = std::function<void(bool served, const std::string& error)>;

    virtual ~DeviceToolsPort() = default;
    // Posts the work; returns a function that cancels it (a job not yet started then
    // never runs; one running ends as it would).
    virtual std::function<void()> post(QObject* receiver, ToolsJob kind, Work work, Finished finished) = 0;
    // Sends a whole message that expects no reply, in order with input; never blocks.
    virtual void sendMessage(std::vector<uint8_t> bytes) = 0;
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
