#pragma once
// A small LZW encoder for tests of the screen receivers: a dictionary encoder that
// tracks the decoder's table and code width code by code, for either bit order.
// Kept apart from the simulator's encoder on purpose.

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace sorvane::test {

// msbFirst: 8-bit symbols, 9-bit start, width grows one code early.
// otherwise: symbols below 16 (one per nibble), w0 = 5, width grows at 2^w.
inline std::vector<uint8_t> lzwEncode(const std::vector<uint8_t>& symbols, bool msbFirst)
{
    const unsigned clear = msbFirst ? 256 : 16, end = clear + 1, first = clear + 2, w0 = msbFirst ? 9 : 5;
    std::vector<uint8_t> out;
    if (!msbFirst)
        out = {0, uint8_t(w0)};
    uint64_t acc = 0;
    int bits = 0;
    unsigned width = w0, decoderNext = first, encoderNext = first;
    bool afterClear = true;
    std::map<std::pair<int, int>, unsigned> dict;
    auto emit = [&](unsigned code) {
        if (msbFirst) {
            acc = (acc << width) | code;
            bits += int(width);
            while (bits >= 8) {
                out.push_back(uint8_t(acc >> (bits - 8)));
                bits -= 8;
            }
        } else {
            acc |= uint64_t(code) << bits;
            bits += int(width);
            while (bits >= 8) {
                out.push_back(uint8_t(acc));
                acc >>= 8;
                bits -= 8;
            }
        }
        if (code == clear) {
            width = w0;
            decoderNext = first;
            afterClear = true;
            return;
        }
        if (code == end)
            return;
        if (!afterClear) {
            ++decoderNext;
            unsigned threshold = msbFirst ? (1u << width) - 1 : (1u << width);
            if (decoderNext == threshold && width < 12)
                ++width;
        }
        afterClear = false;
    };
    emit(clear);
    int w = -1;
    for (uint8_t k : symbols) {
        if (w < 0) {
            w = k;
            continue;
        }
        auto it = dict.find({w, k});
        if (it != dict.end()) {
            w = int(it->second);
            continue;
        }
        emit(unsigned(w));
        if (encoderNext < 4000) {
            dict[{w, k}] = encoderNext++;
        } else {
            emit(clear);
            dict.clear();
            encoderNext = first;
        }
        w = k;
    }
    if (w >= 0)
        emit(unsigned(w));
    emit(end);
    if (bits)
        out.push_back(msbFirst ? uint8_t(acc << (8 - bits)) : uint8_t(acc));
    return out;
}

} // namespace sorvane::test
