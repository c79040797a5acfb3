#include "cli/DeviceList.h"

#include <map>

#include "platform/RegularFile.h"

namespace sorvane::cli {
namespace {

const char* kindOf(const CliOptions& d)
{
    return d.host ? "--host" : d.serial ? "--serial" : d.lan ? "--lan" : d.proxyHost ? "--proxy" : "--listen";
}

// The same connection twice: two runs would fight over one device.
std::string sameConnectionKey(const CliOptions& d)
{
    if (d.host)
        return "host " + *d.host + ":" + std::to_string(d.port);
    if (d.serial)
        return "serial " + *d.serial;
    if (d.lan)
        return "lan " + d.pick.value_or("");
    if (d.proxyHost)
        return "proxy " + *d.proxyHost + ":" + std::to_string(d.proxyPort) + " " + d.pick.value_or("");
    return "listen " + std::to_string(d.listenPort);
}

// Where a device came from, for a reason: "line N of FILE", or "connection N" of the command line.
struct Origin {
    int line = 0; // 0: the command line
    size_t place = 0;
};

bool checkRun(const CliOptions& o, const std::vector<Origin>& origins, std::string& error)
{
    const auto where = [&](size_t i) {
        return origins[i].line > 0 ? *o.devicesFile + " line " + std::to_string(origins[i].line)
                                   : "connection " + std::to_string(origins[i].place + 1) + " of the command line";
    };
    if (o.devices.empty()) {
        error = o.devicesFile.value_or("--devices") + " names no connection";
        return false;
    }
    if (o.devices.size() > kMaxFleet) {
        error = "at most " + std::to_string(kMaxFleet) + " devices at once, not " + std::to_string(o.devices.size());
        return false;
    }
    if (!RunsOnManyDevices(o.command)) {
        error = o.command + " runs on one device at a time (on several: info, capture, play, scenario, put, get, " +
                "type, reset)";
        return false;
    }
    std::map<std::string, size_t> seen;
    for (size_t i = 0; i < o.devices.size(); ++i) {
        const CliOptions& d = o.devices[i];
        if (std::string(kindOf(d)) != kindOf(o.devices[0])) {
            error = where(i) + ": " + kindOf(d) + " among " + kindOf(o.devices[0]) +
                    " connections (one kind of link in one run)";
            return false;
        }
        if (d.lan && !d.pick) {
            error = where(i) + ": on several devices each --lan connection needs --pick NAME";
            return false;
        }
        // Its "listening PORT" would only show once every device has connected.
        if (d.listenAddress && d.listenPort == 0) {
            error = where(i) + ": on several devices each --listen connection needs a port other than 0";
            return false;
        }
        if (auto [it, added] = seen.emplace(sameConnectionKey(d), i); !added) {
            error = where(i) + " is the connection of " + where(it->second) + " again";
            return false;
        }
    }
    return true;
}

} // namespace

bool SplitDeviceLine(std::string_view line, std::vector<std::string>& words, std::string& error)
{
    words.clear();
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i == line.size() || (words.empty() && line[i] == '#'))
            return true;
        std::string word;
        char quote = 0;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (uint8_t(c) < 0x20 && c != '\t' && c != '\r') {
                error = "a control character";
                return false;
            }
            if (quote) {
                if (c == quote)
                    quote = 0;
                else if (c == '\\' && quote == '"' && i + 1 < line.size())
                    word += line[++i];
                else
                    word += c;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                break;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else {
                word += c;
            }
        }
        if (quote) {
            error = std::string("no closing ") + quote;
            return false;
        }
        words.push_back(std::move(word));
    }
}

bool RunsOnManyDevices(const std::string& command)
{
    for (const char* name : {"info", "capture", "play", "scenario", "put", "get", "type", "reset"})
        if (command == name)
            return true;
    return false;
}

std::string ConnectionPlace(const CliOptions& d)
{
    if (d.host)
        return *d.host + (d.port == 1899 ? "" : "-" + std::to_string(d.port));
    if (d.serial)
        return *d.serial;
    if (d.pick)
        return *d.pick;
    return "port " + std::to_string(d.listenPort);
}

bool LoadDeviceList(CliOptions& o, std::string& error)
{
    std::vector<Origin> origins;
    for (size_t i = 0; i < o.devices.size(); ++i)
        origins.push_back({0, i});
    if (o.devicesFile) {
        std::string text, why;
        if (!ReadRegularFile(*o.devicesFile, kMaxDeviceListBytes, text, why)) {
            error = "--devices " + *o.devicesFile + ": " + why;
            return false;
        }
        int number = 0;
        std::vector<std::string> words;
        for (size_t at = 0; at <= text.size();) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            const std::string_view line = std::string_view(text).substr(at, end - at);
            at = end + 1;
            ++number;
            if (!SplitDeviceLine(line, words, why)) {
                error = *o.devicesFile + " line " + std::to_string(number) + ": " + why;
                return false;
            }
            if (words.empty())
                continue;
            std::vector<std::string> all = o.sharedConnectionWords;
            all.insert(all.end(), words.begin(), words.end());
            std::optional<CliOptions> d = deviceOptions(o, all, why);
            if (!d) {
                error = *o.devicesFile + " line " + std::to_string(number) + ": " + why;
                return false;
            }
            o.devices.push_back(std::move(*d));
            origins.push_back({number, origins.size()});
            if (o.devices.size() > kMaxFleet)
                break; // said below
        }
    }
    return checkRun(o, origins, error);
}

} // namespace sorvane::cli
