#pragma once
// A small LZW encoder for tests of the screen receivers: a dictionary encoder that
// tracks the decoder's table and code width code by code, for either bit order.
// Kept apart from the simulator's encoder on purpose.

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace sorvane::test {

// Packs codes of given widths into bytes, most or least significant bit first.
class CodeWriter {
public:
    explicit CodeWriter(bool msbFirst) : msb_(msbFirst) {}
    void put(uint32_t code, unsigned width)
    {
        acc_ = msb_ ? (acc_ << width) | code : acc_ | uint64_t(code) << bits_;
        for (bits_ += width; bits_ >= 8; bits_ -= 8) {
            bytes_.push_back(uint8_t(msb_ ? acc_ >> (bits_ - 8) : acc_));
            if (!msb_)
                acc_ >>= 8;
        }
        if (msb_)
            acc_ &= (1ull << bits_) - 1;
    }
    std::vector<uint8_t> finish() const
    {
        std::vector<uint8_t> out = bytes_;
        if (bits_)
            out.push_back(uint8_t(msb_ ? acc_ << (8 - bits_) : acc_));
        return out;
    }

private:
    bool msb_;
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    unsigned bits_ = 0;
};

// msbFirst: 8-bit symbols, 9-bit start, width grows one code early.
// otherwise: symbols below 16 (one per nibble), w0 = 5, width grows at 2^w.
inline std::vector<uint8_t> lzwEncode(const std::vector<uint8_t>& symbols, bool msbFirst)
{
    const unsigned clear = msbFirst ? 256 : 16, end = clear + 1, first = clear + 2, w0 = msbFirst ? 9 : 5;
    CodeWriter writer(msbFirst);
    unsigned width = w0, decoderNext = first, encoderNext = first;
    bool afterClear = true;
    std::map<std::pair<int, int>, unsigned> dict;
    auto emit = [&](unsigned code) {
        writer.put(code, width);
        if (code == clear) {
            width = w0;
            decoderNext = first;
            afterClear = true;
            return;
        }
        if (code == end)
            return;
        if (!afterClear && ++decoderNext == (msbFirst ? (1u << width) - 1 : (1u << width)) && width < 12)
            ++width;
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
    std::vector<uint8_t> out = writer.finish();
    if (!msbFirst)
        out.insert(out.begin(), {0, uint8_t(w0)});
    return out;
}

} // namespace sorvane::test
