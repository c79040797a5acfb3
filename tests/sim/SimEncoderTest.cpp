// The simulator's LZW encoder and link records: the worked examples of the stream
// format, and long streams (width growth to 12 bits, full tables, forced clear codes)
// decoded by Pillow's TIFF and GIF readers.

#include "LzwEncoder.h"
#include "Oracle.h"
#include "WireRecords.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

using namespace sorvane::sim;
using namespace sorvane::test;

namespace {

Bytes ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

} // namespace

TEST(SimEncoder, WorkedExamples)
{
    LzwSettings msb{LzwVariant::MsbEarly, 8, 0, false};
    EXPECT_EQ(lzwEncode(ascii("abc"), msb), (Bytes{0x30, 0x98, 0x8C, 0x70, 0x10}));
    EXPECT_EQ(lzwEncode(ascii("aaaa"), msb), (Bytes{0x30, 0xC0, 0x8C, 0x30, 0x10}));
    LzwSettings lsb{LzwVariant::LsbLate, 4, 0, false};
    Bytes pixels = lzwEncode(Bytes{1, 2, 3}, lsb);
    ASSERT_EQ(pixels.size(), 5u);
    EXPECT_EQ(Bytes(pixels.begin() + 1, pixels.end()), (Bytes{0x05, 0x41, 0x8C, 0x08})); // byte 0 is not read
    // With the usual leading clear code: 256 in 9 bits, most significant bit first.
    EXPECT_EQ(lzwEncode(ascii("a"), LzwSettings{})[0], 0x80);
    EXPECT_THROW(lzwEncode(Bytes{16}, lsb), std::invalid_argument);
}

TEST(SimEncoder, ChecksumAndRecordImages)
{
    EXPECT_EQ(linkChecksum(ascii("abc")), 0xCA6598D0u);
    EXPECT_EQ(linkChecksum(ascii("123456789")), 0x2DFD2D88u);
    EXPECT_EQ(linkChecksum({}), 0u);

    ScreenUpdateHeader h;
    h.flags = 0x06;
    h.reserved = 0x99;
    h.payloadLength = 0x01020304;
    h.checksum = 0xA1B2C3D4;
    h.left = 0x0102;
    h.top = 3;
    h.right = 0x0EF;
    h.bottom = 0x13F;
    auto b = encodeScreenUpdateHeader(h);
    EXPECT_EQ(Bytes(b.begin(), b.end()), (Bytes{20, 0, 0x06, 0x99, 4, 3, 2, 1, 0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x01, 3, 0,
                                                 0xEF, 0, 0x3F, 0x01}));
    auto p = encodeCommandPacket(93);
    EXPECT_EQ(Bytes(p.begin(), p.end()), (Bytes{93, 0xFF, 93, 0x11}));
    EXPECT_EQ(decodeCommandPacket(p), 93);
    EXPECT_FALSE(decodeCommandPacket(std::array<uint8_t, 4>{93, 0xFF, 94, 0x11}));
}

TEST(SimEncoder, LongStreamsDecodeWithPillow)
{
    std::mt19937 gen(7);
    // Random bytes fill the table many times over; runs of few values grow long strings.
    Bytes noisy(60000), runs(60000);
    for (auto& b : noisy)
        b = uint8_t(gen());
    for (size_t i = 0; i < runs.size(); ++i)
        runs[i] = uint8_t((i / 97) % 5 + (gen() % 8 == 0 ? gen() % 3 : 0));
    for (unsigned clearEvery : {0u, 1u, 2u, 300u}) {
        SCOPED_TRACE("clear every " + std::to_string(clearEvery));
        for (const Bytes* data : {&noisy, &runs}) {
            Bytes payload = lzwEncode(*data, LzwSettings{LzwVariant::MsbEarly, 8, clearEvery, true});
            OracleResult r = oracleDecode("tiff", 600, data->size() / 600, payload);
            EXPECT_EQ(r.symbols, *data);
            EXPECT_EQ(r.checksum, linkChecksum(payload));
        }
    }
    for (int root : {2, 3, 4}) {
        for (unsigned clearEvery : {0u, 1u, 5u}) {
            SCOPED_TRACE("root " + std::to_string(root) + " clear every " + std::to_string(clearEvery));
            Bytes nibbles(48000);
            for (size_t i = 0; i < nibbles.size(); ++i)
                nibbles[i] = uint8_t((i % 13 < 6 ? gen() : i / 200) % (1u << root));
            Bytes payload = lzwEncode(nibbles, LzwSettings{LzwVariant::LsbLate, root, clearEvery, true});
            EXPECT_EQ(payload[1], root + 1);
            OracleResult r = oracleDecode("gif", 480, nibbles.size() / 480, payload);
            EXPECT_EQ(r.symbols, nibbles);
        }
    }
}
