#pragma once
// A proxy server that shares several simulated devices (--proxy). Each connection
// carries one exchange:
//   92                  -> u32 count, then count records of 384 bytes in the link
//                          record layout (depth, width, height, orientation, spare
//                          word, handle = non-zero when present, in-use word at offset
//                          44, client address at 92 in network byte order, name at 96)
//   'P' + u32 index     -> 'a' when the device is present and free, and the connection
//                          then speaks the device protocol of that device; otherwise
//                          'r' and the connection is closed
// A granted device is in use by the client's address until its connection ends.
// Reports "proxy table <count>", "proxy open <index> granted|refused", and the device
// session's "connected <n> proxy <name>" ... "disconnected <n>".
// Thread-safe: every connection is served on its own thread.

#include "Options.h"
#include "Session.h"

#include <array>
#include <mutex>
#include <vector>

namespace sorvane::sim {

class ByteLink;

constexpr size_t kLinkRecordSize = 384;

// The table as sent for these devices and display (count word not included).
std::vector<uint8_t> encodeProxyTable(const std::vector<ProxyDevice>& devices, const SimOptions& options);

class ProxyServer {
public:
    explicit ProxyServer(SimContext& context);
    void serve(ByteLink& link, const std::string& description, uint32_t peer);

private:
    SimContext& context_;
    std::mutex mutex_;
    std::vector<ProxyDevice> devices_;      // guarded by mutex_
    std::vector<SimOptions> deviceOptions_; // one agent per device, read-only
};

} // namespace sorvane::sim
