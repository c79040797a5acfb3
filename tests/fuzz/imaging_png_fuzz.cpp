// Feeds arbitrary bytes to the PNG reader and the entry points behind it. Mutated
// chunks almost never keep a valid CRC, so each input is also tried with every
// chunk's CRC put right, which lets the fuzzer reach the image data paths.
#include "imaging_fuzz_common.h"

#include <zlib.h>

namespace {
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sorvane::fuzz::exerciseReader(data, size, sorvane::kFilePng);
    if (size < 8)
        return 0;
    std::vector<uint8_t> fixed(data, data + size);
    for (size_t pos = 8; fixed.size() - pos >= 12;) {
        uint32_t len = be32(&fixed[pos]);
        if (len > fixed.size() - pos - 12)
            break;
        uint32_t crc = uint32_t(crc32(0, &fixed[pos + 4], len + 4));
        for (int i = 0; i < 4; ++i)
            fixed[pos + 8 + len + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        pos += 12 + size_t(len);
    }
    sorvane::fuzz::exerciseReader(fixed.data(), fixed.size(), sorvane::kFilePng);
    return 0;
}
