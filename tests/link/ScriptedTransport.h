#pragma once
// Transport doubles that play a script: each receive takes the next step (data,
// would-block, time-out, peer close, error), each send is answered by the next send
// step (accept up to n bytes, would-block, error; accept everything when the script
// is empty). They record the sizes asked for and the bytes sent. The answers of a
// device to the handshake, to play on them or on a socket; and a user at the password
// dialog.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/DeviceInfoBlock.h"
#include "link/Handshake.h"
#include "link/Links.h"
#include "platform/ByteOrder.h"
#include "platform/Transport.h"

namespace sorvane::test {

struct Step {
    IoStatus status = IoStatus::Ok;
    std::vector<uint8_t> data; // receive: bytes handed out (over several calls if needed)
    size_t repeat = 1;         // would-block / time-out / accept-limit steps repeat this often
    size_t limit = SIZE_MAX;   // send: at most this many bytes accepted per call
};

inline Step bytes(std::vector<uint8_t> d) { return {IoStatus::Ok, std::move(d)}; }
inline Step bytes(const std::string& s) { return bytes(std::vector<uint8_t>(s.begin(), s.end())); }
inline Step wouldBlock(size_t n = 1) { return {IoStatus::WouldBlock, {}, n}; }
inline Step nothing(size_t n = 1) { return {IoStatus::Ok, {}, n}; } // serial time-out: 0 bytes
inline Step peerClosed() { return {IoStatus::PeerClosed, {}}; }
inline Step failure() { return {IoStatus::Error, {}}; }
inline Step accept(size_t limit, size_t n = 1) { return {IoStatus::Ok, {}, n, limit}; }

class Script {
public:
    std::deque<Step> receives;
    std::deque<Step> sends;
    std::vector<size_t> receiveSizes;
    std::vector<size_t> sendSizes;
    std::vector<uint8_t> sent;
    int clearErrors = 0;
    bool closeFails = false;
    bool closed = false;
    bool shut = false;

    IoResult receive(std::span<uint8_t> buffer, IoStatus whenEmpty)
    {
        receiveSizes.push_back(buffer.size());
        if (receives.empty())
            return {whenEmpty, 0};
        Step& s = receives.front();
        if (s.status == IoStatus::Ok && !s.data.empty()) {
            size_t n = std::min(buffer.size(), s.data.size());
            std::copy(s.data.begin(), s.data.begin() + long(n), buffer.begin());
            s.data.erase(s.data.begin(), s.data.begin() + long(n));
            if (s.data.empty())
                receives.pop_front();
            return {IoStatus::Ok, n};
        }
        IoResult r{s.status, 0};
        if (--s.repeat == 0)
            receives.pop_front();
        return r;
    }

    IoResult send(std::span<const uint8_t> data)
    {
        sendSizes.push_back(data.size());
        size_t limit = SIZE_MAX;
        IoStatus status = IoStatus::Ok;
        if (!sends.empty()) {
            Step& s = sends.front();
            status = s.status;
            limit = s.limit;
            if (--s.repeat == 0)
                sends.pop_front();
        }
        if (status != IoStatus::Ok)
            return {status, 0};
        size_t n = std::min(limit, data.size());
        sent.insert(sent.end(), data.begin(), data.begin() + long(n));
        return {IoStatus::Ok, n};
    }
};

class FakeSocket final : public SocketTransport {
public:
    explicit FakeSocket(Script& script) : script_(script) {}
    IoResult receive(std::span<uint8_t> b) override { return script_.receive(b, IoStatus::WouldBlock); }
    IoResult send(std::span<const uint8_t> d) override { return script_.send(d); }
    void shutdown() override { script_.shut = true; }
    bool close() override
    {
        script_.closed = true;
        return !script_.closeFails;
    }
    ConnectStatus connect(const Ipv4Endpoint& target) override
    {
        connectedTo.push_back(target);
        return ConnectStatus::Connected;
    }
    ConnectStatus waitConnected(uint32_t) override { return ConnectStatus::Connected; }
    std::vector<Ipv4Endpoint> connectedTo;

private:
    Script& script_;
};

class FakeSerial final : public Transport {
public:
    explicit FakeSerial(Script& script) : script_(script) {}
    Family family() const override { return Family::File; }
    IoResult receive(std::span<uint8_t> b) override { return script_.receive(b, IoStatus::Ok); }
    IoResult send(std::span<const uint8_t> d) override { return script_.send(d); }
    void clearError() override { ++script_.clearErrors; }
    void shutdown() override { script_.shut = true; }
    bool close() override
    {
        script_.closed = true;
        return !script_.closeFails;
    }

private:
    Script& script_;
};

inline std::vector<uint8_t> replyPacket(uint8_t code) { return {code, 0xFF, code, 0x11}; }

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// What a device answers to the hello, the device information and the palette request,
// in that order.
struct Device {
    DeviceInfoBlock info;
    std::vector<uint8_t> helloAnswer = replyPacket('a');
    uint32_t paletteFlag = 1;
    std::vector<uint8_t> palette;      // sent after a non-zero flag
    std::vector<uint8_t> afterPalette; // sent right after the palette
    bool silent = false;               // answers nothing
    size_t infoBytes = DeviceInfoBlock::kSize; // fewer: sends that many, then the link ends

    std::vector<uint8_t> answers() const
    {
        if (silent)
            return {};
        std::vector<uint8_t> all = helloAnswer;
        std::array<uint8_t, DeviceInfoBlock::kSize> block{};
        info.encode(block);
        all.insert(all.end(), block.begin(), block.begin() + long(infoBytes));
        if (infoBytes < block.size())
            return all;
        all.resize(all.size() + 4);
        storeLe32(all.data() + all.size() - 4, paletteFlag);
        if (paletteFlag != 0)
            all.insert(all.end(), palette.begin(), palette.end());
        all.insert(all.end(), afterPalette.begin(), afterPalette.end());
        return all;
    }
};

// A device of this depth, 240 x 320, named "Sim <depth>", with a second display, and
// its palette of (4 << depth) bytes for depths below 16.
inline Device deviceOf(int32_t depth, const std::string& password = "")
{
    Device d;
    d.info.depth = depth;
    d.info.width = 240;
    d.info.height = 320;
    d.info.orientation = depth == 4 ? 90 : 0;
    d.info.altDepth = 8;
    d.info.altWidth = 128;
    d.info.altHeight = 96;
    d.info.altOrientation = 180;
    d.info.spareInfo = 0x5150;
    d.info.setName("Sim " + std::to_string(depth));
    d.info.setPassword(password);
    if (depth >= 0 && depth < 16) {
        d.palette.resize(size_t(4) << depth);
        for (size_t i = 0; i < d.palette.size(); ++i)
            d.palette[i] = uint8_t(i * 5 + depth);
    }
    return d;
}

// Answers as a user typing `typed` would (1 when it matches, else 2); records the
// passwords it was asked about. Any thread.
struct ScriptedPrompt final : PasswordPrompt {
    std::string typed;
    std::vector<std::string> asked;
    std::mutex mutex;
    explicit ScriptedPrompt(std::string t = "") : typed(std::move(t)) {}
    int askPassword(const PasswordTable& table, size_t record) override
    {
        std::lock_guard lock(mutex);
        asked.emplace_back(table.password(record));
        return passwordMatches(typed, table.password(record)) ? 1 : 2;
    }
};

} // namespace sorvane::test
