// The handshake and the reply reader over whatever bytes an agent might send. The
// first input byte picks the link kind and the password answer; the rest is the
// agent's side of the stream, handed out in pieces of varying size.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "link/CommandPacket.h"
#include "link/Handshake.h"
#include "link/LinkTransport.h"
#include "link/Links.h"

using namespace sorvane;

namespace {

class StreamTransport final : public Transport {
public:
    StreamTransport(Family family, const uint8_t* data, size_t size) : family_(family), data_(data, data + size) {}
    Family family() const override { return family_; }
    IoResult receive(std::span<uint8_t> buffer) override
    {
        if (at_ >= data_.size())
            return {family_ == Family::Socket ? IoStatus::PeerClosed : IoStatus::Ok, 0};
        // Piece sizes follow the data itself, so short and split reads are exercised.
        size_t piece = 1 + data_[at_] % 64;
        size_t n = std::min({buffer.size(), piece, data_.size() - at_});
        std::memcpy(buffer.data(), data_.data() + at_, n);
        at_ += n;
        return {IoStatus::Ok, n};
    }
    IoResult send(std::span<const uint8_t> data) override { return {IoStatus::Ok, data.size()}; }
    void shutdown() override {}
    bool close() override { return true; }

private:
    Family family_;
    std::vector<uint8_t> data_;
    size_t at_ = 0;
};

struct Answer final : PasswordPrompt {
    int result;
    explicit Answer(int r) : result(r) {}
    int askPassword(const PasswordTable& table, size_t record) override
    {
        (void)table.password(record);
        return result;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ManualClock clock;
    Links links(clock);
    PasswordTable passwords;
    Answer answer(mode & 2 ? 1 : 2);
    std::atomic<int32_t> lowColor{1};
    HandshakeEnv env{passwords, mode & 4 ? &answer : nullptr, &lowColor, [](int) { return true; }};
    LinkSlot& s = *links.find(0);
    s.linkKind = mode & 1 ? 1 : 4;
    s.transport = std::make_unique<StreamTransport>(
        mode & 1 ? Transport::Family::File : Transport::Family::Socket, data + 1, size - 1);
    HandshakeStatus status = DeviceHandshake(links, 0, env);
    if (status == HandshakeStatus::Passed && (s.deviceName.empty() || s.deviceName.size() > 255))
        __builtin_trap();
    if (status != HandshakeStatus::Passed && !s.isFree())
        __builtin_trap();
    for (int i = 0; i < 4; ++i)
        ReadReply(links, 0);
    return 0;
}
