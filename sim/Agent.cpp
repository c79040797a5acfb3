#include "Agent.h"

#include "EventLog.h"
#include "FrameDump.h"
#include "StopSignal.h"
#include "WireRecords.h"
#include "platform/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sorvane::sim {
namespace {

constexpr uint8_t kHello = 80, kRefresh = 81, kUpdateMain = 82, kUpdateLow = 83, kInfo = 92, kPalette = 93,
                  kUpdateSecond = 98, kQueued = 102;
constexpr uint32_t kMaxQueued = 4096;       // the client queues at most 512
constexpr uint32_t kMaxPath = 65536;        // path payloads
constexpr uint32_t kMaxText = 1u << 20;     // pasted text
constexpr size_t kMaxLagging = 1u << 20;    // input packets waiting out --lag; the oldest goes early beyond

bool isInputCode(uint8_t c) { return (c >= 84 && c <= 88) || c == 91 || (c >= 94 && c <= 96); }

std::vector<uint8_t> le32(uint32_t v)
{
    std::vector<uint8_t> b(4);
    storeLe32(b.data(), v);
    return b;
}

void append(std::vector<uint8_t>& out, const auto& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

} // namespace

Agent::Agent(const SimOptions& options, ByteLink& link, EventLog& log, const StopSignal& stop, EventLog* packets)
    : options_(options), link_(link), log_(log), packets_(packets), stop_(stop),
      clock_(makeTimeSource(options.clock)), tools_(options.tools, link, log)
{
    if (!options.filesDir.empty())
        files_ = std::make_unique<FileService>(options, link, log);
    resetSession();
}

void Agent::resetSession()
{
    channels_[0].display = std::make_unique<Display>(options_.main, options_, false, clock_);
    channels_[0].reference.assign(frameLayout(options_.main, FrameKind::Native).bytes(), 0);
    channels_[0].kind = FrameKind::Native;
    channels_[1] = Channel{};
    if (options_.second) {
        channels_[1].display = std::make_unique<Display>(*options_.second, options_, true, clock_);
        channels_[1].reference.assign(frameLayout(*options_.second, FrameKind::Native).bytes(), 0);
    }
    encoder_ = std::make_unique<UpdateEncoder>(options_);
    paletteGeneration_ = 0;
    palette_ = devicePalette(options_.main.depth, 0);
    handshakePaletteSent_ = false;
    paletteChangeReported_ = false;
    refreshes_ = 0;
    paletteQueries_ = 0;
    lastDisplay_ = 0;
    lagging_.clear(); // it was meant for the screens just replaced
}

Agent::Ending Agent::run()
{
    for (;;) {
        uint8_t code = 0;
        if (!readCommand(code))
            return stop_.requested() ? Ending::Stopped : Ending::LinkEnded;
        switch (handle(code)) {
        case Result::Continue: break;
        case Result::End: return stop_.requested() ? Ending::Stopped : Ending::LinkEnded;
        case Result::Close: return Ending::AgentClosed;
        }
    }
}

bool Agent::readCommand(uint8_t& code)
{
    uint8_t w[4];
    if (!link_.readExact(w, 4))
        return false;
    unsigned skipped = 0;
    for (;;) {
        if (auto c = decodeCommandPacket(std::span<const uint8_t, 4>(w, 4))) {
            if (skipped)
                log_.line("garbage " + std::to_string(skipped));
            code = *c;
            return true;
        }
        w[0] = w[1];
        w[1] = w[2];
        w[2] = w[3];
        ++skipped;
        if (!link_.readExact(&w[3], 1)) {
            log_.line("garbage " + std::to_string(skipped + 3));
            return false;
        }
    }
}

Agent::Result Agent::handle(uint8_t code)
{
    if (isInputCode(code))
        return input(code);
    if (code == kQueued)
        return batch();
    const uint8_t packet[4] = {code, 0xFF, code, 0x11};
    if (code != kRefresh)
        paletteChangeReported_ = false;
    logPacket("command", packet, 4);
    log_.line("command " + std::to_string(code));
    switch (code) {
    case kHello: return hello();
    case kInfo: return info();
    case kPalette: return palette();
    case kRefresh: return refresh();
    case kUpdateMain:
    case kUpdateLow:
    case kUpdateSecond:
        if (options_.tools.silent.count(code)) {
            log_.line("silent " + std::to_string(code));
            return Result::Continue;
        }
        return screen(code);
    default: break;
    }
    if (files_) {
        const FileService::Served served = files_->handle(code);
        if (served != FileService::Served::NotMine)
            return served == FileService::Served::Continue ? Result::Continue : Result::End;
    }
    if (auto r = tools_.handle(code))
        return *r == DeviceTools::Outcome::Answered ? answered()
               : *r == DeviceTools::Outcome::Taken  ? Result::Continue
                                                    : Result::End;
    return skipPayload(code);
}

Agent::Result Agent::answered()
{
    ++exchanges_;
    if (options_.faults.closeAfter != 0 && exchanges_ >= options_.faults.closeAfter)
        return Result::Close;
    return Result::Continue;
}

Agent::Result Agent::hello()
{
    resetSession();
    std::vector<uint8_t> out;
    const FaultPlan& f = options_.faults;
    if (f.strayByte)
        out.push_back(*f.strayByte);
    if (f.helloGarbage) {
        append(out, encodeCommandPacket(kReplyNotYet));
        // Four bytes with neither 0xFF nor 0x11 in them: the client's reply reader
        // reports them as no reply without reading further.
        append(out, std::array<uint8_t, 4>{'G', 'A', 'R', 'B'});
    } else {
        for (int i = 0; i < f.helloE; ++i)
            append(out, encodeCommandPacket(kReplyNotYet));
        append(out, encodeCommandPacket(kReplyAccepted));
    }
    if (!link_.writeAll(out))
        return Result::End;
    return answered();
}

Agent::Result Agent::info()
{
    DeviceInfo d;
    d.depth = options_.main.depth;
    d.width = options_.main.width;
    d.height = options_.main.height;
    d.orientation = options_.main.orientation;
    if (options_.second) {
        d.altDepth = options_.second->depth;
        d.altWidth = options_.second->width;
        d.altHeight = options_.second->height;
        d.altOrientation = options_.second->orientation;
    }
    d.spareInfo = options_.spare;
    d.name = options_.name;
    d.password = options_.password;
    auto block = encodeDeviceInfoBlock(d);
    if (!link_.writeAll(block.data(), block.size()))
        return Result::End;
    return answered();
}

Agent::Result Agent::palette()
{
    const int depth = options_.main.depth;
    std::vector<uint8_t> out;
    if (!handshakePaletteSent_) {
        // The handshake's request: a non-zero flag, then (4 << depth) palette bytes.
        handshakePaletteSent_ = true;
        if (options_.paletteFlag && depth < 16) {
            out = le32(1);
            append(out, paletteBytes(palette_, size_t(1) << depth));
        } else {
            out = le32(0);
        }
    } else {
        // The screen poll's query: 0 = unchanged, or the change marker and 256 entries.
        ++paletteQueries_;
        if (depth == 8 && options_.paletteChangeEvery != 0 && paletteQueries_ % options_.paletteChangeEvery == 0) {
            palette_ = devicePalette(depth, ++paletteGeneration_);
            out = le32(kPaletteChanged);
            append(out, paletteBytes(palette_, 256));
            // The client rebuilds its buffers with zeroed frames, so the agent starts
            // from zero for every display.
            for (Channel& ch : channels_)
                std::fill(ch.reference.begin(), ch.reference.end(), 0);
            log_.line("palette " + std::to_string(paletteGeneration_));
            paletteChangeReported_ = true;
        } else {
            out = le32(0);
        }
    }
    if (!link_.writeAll(out))
        return Result::End;
    return answered();
}

Agent::Result Agent::refresh()
{
    // The client refreshes the display it shows, which is the one it asked for last.
    Channel& ch = channels_[size_t(lastDisplay_)];
    std::fill(ch.reference.begin(), ch.reference.end(), 0);
    // A palette change calls for a refresh; any other one is the client's choice or
    // follows an update it refused. Counted before the reply, so a client that has its
    // reply finds the count written.
    if (!std::exchange(paletteChangeReported_, false)) {
        ++refreshes_;
        const std::string err = options_.dumpDir.empty() ? "" : writeRefreshCount(options_.dumpDir, refreshes_);
        if (!err.empty())
            log_.line("error " + err);
    }
    auto reply = encodeCommandPacket(kReplyAccepted);
    if (!link_.writeAll(reply.data(), reply.size()))
        return Result::End;
    return answered();
}

const Palette& Agent::indexedColours() const
{
    return options_.main.depth < 16 ? palette_ : lowColourTable();
}

void Agent::dump(int display, Channel& ch, unsigned number)
{
    const DisplayFormat& format = ch.display->format();
    const char* name = display == 0 ? "main" : "second";
    const auto rgb = ch.display->rgb(ch.kind, indexedColours());
    const auto frame = ch.display->frame(ch.kind);
    std::string err = writeFrameDump(options_.dumpDir, name, format.width, format.height, rgb, frame);
    if (err.empty() && options_.dumpNumbered)
        err = writeFrameDump(options_.dumpDir, std::string(name) + "-" + std::to_string(number), format.width,
                             format.height, rgb, frame);
    if (!err.empty())
        log_.line("error " + err);
    else
        log_.line(std::string("dumped ") + name + " " + std::to_string(number));
}

Agent::Result Agent::screen(uint8_t code)
{
    const int display = code == kUpdateSecond ? 1 : 0;
    Channel& ch = channels_[size_t(display)];
    const unsigned number = ++updates_;
    if (!ch.display) {
        // No second display: an update without payload.
        auto header = encodeScreenUpdateHeader({});
        if (!link_.writeAll(header.data(), header.size()))
            return Result::End;
        return answered();
    }
    lastDisplay_ = display;
    const DisplayFormat& format = ch.display->format();
    // 'S' asks a 16-bit device for its picture in the fixed 16 colours; other devices
    // answer it with their own data, as 'R'.
    const FrameKind kind = code == kUpdateLow && format.depth == 16 ? FrameKind::LowColour : FrameKind::Native;
    const FrameLayout layout = frameLayout(format, kind);
    if (kind != ch.kind || ch.reference.size() != layout.bytes()) {
        // The client's frame holds data of the other kind: start from zero.
        ch.kind = kind;
        ch.reference.assign(layout.bytes(), 0);
    }
    applyDueInput();
    ch.display->advance();
    std::vector<uint8_t> frame = ch.display->frame(kind);

    const FaultPlan& f = options_.faults;
    const char* fault = f.closeMidUpdate.count(number) ? "close-mid-update"
                        : f.oversize.count(number)     ? "oversize"
                        : f.badHeader.count(number)    ? "bad-header"
                        : f.truncate.count(number)     ? "truncate"
                        : f.badCrc.count(number)       ? "bad-crc"
                                                       : nullptr;
    const size_t limit = payloadLimit(format, kind);
    BuiltUpdate u = encoder_->build(layout, frame, ch.reference, fault != nullptr, limit);
    // The agent takes the client to hold the new frame whatever becomes of the update;
    // after a spoiled one the client asks for a refresh.
    ch.reference = std::move(frame);

    const char* name = display == 0 ? "main" : "second";
    const ScreenUpdateHeader& h = u.header;
    char line[160];
    std::snprintf(line, sizeof line, "update %s %u %u %u %u %u %u %u", name, number, h.left, h.top, h.right, h.bottom,
                  h.payloadLength, h.flags);
    log_.line(line);
    if (u.payload.size() > limit)
        log_.line("warning payload of update " + std::to_string(number) + " exceeds the frame size");

    if (!fault) {
        if (!options_.dumpDir.empty())
            dump(display, ch, number);
        std::vector<uint8_t> out;
        append(out, encodeScreenUpdateHeader(h));
        append(out, u.payload);
        if (!link_.writeAll(out))
            return Result::End;
        return answered();
    }

    log_.line(std::string("fault ") + fault + " " + std::to_string(number));
    std::vector<uint8_t> out;
    const std::string_view kindName = fault;
    if (kindName == "close-mid-update") {
        append(out, encodeScreenUpdateHeader(h));
        out.insert(out.end(), u.payload.begin(), u.payload.begin() + std::ptrdiff_t(u.payload.size() / 2));
        link_.writeAll(out);
        return Result::Close;
    }
    if (kindName == "oversize") {
        // Only the header: the client refuses the length without reading a payload.
        ScreenUpdateHeader bad = h;
        bad.payloadLength = uint32_t(limit + 1);
        append(out, encodeScreenUpdateHeader(bad));
    } else if (kindName == "bad-header") {
        // A length field below the header's own size. Receivers of 16- and 2-bit data
        // read a 20-byte header whatever the field says; the others read the field's
        // length, so they get just that many bytes.
        ScreenUpdateHeader bad = h;
        bad.headerLength = 10;
        bad.payloadLength = 0;
        bad.checksum = 0;
        auto bytes = encodeScreenUpdateHeader(bad);
        size_t n = layout.bits == 16 || layout.bits == 2 ? bytes.size() : bad.headerLength;
        out.insert(out.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
    } else if (kindName == "truncate") {
        append(out, encodeScreenUpdateHeader(h));
        out.insert(out.end(), u.payload.begin(), u.payload.begin() + std::ptrdiff_t(u.payload.size() / 2));
    } else { // bad-crc
        ScreenUpdateHeader bad = h;
        bad.checksum = ~h.checksum;
        append(out, encodeScreenUpdateHeader(bad));
        append(out, u.payload);
    }
    if (!link_.writeAll(out))
        return Result::End;
    return answered();
}

std::string Agent::inputLine(const uint8_t p[8]) const
{
    unsigned a, b;
    if (p[0] == 86 || p[0] == 87) {
        a = p[4];
        b = p[5];
    } else {
        a = loadLe16(p + 4);
        b = loadLe16(p + 6);
    }
    return "input " + std::to_string(p[0]) + " " + std::to_string(a) + " " + std::to_string(b);
}

void Agent::applyInput(const uint8_t p[8])
{
    if (options_.lagMs != 0) {
        if (lagging_.size() >= kMaxLagging) {
            channels_[0].display->input(lagging_.front().packet.data());
            lagging_.pop_front();
        }
        LaggingInput l{std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.lagMs), {}};
        std::copy(p, p + 8, l.packet.begin());
        lagging_.push_back(l);
        return;
    }
    // Input goes to the main display; coordinates outside it (on a skin) hit nothing.
    channels_[0].display->input(p);
}

void Agent::applyDueInput()
{
    const auto now = std::chrono::steady_clock::now();
    while (!lagging_.empty() && lagging_.front().due <= now) {
        channels_[0].display->input(lagging_.front().packet.data());
        lagging_.pop_front();
    }
}

Agent::Result Agent::input(uint8_t code)
{
    uint8_t p[8] = {code, 0xFF, code, 0x11};
    if (!link_.readExact(p + 4, 4))
        return Result::End;
    logPacket("input", p, 8);
    log_.line(inputLine(p));
    applyInput(p);
    return stallsNow() ? stall() : Result::Continue;
}

bool Agent::stallsNow()
{
    ++inputs_;
    return options_.faults.stallAfterInput != 0 && inputs_ == options_.faults.stallAfterInput;
}

Agent::Result Agent::stall()
{
    log_.line("stalled " + std::to_string(inputs_));
    while (!stop_.sleepFor(1000)) {
    }
    return Result::End;
}

void Agent::logPacket(const char* kind, const uint8_t* bytes, size_t n)
{
    if (!packets_)
        return;
    std::string line = kind;
    line += ' ';
    char hex[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        line += hex;
    }
    packets_->line(std::move(line));
}

Agent::Result Agent::batch()
{
    uint8_t c[4];
    if (!link_.readExact(c, 4))
        return Result::End;
    const uint32_t n = loadLe32(c);
    if (n > kMaxQueued) {
        // Not a count the client can send: the bytes that follow are read as commands.
        log_.line("badbatch " + std::to_string(n));
        return Result::Continue;
    }
    std::vector<uint8_t> packets(size_t(n) * 8);
    if (!link_.readExact(packets.data(), packets.size()))
        return Result::End;
    log_.line("batch " + std::to_string(n));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = packets.data() + size_t(i) * 8;
        auto code = decodeCommandPacket(std::span<const uint8_t, 4>(p, 4));
        if (code && isInputCode(*code)) {
            logPacket("input", p, 8);
            log_.line(inputLine(p));
            applyInput(p);
            if (stallsNow())
                return stall();
        } else {
            char hex[17];
            for (int k = 0; k < 8; ++k)
                std::snprintf(hex + 2 * k, 3, "%02x", p[k]);
            log_.line(std::string("badinput ") + hex);
        }
    }
    return Result::Continue;
}

Agent::Result Agent::skipPayload(uint8_t code)
{
    // Commands this agent does not serve are read past, payload included, so that the
    // stream stays in step; none gets an answer.
    auto skip = [&](size_t n) {
        std::vector<uint8_t> sink(n);
        if (!link_.readExact(sink.data(), n))
            return Result::End;
        logPacket("payload", sink.data(), n);
        return Result::Continue;
    };
    auto skipCounted = [&](uint32_t maxLength) {
        uint8_t c[4];
        if (!link_.readExact(c, 4))
            return Result::End;
        uint32_t n = loadLe32(c);
        if (n > maxLength) {
            log_.line("badlength " + std::to_string(n));
            return Result::Continue;
        }
        return skip(n);
    };
    switch (code) {
    case 89:  // run a program
    case 103: // list a folder
    case 104: // open for reading
    case 105: // create
    case 109: // delete
    case 123: // open with its program
        return skipCounted(kMaxPath);
    case 100: return skipCounted(kMaxText); // paste text
    case 106:                               // close a file
    case 112:                               // bring a window to the front
    case 119: return skip(4);               // end a process
    case 107: return skip(28);              // read a block: rest of the block header
    case 110: return skip(512);             // rename: two 256-byte paths
    default: return Result::Continue;
    }
}

} // namespace sorvane::sim
