// Fuzzes the screen payload LZW decoder against a plain reference decoder that walks
// prefix chains one unit at a time, and the per-depth entry points on small frames.
//
// Input: byte 0 chooses the variant (bit 0), extra row pitch (bits 1..3) and whether
// to go through an entry point (bits 4..6: 0 = plain decode, 1..6 = decodeUpdate16,
// 8, 4, 4Transposed, 2, 2Transposed); bytes 1..2 give the geometry (units and rows,
// or the frame size), bytes 3..6 the rectangle for an entry point; the rest is the
// payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "screen/LzwDecoder.h"

using namespace sorvane;

namespace {

struct Reference {
    uint16_t prefix[4096];
    uint8_t last[4096];
    uint8_t first[4096];
    uint8_t stack[4096];

    LzwResult run(bool msb, std::span<const uint8_t> payload, std::vector<uint8_t>& out)
    {
        const size_t units = out.size();
        size_t bitPos = 0;
        unsigned rootBits = 8;
        if (!msb) {
            if (payload.size() < 2 || payload[1] < 3 || payload[1] > 5)
                return {LzwStatus::BadHeader, 0};
            rootBits = payload[1] - 1u;
            payload = payload.subspan(2);
        }
        auto read = [&](unsigned width) -> std::optional<uint32_t> {
            if (bitPos + width > payload.size() * 8)
                return std::nullopt;
            uint32_t code = 0;
            for (unsigned i = 0; i < width; ++i, ++bitPos) {
                unsigned bit = msb ? (payload[bitPos / 8] >> (7 - bitPos % 8)) & 1
                                   : (payload[bitPos / 8] >> (bitPos % 8)) & 1;
                code = msb ? code << 1 | bit : code | bit << i;
            }
            return code;
        };
        const uint32_t clear = 1u << rootBits, endCode = clear + 1;
        size_t o = 0;
        for (uint32_t k = 0; k < clear; ++k) {
            prefix[k] = 0xFFFF;
            last[k] = first[k] = uint8_t(k);
        }
        unsigned width = 0;
        uint32_t next = 0;
        std::optional<uint32_t> prev;
        auto reset = [&] {
            width = rootBits + 1;
            next = clear + 2;
            prev.reset();
        };
        // Writes the string of `code`; false when it did not fit.
        auto emit = [&](uint32_t code) {
            size_t n = 0;
            for (uint32_t c = code; c != 0xFFFF; c = prefix[c])
                stack[n++] = last[c];
            while (n > 0) {
                if (o == units)
                    return false;
                out[o++] = stack[--n];
            }
            return true;
        };
        reset();
        for (;;) {
            std::optional<uint32_t> code = read(width);
            if (!code)
                return {o == units ? LzwStatus::MissingEndCode : LzwStatus::Truncated, o};
            const uint32_t c = *code;
            if (c == clear) {
                reset();
                continue;
            }
            if (c == endCode)
                return {o == units ? LzwStatus::Complete : LzwStatus::EndedEarly, o};
            if (c > next || (c == next && !prev))
                return {c == next ? LzwStatus::UndefinedCode : LzwStatus::CodeAboveNext, o};
            if (c < clear && !prev) {
                if (!emit(c))
                    return {LzwStatus::OutputOverflow, o};
                prev = c;
                continue;
            }
            if (!prev)
                return {LzwStatus::UndefinedCode, o};
            if (next < 4096) {
                prefix[next] = uint16_t(*prev);
                first[next] = first[*prev];
                last[next] = c == next ? first[*prev] : first[c];
                ++next;
                const uint32_t threshold = msb ? (1u << width) - 1 : 1u << width;
                if (next == threshold && width < 12)
                    ++width;
            }
            if (!emit(c))
                return {LzwStatus::OutputOverflow, o};
            prev = c;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7)
        return 0;
    static LzwDecoder decoder; // reused across inputs, as a connection reuses it
    static Reference reference;
    const bool msb = data[0] & 1;
    const size_t extra = (data[0] >> 1) & 7;
    const unsigned entry = (data[0] >> 4) & 7;
    const std::span<const uint8_t> payload(data + 7, size - 7);

    if (entry == 0) {
        const size_t rowUnits = (data[1] & 63) + 1;
        const size_t rowCount = (data[2] & 127) + 1;
        const size_t rowBytes = msb ? rowUnits : (rowUnits + 1) / 2;
        const size_t stride = rowBytes + extra;
        std::vector<uint8_t> dest(stride * (rowCount - 1) + rowBytes, 0xA5);
        const LzwResult got = decoder.decode(msb ? LzwVariant::MsbFirst : LzwVariant::LsbFirst,
                                             payload, dest, stride, rowUnits, rowCount);
        std::vector<uint8_t> units(rowUnits * rowCount);
        const LzwResult want = reference.run(msb, payload, units);
        if (got.status != want.status || got.unitsDecoded != want.unitsDecoded)
            std::abort();
        for (size_t r = 0; r < rowCount; ++r) {
            for (size_t u = 0; u < rowUnits; ++u) {
                const size_t i = r * rowUnits + u;
                const uint8_t expect = i < want.unitsDecoded ? units[i] : 0;
                const uint8_t byte = msb ? dest[r * stride + u] : dest[r * stride + u / 2];
                const uint8_t unit = msb ? byte : (u % 2 ? byte & 0x0F : byte >> 4);
                if (unit != expect)
                    std::abort();
            }
            if (!msb && rowUnits % 2 && (dest[r * stride + rowBytes - 1] & 0x0F) != 0x05)
                std::abort(); // the neighbour's nibble is kept
            for (size_t b = rowBytes; b < stride && r + 1 < rowCount; ++b)
                if (dest[r * stride + b] != 0xA5)
                    std::abort();
        }
        return 0;
    }

    // Entry points on a small frame: everything must stay inside the delta buffer.
    const int width = (data[1] & 31) * 4 + 4;
    const int height = (data[2] & 31) + 1;
    const LzwRect rect{data[3] % 140, data[4] % 40, data[5] % 140, data[6] % 40};
    std::vector<uint8_t> delta(size_t(width) * height * 2);
    LzwResult r;
    switch (entry) {
    case 1: r = decoder.decodeUpdate16(payload, delta, width, height, rect); break;
    case 2: r = decoder.decodeUpdate8(payload, delta, width, height, rect); break;
    case 3: r = decoder.decodeUpdate4(payload, delta, width, height, rect); break;
    case 4: r = decoder.decodeUpdate4Transposed(payload, delta, height * 4, width, rect); break;
    case 5: r = decoder.decodeUpdate2(payload, delta, width, height, rect); break;
    default: r = decoder.decodeUpdate2Transposed(payload, delta, height * 4, width, rect); break;
    }
    if (r.unitsDecoded > delta.size() * 2)
        std::abort();
    return 0;
}
