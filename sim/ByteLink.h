#pragma once
// A blocking byte stream over one connected socket or pseudo-terminal master, as one
// connection of the agent sees it. Every wait also watches the StopSignal, so a stop
// request ends any read or write at once. Used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvane::sim {

class StopSignal;

class ByteLink {
public:
    enum class Kind { Socket, Terminal };

    // ownsFd: close the descriptor when the link is closed or destroyed. The descriptor
    // is switched to non-blocking mode.
    ByteLink(int fd, Kind kind, bool ownsFd, const StopSignal& stop);
    ~ByteLink();
    ByteLink(const ByteLink&) = delete;
    ByteLink& operator=(const ByteLink&) = delete;

    // False when the peer closed or hung up, on an error, or on stop; the link is then
    // ended and every later call fails at once.
    bool readExact(uint8_t* out, size_t n);
    bool writeAll(const uint8_t* data, size_t n);
    bool writeAll(const std::vector<uint8_t>& data) { return writeAll(data.data(), data.size()); }

    bool ended() const { return ended_; }

    // Ends the connection so that the peer still receives everything written: a socket
    // is shut down for writing and drained (briefly) before it is closed.
    void close();

private:
    bool fill();

    int fd_;
    Kind kind_;
    bool ownsFd_;
    const StopSignal& stop_;
    bool ended_ = false;
    std::vector<uint8_t> in_;
    size_t inPos_ = 0;
};

} // namespace sorvane::sim
