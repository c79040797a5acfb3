// The handshake and the reply reader over whatever bytes an agent might send. The
// first input byte picks the link kind and the password answer; the rest is the
// agent's side of the stream, handed out in pieces of varying size.

#include <cstdint>
#include <memory>

#include "fuzz_input.h"
#include "link/CommandPacket.h"
#include "link/Handshake.h"
#include "link/LinkTransport.h"
#include "link/Links.h"

using namespace sorvane;

namespace {

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
    fuzz::Input in{data + 1, size - 1}; // outlives the link that reads it
    ManualClock clock;
    LinkSlot link;
    PasswordTable passwords;
    Answer answer(mode & 2 ? 1 : 2);
    std::atomic<int32_t> lowColor{1};
    HandshakeEnv env{passwords, mode & 4 ? &answer : nullptr, &lowColor, [](const LinkSlot&) { return true; }};
    LinkSlot& s = link;
    s.linkKind = mode & 1 ? 1 : 4;
    s.transport = std::make_unique<fuzz::InputTransport>(
        in, 64, mode & 1 ? Transport::Family::File : Transport::Family::Socket);
    HandshakeStatus status = DeviceHandshake(link, clock, env);
    if (status == HandshakeStatus::Passed && (s.deviceName.empty() || s.deviceName.size() > 255))
        __builtin_trap();
    if (status != HandshakeStatus::Passed && !s.isFree())
        __builtin_trap();
    for (int i = 0; i < 4; ++i)
        ReadReply(link, clock);
    return 0;
}
