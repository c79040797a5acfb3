#pragma once
// Command line of sorvane-sim: what the simulated handheld looks like, where it listens
// and which faults it plays. Parsed once in main; read-only afterwards, shared by every
// connection thread by const reference.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sorvane::sim {

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
    // Screen update numbers (1-based, per connection, every display) that carry a fault.
    std::set<unsigned> badCrc, truncate, oversize, badHeader, closeMidUpdate;
};

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
    unsigned stillAfter = 8;         // the animation stands still after this many steps (0 = never)

    unsigned lzwClearEvery = 0;      // emit a clear code after this many data codes (0 = only when full)
    bool lzwInitialClear = true;     // start every stream with a clear code
    bool lzwAutoRootBits = false;    // 4- and 2-bit data: smallest root width (2..4) that fits the data
    PredictMode predict = PredictMode::None;
    std::optional<uint64_t> randomRects; // seed: enlarge rectangles at random

    FaultPlan faults;
    bool once = false;
    std::string dumpDir;
};

struct ParseResult {
    std::optional<SimOptions> options; // set when the command line is valid
    std::string error;                 // otherwise the reason, one line
    bool help = false;                 // --help was given
};

ParseResult parseOptions(const std::vector<std::string>& args);
const char* usageText();

// Bytes of a display's frame as the client holds it (a depth of 2 counts as 4), the
// quantity the client sizes its buffers by.
uint64_t clientFrameBytes(const DisplayFormat& d);

} // namespace sorvane::sim
