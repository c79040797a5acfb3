#pragma once
// The records the agent puts on the link, each with an explicit encoder over the
// little-endian helpers: the four-byte command/reply packet, the 332-byte device
// information block, the 20-byte screen update header, and the link checksum.
//
// Command packet:          Device information block (332 bytes):
//   0  code c                0 depth        16 second depth     36 information word
//   1  0xFF                  4 width        20 second width     44 name[256], NUL-terminated
//   2  c                     8 height       24 second height   300 password[32], NUL-terminated
//   3  0x11                 12 orientation  28 second orient.  32, 40: zero
//
// Screen update header (20 bytes, then payloadLength bytes of LZW data):
//   0 headerLength u16   2 flags u8   3 reserved u8   4 payloadLength u32
//   8 checksum u32      12 left u16  14 top u16  16 right u16  18 bottom u16 (inclusive)

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sorvane::sim {

constexpr size_t kCommandPacketSize = 4;
constexpr uint8_t kReplyAccepted = 97; // 'a'
constexpr uint8_t kReplyNotYet = 101;  // 'e'
constexpr uint32_t kPaletteChanged = 0x12345678;

std::array<uint8_t, kCommandPacketSize> encodeCommandPacket(uint8_t code);
// The code of a well-formed packet {c, 0xFF, c, 0x11}; nullopt otherwise.
std::optional<uint8_t> decodeCommandPacket(std::span<const uint8_t, kCommandPacketSize> bytes);

struct DeviceInfo {
    int32_t depth = 0, width = 0, height = 0, orientation = 0;
    int32_t altDepth = 0, altWidth = 0, altHeight = 0, altOrientation = 0;
    int32_t spareInfo = 0;
    std::string name;     // at most 255 characters are kept
    std::string password; // at most 31 characters are kept
};
constexpr size_t kDeviceInfoBlockSize = 332;
std::array<uint8_t, kDeviceInfoBlockSize> encodeDeviceInfoBlock(const DeviceInfo& info);

constexpr uint8_t kFlagPixelXor = 0x02;
constexpr uint8_t kFlagRowXor = 0x04;

struct ScreenUpdateHeader {
    uint16_t headerLength = 20;
    uint8_t flags = 0;
    uint8_t reserved = 0;
    uint32_t payloadLength = 0;
    uint32_t checksum = 0;
    uint16_t left = 0, top = 0, right = 0, bottom = 0;
};
constexpr size_t kScreenUpdateHeaderSize = 20;
std::array<uint8_t, kScreenUpdateHeaderSize> encodeScreenUpdateHeader(const ScreenUpdateHeader& h);

// CRC-32 of the reflected polynomial 0x04C11DB7 with start value 0 and no final
// inversion: 0 for no bytes, 0xCA6598D0 for "abc".
uint32_t linkChecksum(std::span<const uint8_t> bytes);

} // namespace sorvane::sim
