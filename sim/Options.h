#pragma once
// Command line of sorvane-sim: what the simulated handheld looks like, where it listens
// and which faults it plays. Parsed once in main; read-only afterwards, shared by every
// connection thread by const reference.

#include "DeviceClock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ToolsOptions.h"

namespace sorvane::sim {

// The most text Notes holds (--notes, and what the link types).
inline constexpr size_t kMaxNotesText = 4000;

// One display of the device: bits per pixel, size in pixels, orientation in degrees.
struct DisplayFormat {
    int depth = 16;
    int width = 240;
    int height = 320;
    int orientation = 0;
};

// Prediction the agent applies to the delta before compressing it.
enum class PredictMode { None, Row, Pixel, Both, Random };

struct FaultPlan {
    int helloE = 0;                       // 'e' replies before the 'a' of the hello
    bool helloGarbage = false;            // 'e', then four garbage bytes, instead of the hello's 'a'
    std::optional<uint8_t> strayByte;     // written before the hello reply
    unsigned closeAfter = 0;              // close after this many answered requests (0 = never)
    unsigned stallAfterInput = 0;         // stop reading the link after this many input packets (0 = never)
    // Screen update numbers (1-based, per connection, every display) that carry a fault.
    std::set<unsigned> badCrc, truncate, oversize, badHeader, closeMidUpdate;
};

// The device's file system (FileService.h).
struct FileFaults {
    unsigned refuseBlocks = 0;                 // refuse the first K write blocks of a connection
    std::optional<uint32_t> corruptReadBlock;  // spoil the data of this read block's replies
    unsigned corruptTimes = 0;                 // ... its first N replies (0 = every one)
    std::optional<uint32_t> goneAtReadBlock;   // end the connection when this read block is asked for
    bool storedFlagged = false;                // stored blocks that did not shrink flagged compressed
    unsigned badNameOffsets = 0;               // the last N entries of a listing point past its names
};

// LAN discovery answering (UDP).
struct DiscoveryOptions {
    bool enabled = false;
    int port = 0;              // 0: a free port
    std::string bindAddress;   // empty: the --host address; else a loopback (broadcast) address
    size_t replySize = 288;    // bytes of each reply (288 is right; others test the client)
    int repeat = 1;            // replies per request
};

// One device of the simulated proxy server's table.
struct ProxyDevice {
    std::string name;
    bool inUse = false;
    uint32_t client = 0x7F000001; // address of the client using it (host order)
    bool present = true;          // false: the record's handle is 0
};

struct ProxyOptions {
    bool enabled = false;
    std::vector<ProxyDevice> devices;
    std::optional<uint32_t> countOverride; // sent in place of the real count
};

// What the displays show: the handheld's screens, or the synthetic test picture (a
// moving bar, text-like marks and a seconds clock that run on with every screen request,
// taps leaving marks).
enum class PictureKind { Handheld, Synthetic };

// The longest --lag.
inline constexpr unsigned kMaxLagMs = 60000;

struct SimOptions {
    std::string host = "127.0.0.1";
    int port = 1899;
    bool allowAnyAddress = false;
    bool tcp = true;
    bool serial = false;

    DisplayFormat main;
    std::optional<DisplayFormat> second;
    std::string name = "Sorvane Sim";
    std::string password;
    int32_t spare = 0;
    bool paletteFlag = true;
    unsigned paletteChangeEvery = 0; // every N-th palette query of the screen poll reports a change
    PictureKind picture = PictureKind::Handheld;
    std::optional<Moment> clock;     // the moment the handheld shows; unset: the PC's local time
    unsigned stillAfter = 8;         // the synthetic picture stands still after this many steps (0 = never)
    unsigned lagMs = 0;              // input reaches the screen this long after it arrives (0..60000)
    std::string notes;               // what Notes holds when a session starts (at most kMaxNotesText)

    unsigned lzwClearEvery = 0;      // emit a clear code after this many data codes (0 = only when full)
    bool lzwInitialClear = true;     // start every stream with a clear code
    bool lzwAutoRootBits = false;    // 4- and 2-bit data: smallest root width (2..4) that fits the data
    PredictMode predict = PredictMode::None;
    std::optional<uint64_t> randomRects; // seed: enlarge rectangles at random

    FaultPlan faults;
    std::string filesDir;   // the device's file system; empty: file exchanges are read past unanswered
    FileFaults fileFaults;
    ToolsOptions tools;
    DiscoveryOptions discovery;
    ProxyOptions proxy;
    std::optional<std::pair<std::string, int>> connectTo; // the PC's inbound listener
    std::string connectFrom; // the address connectTo is reached from; empty: the system's choice
    bool once = false;
    std::string dumpDir;
    bool dumpNumbered = false; // also DIR/main-N.ppm for update N
    std::string packetLog; // every input and command packet received, one line each
};

struct ParseResult {
    std::optional<SimOptions> options; // set when the command line is valid
    std::string error;                 // otherwise the reason, one line
    bool help = false;                 // --help was given
    bool version = false;              // --version was given
};

ParseResult parseOptions(const std::vector<std::string>& args);
const char* usageText();

// "Name1,Name2*,Name3*127.0.0.9,Name4!": * marks a device in use (by the address after
// it, default 127.0.0.1), ! a record the proxy does not have (handle 0).
bool parseProxyDevices(const std::string& text, std::vector<ProxyDevice>& out);
// True for 127.0.0.0/8 (host order).
inline bool isLoopback(uint32_t address) { return (address >> 24) == 127; }

// Bytes of a display's frame as the client holds it (a depth of 2 counts as 4), the
// quantity the client sizes its buffers by.
uint64_t clientFrameBytes(const DisplayFormat& d);

} // namespace sorvane::sim
