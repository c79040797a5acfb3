#pragma once
// The agent's side of a link in the fuzz targets: the rest of the input, handed out in
// pieces whose sizes follow the data itself, so that short and split reads are exercised;
// or, to the exchanges that read through a link channel, as much as they ask for.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "link/LinkChannel.h"
#include "platform/Transport.h"

namespace sorvane::fuzz {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    bool exhausted() const { return at >= size; }
    // Copies the next piece: at most n bytes, and at most 1 + (its first byte % maxPiece).
    size_t take(uint8_t* out, size_t n, size_t maxPiece)
    {
        const size_t k = exhausted() ? 0 : std::min({n, 1 + data[at] % maxPiece, size - at});
        if (k) // an empty read may come with no buffer at all
            std::memcpy(out, data + at, k);
        at += k;
        return k;
    }
};

// Every transport a flow opens reads on through the same input. At its end a socket's
// peer has closed; a serial line just has nothing more.
class InputTransport final : public SocketTransport {
public:
    InputTransport(Input& in, size_t maxPiece, Family family = Family::Socket)
        : in_(in), maxPiece_(maxPiece), family_(family)
    {
    }
    Family family() const override { return family_; }
    IoResult receive(std::span<uint8_t> buffer) override
    {
        if (in_.exhausted())
            return {family_ == Family::Socket ? IoStatus::PeerClosed : IoStatus::Ok, 0};
        return {IoStatus::Ok, in_.take(buffer.data(), buffer.size(), maxPiece_)};
    }
    IoResult send(std::span<const uint8_t> d) override { return {IoStatus::Ok, d.size()}; }
    void shutdown() override {}
    bool close() override { return true; }
    ConnectStatus connect(const Ipv4Endpoint&) override { return ConnectStatus::Connected; }
    ConnectStatus waitConnected(uint32_t) override { return ConnectStatus::Connected; }

private:
    Input& in_;
    size_t maxPiece_;
    Family family_;
};

// A link channel over the input: a read takes what there is, up to the size asked for;
// a reply packet is the next four bytes; dropping what is pending skips sixteen.
class InputChannel final : public LinkChannel {
public:
    InputChannel(const uint8_t* data, size_t size) : in_{data, size} {}
    size_t recv(uint8_t* buffer, size_t n) override
    {
        size_t got = 0;
        while (got < n && !in_.exhausted())
            got += in_.take(buffer + got, n - got, 97);
        return got;
    }
    void send(const uint8_t*, size_t) override {}
    uint8_t readReply() override
    {
        uint8_t p[4];
        return recv(p, 4) == 4 ? p[0] : 0;
    }
    void sleepMs(uint32_t) override {}
    void discardPending() override { in_.at = std::min(in_.size, in_.at + 16); }
    bool exhausted() const { return in_.exhausted(); }

private:
    Input in_;
};

} // namespace sorvane::fuzz
