#pragma once
// The changing screen bench_connections' devices replay and bench_update decodes: a title
// bar, a panel, a gradient that moves with k and rows of noise-like text, and the update
// that carries a delta as the agent sends it (pixel then row prediction, LZW, header with
// CRC).

#include <cstdint>
#include <vector>

#include "../tests/screen/TestLzwEncoder.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"
#include "screen/ScreenReceiver.h"

namespace sorvane::bench {

inline std::vector<uint8_t> changingFrame(int w, int h, int k)
{
    std::vector<uint8_t> px(size_t(w) * h * 2);
    uint32_t seed = 977u * uint32_t(k + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t v = y < 24 ? 0x001F : x < w / 4 ? 0xC618 : uint16_t(((x + 7 * k) * 31 / w) << 11 | (y * 63 / h) << 5);
            if (y > 40 && (y + k) % 14 < 9 && x > w / 4) {
                seed = seed * 1664525u + 1013904223u;
                if ((seed >> 24) < 60)
                    v = 0;
            }
            storeLe16(&px[(size_t(y) * w + x) * 2], v);
        }
    return px;
}

inline std::vector<uint8_t> encodedUpdate(const std::vector<uint8_t>& delta, int w, int h)
{
    std::vector<uint8_t> d = delta;
    const size_t row = size_t(w) * 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w - 1; ++x) {
            d[y * row + 2 * x] ^= delta[y * row + 2 * x + 2];
            d[y * row + 2 * x + 1] ^= delta[y * row + 2 * x + 3];
        }
    std::vector<uint8_t> e = d;
    for (int y = 0; y < h - 1; ++y)
        for (size_t i = 0; i < row; ++i)
            e[y * row + i] ^= d[(y + 1) * row + i];
    std::vector<uint8_t> payload = test::lzwEncode(e, true);
    std::vector<uint8_t> msg(ScreenUpdateHeader::kSize);
    ScreenUpdateHeader hd;
    hd.flags = ScreenUpdateHeader::kRowXor | ScreenUpdateHeader::kPixelXor;
    hd.payloadLength = uint32_t(payload.size());
    hd.checksum = Crc32(payload);
    hd.right = uint16_t(w - 1);
    hd.bottom = uint16_t(h - 1);
    hd.encode(msg.data());
    msg.insert(msg.end(), payload.begin(), payload.end());
    return msg;
}

} // namespace sorvane::bench
