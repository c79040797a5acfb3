#include "screen/LzwDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvane {

// Decoding references earlier output: every string the table holds was written to
// the output before (or is a root symbol), so an entry is the address of one earlier
// copy of its string and its length, and emitting a code is one forward copy. The
// entry a code defines is "the previous code's output plus one unit", which is the
// previous output position with its length plus one, because the next unit written
// is exactly the first unit of the following string.
struct LzwDecoder::Entry {
    const uint8_t* src;
    uint32_t len; // units; kNoString for the clear and end codes
};

namespace {

constexpr uint32_t kMaxCodes = 4096;
constexpr unsigned kMaxWidth = 12;
constexpr uint32_t kNoString = 0x40000000; // larger than any output, so the room check catches it
constexpr size_t kWide = 8;                // bytes moved by one wide copy
constexpr size_t kMaxUnits = kNoString - kWide; // the largest rectangle taken

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint64_t loadLe64(const uint8_t* p)
{
    uint64_t v = load64(p);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}
inline uint64_t loadBe64(const uint8_t* p)
{
    uint64_t v = load64(p);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    return v;
}

// Bit readers over the payload. Invariant: the next unread byte *p starts at bit
// `count` of the buffer; bits of the buffer past `count` are either zero or the
// stream's own next bits, so a refill may OR the same bytes in again.
struct MsbReader {
    static constexpr bool kEarlyChange = true;
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buf = 0; // next bit in bit 63
    unsigned count = 0;

    // Makes `width` bits available; false when the payload holds fewer.
    bool fill(unsigned width)
    {
        if (end - p >= 8) {
            buf |= loadBe64(p) >> count;
            p += (63 - count) >> 3;
            count |= 56;
            return true;
        }
        while (count <= 56 && p < end) {
            buf |= uint64_t(*p++) << (56 - count);
            count += 8;
        }
        return count >= width;
    }
    // mask is (1 << width) - 1. Rotating the code's bits to the bottom takes one shift
    // by `width` rather than two by different amounts.
    uint32_t take(unsigned width, uint32_t mask)
    {
        buf = std::rotl(buf, int(width));
        const uint32_t code = uint32_t(buf) & mask;
        buf ^= code;
        count -= width;
        return code;
    }
};

struct LsbReader {
    static constexpr bool kEarlyChange = false;
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buf = 0; // next bit in bit 0
    unsigned count = 0;

    bool fill(unsigned width)
    {
        if (end - p >= 8) {
            buf |= loadLe64(p) << count;
            p += (63 - count) >> 3;
            count |= 56;
            return true;
        }
        while (count <= 56 && p < end) {
            buf |= uint64_t(*p++) << count;
            count += 8;
        }
        return count >= width;
    }
    uint32_t take(unsigned width, uint32_t mask)
    {
        const uint32_t code = uint32_t(buf) & mask;
        buf >>= width;
        count -= width;
        return code;
    }
};

// Packs n 4-bit symbols (one a byte, each below 16) into bytes, the first of a pair in
// the high nibble. For an odd n the low nibble of the last byte is kept.
void packNibbles(uint8_t* dst, const uint8_t* src, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i lowMask = _mm_set1_epi16(0x00F0);
    for (; i + 32 <= n; i += 32) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        // In each 16-bit lane: (first << 4) | second.
        a = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(a, 4), lowMask), _mm_srli_epi16(a, 8));
        b = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(b, 4), lowMask), _mm_srli_epi16(b, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i / 2), _mm_packus_epi16(a, b));
    }
#endif
    for (; i + 2 <= n; i += 2)
        dst[i / 2] = uint8_t(src[i] << 4 | src[i + 1]);
    if (i < n)
        dst[i / 2] = uint8_t((dst[i / 2] & 0x0F) | src[i] << 4);
}

bool multiplyFits(size_t a, size_t b, size_t& product)
{
    if (b != 0 && a > std::numeric_limits<size_t>::max() / b)
        return false;
    product = a * b;
    return true;
}

} // namespace

std::string_view lzwStatusName(LzwStatus s)
{
    switch (s) {
    case LzwStatus::Complete: return "complete";
    case LzwStatus::EndedEarly: return "end code before the rectangle was filled";
    case LzwStatus::UndefinedCode: return "undefined code";
    case LzwStatus::CodeAboveNext: return "code above the next free code";
    case LzwStatus::OutputOverflow: return "output past the last row";
    case LzwStatus::Truncated: return "payload ended before the rectangle was filled";
    case LzwStatus::MissingEndCode: return "payload ended without the end code";
    case LzwStatus::BadHeader: return "bad payload header";
    case LzwStatus::BadGeometry: return "bad rectangle";
    }
    return "unknown";
}

LzwDecoder::LzwDecoder()
    : table_(new Entry[kMaxCodes + 1]), roots_(new uint8_t[256 + kWide])
{
    for (uint32_t k = 0; k <= kMaxCodes; ++k)
        table_[k] = {nullptr, kNoString};
    for (unsigned k = 0; k < 256 + kWide; ++k)
        roots_[k] = uint8_t(k);
}

LzwDecoder::~LzwDecoder() = default;

void LzwDecoder::resetTable(unsigned rootBits)
{
    // Entries from the first free code up are read only once this stream has defined
    // them; what earlier streams left there stays unread.
    const uint32_t clear = 1u << rootBits;
    if (tableRootBits_ != rootBits) {
        for (uint32_t k = 0; k < clear; ++k)
            table_[k] = {&roots_[k], 1};
        tableRootBits_ = rootBits;
    }
    table_[clear] = {nullptr, kNoString};
    table_[clear + 1] = {nullptr, kNoString};
}

template <class Reader>
LzwResult LzwDecoder::decodeCodes(Reader& in, unsigned rootBits, uint8_t* const out, size_t units)
{
    constexpr bool early = Reader::kEarlyChange;
    const uint32_t clear = 1u << rootBits;
    const uint32_t endCode = clear + 1;
    const uint32_t firstFree = clear + 2;
    const unsigned initialWidth = rootBits + 1;

    resetTable(rootBits);
    Entry* const tab = table_.get();
    // The entry the next string defines goes to *slot (next free code = slot - tab). When
    // slot reaches growAt the width grows; with the table full, growAt lies past the sink
    // kMaxCodes, and every entry lands in the sink, which no 12-bit code can read.
    Entry* const sink = tab + kMaxCodes;
    auto growPoint = [&](unsigned w) { return tab + (early ? (1u << w) - 1 : 1u << w); };
    uint8_t* o = out;
    uint8_t* const end = out + units;
    unsigned width = initialWidth;
    uint32_t mask = (1u << width) - 1;
    Entry* slot = tab + firstFree;
    Entry* growAt = growPoint(width);
    uint32_t prevLen = 0;
    uint32_t code = 0;
    LzwStatus status = LzwStatus::Complete;

    auto exhausted = [&] { return o == end ? LzwStatus::MissingEndCode : LzwStatus::Truncated; };
    auto ended = [&] { return o == end ? LzwStatus::Complete : LzwStatus::EndedEarly; };

restart:
    width = initialWidth;
    mask = (1u << width) - 1;
    slot = tab + firstFree;
    growAt = growPoint(width);

    // The first code of the stream and after each clear has nothing before it to
    // extend: it must be a root (or another clear, or the end).
    for (;;) {
        if (in.count < width && !in.fill(width)) {
            status = exhausted();
            goto done;
        }
        code = in.take(width, mask);
        if (code < clear)
            break;
        if (code == clear)
            continue;
        if (code == endCode) {
            status = ended();
            goto done;
        }
        status = tab + code == slot ? LzwStatus::UndefinedCode : LzwStatus::CodeAboveNext;
        goto done;
    }
    if (o == end) {
        status = LzwStatus::OutputOverflow;
        goto done;
    }
    *o = uint8_t(code);
    ++o;
    prevLen = 1;

    // Every step of this loop runs once a code, and a photograph's codes are mostly one
    // or two units long: the fewer instructions here, the faster such a picture decodes.
    for (;;) {
        if (in.count < width && !in.fill(width)) [[unlikely]] {
            status = exhausted();
            goto done;
        }
        code = in.take(width, mask);
        const Entry e = tab[code];
        uint32_t len = e.len;
        if (tab + code >= slot || size_t(len) + (kWide - 1) > size_t(end - o)) [[unlikely]] {
            const size_t room = size_t(end - o);
            if (tab + code > slot) {
                status = LzwStatus::CodeAboveNext;
                goto done;
            } else if (tab + code == slot) {
                // The code being defined right now: the previous string and its own
                // first unit. The previous string ends where this one starts.
                const uint8_t* const prevOut = o - prevLen;
                len = prevLen + 1;
                if (len > room) {
                    std::memcpy(o, prevOut, room);
                    o = end;
                    status = LzwStatus::OutputOverflow;
                    goto done;
                }
                std::memcpy(o, prevOut, prevLen);
                o[prevLen] = prevOut[0];
            } else if (len != kNoString) {
                // A defined string near the end of the rectangle: copy exactly.
                if (len > room) {
                    std::memcpy(o, e.src, room);
                    o = end;
                    status = LzwStatus::OutputOverflow;
                    goto done;
                }
                std::memcpy(o, e.src, len);
            } else if (code == clear) {
                goto restart;
            } else {
                status = ended(); // the end code
                goto done;
            }
        } else {
            // Copies may run up to 7 bytes past the string, inside the output; the
            // bytes they read past the string are never part of it, since every defined
            // string ends before the current position. Through a register: a string may
            // end fewer than kWide bytes before the current position, so source and
            // destination can overlap. Most strings of a photograph fit one 8-byte move,
            // which crosses a cache line half as often as a 16-byte one.
            uint8_t chunk[kWide];
            std::memcpy(chunk, e.src, kWide);
            std::memcpy(o, chunk, kWide);
            if (len > kWide) [[unlikely]] {
                uint8_t* d = o + kWide;
                const uint8_t* s = e.src + kWide;
                uint8_t* const stop = o + len;
                do {
                    std::memcpy(chunk, s, kWide);
                    std::memcpy(d, chunk, kWide);
                    d += kWide;
                    s += kWide;
                } while (d < stop);
            }
        }
        *slot++ = {o - prevLen, prevLen + 1}; // the previous string ends where this one starts
        if (slot == growAt) [[unlikely]] {
            if (slot > sink) {
                slot = sink;
            } else if (width < kMaxWidth) {
                ++width;
                mask = mask * 2 + 1;
                growAt = growPoint(width);
            } else {
                growAt = sink + 1;
            }
        }
        prevLen = len;
        o += len;
    }

done:
    return {status, size_t(o - out)};
}

LzwResult LzwDecoder::decodeRun(LzwVariant variant, std::span<const uint8_t> payload, uint8_t* out,
                                size_t units)
{
    LzwResult result{LzwStatus::BadHeader, 0};
    if (variant == LzwVariant::MsbFirst) {
        MsbReader reader{payload.data(), payload.data() + payload.size()};
        result = decodeCodes(reader, 8, out, units);
    } else if (payload.size() >= 2 && payload[1] >= 3 && payload[1] <= 5) {
        LsbReader reader{payload.data() + 2, payload.data() + payload.size()};
        result = decodeCodes(reader, payload[1] - 1u, out, units);
    }
    if (result.unitsDecoded < units)
        std::memset(out + result.unitsDecoded, 0, units - result.unitsDecoded);
    return result;
}

LzwResult LzwDecoder::decode(LzwVariant variant, std::span<const uint8_t> payload,
                             std::span<uint8_t> dest, size_t stride, size_t rowUnits,
                             size_t rowCount)
{
    const bool bytes = variant == LzwVariant::MsbFirst;
    const size_t rowBytes = bytes ? rowUnits : rowUnits / 2 + rowUnits % 2;
    size_t units = 0, span = 0;
    if (rowUnits == 0 || rowCount == 0 || stride < rowBytes || !multiplyFits(rowUnits, rowCount, units)
        || units > kMaxUnits || !multiplyFits(rowCount - 1, stride, span) || span > dest.size()
        || dest.size() - span < rowBytes)
        return {LzwStatus::BadGeometry, 0};

    if (bytes && stride == rowBytes)
        return decodeRun(variant, payload, dest.data(), units);

    if (scratch_.size() < units)
        scratch_.resize(units);
    uint8_t* const scratch = scratch_.data();
    const LzwResult result = decodeRun(variant, payload, scratch, units);
    for (size_t r = 0; r < rowCount; ++r) {
        uint8_t* row = dest.data() + r * stride;
        if (bytes)
            std::memcpy(row, scratch + r * rowUnits, rowUnits);
        else
            packNibbles(row, scratch + r * rowUnits, rowUnits);
    }
    return result;
}

LzwResult LzwDecoder::decodeFrame(LzwVariant variant, int bitsPerPixel,
                                  std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                  int rowPixels, int frameRows, const LzwRect& rect)
{
    const LzwResult bad{LzwStatus::BadGeometry, 0};
    if (rowPixels <= 0 || frameRows <= 0 || (size_t(rowPixels) * bitsPerPixel) % 8 != 0)
        return bad;
    if (rect.left < 0 || rect.left > rect.right || rect.right >= rowPixels || rect.top < 0
        || rect.top > rect.bottom || rect.bottom >= frameRows)
        return bad;
    const size_t rowLength = size_t(rowPixels) * bitsPerPixel / 8;
    if (delta.size() / rowLength < size_t(rect.bottom) + 1)
        return bad;

    const size_t pixels = size_t(rect.right - rect.left) + 1;
    size_t rowUnits = 0, start = 0;
    switch (bitsPerPixel) {
    case 16:
        rowUnits = pixels * 2;
        start = size_t(rect.left) * 2;
        break;
    case 8:
        rowUnits = pixels;
        start = size_t(rect.left);
        break;
    case 4: // whole bytes only: a rectangle never splits a byte with its neighbour
        if (rect.left % 2 != 0 || pixels % 2 != 0)
            return bad;
        rowUnits = pixels;
        start = size_t(rect.left) / 2;
        break;
    case 2: // a unit is a nibble of two pixels; rows are placed by whole bytes
        if (rect.left % 4 != 0 || pixels % 4 != 0)
            return bad;
        rowUnits = pixels / 2;
        start = size_t(rect.left) / 4;
        break;
    default:
        return bad;
    }
    const size_t rowCount = size_t(rect.bottom - rect.top) + 1;
    return decode(variant, payload, delta.subspan(size_t(rect.top) * rowLength + start), rowLength,
                  rowUnits, rowCount);
}

LzwResult LzwDecoder::decodeUpdate16(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                     int width, int height, const LzwRect& rect)
{
    return decodeFrame(LzwVariant::MsbFirst, 16, payload, delta, width, height, rect);
}

LzwResult LzwDecoder::decodeUpdate8(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                    int width, int height, const LzwRect& rect)
{
    return decodeFrame(LzwVariant::MsbFirst, 8, payload, delta, width, height, rect);
}

LzwResult LzwDecoder::decodeUpdate4(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                    int width, int height, const LzwRect& rect)
{
    return decodeFrame(LzwVariant::LsbFirst, 4, payload, delta, width, height, rect);
}

LzwResult LzwDecoder::decodeUpdate4Transposed(std::span<const uint8_t> payload,
                                              std::span<uint8_t> delta, int width, int height,
                                              const LzwRect& rect)
{
    return decodeFrame(LzwVariant::LsbFirst, 4, payload, delta, height, width, rect);
}

LzwResult LzwDecoder::decodeUpdate2(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                    int width, int height, const LzwRect& rect)
{
    return decodeFrame(LzwVariant::LsbFirst, 2, payload, delta, width, height, rect);
}

LzwResult LzwDecoder::decodeUpdate2Transposed(std::span<const uint8_t> payload,
                                              std::span<uint8_t> delta, int width, int height,
                                              const LzwRect& rect)
{
    return decodeFrame(LzwVariant::LsbFirst, 2, payload, delta, height, width, rect);
}

} // namespace sorvane
