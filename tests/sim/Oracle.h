#pragma once
// Runs tests/sim/lzw_oracle.py (Pillow's TIFF and GIF decoders, Python's CRC) on a
// payload. A missing oracle fails the calling test.

#include "RawClient.h"

#include <string>

namespace sorvane::test {

struct OracleResult {
    Bytes symbols;        // one decoded symbol per byte
    uint32_t checksum = 0; // link checksum of the payload as Python computes it
};

// kind: "tiff" for MSB-first streams of bytes, "gif" for LSB-first streams of nibbles.
// units: symbols per row. Throws std::runtime_error when the oracle fails.
OracleResult oracleDecode(const std::string& kind, size_t units, size_t rows, const Bytes& payload);

} // namespace sorvane::test
