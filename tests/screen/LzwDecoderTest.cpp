// Hand-built streams: a full table, malformed streams, and where each entry point puts
// its rows. Width growth and clear codes are driven by the streams of LzwOracleTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TestLzwEncoder.h"
#include "screen/LzwDecoder.h"

using namespace sorvane;
using sorvane::test::CodeWriter;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes lsbPayload(unsigned w0, const Bytes& codes)
{
    Bytes p{0x00, uint8_t(w0)};
    p.insert(p.end(), codes.begin(), codes.end());
    return p;
}

} // namespace

TEST(LzwDecoder, FullTableTakesNoEntriesUntilClear)
{
    // Roots only: 3838 of them after the first fill the table (258..4095).
    CodeWriter w(true);
    std::string expect;
    unsigned width = 9;
    uint32_t next = 258;
    auto root = [](int i) { return uint32_t((i * 31 + i / 256) % 256); };
    w.put(root(0), 9);
    expect += char(root(0));
    for (int i = 1; i < 3900; ++i) {
        w.put(root(i), width);
        expect += char(root(i));
        if (next < 4096 && ++next == (1u << width) - 1 && width < 12)
            ++width;
    }
    ASSERT_EQ(next, 4096u);
    ASSERT_EQ(width, 12u);
    w.put(4095, 12); // defined by roots 3837 and 3838, not overwritten since
    expect += char(root(3837));
    expect += char(root(3838));
    w.put(256, 12);
    w.put('z', 9);
    w.put(257, 9);
    expect += 'z';
    LzwDecoder d;
    Bytes out(expect.size());
    LzwResult r = d.decode(LzwVariant::MsbFirst, w.finish(), out, out.size(), out.size(), 1);
    EXPECT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(std::string(out.begin(), out.end()), expect);
}

TEST(LzwDecoder, MalformedStreamsStopWithWhatWasWritten)
{
    LzwDecoder d;
    auto run = [&](std::initializer_list<uint32_t> codes, size_t units, Bytes& out) {
        CodeWriter w(true);
        for (uint32_t c : codes)
            w.put(c, 9);
        out.assign(units + 2, 0xEE); // two guard bytes after the row
        return d.decode(LzwVariant::MsbFirst, w.finish(), out, units, units, 1);
    };
    Bytes out;
    struct Case {
        std::initializer_list<uint32_t> codes;
        size_t units;
        LzwStatus status;
        std::string written;
    };
    const Case cases[] = {
        {{258, 257}, 3, LzwStatus::UndefinedCode, ""},
        {{'a', 'b', 'c', 256, 'x', 259}, 5, LzwStatus::CodeAboveNext, "abcx"}, // a clear drops old entries
        {{'a', 'b', 300, 257}, 4, LzwStatus::CodeAboveNext, "ab"},
        {{'a', 'b', 260}, 4, LzwStatus::CodeAboveNext, "ab"},
        {{'a', 'b', 'c'}, 3, LzwStatus::MissingEndCode, "abc"},
        {{'a', 'b'}, 3, LzwStatus::Truncated, "ab"},
        {{'a', 257}, 3, LzwStatus::EndedEarly, "a"},
        {{'a', 'b', 'c', 258, 257}, 4, LzwStatus::OutputOverflow, "abca"},
        {{'a', 258, 258, 257}, 4, LzwStatus::OutputOverflow, "aaaa"},
        {{'a', 'b', 'c', 'd'}, 3, LzwStatus::OutputOverflow, "abc"},
    };
    for (const Case& c : cases) {
        LzwResult r = run(c.codes, c.units, out);
        SCOPED_TRACE(c.written);
        EXPECT_EQ(r.status, c.status) << lzwStatusName(r.status);
        EXPECT_EQ(r.unitsDecoded, c.written.size());
        Bytes expect(c.written.begin(), c.written.end());
        expect.resize(c.units, 0);    // the rest of the rectangle is zero
        expect.resize(c.units + 2, 0xEE); // nothing past it is touched
        EXPECT_EQ(out, expect);
    }

    Bytes small(4, 0xEE);
    EXPECT_EQ(d.decode(LzwVariant::MsbFirst, Bytes{}, small, 4, 4, 1).status, LzwStatus::Truncated);
    EXPECT_EQ(small, Bytes(4, 0));
    for (const Bytes& p : {Bytes{0x00}, Bytes{0x00, 0x06, 0xFF}, Bytes{0x00, 0x02, 0xFF}})
        EXPECT_EQ(d.decode(LzwVariant::LsbFirst, p, small, 4, 8, 1).status, LzwStatus::BadHeader);
    // w0 = 3: roots 0..3, clear 4, end 5.
    CodeWriter w3(false);
    w3.put(3, 3);
    w3.put(1, 3);
    w3.put(5, 3);
    small.assign(4, 0);
    LzwResult r = d.decode(LzwVariant::LsbFirst, lsbPayload(3, w3.finish()), small, 1, 2, 1);
    EXPECT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(small[0], 0x31);
}

TEST(LzwDecoder, EntryPointsPlaceRowsAndCheckGeometry)
{
    LzwDecoder d;
    auto stream = [](const std::string& s, bool msb, unsigned width) {
        CodeWriter w(msb);
        for (char c : s)
            w.put(uint8_t(c), width);
        w.put(msb ? 257 : 17, width);
        Bytes b = w.finish();
        return msb ? b : lsbPayload(5, b);
    };

    // A 2x2 rectangle of 16-bit pixels lands at byte left * 2 of rows top..bottom.
    const int W = 8, H = 4;
    Bytes delta(W * H * 2, 0x55);
    LzwResult r = d.decodeUpdate16(stream("ABCDEFGH", true, 9), delta, W, H, {3, 1, 4, 2});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    Bytes expect(W * H * 2, 0x55);
    std::string rows = "ABCDEFGH";
    std::copy(rows.begin(), rows.begin() + 4, expect.begin() + 16 + 6);
    std::copy(rows.begin() + 4, rows.end(), expect.begin() + 32 + 6);
    EXPECT_EQ(delta, expect);

    // Full-width 8-bit rows are decoded in place.
    delta.assign(W * H, 0x55);
    r = d.decodeUpdate8(stream("0123456789abcdef", true, 9), delta, W, H, {0, 2, 7, 3});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(std::string(delta.begin() + 16, delta.end()), "0123456789abcdef");
    EXPECT_EQ(delta[15], 0x55);

    // 4-bit: pixels 2..5 of rows 1..2 are bytes 1..2 of 4-byte rows.
    delta.assign(W * H / 2, 0x55);
    r = d.decodeUpdate4(stream("\x1\x2\x3\x4\x5\x6\x7\x8", false, 5), delta, W, H, {2, 1, 5, 2});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(delta, (Bytes{0x55, 0x55, 0x55, 0x55, 0x55, 0x12, 0x34, 0x55, 0x55, 0x56, 0x78, 0x55,
                            0x55, 0x55, 0x55, 0x55}));

    // Transposed 4-bit frame of a 4 x 8 display: 4 native rows of 8 pixels.
    delta.assign(16, 0);
    r = d.decodeUpdate4Transposed(stream("\xA\xB", false, 5), delta, 4, 8, {6, 3, 7, 3});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(delta[15], 0xAB);
    EXPECT_EQ(std::count(delta.begin(), delta.end(), 0), 15);

    // 2-bit: 16 pixels a row (4 bytes); pixels 4..11 are four nibbles, bytes 1..2.
    delta.assign(16, 0);
    r = d.decodeUpdate2(stream("\x1\x2\x3\x4", false, 5), delta, 16, 4, {4, 3, 11, 3});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(delta, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0}));
    delta.assign(16, 0);
    r = d.decodeUpdate2Transposed(stream("\x9\xF", false, 5), delta, 4, 16, {12, 0, 15, 0});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(delta[3], 0x9F);

    // A 16-bit rectangle that ends at the right edge with left > 0 is whole; one past it is refused.
    delta.assign(W * H * 2, 0x55);
    r = d.decodeUpdate16(stream("ABCDEF", true, 9), delta, W, H, {5, 3, 7, 3});
    ASSERT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(std::string(delta.begin() + 48 + 10, delta.end()), "ABCDEF");
    EXPECT_EQ(delta[48 + 9], 0x55);

    // Rectangles outside the frame or splitting bytes are refused, nothing written.
    delta.assign(W * H * 2, 0x55);
    const Bytes ab = stream("ab", true, 9);
    EXPECT_EQ(d.decodeUpdate16(ab, delta, W, H, {6, 0, 8, 0}).status, LzwStatus::BadGeometry);
    for (LzwRect bad : {LzwRect{0, 0, 8, 0}, LzwRect{0, 3, 0, 4}, LzwRect{2, 0, 1, 0},
                        LzwRect{-1, 0, 0, 0}})
        EXPECT_EQ(d.decodeUpdate8(ab, delta, W, H, bad).status, LzwStatus::BadGeometry);
    EXPECT_EQ(d.decodeUpdate8(ab, std::span(delta).first(W * 3), W, H, {0, 3, 1, 3}).status,
              LzwStatus::BadGeometry);
    EXPECT_EQ(d.decodeUpdate4(ab, delta, W, H, {1, 0, 2, 0}).status, LzwStatus::BadGeometry);
    EXPECT_EQ(d.decodeUpdate4(ab, delta, W, H, {0, 0, 2, 0}).status, LzwStatus::BadGeometry);
    EXPECT_EQ(d.decodeUpdate2(ab, delta, 16, 4, {2, 0, 5, 0}).status, LzwStatus::BadGeometry);
    EXPECT_EQ(d.decodeUpdate2(ab, delta, 16, 4, {0, 0, 5, 0}).status, LzwStatus::BadGeometry);
    EXPECT_EQ(delta, Bytes(W * H * 2, 0x55));
}
