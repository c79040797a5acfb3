// Hand-built streams: a full table, malformed streams, and the rectangles the entry
// points refuse. Width growth and clear codes are driven by the streams of LzwOracleTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TestLzwEncoder.h"
#include "screen/LzwDecoder.h"

using namespace sorvane;
using sorvane::test::CodeWriter;

using Bytes = std::vector<uint8_t>;

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
    Bytes payload = w3.finish();
    payload.insert(payload.begin(), {0x00, 3}); // the ignored byte, w0
    LzwResult r = d.decode(LzwVariant::LsbFirst, payload, small, 1, 2, 1);
    EXPECT_EQ(r.status, LzwStatus::Complete);
    EXPECT_EQ(small[0], 0x31);
}

// Where each entry point puts its rows is checked end to end, at every depth and
// orientation, by the captures in tests/e2e.
TEST(LzwDecoder, EntryPointsRefuseBadGeometry)
{
    LzwDecoder d;
    const int W = 8, H = 4;
    CodeWriter w(true);
    for (uint32_t code : {uint32_t('a'), uint32_t('b'), 257u})
        w.put(code, 9);
    const Bytes ab = w.finish();
    // Rectangles outside the frame or splitting bytes are refused, nothing written.
    Bytes delta(W * H * 2, 0x55);
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
