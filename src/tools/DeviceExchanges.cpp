#include "tools/DeviceExchanges.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/CommandPacket.h"
#include "link/LinkChannel.h"
#include "platform/ByteOrder.h"

namespace sorvane {
namespace {

void sendPacket(LinkChannel& channel, uint8_t code)
{
    const auto packet = commandPacket(code);
    channel.send(packet.data(), packet.size());
}

bool recvAll(LinkChannel& channel, uint8_t* buffer, size_t n) { return channel.recv(buffer, n) == n; }

// A reply cut short leaves the rest of it on its way: drained, so the next exchange
// starts on a packet boundary.
ExchangeStatus noReply(LinkChannel& channel)
{
    channel.discardPending();
    return ExchangeStatus::NoReply;
}

ExchangeStatus badReply(LinkChannel& channel)
{
    channel.discardPending();
    return ExchangeStatus::BadReply;
}

std::vector<uint8_t> messageWithWord(uint8_t code, uint32_t word)
{
    std::vector<uint8_t> m(8);
    BuildCommand(std::span<uint8_t, kCommandPacketSize>(m.data(), kCommandPacketSize), code);
    storeLe32(m.data() + 4, word);
    return m;
}

std::vector<uint8_t> packetOnly(uint8_t code)
{
    const auto p = commandPacket(code);
    return {p.begin(), p.end()};
}

} // namespace

const char* ExchangeStatusName(ExchangeStatus status)
{
    switch (status) {
    case ExchangeStatus::Served: return "served";
    case ExchangeStatus::NoReply: return "the device did not answer";
    case ExchangeStatus::BadReply: return "the device's answer is malformed";
    }
    return "unknown";
}

ExchangeStatus RequestDeviceStatus(LinkChannel& channel, DeviceStatusRecord& out)
{
    sendPacket(channel, CmdDeviceStatus);
    std::array<uint8_t, DeviceStatusRecord::kSize> reply;
    if (!recvAll(channel, reply.data(), reply.size()))
        return noReply(channel);
    out = DeviceStatusRecord::decode(reply);
    return ExchangeStatus::Served;
}

ExchangeStatus RequestProcessList(LinkChannel& channel, ProcessList& out)
{
    sendPacket(channel, CmdProcessList);
    uint8_t word[4];
    if (!recvAll(channel, word, 4))
        return noReply(channel);
    const uint32_t count = loadLe32(word);
    if (count > kProcessCountLimit)
        return badReply(channel);
    // The records the program keeps in one read, then the rest read past in chunks.
    const uint32_t kept = std::min(count, kProcessListRecords);
    std::vector<uint8_t> bytes(size_t(kept) * ProcessRecord::kSize);
    if (!recvAll(channel, bytes.data(), bytes.size()))
        return noReply(channel);
    size_t rest = size_t(count - kept) * ProcessRecord::kSize;
    std::vector<uint8_t> scratch(std::min<size_t>(rest, 64 * 1024));
    while (rest > 0) {
        const size_t n = std::min(rest, scratch.size());
        if (!recvAll(channel, scratch.data(), n))
            return noReply(channel);
        rest -= n;
    }
    ProcessList list;
    list.reportedCount = count;
    list.records.reserve(kept);
    for (uint32_t i = 0; i < kept; ++i)
        list.records.push_back(ProcessRecord::decode(
            std::span<const uint8_t, ProcessRecord::kSize>(bytes.data() + size_t(i) * ProcessRecord::kSize,
                                                           ProcessRecord::kSize)));
    out = std::move(list);
    return ExchangeStatus::Served;
}

ExchangeStatus ReadDeviceClipboard(LinkChannel& channel, std::string& deviceText)
{
    sendPacket(channel, CmdReadClipboard);
    uint8_t word[4];
    if (!recvAll(channel, word, 4))
        return noReply(channel);
    const uint32_t length = loadLe32(word);
    if (length > kClipboardTextLimit)
        return badReply(channel);
    std::string text(length, '\0');
    if (length && !recvAll(channel, reinterpret_cast<uint8_t*>(text.data()), length))
        return noReply(channel);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    deviceText = std::move(text);
    return ExchangeStatus::Served;
}

std::vector<uint8_t> PasteMessage(std::string_view deviceText)
{
    std::vector<uint8_t> m = messageWithWord(CmdPasteText, uint32_t(deviceText.size()));
    m.insert(m.end(), deviceText.begin(), deviceText.end());
    return m;
}

std::vector<uint8_t> ActivateMessage(uint32_t windowHandle) { return messageWithWord(CmdActivateWindow, windowHandle); }
std::vector<uint8_t> KillMessage(uint32_t processId) { return messageWithWord(CmdKillProcess, processId); }
std::vector<uint8_t> SoftResetMessage() { return packetOnly(CmdSoftReset); }
std::vector<uint8_t> SuspendMessage() { return packetOnly(CmdSuspend); }

} // namespace sorvane
