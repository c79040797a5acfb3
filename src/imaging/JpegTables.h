#pragma once
// Tables shared by the JPEG decoder and encoder: the zigzag order, the example
// quantization and Huffman tables of Annex K of ITU T.81, the writer's scaling of
// the quantization tables, and the library's result codes for JPEG work.

#include <array>
#include <cstdint>

namespace sorvane::jpeg {

// Result codes of the image library used by the JPEG code.
inline constexpr int kOk = 0;
inline constexpr int kOutOfMemory = -1;      // the picture is too large to hold
inline constexpr int kUnsupported = -6;      // bad parameter, or a stream that is corrupt or truncated
inline constexpr int kUnsupportedProcess = -7; // a coding process other than 8-bit baseline/progressive Huffman

// kZigzag[k] is the natural (row-major) index of the k-th coefficient in zigzag order.
// The extra 16 entries let a corrupt run land on a harmless slot instead of past the end.
extern const std::array<uint8_t, 80> kZigzag;

// Annex K example tables, in natural (row-major) order.
extern const std::array<uint8_t, 64> kAnnexKLuminanceQuant;
extern const std::array<uint8_t, 64> kAnnexKChrominanceQuant;

// A Huffman table as the DHT segment carries it: counts of codes of each length
// 1..16, then the symbols in code order.
struct HuffmanSpec {
    std::array<uint8_t, 16> counts;
    const uint8_t* symbols;
    int symbolCount;
};
extern const HuffmanSpec kAnnexKDcLuminance;
extern const HuffmanSpec kAnnexKDcChrominance;
extern const HuffmanSpec kAnnexKAcLuminance;
extern const HuffmanSpec kAnnexKAcChrominance;

// The writer's quantization table for `options` (two low bits used): 0 divides each
// Annex K entry by 4, 1 by 2, 2 keeps it, 3 doubles it; integer arithmetic, the low
// byte kept. Natural order.
std::array<uint8_t, 64> scaledQuantTable(const std::array<uint8_t, 64>& annexK, int options);

} // namespace sorvane::jpeg
