#include "screen/ScreenReceiver.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "link/CommandPacket.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"
#include "screen/PredictedRows.h"

namespace sorvane {
namespace {

// The display in use and the buffers that play each role for it.
struct Display {
    int depth = 0;       // the data depth: 4 for low colour mode
    int width = 0, height = 0, orientation = 0;
    bool second = false;
    bool lowColor = false;
    bool transposed = false; // the native frame has W rows of H pixels
    uint8_t requestCode = 0;
    // The reference frame; null for 16- and 8-bit data, whose shown picture is its own
    // reference (the two would always be equal, so one buffer serves).
    std::vector<uint8_t>* reference = nullptr;
    Picture* shown = nullptr;
    bool* showWhole = nullptr; // the picture lags its reference outside the next rectangle
    size_t frameBytes = 0;  // bytes of the frame in its data layout
    size_t nativeRowBytes = 0;
    int nativeRows = 0, nativeColumns = 0;
    size_t payloadLimit = 0;
};

bool chooseDisplay(ScreenState& st, Display& d)
{
    const DisplayFacts& f = st.facts;
    ViewBitmaps& b = st.bitmaps;
    d.second = SecondDisplayInUse(st);
    if (d.second && !b.altDib.exists())
        return false;
    int depth = d.second ? f.altDepth : f.depth;
    d.width = d.second ? f.altWidth : f.width;
    d.height = d.second ? f.altHeight : f.height;
    d.orientation = d.second ? f.altOrientation : f.orientation;
    // 'S' has no second-display form, so low colour mode applies to the main display.
    d.lowColor = !d.second && depth == 16 && st.lowColor.load() != 0;
    d.depth = d.lowColor ? 4 : depth;
    if (d.depth != 2 && d.depth != 4 && d.depth != 8 && d.depth != 16)
        return false;

    if (d.second) {
        d.shown = &b.altDib;
        d.reference = d.depth >= 8 ? nullptr : &b.altFrame;
        d.showWhole = &b.showWholeAltFrame;
        d.requestCode = CmdUpdateSecond;
    } else {
        d.shown = (d.depth == 4 || d.depth == 2) ? &b.dib4 : &b.dib;
        d.reference = d.depth >= 8 ? nullptr : &b.frame;
        d.showWhole = &b.showWholeFrame;
        d.requestCode = (d.depth == 4) ? CmdUpdate4 : CmdUpdate;
    }
    d.transposed = !d.lowColor && ((d.depth == 4 && (d.orientation == 90 || d.orientation == 270)) ||
                                   (d.depth == 2 && d.orientation == 270));
    d.nativeRows = d.transposed ? d.width : d.height;
    d.nativeColumns = d.transposed ? d.height : d.width;
    d.nativeRowBytes = size_t(d.nativeColumns) * size_t(d.depth) / 8;
    d.frameBytes = d.nativeRowBytes * size_t(d.nativeRows);
    size_t pixels = size_t(d.width) * size_t(d.height);
    d.payloadLimit = d.depth == 16 ? pixels * 2 : d.depth == 8 ? pixels : pixels / 2;
    return true;
}

void sendCommand(LinkChannel& ch, uint8_t code)
{
    uint8_t packet[4];
    BuildCommand(packet, code);
    ch.send(packet, sizeof packet);
}

inline uint8_t nibble(const uint8_t* row, int x) { return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4; }
inline void setNibble(uint8_t* row, int x, uint8_t v)
{
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | v) : uint8_t((b & 0x0F) | (v << 4));
}
inline uint8_t twoBits(const uint8_t* row, int x) { return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3; }

// Copies bytes first .. first + span - 1 of rows firstRow .. lastRow of a frame in
// picture layout (rows of rowBytes) into a picture's rows.
void showRows(const uint8_t* frame, size_t rowBytes, Picture& shown, int firstRow, int lastRow, size_t first,
              size_t span)
{
    for (int y = firstRow; y <= lastRow; ++y)
        std::memcpy(shown.row(y) + first, frame + size_t(y) * rowBytes + first, span);
}

// Rebuilds native rows r0 .. r1, columns c0 .. c1 of a 4-bit picture from a transposed
// native frame (W rows of H pixels).
// 90: P(x, y) = N(row x, column H - 1 - y); 270: P(x, y) = N(row W - 1 - x, column y).
// twoBit: the native pixels are 2-bit values (2-bit displays at 270).
void showTransposed(const uint8_t* native, size_t nativeRowBytes, int W, int H, int orientation, bool twoBit,
                    Picture& shown, int r0, int r1, int c0, int c1)
{
    for (int r = r0; r <= r1; ++r) {
        const uint8_t* n = native + size_t(r) * nativeRowBytes;
        const int x = orientation == 90 ? r : W - 1 - r;
        for (int c = c0; c <= c1; ++c) {
            const int y = orientation == 90 ? H - 1 - c : c;
            setNibble(shown.row(y), x, twoBit ? twoBits(n, c) : nibble(n, c));
        }
    }
}

// 2-bit frame rows to 4-bit picture rows over the bytes covering columns left..right.
void expandTwoBit(const uint8_t* frame, size_t rowBytes, Picture& shown, int left, int right, int top, int bottom)
{
    for (int y = top; y <= bottom; ++y) {
        const uint8_t* src = frame + size_t(y) * rowBytes;
        uint8_t* dst = shown.row(y);
        for (int i = left / 4; i <= right / 4; ++i) {
            uint8_t v = src[i];
            dst[2 * i] = uint8_t(((v >> 6) & 3) << 4 | ((v >> 4) & 3));
            dst[2 * i + 1] = uint8_t(((v >> 2) & 3) << 4 | (v & 3));
        }
    }
}

class Receiver {
public:
    Receiver(LinkChannel& ch, ScreenState& st, ScreenSink& sink) : ch_(ch), st_(st), sink_(sink) {}

    PollOutcome run()
    {
        const uint32_t counter = ++st_.updateCounter;
        const uint32_t rate = uint32_t(std::max(1, st_.refreshRate.load()));
        if (!chooseDisplay(st_, d_))
            return PollOutcome::Unsupported;
        if (st_.minimized.load() && counter % (2 * rate) != 0)
            return PollOutcome::Skipped;
        if (d_.depth == 8 && counter % rate == 0) {
            auto outcome = queryPalette();
            if (outcome)
                return *outcome;
        }

        sendCommand(ch_, d_.requestCode);
        ch_.awaitReply(10);
        std::vector<uint8_t>& rx = st_.bitmaps.rxBuffer;
        size_t got = ch_.recv(rx.data(), 2);
        if (got == 0) {
            sink_.linkDropped();
            return PollOutcome::Dropped;
        }
        if (got < 2)
            return refresh(0);
        const size_t headerLength = loadLe16(rx.data());
        size_t rest;
        if (d_.depth == 2) {
            if (headerLength < 20 || headerLength > 1024) {
                sink_.linkDropped();
                return PollOutcome::Dropped;
            }
            rest = 18;
        } else if (d_.depth == 16) {
            if (headerLength != 20)
                return refresh(10);
            rest = 18;
        } else {
            if (headerLength < ScreenUpdateHeader::kSize || headerLength > rx.size())
                return refresh(d_.depth == 8 ? 10 : 0);
            rest = headerLength - 2;
        }
        if (ch_.recv(rx.data() + 2, rest) < rest)
            return refresh(0);
        const ScreenUpdateHeader h = ScreenUpdateHeader::decode(rx.data());
        if (h.payloadLength > d_.payloadLimit || h.payloadLength > rx.size() - ScreenUpdateHeader::kSize)
            return refresh(0);
        if (d_.depth >= 8)
            ch_.awaitReply(1);
        if (h.payloadLength == 0)
            return PollOutcome::Unchanged;
        uint8_t* payload = rx.data() + ScreenUpdateHeader::kSize;
        if (ch_.recv(payload, h.payloadLength) < h.payloadLength) {
            // The agent has moved its reference on: a lost update must restart both
            // sides from zero frames, or the pictures differ from here on.
            return refresh(0);
        }
        if (Crc32(std::span<const uint8_t>(payload, h.payloadLength)) != h.checksum || !rectangleValid(h))
            return refresh(0);

        int l = h.left, t = h.top, r = h.right, b = h.bottom;
        bool applied = false;
        {
            std::lock_guard lock(st_.pictureMutex);
            applied = apply(h, payload);
            if (applied)
                pictureRectangle(l, t, r, b);
        }
        if (!applied)
            return refresh(0);
        sink_.pictureChanged(l, t, r, b);
        return PollOutcome::Applied;
    }

    // The refresh path of a bad or lost update: what is left of the reply is dropped
    // (it would be read as the next one), 'Q' is sent and its reply awaited for up to
    // `pauseMs` and read, and the reference frame of the display in use starts from zero.
    PollOutcome refresh(uint32_t pauseMs)
    {
        ch_.discardPending();
        sendCommand(ch_, CmdRefresh);
        if (pauseMs)
            ch_.awaitReply(pauseMs);
        ch_.readReply();
        std::lock_guard lock(st_.pictureMutex);
        zeroReference();
        return PollOutcome::Refreshed;
    }

private:

    void zeroReference()
    {
        if (d_.reference) {
            // In low colour mode the 4-bit frame sits in the 16-bit frame: zero all of it.
            std::fill(d_.reference->begin(), d_.reference->end(), 0);
            *d_.showWhole = true;
        } else {
            std::fill(d_.shown->bits.begin(), d_.shown->bits.end(), 0);
        }
    }

    std::optional<PollOutcome> queryPalette()
    {
        sendCommand(ch_, CmdPalette);
        ch_.awaitReply(20);
        uint8_t status[4];
        if (ch_.recv(status, 4) == 4) {
            uint32_t v = loadLe32(status);
            if (v == 0)
                return std::nullopt;
            if (v == kPaletteChanged) {
                Palette fresh;
                if (ch_.recv(fresh.data(), fresh.size()) == fresh.size()) {
                    {
                        std::lock_guard lock(st_.pictureMutex);
                        st_.palette = fresh;
                        BuildViewBitmaps(st_.bitmaps, st_.facts, st_.palette);
                        UseDevicePaletteOnSecond(st_.bitmaps, st_.facts, st_.palette);
                    }
                    sink_.picturesRebuilt();
                    // Both sides start again from zero frames in the new colours.
                    RefreshScreen(ch_, st_);
                    return PollOutcome::PaletteChanged;
                }
                return refresh(0);
            }
        }
        return refresh(20);
    }

    bool rectangleValid(const ScreenUpdateHeader& h) const
    {
        if (h.left > h.right || h.top > h.bottom || h.right >= d_.nativeColumns || h.bottom >= d_.nativeRows)
            return false;
        const int w = h.right - h.left + 1;
        if (d_.depth == 4)
            return h.left % 2 == 0 && w % 2 == 0;
        if (d_.depth == 2)
            return h.left % 4 == 0 && w % 4 == 0;
        return true;
    }

    // Decodes, reconstructs and applies one update; false when the payload is malformed.
    bool apply(const ScreenUpdateHeader& h, const uint8_t* payload)
    {
        std::vector<uint8_t>& delta = st_.bitmaps.delta;
        const size_t rowBytes = d_.nativeRowBytes;
        const int l = h.left, t = h.top, r = h.right, b = h.bottom;
        const int W = d_.width, H = d_.height;
        LzwDecoder& dec = st_.decoder;

        // The decoder writes every unit of the rectangle (zeros where a stream stops
        // short), and every depth reads only the rectangle back: no zeroed delta needed.
        const std::span<const uint8_t> in(payload, h.payloadLength);
        const LzwRect rect{l, t, r, b};
        LzwResult result;
        switch (d_.depth) {
        case 16: result = dec.decodeUpdate16(in, delta, W, H, rect); break;
        case 8: result = dec.decodeUpdate8(in, delta, W, H, rect); break;
        case 4:
            result = d_.transposed ? dec.decodeUpdate4Transposed(in, delta, W, H, rect)
                                   : dec.decodeUpdate4(in, delta, W, H, rect);
            break;
        default:
            result = d_.transposed ? dec.decodeUpdate2Transposed(in, delta, W, H, rect)
                                   : dec.decodeUpdate2(in, delta, W, H, rect);
            break;
        }
        // A stream may end without its end code once the rectangle is full, and symbols
        // past the last row are dropped; anything that leaves the rectangle short means
        // the two sides disagree, and only a refresh brings them together again.
        const bool ok = result.status == LzwStatus::Complete || result.status == LzwStatus::MissingEndCode ||
                        result.status == LzwStatus::OutputOverflow;
        if (!ok)
            return false;

        if (d_.depth >= 8) {
            applyRectangle(h);
            return true;
        }
        // 4- and 2-bit rectangles start and end on whole bytes.
        const size_t first = size_t(l) * size_t(d_.depth) / 8;
        const size_t span = size_t(r - l + 1) * size_t(d_.depth) / 8;
        uint8_t* ref = d_.reference->data();
        for (int row = b; row >= t; --row) {
            uint8_t* line = delta.data() + size_t(row) * rowBytes + first;
            if ((h.flags & ScreenUpdateHeader::kRowXor) && row < b)
                XorBytes(line, line + rowBytes, span);
            XorBytes(ref + size_t(row) * rowBytes + first, line, span);
        }

        // After a refresh the picture still shows what came before outside this rectangle,
        // where its reference frame is now zero: it is rebuilt whole once.
        const bool whole = std::exchange(*d_.showWhole, false);
        if (d_.transposed) {
            if (whole)
                showTransposed(ref, rowBytes, W, H, d_.orientation, d_.depth == 2, *d_.shown, 0, W - 1, 0, H - 1);
            else
                showTransposed(ref, rowBytes, W, H, d_.orientation, d_.depth == 2, *d_.shown, t, b, l, r);
        } else if (d_.depth == 4) {
            if (whole)
                showRows(ref, rowBytes, *d_.shown, 0, H - 1, 0, rowBytes);
            else
                showRows(ref, rowBytes, *d_.shown, t, b, first, span);
        } else if (whole) {
            expandTwoBit(ref, rowBytes, *d_.shown, 0, W - 1, 0, H - 1);
        } else {
            expandTwoBit(ref, rowBytes, *d_.shown, l, r, t, b);
        }
        return true;
    }

    // 16- and 8-bit updates in one pass over the rectangle, bottom row first, into the
    // shown picture, which is the reference frame of these depths.
    void applyRectangle(const ScreenUpdateHeader& h)
    {
        const size_t rowBytes = d_.nativeRowBytes;
        const int bytesPerPixel = d_.depth / 8;
        const size_t first = size_t(h.left) * bytesPerPixel;
        PredictedRows p;
        p.delta = st_.bitmaps.delta.data() + size_t(h.top) * rowBytes + first;
        p.deltaStride = rowBytes;
        p.target = d_.shown->row(h.top) + first;
        p.targetStride = d_.shown->stride;
        p.rowBytes = size_t(h.right - h.left + 1) * bytesPerPixel;
        p.rows = h.bottom - h.top + 1;
        p.pixelBytes = bytesPerPixel;
        p.rowXor = h.flags & ScreenUpdateHeader::kRowXor;
        p.pixelXor = h.flags & ScreenUpdateHeader::kPixelXor;
        ApplyPredictedRows(p);
    }

    // The changed rectangle in picture coordinates (a transposed frame's rectangle is native).
    void pictureRectangle(int& l, int& t, int& r, int& b) const
    {
        if (!d_.transposed)
            return;
        const int W = d_.width, H = d_.height;
        int nl = l, nt = t, nr = r, nb = b;
        if (d_.orientation == 90) {
            l = nt;
            r = nb;
            t = H - 1 - nr;
            b = H - 1 - nl;
        } else {
            l = W - 1 - nb;
            r = W - 1 - nt;
            t = nl;
            b = nr;
        }
    }

    LinkChannel& ch_;
    ScreenState& st_;
    ScreenSink& sink_;
    Display d_;
};

} // namespace

ScreenUpdateHeader ScreenUpdateHeader::decode(const uint8_t* p)
{
    ScreenUpdateHeader h;
    h.headerLength = loadLe16(p);
    h.flags = p[2];
    h.payloadLength = loadLe32(p + 4);
    h.checksum = loadLe32(p + 8);
    h.left = loadLe16(p + 12);
    h.top = loadLe16(p + 14);
    h.right = loadLe16(p + 16);
    h.bottom = loadLe16(p + 18);
    return h;
}

void ScreenUpdateHeader::encode(uint8_t* p) const
{
    storeLe16(p, headerLength);
    p[2] = flags;
    p[3] = 0;
    storeLe32(p + 4, payloadLength);
    storeLe32(p + 8, checksum);
    storeLe16(p + 12, left);
    storeLe16(p + 14, top);
    storeLe16(p + 16, right);
    storeLe16(p + 18, bottom);
}

PollOutcome PollScreen(LinkChannel& channel, ScreenState& state, ScreenSink& sink)
{
    if (!state.bitmaps.built())
        return PollOutcome::Unsupported;
    return Receiver(channel, state, sink).run();
}

void RefreshScreen(LinkChannel& channel, ScreenState& state)
{
    sendCommand(channel, CmdRefresh);
    channel.awaitReply(10);
    channel.readReply();
    std::lock_guard lock(state.pictureMutex);
    ViewBitmaps& b = state.bitmaps;
    std::fill(b.frame.begin(), b.frame.end(), 0);
    std::fill(b.altFrame.begin(), b.altFrame.end(), 0);
    b.showWholeFrame = b.showWholeAltFrame = true;
    // 16- and 8-bit pictures are their own reference frames.
    if (state.facts.depth >= 8)
        std::fill(b.dib.bits.begin(), b.dib.bits.end(), 0);
    if (state.facts.altDepth >= 8)
        std::fill(b.altDib.bits.begin(), b.altDib.bits.end(), 0);
}

} // namespace sorvane
