#pragma once
// One connection of the simulated device agent: reads command packets (skipping
// garbage until a well-formed packet {c, 0xFF, c, 0x11} lines up), answers them in the
// order they come, and reports what it received on the event log:
//   command <code>              a command other than input (decimal code)
//   input <code> <a> <b>        an input packet: x and y (unsigned 16-bit as carried), or
//                               for 86/87 the key code byte and the byte after it
//   batch <n>                   a 102 message; its n packets follow as input lines
//                               (badinput <16 hex digits> for a packet that is none)
//   badbatch <n>                a 102 message with an absurd count (not consumed)
//   garbage <n>                 n bytes skipped to find the next packet
//   update <display> <number> <left> <top> <right> <bottom> <payloadLength> <flags>
//   dumped <display> <number>   the dump files show what this update leaves on screen
//   fault <kind> <number>       a planned fault spoiled this update
//   palette <generation>        the palette query reported a changed palette
//   stalled <n>                 --stall-after-input: n input packets came; nothing more is read
// With --dump-dir it also keeps DIR/refreshes (FrameDump.h) up to date. With --lag the
// input waits its time in a queue and reaches the screen at the first screen request
// after it is due; polls are answered at once meanwhile, showing the older screen.
// Session state (pictures, references, palette) starts afresh with every hello.
// Runs on the connection's own thread; blocks in the link.

#include "ByteLink.h"
#include "Colours.h"
#include "FileService.h"
#include "DeviceTools.h"
#include "Options.h"
#include "Screen.h"
#include "UpdateEncoder.h"

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::sim {

class EventLog;

class Agent {
public:
    enum class Ending {
        LinkEnded,     // the peer closed or hung up, or the link failed
        AgentClosed,   // the agent ended it (--close-after, --close-mid-update)
        Stopped,       // the simulator is stopping
    };

    // packets: where every input and command packet received is logged (may be null).
    Agent(const SimOptions& options, ByteLink& link, EventLog& log, const StopSignal& stop,
          EventLog* packets = nullptr);
    Ending run();

private:
    struct Channel {
        std::unique_ptr<Display> display;
        std::vector<uint8_t> reference; // the frame the client is taken to hold
        FrameKind kind = FrameKind::Native;
    };
    enum class Result { Continue, End, Close };

    void resetSession();
    bool readCommand(uint8_t& code);
    Result handle(uint8_t code);
    Result answered(); // counts an answered request; closes after the planned number

    Result hello();
    Result info();
    Result palette();
    Result refresh();
    Result screen(uint8_t code);
    Result input(uint8_t code);
    Result batch();
    Result skipPayload(uint8_t code);
    void applyInput(const uint8_t packet[8]);
    // Counts an input packet; true once --stall-after-input's number is reached.
    bool stallsNow();
    Result stall(); // reads nothing more until the simulator stops
    void applyDueInput(); // the lagging input whose time has come, in order
    std::string inputLine(const uint8_t packet[8]) const;
    void logPacket(const char* kind, const uint8_t* bytes, size_t n);
    const Palette& indexedColours() const;
    void dump(int display, Channel& ch, unsigned number);

    const SimOptions& options_;
    ByteLink& link_;
    EventLog& log_;
    EventLog* packets_;
    const StopSignal& stop_;
    const TimeSource clock_;

    std::array<Channel, 2> channels_;
    std::unique_ptr<UpdateEncoder> encoder_;
    DeviceTools tools_;
    Palette palette_{};
    unsigned paletteGeneration_ = 0;
    bool handshakePaletteSent_ = false;
    bool paletteChangeReported_ = false; // the last answer reported a palette change
    unsigned refreshes_ = 0;             // Refresh Display requests but for those
    unsigned paletteQueries_ = 0;
    int lastDisplay_ = 0;
    unsigned updates_ = 0;
    unsigned exchanges_ = 0;
    unsigned inputs_ = 0; // input packets received on this connection
    std::unique_ptr<FileService> files_; // with --files
    struct LaggingInput {
        std::chrono::steady_clock::time_point due;
        std::array<uint8_t, 8> packet;
    };
    std::deque<LaggingInput> lagging_; // with --lag, oldest first
};

} // namespace sorvane::sim
