#pragma once
// The checksum of screen updates and file blocks: CRC-32 of polynomial 0x04C11DB7,
// reflected, register starting at 0, result not inverted. It differs from the zip
// CRC-32 only at the ends: Crc32(x) == ~zipCrc32 started at 0xFFFFFFFF.
// Crc32("abc") = 0xCA6598D0, Crc32("123456789") = 0x2DFD2D88, Crc32("") = 0.
//
// CrcTable is built once (BuildCrcTable at start-up) and is immutable afterwards, so
// any thread may use it. It holds the byte-wise table and the slicing tables that let
// the checksum take 16 bytes per step; on processors with carry-less multiplication
// ranges of 64 bytes and more are folded with it instead, several times faster, with
// the same result.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sorvane {

class CrcTable {
public:
    CrcTable();

    // Entry i of the byte-wise table (entry 1 = 0x77073096, entry 255 = 0x2D02EF8D).
    uint32_t entry(uint8_t i) const { return slices_[0][i]; }

    // Runs the register over bytes; Crc32 is update(0, bytes).
    uint32_t update(uint32_t reg, std::span<const uint8_t> bytes) const;
    // The same with the tables alone, whatever the processor offers.
    uint32_t updateByTables(uint32_t reg, std::span<const uint8_t> bytes) const;
    bool folds() const { return folding_; }

private:
    static constexpr size_t kSlices = 16;
    static constexpr size_t kFoldMinimum = 64;
    std::array<std::array<uint32_t, 256>, kSlices> slices_;
    bool folding_ = false;
};

CrcTable BuildCrcTable();

uint32_t Crc32(const CrcTable& table, std::span<const uint8_t> bytes);

// The same over one table shared by the whole program, built on first use and never
// changed afterwards.
const CrcTable& sharedCrcTable();
uint32_t Crc32(std::span<const uint8_t> bytes);

} // namespace sorvane
