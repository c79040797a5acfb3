#include "settings/Settings.h"

#include <algorithm>
#include <cstring>

namespace sorvane {

namespace {

bool mayUseGateway(uint32_t linkKind)
{
    return linkKind == uint32_t(LinkKind::Wan) || linkKind == uint32_t(LinkKind::Proxy);
}

} // namespace

Settings Settings::defaults(std::string_view programDir)
{
    Settings s;
    s.ScriptDir = std::string(programDir) + "RECORDED_DATA";
    return s;
}

const Profile* ProfileTable::get(int i) const
{
    return i >= 0 && i < count_ ? &slots_[size_t(i)] : nullptr;
}

bool ProfileTable::AddProfile(const Profile& p)
{
    if (count_ >= kSlots)
        return false;
    slots_[size_t(count_)] = p;
    remembered_[size_t(count_)].clear();
    gateways_[size_t(count_)].reset();
    ++count_;
    return true;
}

bool ProfileTable::CloneProfile(int i)
{
    if (count_ >= kSlots || !get(i))
        return false;
    slots_[size_t(count_)] = slots_[size_t(i)];
    remembered_[size_t(count_)] = remembered_[size_t(i)];
    gateways_[size_t(count_)] = gateways_[size_t(i)];
    ++count_;
    return true;
}

bool ProfileTable::DeleteProfile(int i)
{
    if (!get(i))
        return false;
    for (int k = i; k + 1 < count_; ++k) {
        slots_[size_t(k)] = slots_[size_t(k) + 1];
        remembered_[size_t(k)] = std::move(remembered_[size_t(k) + 1]);
        gateways_[size_t(k)] = std::move(gateways_[size_t(k) + 1]);
    }
    --count_;
    slots_[size_t(count_)] = Profile{};
    remembered_[size_t(count_)].clear();
    gateways_[size_t(count_)].reset();
    return true;
}

bool ProfileTable::EditProfile(int i, const Profile& p)
{
    if (!get(i))
        return false;
    if (slots_[size_t(i)].linkKind != p.linkKind)
        remembered_[size_t(i)].clear(); // a device of another link kind is not this one's
    if (!mayUseGateway(p.linkKind))
        gateways_[size_t(i)].reset(); // only WAN and proxy links go through a gateway
    slots_[size_t(i)] = p;
    return true;
}

void ProfileTable::clear()
{
    slots_.fill(Profile{});
    for (std::string& r : remembered_)
        r.clear();
    for (std::optional<SshGateway>& g : gateways_)
        g.reset();
    count_ = 0;
}

std::string_view ProfileTable::rememberedDevice(int i) const
{
    return get(i) ? std::string_view(remembered_[size_t(i)]) : std::string_view();
}

bool ProfileTable::setRememberedDevice(int i, std::string_view name)
{
    if (!get(i))
        return false;
    remembered_[size_t(i)] = std::string(name.substr(0, Profile::kNameSize - 1));
    return true;
}

std::optional<SshGateway> ProfileTable::sshGateway(int i) const
{
    return get(i) ? gateways_[size_t(i)] : std::nullopt;
}

bool ProfileTable::setSshGateway(int i, std::optional<SshGateway> gateway)
{
    const Profile* p = get(i);
    if (!p)
        return false;
    if (gateway && (!mayUseGateway(p->linkKind) || !canStoreSshGateway(*gateway)))
        return false;
    gateways_[size_t(i)] = std::move(gateway);
    return true;
}

bool ProfileTable::canStoreSshGateway(const SshGateway& gateway)
{
    const std::string text = gateway.text();
    if (text.size() > kSshGatewayTextMax || gateway.keyFile.size() > kSshKeyFileMax)
        return false;
    std::string error;
    std::optional<SshGateway> back = ParseSshGateway(text, error);
    return back && back->user == gateway.user && back->host == gateway.host && back->port == gateway.port;
}

std::vector<uint8_t> ProfileTable::encodeUsed() const
{
    std::vector<uint8_t> out(size_t(count_) * Profile::kSize);
    for (int i = 0; i < count_; ++i)
        slots_[size_t(i)].encode(std::span<uint8_t, Profile::kSize>(out.data() + size_t(i) * Profile::kSize,
                                                                    Profile::kSize));
    return out;
}

void ProfileTable::loadImage(int32_t count, std::span<const uint8_t> image)
{
    clear();
    count_ = count < 0 ? 0 : count > kSlots ? kSlots : count;
    for (int i = 0; i < count_; ++i) {
        size_t offset = size_t(i) * Profile::kSize;
        if (offset >= image.size())
            break;
        std::array<uint8_t, Profile::kSize> bytes{};
        std::memcpy(bytes.data(), image.data() + offset, std::min(Profile::kSize, image.size() - offset));
        slots_[size_t(i)] = Profile::decode(bytes);
    }
}

PlatformSettings PlatformSettings::defaults()
{
    PlatformSettings p;
    // The device's address on the cradle link first, then this machine (a device
    // forwarded by a connection manager), then a device on the USB network driver.
    p.ActiveSyncAddresses = "192.168.55.101,127.0.0.1,169.254.2.1";
    p.ComDevicePattern = "/dev/ttyS{n-1}";
    p.UsbDevicePattern = "/dev/ttyUSB{n-1}";
    p.LanBroadcastAddress = "255.255.255.255";
    p.LanDiscoveryPort = 1903;
    p.ActiveSyncProcesses = "WCESMgr.exe,wcescomm.exe,odccm,vdccm,synce-serial";
    p.InboundTrustLoopback = 1;
    p.InboundListenAddress = "0.0.0.0";
    p.InboundHandshakeSeconds = 10;
    p.SshTimeoutSeconds = 20;
    return p;
}

namespace {

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool parseIpv4(std::string_view text, uint32_t& out)
{
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
        size_t start = pos;
        uint32_t octet = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            octet = octet * 10 + uint32_t(text[pos++] - '0');
        if (pos == start || octet > 255)
            return false;
        value = (value << 8) | octet;
    }
    if (pos != text.size())
        return false;
    out = value;
    return true;
}

bool parseAddressList(std::string_view text, std::vector<uint32_t>& out, std::string& error)
{
    std::vector<uint32_t> result;
    size_t index = 0;
    while (true) {
        size_t comma = text.find(',');
        std::string_view entry = trimBlanks(text.substr(0, comma));
        ++index;
        uint32_t address = 0;
        if (!parseIpv4(entry, address)) {
            error = entry.empty() ? "entry " + std::to_string(index) + " of the address list is empty"
                                  : "\"" + std::string(entry) + "\" (entry " + std::to_string(index) +
                                        " of the address list) is not an IPv4 address";
            return false;
        }
        result.push_back(address);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    out = std::move(result);
    return true;
}

std::vector<std::string> splitList(std::string_view text)
{
    std::vector<std::string> out;
    while (true) {
        size_t comma = text.find(',');
        std::string_view entry = trimBlanks(text.substr(0, comma));
        if (!entry.empty())
            out.emplace_back(entry);
        if (comma == std::string_view::npos)
            return out;
        text.remove_prefix(comma + 1);
    }
}

} // namespace sorvane
