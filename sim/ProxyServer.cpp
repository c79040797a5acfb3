#include "ProxyServer.h"

#include "Agent.h"
#include "ByteLink.h"
#include "EventLog.h"
#include "StopSignal.h"
#include "platform/ByteOrder.h"

#include <cstring>

namespace sorvane::sim {
namespace {

constexpr uint8_t kTableRequest = 92, kOpenRequest = 'P', kGranted = 'a', kRefused = 'r';
constexpr uint32_t kHandleBase = 0x100;

} // namespace

std::vector<uint8_t> encodeProxyTable(const std::vector<ProxyDevice>& devices, const SimOptions& o)
{
    std::vector<uint8_t> out(devices.size() * kLinkRecordSize, 0);
    for (size_t i = 0; i < devices.size(); ++i) {
        uint8_t* r = out.data() + i * kLinkRecordSize;
        const ProxyDevice& d = devices[i];
        storeLe32(r + 0, uint32_t(o.main.depth));
        storeLe32(r + 4, uint32_t(o.main.width));
        storeLe32(r + 8, uint32_t(o.main.height));
        storeLe32(r + 12, uint32_t(o.main.orientation));
        storeLe32(r + 32, uint32_t(o.spare));
        storeLe32(r + 36, 4);                      // the proxy reaches its devices over TCP
        storeLe32(r + 44, d.inUse ? 1 : 0);        // in use
        storeLe32(r + 68, d.present ? kHandleBase + uint32_t(i) : 0);
        r[92] = uint8_t(d.client >> 24);           // client address, network byte order
        r[93] = uint8_t(d.client >> 16);
        r[94] = uint8_t(d.client >> 8);
        r[95] = uint8_t(d.client);
        std::memcpy(r + 96, d.name.data(), std::min<size_t>(d.name.size(), 255));
    }
    return out;
}

ProxyServer::ProxyServer(SimContext& context) : context_(context), devices_(context.options.proxy.devices)
{
    for (const ProxyDevice& d : devices_) {
        SimOptions o = context.options;
        o.name = d.name;
        deviceOptions_.push_back(std::move(o));
    }
}

void ProxyServer::serve(ByteLink& link, const std::string& description, uint32_t peer)
{
    EventLog& log = context_.log;
    uint8_t code = 0;
    while (link.readExact(&code, 1)) {
        if (code == kTableRequest) {
            std::vector<uint8_t> table;
            uint32_t count = 0;
            {
                std::lock_guard lock(mutex_);
                table = encodeProxyTable(devices_, context_.options);
                count = uint32_t(devices_.size());
            }
            if (context_.options.proxy.countOverride)
                count = *context_.options.proxy.countOverride;
            uint8_t c[4];
            storeLe32(c, count);
            log.line("proxy table " + std::to_string(count));
            if (!link.writeAll(c, 4) || !link.writeAll(table))
                break;
            if (context_.options.proxy.countOverride)
                break; // a proxy that announces a wrong count breaks off after its table
            continue;
        }
        if (code != kOpenRequest) {
            log.line("proxy garbage " + std::to_string(code));
            break;
        }
        uint8_t indexBytes[4];
        if (!link.readExact(indexBytes, 4))
            break;
        const uint32_t index = loadLe32(indexBytes);
        bool granted = false;
        {
            std::lock_guard lock(mutex_);
            if (index < devices_.size() && devices_[index].present && !devices_[index].inUse) {
                devices_[index].inUse = true;
                devices_[index].client = peer;
                granted = true;
            }
        }
        log.line("proxy open " + std::to_string(index) + (granted ? " granted" : " refused"));
        const uint8_t answer = granted ? kGranted : kRefused;
        if (!link.writeAll(&answer, 1) || !granted)
            break;
        const int id = context_.nextConnection.fetch_add(1);
        log.line("connected " + std::to_string(id) + " proxy " + deviceOptions_[index].name + " " + description);
        Agent agent(deviceOptions_[index], link, log, context_.stop);
        agent.run();
        {
            // Free before saying so: whoever reads the line may open the row again at once.
            std::lock_guard lock(mutex_);
            devices_[index].inUse = false;
        }
        log.line("disconnected " + std::to_string(id));
        break;
    }
    link.close();
}

} // namespace sorvane::sim
