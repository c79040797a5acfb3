// The screen exchange against a scripted agent: each request the receiver sends is
// answered from a queue of prepared replies, so every failure path can be driven.
// Pictures at every depth, orientation and prediction are compared end to end with
// the simulator's own screen in tests/e2e.

#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/ByteOrder.h"
#include "screen/PredictedRows.h"
#include "screen/ScreenReceiver.h"
#include "TestLzwEncoder.h"

using namespace sorvane;

namespace {

std::vector<uint8_t> lzwMsb(const std::vector<uint8_t>& bytes) { return test::lzwEncode(bytes, true); }
std::vector<uint8_t> lzwLsb(const std::vector<uint8_t>& nibbles) { return test::lzwEncode(nibbles, false); }

uint32_t protocolCrc(const std::vector<uint8_t>& v)
{
    return ~uint32_t(crc32(0xFFFFFFFFul, v.data(), uInt(v.size())));
}

std::vector<uint8_t> update(const std::vector<uint8_t>& payload, int l, int t, int r, int b, uint8_t flags = 0,
                            uint16_t headerLength = 20)
{
    std::vector<uint8_t> out(20);
    ScreenUpdateHeader h;
    h.headerLength = headerLength;
    h.flags = flags;
    h.payloadLength = uint32_t(payload.size());
    h.checksum = protocolCrc(payload);
    h.left = uint16_t(l);
    h.top = uint16_t(t);
    h.right = uint16_t(r);
    h.bottom = uint16_t(b);
    h.encode(out.data());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

class ScriptedAgent : public LinkChannel {
public:
    std::map<uint8_t, std::deque<std::vector<uint8_t>>> replies; // per request code
    std::vector<uint8_t> requests;
    std::deque<uint8_t> pending;

    size_t recv(uint8_t* buf, size_t n) override
    {
        size_t got = 0;
        while (got < n && !pending.empty()) {
            buf[got++] = pending.front();
            pending.pop_front();
        }
        return got;
    }
    void send(const uint8_t* buf, size_t n) override
    {
        ASSERT_EQ(n, 4u);
        requests.push_back(buf[0]);
        auto& q = replies[buf[0]];
        if (buf[0] == 'Q') {
            pending.insert(pending.end(), {'a', 0xFF, 'a', 0x11});
        } else if (!q.empty()) {
            pending.insert(pending.end(), q.front().begin(), q.front().end());
            q.pop_front();
        }
    }
    uint8_t readReply() override
    {
        uint8_t b[4];
        if (recv(b, 4) < 4)
            return 0;
        return (b[1] == 0xFF && b[3] == 0x11 && b[0] == b[2]) ? b[0] : 0;
    }
    void sleepMs(uint32_t) override {}
    void discardPending() override { pending.clear(); }
};

struct RecordingSink : ScreenSink {
    std::vector<std::array<int, 4>> changed;
    int rebuilt = 0, dropped = 0;
    void pictureChanged(int l, int t, int r, int b) override { changed.push_back({l, t, r, b}); }
    void picturesRebuilt() override { ++rebuilt; }
    void linkDropped() override { ++dropped; }
};

struct Connection {
    ScreenState state;
    ScriptedAgent agent;
    RecordingSink sink;

    explicit Connection(DisplayFacts f, Palette palette = {})
    {
        state.facts = f;
        state.palette = palette;
        EXPECT_TRUE(BuildViewBitmaps(state.bitmaps, f, palette));
    }
    PollOutcome poll() { return PollScreen(agent, state, sink); }
};

// A ']' reply that reports a palette change whose entry `index` is (r, g, b).
std::vector<uint8_t> paletteReply(int index, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> reply(4 + sizeof(Palette), 0);
    storeLe32(reply.data(), kPaletteChanged);
    reply[4 + 4 * index] = r, reply[5 + 4 * index] = g, reply[6 + 4 * index] = b;
    return reply;
}

std::vector<uint8_t> rgb565Picture(int w, int h)
{
    std::vector<uint8_t> v(size_t(w) * h * 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            storeLe16(&v[(size_t(y) * w + x) * 2], uint16_t(x < w / 2 ? 0xF800 : 0x07E0 + y));
    return v;
}

} // namespace

TEST(ScreenReceiver, BadUpdatesRefreshAndDrawNothing)
{
    Connection c({16, 8, 6, 0});
    auto picture = rgb565Picture(8, 6);
    c.agent.replies['R'].push_back(update(lzwMsb(picture), 0, 0, 7, 5));
    ASSERT_EQ(c.poll(), PollOutcome::Applied);

    auto corrupt = update(lzwMsb(picture), 0, 0, 7, 5);
    corrupt[8] ^= 1; // checksum
    auto outside = update(lzwMsb(picture), 0, 0, 8, 5);            // right beyond the frame
    auto tooLong = update(std::vector<uint8_t>(97, 0), 0, 0, 7, 5); // more than W x H x 2
    auto badHeader = update(lzwMsb(picture), 0, 0, 7, 5, 0, 24);
    auto shortStream = update(lzwMsb(std::vector<uint8_t>(picture.begin(), picture.end() - 4)), 0, 0, 7, 5);
    auto cutPayload = update(lzwMsb(picture), 0, 0, 7, 5);
    cutPayload.pop_back(); // the rest never comes
    for (auto* reply : {&corrupt, &outside, &tooLong, &badHeader, &shortStream, &cutPayload}) {
        c.agent.replies['R'].push_back(*reply);
        c.agent.requests.clear();
        EXPECT_EQ(c.poll(), PollOutcome::Refreshed);
        EXPECT_EQ(c.agent.requests, (std::vector<uint8_t>{'R', 'Q'}));
        EXPECT_EQ(c.state.bitmaps.dib.bits, std::vector<uint8_t>(picture.size(), 0));
        EXPECT_TRUE(c.agent.pending.empty()); // nothing of the bad reply is left to misread
        c.agent.replies['R'].push_back(update(lzwMsb(picture), 0, 0, 7, 5));
        ASSERT_EQ(c.poll(), PollOutcome::Applied);
    }
    EXPECT_EQ(c.sink.changed.size(), 7u);

    // An empty payload changes nothing; a link that gives nothing drops the connection.
    c.agent.replies['R'].push_back(update({}, 0, 0, 0, 0));
    EXPECT_EQ(c.poll(), PollOutcome::Unchanged);
    EXPECT_EQ(c.poll(), PollOutcome::Dropped);
    EXPECT_EQ(c.sink.dropped, 1);
}

TEST(ScreenReceiver, MinimisedWindowPollsOnceInTwiceTheRate)
{
    Connection c({16, 8, 6, 0});
    c.state.minimized = true;
    c.state.refreshRate = 10;
    for (int i = 0; i < 40; ++i) {
        c.agent.replies['R'].push_back(update({}, 0, 0, 0, 0));
        c.poll();
    }
    EXPECT_EQ(c.agent.requests.size(), 2u);
}

// Where a transposed frame's pixels land is checked end to end (tests/e2e); the changed
// rectangle the window repaints is not, so it is here.
TEST(ScreenReceiver, FourBitTransposedFramesReportThePictureRectangle)
{
    const int W = 8, H = 6;
    for (int orientation : {90, 270}) {
        Connection c({4, W, H, orientation});
        // Native frame: W rows of H pixels. Only native row 0, columns 0..1 change.
        c.agent.replies['S'].push_back(update(lzwLsb({5, 9}), 0, 0, 1, 0));
        ASSERT_EQ(c.poll(), PollOutcome::Applied);
        // 90: native (0, 0) and (0, 1) land at (0, H-1) and (0, H-2); 270: at (W-1, 0) and (W-1, 1).
        const std::array<int, 4> expected =
            orientation == 90 ? std::array<int, 4>{0, H - 2, 0, H - 1} : std::array<int, 4>{W - 1, 0, W - 1, 1};
        EXPECT_EQ(c.sink.changed, (std::vector<std::array<int, 4>>{expected})) << orientation;
    }
}

// A 16-bit device's 8-bit second display takes the palette the device sends in all
// 256 entries (not only the 16 fixed colours).
TEST(ScreenReceiver, EightBitSecondDisplayOfASixteenBitDeviceShowsTheSentPalette)
{
    Connection c({16, 16, 8, 0, 8, 16, 8, 0});
    c.state.refreshRate = 1;
    c.state.flipState = 1;
    c.agent.replies[']'].push_back(paletteReply(200, 10, 20, 30));
    EXPECT_EQ(c.poll(), PollOutcome::PaletteChanged);
    Rgb e = c.state.bitmaps.altDib.colourOf(200);
    EXPECT_EQ((std::array<int, 3>{e.r, e.g, e.b}), (std::array<int, 3>{10, 20, 30}));
}

TEST(ScreenReceiver, RefreshDisplayRestartsTheFourAndTwoBitReferences)
{
    // The agent restarts from a zero frame after 'Q'; so must we, or the same update
    // XORed onto the old reference blanks the picture.
    for (int depth : {4, 2}) {
        SCOPED_TRACE(depth);
        Connection c({depth, 8, 4, 0});
        std::vector<uint8_t> units(depth == 4 ? 32 : 16, 0);
        units[0] = 0x9, units[1] = 0x6;
        const auto reply = update(lzwLsb(units), 0, 0, 7, 3);
        c.agent.replies['R'].push_back(reply);
        c.agent.replies['S'].push_back(reply);
        ASSERT_EQ(c.poll(), PollOutcome::Applied);
        const std::vector<uint8_t> first = c.state.bitmaps.dib4.bits;
        ASSERT_NE(first, std::vector<uint8_t>(first.size(), 0));
        RefreshScreen(c.agent, c.state);
        ASSERT_FALSE(c.agent.requests.empty());
        EXPECT_EQ(c.agent.requests.back(), 'Q');
        c.agent.replies['R'].push_back(reply);
        c.agent.replies['S'].push_back(reply);
        ASSERT_EQ(c.poll(), PollOutcome::Applied);
        EXPECT_EQ(c.state.bitmaps.dib4.bits, first);
        // After a refresh the picture outside a smaller rectangle is the zero frame too,
        // as on a connection that saw nothing else.
        const auto corner = update(lzwLsb({0x9, 0x6, 0x3, 0xC}), 0, 1, depth == 4 ? 3 : 7, 1);
        Connection fresh({depth, 8, 4, 0});
        for (Connection* k : {&c, &fresh}) {
            if (k == &c)
                RefreshScreen(c.agent, c.state);
            k->agent.replies['R'].push_back(corner);
            k->agent.replies['S'].push_back(corner);
            ASSERT_EQ(k->poll(), PollOutcome::Applied);
        }
        EXPECT_EQ(c.state.bitmaps.dib4.bits, fresh.state.bitmaps.dib4.bits);
    }
}

// The one-pass undo of 16- and 8-bit prediction, both ways the processor may take,
// against its definition: a pixel changes by the XOR of the decoded values at and right
// of it (pixel prediction) in its row and, with row prediction, in every row below.
TEST(ScreenReceiver, PredictionUndoneAtEveryWidthAndFlag)
{
    constexpr uint8_t both = ScreenUpdateHeader::kRowXor | ScreenUpdateHeader::kPixelXor;
    struct Case {
        int pixelBytes, width, rows;
        uint8_t flags;
    };
    const Case cases[] = {{2, 320, 5, both}, {2, 37, 4, both}, {2, 1, 3, both},
                          {1, 200, 4, both}, {1, 7, 3, both},  {2, 96, 3, ScreenUpdateHeader::kPixelXor},
                          {1, 130, 3, ScreenUpdateHeader::kRowXor}, {2, 33, 2, 0}};
    uint32_t seed = 1;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.width);
        const size_t rowBytes = size_t(k.width) * k.pixelBytes, dStride = rowBytes + 6, tStride = rowBytes + 10;
        // Runs of zeros as long as a wide block, between runs of noise.
        std::vector<uint8_t> decoded(dStride * k.rows), before(tStride * k.rows);
        for (size_t i = 0; i < decoded.size(); ++i)
            decoded[i] = (i / 80) % 3 == 0 ? 0 : uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
        for (auto& v : before)
            v = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
        std::vector<uint8_t> expected = before;
        for (int y = 0; y < k.rows; ++y)
            for (size_t x = 0; x < rowBytes; ++x)
                for (int y2 = y; y2 < ((k.flags & ScreenUpdateHeader::kRowXor) ? k.rows : y + 1); ++y2)
                    for (size_t x2 = x; x2 < ((k.flags & ScreenUpdateHeader::kPixelXor) ? rowBytes : x + 1); ++x2)
                        if (x2 % size_t(k.pixelBytes) == x % size_t(k.pixelBytes))
                            expected[y * tStride + x] ^= decoded[y2 * dStride + x2];
        for (auto kernels : {PredictionKernels::Portable, PredictionKernels::Avx2, PredictionKernels::Avx512}) {
            std::vector<uint8_t> delta = decoded, target = before;
            EXPECT_EQ(ApplyPredictedRowsWith(kernels,
                                             {delta.data(), dStride, target.data(), tStride, rowBytes, k.rows,
                                              k.pixelBytes, (k.flags & ScreenUpdateHeader::kRowXor) != 0,
                                              (k.flags & ScreenUpdateHeader::kPixelXor) != 0}),
                      predictionKernelsAvailable(kernels));
            EXPECT_EQ(target, predictionKernelsAvailable(kernels) ? expected : before) << int(kernels);
        }
    }
}

TEST(ScreenReceiver, EightBitPaletteChangeRebuildsAndRefreshes)
{
    Connection c({8, 16, 8, 0});
    c.state.refreshRate = 1; // every poll checks the palette
    const std::vector<uint8_t> reply = paletteReply(7, 10, 20, 30);
    c.agent.replies[']'].push_back(reply);
    EXPECT_EQ(c.poll(), PollOutcome::PaletteChanged);
    EXPECT_EQ(c.sink.rebuilt, 1); // the window makes its pictures again
    EXPECT_TRUE(std::equal(c.state.palette.begin(), c.state.palette.end(), reply.begin() + 4));
    // The receiver refreshes by itself: 'Q' follows the palette query.
    ASSERT_FALSE(c.agent.requests.empty());
    EXPECT_EQ(c.agent.requests.back(), 'Q');
    Rgb e = c.state.bitmaps.dib.colourOf(7);
    EXPECT_EQ((std::array<int, 3>{e.r, e.g, e.b}), (std::array<int, 3>{10, 20, 30}));

    // Status 0: straight on to the update, XORed into the picture itself.
    c.agent.replies[']'].push_back({0, 0, 0, 0});
    std::vector<uint8_t> rows(32, 7);
    rows[16 + 3] = 4;
    c.agent.replies['R'].push_back(update(lzwMsb(rows), 0, 0, 15, 1));
    ASSERT_EQ(c.poll(), PollOutcome::Applied);
    EXPECT_EQ(c.state.bitmaps.dib.pixel(3, 1), 4u);
    ASSERT_FALSE(c.sink.changed.empty());
    EXPECT_EQ(c.sink.changed.back(), (std::array<int, 4>{0, 0, 15, 1}));
    // Any other status refreshes and blanks the picture.
    c.agent.replies[']'].push_back({1, 0, 0, 0});
    EXPECT_EQ(c.poll(), PollOutcome::Refreshed);
    EXPECT_EQ(c.state.bitmaps.dib.pixel(3, 1), 0u);
}
