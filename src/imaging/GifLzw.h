#pragma once
// The LZW coding of GIF image data: variable-length codes from minCodeSize + 1 up to
// 12 bits, packed least significant bit first, a clear code (1 << minCodeSize) and an
// end code (clear + 1). The streams here carry no sub-block framing. Not thread-safe;
// one encoder per stream.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace sorvane {

class GifLzwEncoder {
public:
    // Starts a stream appended to out, with a clear code first. minCodeSize 2..8;
    // every index given later must be below 1 << minCodeSize.
    GifLzwEncoder(int minCodeSize, std::vector<uint8_t>& out, size_t expectedPixels = 0);
    void add(std::span<const uint8_t> indices);
    // Writes the last code and the end code; the stream is complete afterwards.
    void finish();

private:
    void put(uint32_t code);
    void reserve(size_t codes);
    void resetTable();
    // Numbers the next code (when there is room) and widens the codes when due; false
    // when the table was full and has been started afresh.
    bool addCode(uint32_t& code);

    std::vector<uint8_t>& out_;
    size_t pos_ = 0;
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    int minCodeSize_;
    int codeSize_;
    uint32_t clear_;
    uint32_t next_;
    int32_t prefix_ = -1;
    // Open addressing over (prefix << 8 | index) << 12 | code; small enough to stay in
    // the first-level cache, which the one lookup per pixel depends on.
    std::vector<uint32_t> table_;
    // Runs of one index, which screen pictures are full of, take a shorter way: for
    // each code whose string is one index repeated, that index and the length; for each
    // index the codes of its runs by length (runCodes_[i][k - 1] is the code of i^k).
    // Those strings are never looked up in table_.
    std::array<uint16_t, 4096> runLength_{};
    std::array<uint8_t, 4096> runIndex_{};
    std::array<std::vector<uint16_t>, 256> runCodes_;
};

// Decodes a code stream into out, which holds as many indices as are wanted.
// Returns how many were produced: decoding stops at the end code, at the end of the
// data, at an invalid code, or when out is full.
size_t gifLzwDecode(std::span<const uint8_t> stream, int minCodeSize, std::span<uint8_t> out);

} // namespace sorvane
