#include "UpdateEncoder.h"

#include "LzwEncoder.h"

#include <algorithm>
#include <cstring>

namespace sorvane::sim {
namespace {

// Pixels a rectangle edge must be aligned to: whole bytes of 4- and 2-bit data, and for
// 2-bit data whole 4-bit symbol pairs of the client's decoder.
int alignment(int bits) { return bits == 4 ? 2 : bits == 2 ? 4 : 1; }

int alignDown(int v, int unit) { return v / unit * unit; }
int alignEndUp(int right, int unit) { return (right + unit) / unit * unit - 1; } // last pixel of the unit

} // namespace

UpdateEncoder::UpdateEncoder(const SimOptions& options)
    : options_(options), flags_(options.randomRects.value_or(1) ^ 0xF1A65ull)
{
    if (options.randomRects)
        rects_.emplace(*options.randomRects);
}

std::optional<UpdateEncoder::Rect> UpdateEncoder::changedRect(const FrameLayout& l, std::span<const uint8_t> frame,
                                                              std::span<const uint8_t> reference) const
{
    const size_t rowBytes = l.rowBytes();
    int top = -1, bottom = -1;
    size_t minByte = rowBytes, maxByte = 0;
    for (int r = 0; r < l.rows; ++r) {
        const uint8_t* a = frame.data() + size_t(r) * rowBytes;
        const uint8_t* b = reference.data() + size_t(r) * rowBytes;
        if (std::memcmp(a, b, rowBytes) == 0)
            continue;
        if (top < 0)
            top = r;
        bottom = r;
        size_t first = 0, last = rowBytes - 1;
        while (a[first] == b[first])
            ++first;
        while (a[last] == b[last])
            --last;
        minByte = std::min(minByte, first);
        maxByte = std::max(maxByte, last);
    }
    if (top < 0)
        return std::nullopt;
    Rect r;
    r.top = top;
    r.bottom = bottom;
    r.left = int(minByte * 8 / size_t(l.bits));
    r.right = int(((maxByte + 1) * 8 + size_t(l.bits) - 1) / size_t(l.bits)) - 1;
    return r;
}

UpdateEncoder::Rect UpdateEncoder::enlarge(const FrameLayout& l, Rect r)
{
    const int unit = alignment(l.bits);
    Random& rnd = *rects_;
    r.left = alignDown(rnd.between(std::max(0, r.left - 24), r.left), unit);
    r.right = std::min(l.columns - 1, alignEndUp(rnd.between(r.right, std::min(l.columns - 1, r.right + 24)), unit));
    r.top = rnd.between(std::max(0, r.top - 12), r.top);
    r.bottom = rnd.between(r.bottom, std::min(l.rows - 1, r.bottom + 12));
    return r;
}

uint8_t UpdateEncoder::chooseFlags(int /*bits*/)
{
    switch (options_.predict) {
    case PredictMode::None: return 0;
    case PredictMode::Row: return kFlagRowXor;
    case PredictMode::Pixel: return kFlagPixelXor;
    case PredictMode::Both: return kFlagRowXor | kFlagPixelXor;
    case PredictMode::Random: {
        static constexpr uint8_t ignored[] = {0x00, 0x01, 0x08, 0x10, 0x80, 0x40};
        uint64_t v = flags_.next();
        return uint8_t(((v & 1) ? kFlagRowXor : 0) | ((v & 2) ? kFlagPixelXor : 0) | ignored[(v >> 2) % 6]);
    }
    }
    return 0;
}

BuiltUpdate UpdateEncoder::build(const FrameLayout& l, std::span<const uint8_t> frame, std::span<const uint8_t> reference,
                                 bool wholeFrame, size_t limit)
{
    const int unit = alignment(l.bits);
    std::optional<Rect> rect = changedRect(l, frame, reference);
    if (!rect) {
        if (wholeFrame) {
            rect = Rect{0, 0, l.columns - 1, l.rows - 1};
        } else if (rects_ && rects_->between(0, 3) == 0) {
            // Now and then an update of an unchanged picture that still names a
            // rectangle: its delta is all zeros.
            Rect r;
            r.left = alignDown(rects_->between(0, l.columns - 1), unit);
            r.right = std::min(l.columns - 1, alignEndUp(r.left + rects_->between(0, 31), unit));
            r.top = rects_->between(0, l.rows - 1);
            r.bottom = std::min(l.rows - 1, r.top + rects_->between(0, 15));
            rect = r;
        } else {
            return {};
        }
    } else if (rects_) {
        rect = enlarge(l, *rect);
    }

    BuiltUpdate u;
    u.header.left = uint16_t(rect->left);
    u.header.top = uint16_t(rect->top);
    u.header.right = uint16_t(rect->right);
    u.header.bottom = uint16_t(rect->bottom);

    const size_t byteStart = size_t(rect->left) * size_t(l.bits) / 8;
    const size_t byteEnd = size_t(rect->right + 1) * size_t(l.bits) / 8;
    const size_t width = byteEnd - byteStart;
    const size_t rows = size_t(rect->bottom - rect->top + 1);
    std::vector<uint8_t> delta(width * rows);
    for (size_t r = 0; r < rows; ++r) {
        size_t at = (size_t(rect->top) + r) * l.rowBytes() + byteStart;
        for (size_t i = 0; i < width; ++i)
            delta[r * width + i] = frame[at + i] ^ reference[at + i];
    }

    u.header.flags = chooseFlags(l.bits);
    if (options_.predict == PredictMode::Random && rects_)
        u.header.reserved = uint8_t(rects_->next());
    // The client undoes the row prediction first, then the pixel prediction, both from
    // the far end; predicting from the near end in the opposite order inverts that.
    // Pixel prediction counts for 16- and 8-bit data only; the flag is left standing on
    // other data, which the client must ignore.
    if ((u.header.flags & kFlagPixelXor) && l.bits >= 8) {
        const size_t px = size_t(l.bits) / 8;
        for (size_t r = 0; r < rows; ++r)
            for (size_t i = 0; i + px < width; ++i)
                delta[r * width + i] ^= delta[r * width + i + px];
    }
    if (u.header.flags & kFlagRowXor)
        for (size_t r = 0; r + 1 < rows; ++r)
            for (size_t i = 0; i < width; ++i)
                delta[r * width + i] ^= delta[(r + 1) * width + i];

    LzwSettings lzw;
    lzw.clearEvery = options_.lzwClearEvery;
    lzw.initialClear = options_.lzwInitialClear;
    std::vector<uint8_t> symbols;
    if (l.bits >= 8) {
        lzw.variant = LzwVariant::MsbEarly;
        lzw.rootBits = 8;
        symbols = std::move(delta);
    } else {
        lzw.variant = LzwVariant::LsbLate;
        symbols.reserve(delta.size() * 2);
        uint8_t highest = 0;
        for (uint8_t b : delta) {
            symbols.push_back(b >> 4);
            symbols.push_back(b & 15);
            highest |= uint8_t(b >> 4 | (b & 15));
        }
        lzw.rootBits = 4;
        if (options_.lzwAutoRootBits)
            lzw.rootBits = highest < 4 ? 2 : highest < 8 ? 3 : 4;
    }
    u.payload = lzwEncode(symbols, lzw);
    if (u.payload.size() > limit && lzw.clearEvery != 0) {
        lzw.clearEvery = 0;
        u.payload = lzwEncode(symbols, lzw);
    }
    u.header.payloadLength = uint32_t(u.payload.size());
    u.header.checksum = linkChecksum(u.payload);
    return u;
}

} // namespace sorvane::sim
