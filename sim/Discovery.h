#pragma once
// The agent's answer to LAN discovery: a UDP socket that receives 4-byte requests
// starting with 'U' and answers each with a reply of --discovery-reply-size bytes
// (288 is right): 'U', the device name at byte 4, the password at byte 256. Replies
// come from the --host address, so the client takes that as the device's address, and
// go only to loopback senders (unless --allow-any-address).
// Reports "discovery <from address>" for each request answered. One thread.

#include "Session.h"

#include <string>
#include <thread>
#include <vector>

namespace sorvane::sim {

// The reply datagram for the options' device (size as configured; 288 normally).
std::vector<uint8_t> discoveryReply(const SimOptions& options);

class DiscoveryResponder {
public:
    explicit DiscoveryResponder(SimContext& context);
    ~DiscoveryResponder(); // joins
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    std::string open(); // empty string or the reason it failed
    std::string address() const { return address_; } // where requests are received
    int port() const { return port_; }

    void start();
    void join();

private:
    void run();

    SimContext& context_;
    int receiveFd_ = -1;
    int replyFd_ = -1; // == receiveFd_ when requests come to --host itself
    std::string address_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace sorvane::sim
