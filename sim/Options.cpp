#include "Options.h"

#include "platform/HelpText.h"


#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include <arpa/inet.h>
#include <sys/stat.h>

namespace sorvane::sim {
namespace {

const char kUsage[] =
    "usage: sorvane-sim [options]\n"
    "A simulated handheld that answers the device agent protocol.\n"
    "  --help                 this text\n"
    "  --version              the version and the build date\n"
    "Links:\n"
    "  --host ADDR            TCP listen address (default 127.0.0.1; loopback only unless\n"
    "                         --allow-any-address)\n"
    "  --port N               TCP port (default 1899; 0 = a free port)\n"
    "  --serial               serve on a pseudo-terminal (TCP then only with --tcp or --port)\n"
    "  --tcp                  serve TCP as well as the pseudo-terminal\n"
    "  --once                 exit when the first connection ends\n"
    "  --connect-to HOST:PORT connect out to a PC's inbound port (retrying until it\n"
    "                         answers) and serve that connection (loopback only unless\n"
    "                         --allow-any-address; TCP listening then only with --tcp/--port)\n"
    "  --connect-from ADDR    connect out from this address of the PC (loopback only)\n"
    "LAN discovery:\n"
    "  --discovery-port N     answer 4-byte 'U' requests on UDP port N of --host (0 = a free\n"
    "                         port) with a 288-byte reply: 'U', the name at 4, the password\n"
    "                         at 256; announced as \"discovery ADDR PORT\"\n"
    "  --discovery-bind ADDR  receive the requests on this loopback address instead (such\n"
    "                         as the loopback broadcast address, shared by several\n"
    "                         simulators); replies still come from --host\n"
    "  --discovery-reply-size N   bytes per reply (default 288)\n"
    "  --discovery-repeat K   replies per request (default 1)\n"
    "Proxy server (the TCP listener serves the proxy protocol instead of one device):\n"
    "  --proxy                serve a device table and open requests\n"
    "  --proxy-devices LIST   \"Name1,Name2*,Name3*127.0.0.9,Name4!\": * = in use (by that\n"
    "                         client, default 127.0.0.1), ! = not present (handle 0);\n"
    "                         default \"Sorvane Sim\"\n"
    "  --proxy-count-override N   send N as the table's count\n"
    "Device:\n"
    "  --depth 2|4|8|16       bits per pixel of the main display (default 16)\n"
    "  --width N --height N   main display size (default 240 x 320)\n"
    "  --orientation 0|90|180|270\n"
    "  --second DEPTH:WxH:ORIENT   a second display\n"
    "  --name NAME            device name (default \"Sorvane Sim\")\n"
    "  --password PW          password in the device information block\n"
    "  --spare N              the device information word\n"
    "  --palette-flag 0|1     answer the handshake's palette request with a palette (default 1)\n"
    "  --palette-change-every N   every N-th palette query of the screen poll reports a change\n"
    "  --picture handheld|synthetic   what the displays show (default handheld: a home screen,\n"
    "                         a Start menu, Notes with typing and ink, Calculator, Files,\n"
    "                         Settings; keys 0xC1..0xC4 open Calendar, Contacts, Notes, home);\n"
    "                         synthetic: a moving test picture on which taps leave marks\n"
    "  --clock live|fixed|YYYY-MM-DDTHH:MM   the handheld's clock (default live: the PC's\n"
    "                         local time; fixed: 2026-01-05T09:41), so pictures can repeat\n"
    "  --still-after N        the synthetic picture stands still after N steps (default 8;\n"
    "                         0 = never)\n"
    "  --lag MS               input reaches the screen MS ms after it arrives, in order\n"
    "                         (0..60000, default 0); polls are answered at once meanwhile\n"
    "  --notes TEXT           Notes starts holding TEXT instead of being empty (printable\n"
    "                         ASCII and line breaks, at most 4000 characters)\n"
    "Screen stream:\n"
    "  --lzw-clear-every N    clear code after every N data codes (default 0: when the table fills)\n"
    "  --lzw-initial-clear 0|1    start each stream with a clear code (default 1)\n"
    "  --lzw-root-bits 4|auto     root symbol width of 4- and 2-bit streams (default 4)\n"
    "  --predict none|row|pixel|both|random   prediction of the delta (default none)\n"
    "  --random-rects SEED    send random rectangles that enclose the change\n"
"  --packet-log FILE      write every input and command packet received to FILE, one\n"
    "                         line each: \"input\" and the 8 bytes in hex, \"command\" and\n"
    "                         the 4 bytes, \"payload\" and the bytes read past after one\n"
    "  --dump-dir DIR         after each screen update write DIR/main.ppm, main.raw (second.*);\n"
    "                         DIR/refreshes counts the client's Refresh Display requests\n"
    "  --dump-numbered        also keep each update's picture as DIR/main-N.ppm, main-N.raw\n"
    "Files:\n"
    "  --files DIR            serve DIR as the device's file system (listing, transfers,\n"
    "                         delete, rename, run, open); nothing outside it is reachable\n"
    "  --refuse-blocks K      refuse the first K write blocks of each connection\n"
    "  --corrupt-read-block K[:N]  spoil the data of read block K (its first N replies;\n"
    "                         default every one)\n"
    "  --gone-at-read-block K  end the connection when read block K is asked for\n"
    "  --stored-flagged       send read blocks that did not shrink raw but flagged compressed\n"
    "  --bad-name-offsets N   point the names of the last N entries of each listing past its names\n"
    "Faults (update numbers count screen updates per connection, from 1; lists as N,M,...\n"
    "and ranges N-M):\n"
    "  --hello-e K            answer the hello with K 'e' replies before 'a'\n"
    "  --hello-garbage        answer the hello with 'e' and four garbage bytes\n"
    "  --stray-byte HEX       write one byte before the hello reply\n"
    "  --close-after N        close after N answered requests\n"
    "  --stall-after-input N  stop reading the link (the connection stays open) after N\n"
    "                         input packets, as an agent that hangs\n"
    "  --bad-crc N  --truncate N  --oversize N  --bad-header N  --close-mid-update N\n"
    "Device tools:\n"
    "  --status FIELD=VALUE,...  the status record's values, any of os=MAJ.MIN.BUILD,\n"
    "                         program=TOTAL/FREE, storage=TOTAL/FREE, cpu=N, battery=N,\n"
    "                         backup=N, charging=N, load=N (separated by commas)\n"
    "  --process PID:HWND:NAME:TITLE  a process of the table (repeat; replaces the default five)\n"
    "  --process-count N      a table of N generated processes (N up to 4096)\n"
    "  --clipboard TEXT       the device clipboard's text\n"
    "  --clipboard-length N   fault: answer 'q' with length N whatever the text\n"
    "  --silent o,x,q,R       fault: never answer these requests (R: the screen's)\n";

template <class T>
bool parseNumber(const std::string& s, T& out, int base = 10)
{
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size();
}

bool parseUpdateList(const std::string& s, std::set<unsigned>& out)
{
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t dash = item.find('-');
        unsigned n = 0, last = 0;
        if (!parseNumber(item.substr(0, dash), n) || n == 0 ||
            !parseNumber(dash == std::string::npos ? item : item.substr(dash + 1), last) || last < n ||
            last - n > 100000)
            return false;
        for (; n <= last; ++n)
            out.insert(n);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
    return false;
}

std::string checkDisplay(const DisplayFormat& d, const char* which, bool lowColourPossible)
{
    auto fail = [&](const std::string& why) { return std::string(which) + " display: " + why; };
    if (d.depth != 2 && d.depth != 4 && d.depth != 8 && d.depth != 16)
        return fail("depth must be 2, 4, 8 or 16");
    if (d.orientation != 0 && d.orientation != 90 && d.orientation != 180 && d.orientation != 270)
        return fail("orientation must be 0, 90, 180 or 270");
    if (d.width < 8 || d.height < 8 || d.width > 4096 || d.height > 4096)
        return fail("width and height must lie in 8..4096");
    // Every row the display may send must be a whole number of 32-bit words: the client
    // decodes full-width rectangles straight into its frame.
    int bits = d.depth;
    if ((d.width * bits) % 32 != 0)
        return fail("width x bits per pixel must be a multiple of 32");
    bool transposable = d.depth == 4 || d.depth == 2;
    if (transposable && (d.height * bits) % 32 != 0)
        return fail("height x bits per pixel must be a multiple of 32");
    if (lowColourPossible && d.depth == 16 && (d.width * 4) % 32 != 0)
        return fail("width must be a multiple of 8 (16-colour mode)");
    return {};
}

bool parseDisplay(const std::string& s, DisplayFormat& d)
{
    // DEPTH:WxH:ORIENT
    size_t c1 = s.find(':');
    size_t x = s.find('x', c1 == std::string::npos ? 0 : c1);
    size_t c2 = s.find(':', x == std::string::npos ? 0 : x);
    if (c1 == std::string::npos || x == std::string::npos || c2 == std::string::npos)
        return false;
    return parseNumber(s.substr(0, c1), d.depth) && parseNumber(s.substr(c1 + 1, x - c1 - 1), d.width) &&
           parseNumber(s.substr(x + 1, c2 - x - 1), d.height) && parseNumber(s.substr(c2 + 1), d.orientation);
}

} // namespace

const char* usageText()
{
    static const std::string text = FitHelpText(kUsage);
    return text.c_str();
}

bool parseProxyDevices(const std::string& text, std::vector<ProxyDevice>& out)
{
    out.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        ProxyDevice d;
        if (!item.empty() && item.back() == '!') {
            d.present = false;
            item.pop_back();
        }
        if (size_t star = item.find('*'); star != std::string::npos) {
            d.inUse = true;
            std::string client = item.substr(star + 1);
            item.resize(star);
            if (!client.empty()) {
                in_addr a{};
                if (inet_pton(AF_INET, client.c_str(), &a) != 1)
                    return false;
                d.client = ntohl(a.s_addr);
            }
        }
        if (item.empty() || item.size() > 255)
            return false;
        d.name = item;
        out.push_back(d);
        if (out.size() > 64)
            return false;
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
    return false;
}

uint64_t clientFrameBytes(const DisplayFormat& d)
{
    int bits = d.depth == 2 ? 4 : d.depth;
    return uint64_t(d.width) * uint64_t(d.height) * uint64_t(bits) / 8;
}

ParseResult parseOptions(const std::vector<std::string>& args)
{
    SimOptions o;
    ParseResult result;
    bool portGiven = false;
    bool tcpGiven = false;

    using Handler = std::function<bool(const std::string&)>;
    auto boolFlag = [](bool& target) {
        return [&target](const std::string& v) {
            if (v != "0" && v != "1")
                return false;
            target = v == "1";
            return true;
        };
    };
    auto number = [](auto& target) { return [&target](const std::string& v) { return parseNumber(v, target); }; };
    auto updates = [](std::set<unsigned>& target) {
        return [&target](const std::string& v) { return parseUpdateList(v, target); };
    };

    std::map<std::string, Handler> withValue = {
        {"--host", [&](const std::string& v) { o.host = v == "localhost" ? "127.0.0.1" : v; return true; }},
        {"--port", [&](const std::string& v) { portGiven = true; return parseNumber(v, o.port) && o.port >= 0 && o.port <= 65535; }},
        {"--depth", number(o.main.depth)},
        {"--width", number(o.main.width)},
        {"--height", number(o.main.height)},
        {"--orientation", number(o.main.orientation)},
        {"--second", [&](const std::string& v) { DisplayFormat d; if (!parseDisplay(v, d)) return false; o.second = d; return true; }},
        {"--name", [&](const std::string& v) { o.name = v; return v.size() <= 255; }},
        {"--password", [&](const std::string& v) { o.password = v; return v.size() <= 31; }},
        {"--spare", number(o.spare)},
        {"--palette-flag", boolFlag(o.paletteFlag)},
        {"--palette-change-every", number(o.paletteChangeEvery)},
        {"--still-after", number(o.stillAfter)},
        {"--lag", [&](const std::string& v) { return parseNumber(v, o.lagMs) && o.lagMs <= kMaxLagMs; }},
        {"--notes", [&](const std::string& v) {
             // What the handheld's keys can type, no more than Notes holds.
             o.notes = v;
             return v.size() <= kMaxNotesText &&
                    std::all_of(v.begin(), v.end(), [](char c) { return c == '\n' || (c >= ' ' && c <= '~'); });
         }},
        {"--picture", [&](const std::string& v) {
             if (v != "handheld" && v != "synthetic")
                 return false;
             o.picture = v == "handheld" ? PictureKind::Handheld : PictureKind::Synthetic;
             return true;
         }},
        {"--clock", [&](const std::string& v) {
             if (v == "live") {
                 o.clock.reset();
                 return true;
             }
             o.clock = parseMoment(v);
             return o.clock.has_value();
         }},
        {"--lzw-clear-every", number(o.lzwClearEvery)},
        {"--lzw-initial-clear", boolFlag(o.lzwInitialClear)},
        {"--lzw-root-bits", [&](const std::string& v) {
             if (v != "4" && v != "auto")
                 return false;
             o.lzwAutoRootBits = v == "auto";
             return true;
         }},
        {"--predict", [&](const std::string& v) {
             static const std::map<std::string, PredictMode> modes = {{"none", PredictMode::None},
                 {"row", PredictMode::Row}, {"pixel", PredictMode::Pixel}, {"both", PredictMode::Both},
                 {"random", PredictMode::Random}};
             auto it = modes.find(v);
             if (it == modes.end())
                 return false;
             o.predict = it->second;
             return true;
         }},
        {"--random-rects", [&](const std::string& v) { uint64_t seed = 0; if (!parseNumber(v, seed)) return false; o.randomRects = seed; return true; }},
        {"--files", [&](const std::string& v) { o.filesDir = v; return !v.empty(); }},
        {"--refuse-blocks", number(o.fileFaults.refuseBlocks)},
        {"--bad-name-offsets", number(o.fileFaults.badNameOffsets)},
        {"--gone-at-read-block", [&](const std::string& v) {
             uint32_t block = 0;
             return parseNumber(v, block) && (o.fileFaults.goneAtReadBlock = block, true);
         }},
        {"--corrupt-read-block", [&](const std::string& v) {
            const size_t colon = v.find(':');
            uint32_t block = 0;
            if (!parseNumber(v.substr(0, colon), block))
                return false;
            o.fileFaults.corruptReadBlock = block;
            return colon == std::string::npos || parseNumber(v.substr(colon + 1), o.fileFaults.corruptTimes);
        }},
        {"--dump-dir", [&](const std::string& v) { o.dumpDir = v; return !v.empty(); }},
        {"--packet-log", [&](const std::string& v) { o.packetLog = v; return !v.empty(); }},
        {"--hello-e", [&](const std::string& v) { return parseNumber(v, o.faults.helloE) && o.faults.helloE >= 0 && o.faults.helloE <= 1000; }},
        {"--stray-byte", [&](const std::string& v) {
             std::string hex = v.rfind("0x", 0) == 0 || v.rfind("0X", 0) == 0 ? v.substr(2) : v;
             unsigned b = 0;
             if (!parseNumber(hex, b, 16) || b > 255)
                 return false;
             o.faults.strayByte = uint8_t(b);
             return true;
         }},
        {"--close-after", number(o.faults.closeAfter)},
        {"--stall-after-input", number(o.faults.stallAfterInput)},
        {"--connect-to", [&](const std::string& v) {
             size_t colon = v.rfind(':');
             int port = 0;
             if (colon == std::string::npos || !parseNumber(v.substr(colon + 1), port) || port < 1 || port > 65535)
                 return false;
             std::string host = v.substr(0, colon);
             o.connectTo = std::make_pair(host == "localhost" ? std::string("127.0.0.1") : host, port);
             return true;
         }},
        {"--connect-from", [&](const std::string& v) { o.connectFrom = v; return !v.empty(); }},
        {"--discovery-port", [&](const std::string& v) {
             o.discovery.enabled = true;
             return parseNumber(v, o.discovery.port) && o.discovery.port >= 0 && o.discovery.port <= 65535;
         }},
        {"--discovery-bind", [&](const std::string& v) { o.discovery.bindAddress = v; return !v.empty(); }},
        {"--discovery-reply-size", [&](const std::string& v) {
             return parseNumber(v, o.discovery.replySize) && o.discovery.replySize >= 1 && o.discovery.replySize <= 2048;
         }},
        {"--discovery-repeat", [&](const std::string& v) {
             return parseNumber(v, o.discovery.repeat) && o.discovery.repeat >= 1 && o.discovery.repeat <= 16;
         }},
        {"--proxy-devices", [&](const std::string& v) { return parseProxyDevices(v, o.proxy.devices); }},
        {"--proxy-count-override", [&](const std::string& v) {
             uint32_t n = 0;
             if (!parseNumber(v, n))
                 return false;
             o.proxy.countOverride = n;
             return true;
         }},
        {"--bad-crc", updates(o.faults.badCrc)},
        {"--truncate", updates(o.faults.truncate)},
        {"--oversize", updates(o.faults.oversize)},
        {"--bad-header", updates(o.faults.badHeader)},
        {"--close-mid-update", updates(o.faults.closeMidUpdate)},
    };
    std::map<std::string, std::function<void()>> flags = {
        {"--allow-any-address", [&] { o.allowAnyAddress = true; }},
        {"--serial", [&] { o.serial = true; }},
        {"--tcp", [&] { tcpGiven = true; }},
        {"--hello-garbage", [&] { o.faults.helloGarbage = true; }},
        {"--once", [&] { o.once = true; }},
        {"--stored-flagged", [&] { o.fileFaults.storedFlagged = true; }},
        {"--dump-numbered", [&] { o.dumpNumbered = true; }},
        {"--proxy", [&] { o.proxy.enabled = true; }},
        {"--help", [&] { result.help = true; }},
        {"--version", [&] { result.version = true; }},
    };

    bool processesGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (isToolsOption(a)) {
            if (i + 1 >= args.size()) {
                result.error = a + " needs a value";
                return result;
            }
            if (!parseToolsOption(a, args[++i], o.tools, processesGiven, result.error))
                return result;
            continue;
        }
        if (auto f = flags.find(a); f != flags.end()) {
            f->second();
            continue;
        }
        auto h = withValue.find(a);
        if (h == withValue.end()) {
            result.error = "unknown option " + a;
            return result;
        }
        if (i + 1 >= args.size()) {
            result.error = a + " needs a value";
            return result;
        }
        const std::string& v = args[++i];
        if (!h->second(v)) {
            result.error = "bad value for " + a + ": " + v;
            return result;
        }
    }
    if (result.help || result.version)
        return result;

    o.tcp = (!o.serial && !o.connectTo) || tcpGiven || portGiven || o.proxy.enabled;
    if (o.proxy.enabled && o.proxy.devices.empty())
        o.proxy.devices.push_back(ProxyDevice{o.name});
    auto loopbackOnly = [&](const std::string& what, const std::string& text) {
        in_addr a{};
        if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
            result.error = what + " needs an IPv4 address: " + text;
            return false;
        }
        if (!isLoopback(ntohl(a.s_addr)) && !o.allowAnyAddress) {
            result.error = "refusing " + what + " " + text + ": not a loopback address (use --allow-any-address)";
            return false;
        }
        return true;
    };
    if (o.connectTo && !loopbackOnly("--connect-to", o.connectTo->first))
        return result;
    if (!o.connectFrom.empty() && !loopbackOnly("--connect-from", o.connectFrom))
        return result;
    if (!o.discovery.bindAddress.empty() && !loopbackOnly("--discovery-bind", o.discovery.bindAddress))
        return result;
    in_addr addr{};
    if (inet_pton(AF_INET, o.host.c_str(), &addr) != 1) {
        result.error = "--host needs an IPv4 address: " + o.host;
        return result;
    }
    if ((ntohl(addr.s_addr) >> 24) != 127 && !o.allowAnyAddress) {
        result.error = "refusing to listen on " + o.host + ": not a loopback address (use --allow-any-address)";
        return result;
    }
    if (auto e = checkDisplay(o.main, "main", true); !e.empty()) {
        result.error = e;
        return result;
    }
    if (o.second) {
        if (o.second->depth == 0) {
            o.second.reset();
        } else {
            if (auto e = checkDisplay(*o.second, "second", false); !e.empty()) {
                result.error = e;
                return result;
            }
            // The client keeps the second display's reference in a buffer of the main
            // display's frame size.
            if (clientFrameBytes(*o.second) > clientFrameBytes(o.main)) {
                result.error = "second display: its frame must not be larger than the main display's";
                return result;
            }
        }
    }
    if (!o.filesDir.empty()) {
        struct stat st{};
        if (::stat(o.filesDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            result.error = "--files needs an existing folder: " + o.filesDir;
            return result;
        }
    }
    result.options = o;
    return result;
}

} // namespace sorvane::sim
