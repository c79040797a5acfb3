// Screen updates of the simulator, end to end: this test keeps its own copy of each
// display's frame as a client would (Pillow decodes the LZW payloads, Python computes
// the checksums), and after every update compares it with the frame the simulator dumps.

#include "Oracle.h"
#include "RawClient.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace sorvane::test;
using namespace std::chrono_literals;

namespace {

struct Update {
    uint16_t headerLength = 0;
    uint8_t flags = 0;
    uint32_t payloadLength = 0, checksum = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    Bytes payload;
};

uint16_t u16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t u32(const Bytes& b, size_t at) { return uint32_t(u16(b, at)) | uint32_t(u16(b, at + 2)) << 16; }

Update readHeader(RawClient& c)
{
    auto h = c.read(20);
    if (!h)
        throw std::runtime_error("no update header");
    Update u;
    u.headerLength = u16(*h, 0);
    u.flags = (*h)[2];
    u.payloadLength = u32(*h, 4);
    u.checksum = u32(*h, 8);
    u.left = u16(*h, 12);
    u.top = u16(*h, 14);
    u.right = u16(*h, 16);
    u.bottom = u16(*h, 18);
    return u;
}

Update readUpdate(RawClient& c)
{
    Update u = readHeader(c);
    auto p = c.read(u.payloadLength);
    if (!p)
        throw std::runtime_error("short payload");
    u.payload = *p;
    return u;
}

Bytes readFile(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Ppm {
    int width = 0, height = 0;
    Bytes rgb;
};

Ppm readPpm(const std::filesystem::path& p)
{
    Bytes b = readFile(p);
    std::string head(b.begin(), b.begin() + std::min<size_t>(b.size(), 32));
    Ppm ppm;
    int maxval = 0, used = 0;
    if (std::sscanf(head.c_str(), "P6 %d %d %d%n", &ppm.width, &ppm.height, &maxval, &used) != 3 || maxval != 255)
        throw std::runtime_error("not a P6 file: " + p.string());
    ppm.rgb.assign(b.begin() + used + 1, b.end());
    if (ppm.rgb.size() != size_t(ppm.width) * size_t(ppm.height) * 3)
        throw std::runtime_error("P6 file of the wrong size");
    return ppm;
}

// One display's frame as a client holds it.
struct Frame {
    int bits = 16, columns = 0, rows = 0;
    Bytes bytes;
    Frame(int b, int c, int r) : bits(b), columns(c), rows(r), bytes(size_t(c) * size_t(b) / 8 * size_t(r), 0) {}
    size_t rowBytes() const { return size_t(columns) * size_t(bits) / 8; }
    void zero() { std::fill(bytes.begin(), bytes.end(), 0); }

    // Checks the update's form, decodes it with the oracle, undoes the prediction and
    // applies the delta, as the protocol describes the client's part.
    void apply(const Update& u)
    {
        ASSERT_EQ(u.headerLength, 20);
        if (u.payloadLength == 0)
            return;
        ASSERT_LE(u.left, u.right);
        ASSERT_LE(u.top, u.bottom);
        ASSERT_LT(u.right, columns);
        ASSERT_LT(u.bottom, rows);
        if (bits == 4) {
            EXPECT_EQ(u.left % 2, 0);
            EXPECT_EQ((u.right - u.left + 1) % 2, 0);
        }
        if (bits == 2) {
            EXPECT_EQ(u.left % 4, 0);
            EXPECT_EQ((u.right - u.left + 1) % 4, 0);
        }
        const size_t start = size_t(u.left) * size_t(bits) / 8;
        const size_t width = size_t(u.right + 1) * size_t(bits) / 8 - start;
        const size_t n = size_t(u.bottom - u.top + 1);
        Bytes delta;
        OracleResult r;
        if (bits >= 8) {
            r = oracleDecode("tiff", width, n, u.payload);
            delta = r.symbols;
        } else {
            r = oracleDecode("gif", width * 2, n, u.payload);
            for (size_t i = 0; i + 1 < r.symbols.size(); i += 2)
                delta.push_back(uint8_t(r.symbols[i] << 4 | r.symbols[i + 1]));
        }
        EXPECT_EQ(r.checksum, u.checksum);
        ASSERT_EQ(delta.size(), width * n);
        if (u.flags & 0x04)
            for (size_t row = n - 1; row-- > 0;)
                for (size_t i = 0; i < width; ++i)
                    delta[row * width + i] ^= delta[(row + 1) * width + i];
        if ((u.flags & 0x02) && bits >= 8) {
            const size_t px = size_t(bits) / 8;
            for (size_t row = 0; row < n; ++row)
                for (size_t i = width - px; i-- > 0;)
                    delta[row * width + i] ^= delta[row * width + i + px];
        }
        for (size_t row = 0; row < n; ++row)
            for (size_t i = 0; i < width; ++i)
                bytes[(size_t(u.top) + row) * rowBytes() + start + i] ^= delta[row * width + i];
    }
};

struct Rgb {
    uint8_t r, g, b;
};

Rgb from565(uint16_t v)
{
    return {uint8_t(((v >> 11) & 31) * 255 / 31), uint8_t(((v >> 5) & 63) * 255 / 63), uint8_t((v & 31) * 255 / 31)};
}

const Rgb kFixed[16] = {{0, 0, 0},       {0, 0, 128},   {0, 128, 0},   {0, 128, 128}, {128, 0, 0},   {128, 0, 128},
                        {128, 128, 0},   {128, 128, 128}, {192, 192, 192}, {0, 0, 255}, {0, 255, 0}, {0, 255, 255},
                        {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};

// Pixel value of a frame at native row r, column c.
unsigned pixelAt(const Frame& f, int r, int c)
{
    const uint8_t* row = f.bytes.data() + size_t(r) * f.rowBytes();
    switch (f.bits) {
    case 16: return unsigned(row[c * 2] | row[c * 2 + 1] << 8);
    case 8: return row[c];
    case 4: return (row[c / 2] >> (c % 2 ? 0 : 4)) & 15;
    default: return (row[c / 4] >> (6 - 2 * (c % 4))) & 3;
    }
}

// Every pixel of the dumped picture is the colour of the frame's pixel at the place the
// orientation gives; palette: 4 bytes per entry as the device sent it (empty: 565 data;
// fixed: the low colour table).
void expectPictureMatchesFrame(const Ppm& ppm, const Frame& f, int orientation, const Bytes& palette, bool fixed)
{
    const bool transposed = f.columns == ppm.height && f.rows == ppm.width && f.columns != f.rows;
    int mismatches = 0;
    for (int y = 0; y < ppm.height; ++y) {
        for (int x = 0; x < ppm.width; ++x) {
            int r = y, c = x;
            if (transposed) {
                r = orientation == 90 ? x : ppm.width - 1 - x;
                c = orientation == 90 ? ppm.height - 1 - y : y;
            }
            unsigned v = pixelAt(f, r, c);
            Rgb want = f.bits == 16 ? from565(uint16_t(v))
                       : fixed      ? kFixed[v]
                                    : Rgb{palette[v * 4], palette[v * 4 + 1], palette[v * 4 + 2]};
            const uint8_t* got = ppm.rgb.data() + (size_t(y) * size_t(ppm.width) + size_t(x)) * 3;
            if ((got[0] != want.r || got[1] != want.g || got[2] != want.b) && ++mismatches < 4)
                ADD_FAILURE() << "pixel " << x << "," << y << " differs";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Connects and runs the handshake; returns the palette bytes (none for 16-bit devices).
Bytes handshake(RawClient& c, int depth)
{
    c.hello();
    c.info();
    Bytes palette;
    if (depth < 16) {
        c.send(packet(93));
        auto flag = c.read(4);
        if (!flag || u32(*flag, 0) == 0)
            throw std::runtime_error("no palette");
        palette = c.read(size_t(4) << depth).value();
    }
    c.send(packet(81));
    if (c.read(4) != packet(97))
        throw std::runtime_error("refresh not answered");
    return palette;
}

// Waits for the simulator to report the dump of this update (earlier ones are passed).
void expectDumped(SimProcess& sim, const std::string& display, unsigned number)
{
    const std::string expected = "dumped " + display + " " + std::to_string(number);
    for (;;) {
        auto line = nextLine(sim, "dumped ");
        ASSERT_TRUE(line) << "no " << expected;
        if (*line == expected)
            return;
    }
}

} // namespace

TEST(SimScreen, EveryDepthAndOrientationReproducesTheDevicesFrame)
{
    struct Case {
        std::vector<std::string> args;
        int depth, width, height, orientation;
        bool random;
    };
    const std::vector<Case> cases = {
        {{"--depth", "16"}, 16, 240, 320, 0, false},
        {{"--depth", "16", "--predict", "both", "--lzw-clear-every", "40"}, 16, 240, 320, 0, false},
        {{"--depth", "8", "--predict", "row", "--lzw-initial-clear", "1"}, 8, 240, 320, 0, false},
        {{"--depth", "4", "--orientation", "90", "--predict", "pixel"}, 4, 240, 320, 90, false},
        {{"--depth", "4", "--orientation", "270", "--width", "176", "--height", "224", "--predict", "row"}, 4, 176, 224, 270, false},
        {{"--depth", "2", "--orientation", "270", "--predict", "random", "--random-rects", "5", "--lzw-root-bits", "auto"}, 2, 240, 320, 270, true},
        {{"--depth", "2", "--width", "160", "--height", "160"}, 2, 160, 160, 0, false},
        {{"--depth", "8", "--width", "176", "--height", "220", "--predict", "random", "--random-rects", "9"}, 8, 176, 220, 0, true},
    };
    for (const Case& k : cases) {
        std::string trace;
        for (auto& a : k.args)
            trace += a + " ";
        SCOPED_TRACE(trace);
        TempDir dir;
        std::vector<std::string> args = {"--port", "0", "--picture", "synthetic", "--dump-dir", dir.path().string()};
        args.insert(args.end(), k.args.begin(), k.args.end());
        SimProcess sim(args);
        RawClient c(sim.tcpPort());
        Bytes palette = handshake(c, k.depth);
        const bool transposed = (k.depth == 4 && k.orientation % 180 == 90) || (k.depth == 2 && k.orientation == 270);
        Frame f(k.depth, transposed ? k.height : k.width, transposed ? k.width : k.height);
        const uint8_t request = k.depth == 4 ? 83 : 82;
        Update last;
        for (unsigned poll = 1; poll <= 11; ++poll) {
            if (poll == 5)
                c.send(inputPacket(84, 30, 200) + inputPacket(85, 30, 200));
            c.send(packet(request));
            last = readUpdate(c);
            ASSERT_NO_FATAL_FAILURE(f.apply(last));
            expectDumped(sim, "main", poll);
            ASSERT_EQ(readFile(dir / "main.raw"), f.bytes) << "after update " << poll;
        }
        if (!k.random) {
            EXPECT_EQ(last.payloadLength, 0u) << "the picture stands still after eight steps";
        }
        Ppm ppm = readPpm(dir / "main.ppm");
        ASSERT_EQ(ppm.width, k.width);
        ASSERT_EQ(ppm.height, k.height);
        expectPictureMatchesFrame(ppm, f, k.orientation, palette, false);
    }
}

TEST(SimScreen, LowColourModeSendsTheFixedSixteenColours)
{
    TempDir dir;
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--dump-dir", dir.path().string(), "--predict", "row"});
    RawClient c(sim.tcpPort());
    handshake(c, 16);
    Frame low(4, 240, 320);
    c.send(packet(83));
    ASSERT_NO_FATAL_FAILURE(low.apply(readUpdate(c)));
    expectDumped(sim, "main", 1);
    EXPECT_EQ(readFile(dir / "main.raw"), low.bytes);
    expectPictureMatchesFrame(readPpm(dir / "main.ppm"), low, 0, {}, true);

    // Back to full colour: the agent starts that frame from zero.
    Frame full(16, 240, 320);
    c.send(packet(82));
    Update u = readUpdate(c);
    EXPECT_EQ(std::vector<int>({u.left, u.top, u.right, u.bottom}), std::vector<int>({0, 0, 239, 319}));
    ASSERT_NO_FATAL_FAILURE(full.apply(u));
    expectDumped(sim, "main", 2);
    EXPECT_EQ(readFile(dir / "main.raw"), full.bytes);
}

TEST(SimScreen, TapsLeaveMarksThatTravelAsSmallUpdates)
{
    TempDir dir;
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--dump-dir", dir.path().string(), "--still-after", "1"});
    RawClient c(sim.tcpPort());
    handshake(c, 16);
    Frame f(16, 240, 320);
    for (int i = 0; i < 3; ++i) {
        c.send(packet(82));
        ASSERT_NO_FATAL_FAILURE(f.apply(readUpdate(c)));
    }
    c.send(packet(102) + le32(1) + inputPacket(84, 100, 150));
    c.send(packet(82));
    Update u = readUpdate(c);
    EXPECT_LE(u.left, 100);
    EXPECT_GE(u.right, 100);
    EXPECT_LE(u.top, 150);
    EXPECT_GE(u.bottom, 150);
    EXPECT_LE(u.right - u.left, 8);
    EXPECT_LE(u.bottom - u.top, 8);
    ASSERT_NO_FATAL_FAILURE(f.apply(u));
    expectDumped(sim, "main", 4);
    EXPECT_EQ(readFile(dir / "main.raw"), f.bytes);
    Ppm ppm = readPpm(dir / "main.ppm");
    const uint8_t* mark = ppm.rgb.data() + (150 * 240 + 100) * 3;
    EXPECT_EQ(Bytes(mark, mark + 3), (Bytes{255, 0, 255}));
}

TEST(SimScreen, SecondDisplayKeepsItsOwnReference)
{
    TempDir dir;
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--dump-dir", dir.path().string(), "--second", "4:120x160:90", "--still-after", "2"});
    RawClient c(sim.tcpPort());
    handshake(c, 16);
    Frame main(16, 240, 320), second(4, 160, 120); // turned by 90: 120 rows of 160 pixels
    unsigned number = 0;
    auto poll = [&](uint8_t code, Frame& f) {
        c.send(packet(code));
        Update u = readUpdate(c);
        f.apply(u);
        expectDumped(sim, code == 98 ? "second" : "main", ++number);
        return u;
    };
    for (int i = 0; i < 4; ++i) {
        poll(82, main);
        poll(98, second);
    }
    EXPECT_EQ(readFile(dir / "second.raw"), second.bytes);
    // Second dumped picture: 120 x 160, colours of the fixed table (the main display has 16 bits).
    Ppm ppm = readPpm(dir / "second.ppm");
    EXPECT_EQ(ppm.width, 120);
    EXPECT_EQ(ppm.height, 160);
    expectPictureMatchesFrame(ppm, second, 90, {}, true);

    // A refresh resets the display asked for last, and only that one.
    c.send(packet(81));
    ASSERT_EQ(c.read(4), packet(97));
    second.zero();
    Update full = poll(98, second);
    EXPECT_EQ(std::vector<int>({full.left, full.top, full.right, full.bottom}), std::vector<int>({0, 0, 159, 119}));
    EXPECT_EQ(readFile(dir / "second.raw"), second.bytes);
    EXPECT_EQ(poll(82, main).payloadLength, 0u);
    EXPECT_EQ(readFile(dir / "main.raw"), main.bytes);
}

TEST(SimScreen, WithoutASecondDisplayItsRequestGetsAnEmptyUpdate)
{
    SimProcess sim({"--port", "0", "--picture", "synthetic"});
    RawClient c(sim.tcpPort());
    handshake(c, 16);
    c.send(packet(98));
    EXPECT_EQ(c.read(20), Bytes({20, 0}) + Bytes(18, 0));
    c.send(packet(81));
    EXPECT_EQ(c.read(4), packet(97));
}

TEST(SimScreen, PaletteChangeRestartsEveryFrameFromZero)
{
    TempDir dir;
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--depth", "8", "--palette-change-every", "1", "--dump-dir", dir.path().string()});
    RawClient c(sim.tcpPort());
    handshake(c, 8);
    Frame f(8, 240, 320);
    for (int i = 0; i < 2; ++i) {
        c.send(packet(82));
        ASSERT_NO_FATAL_FAILURE(f.apply(readUpdate(c)));
    }
    c.send(packet(93));
    ASSERT_EQ(c.read(4), le32(0x12345678));
    Bytes palette = c.read(1024).value();
    f.zero();
    c.send(packet(82));
    Update u = readUpdate(c);
    EXPECT_EQ(std::vector<int>({u.left, u.top, u.right, u.bottom}), std::vector<int>({0, 0, 239, 319}));
    ASSERT_NO_FATAL_FAILURE(f.apply(u));
    expectDumped(sim, "main", 3);
    EXPECT_EQ(readFile(dir / "main.raw"), f.bytes);
    expectPictureMatchesFrame(readPpm(dir / "main.ppm"), f, 0, palette, false);
}

TEST(SimScreen, PlannedFaultsAndTheRecovery)
{
    TempDir dir;
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--dump-dir", dir.path().string(), "--bad-crc", "2", "--truncate", "3",
                    "--oversize", "4", "--bad-header", "5", "--still-after", "0"});
    RawClient c(sim.tcpPort());
    handshake(c, 16);
    Frame f(16, 240, 320);
    auto refresh = [&] {
        c.send(packet(81));
        ASSERT_EQ(c.read(4), packet(97));
        f.zero();
    };
    c.send(packet(82));
    ASSERT_NO_FATAL_FAILURE(f.apply(readUpdate(c)));

    c.send(packet(82));
    Update bad = readUpdate(c);
    EXPECT_NE(oracleDecode("tiff", size_t(bad.right - bad.left + 1) * 2, size_t(bad.bottom - bad.top + 1), bad.payload).checksum,
              bad.checksum);
    ASSERT_TRUE(nextLine(sim, "fault bad-crc 2"));
    refresh();

    c.send(packet(82));
    Update cut = readHeader(c);
    ASSERT_GT(cut.payloadLength, 1u);
    ASSERT_TRUE(c.read(cut.payloadLength / 2));
    refresh(); // the reply packet comes right behind the shortened payload

    c.send(packet(82));
    Update big = readHeader(c);
    EXPECT_GT(big.payloadLength, 240u * 320u * 2u);
    refresh(); // no payload came with it

    c.send(packet(82));
    Update odd = readHeader(c); // a 16-bit receiver reads a 20-byte header whatever it says
    EXPECT_LT(odd.headerLength, 20);
    refresh();

    c.send(packet(82));
    Update whole = readUpdate(c);
    EXPECT_EQ(std::vector<int>({whole.left, whole.top, whole.right, whole.bottom}), std::vector<int>({0, 0, 239, 319}));
    ASSERT_NO_FATAL_FAILURE(f.apply(whole));
    expectDumped(sim, "main", 6); // spoiled updates leave no dump
    EXPECT_EQ(readFile(dir / "main.raw"), f.bytes);
}

TEST(SimScreen, BadHeaderOfAnEightBitDeviceAndCloseMidUpdate)
{
    SimProcess sim({"--port", "0", "--picture", "synthetic", "--depth", "8", "--bad-header", "1", "--close-mid-update", "2"});
    RawClient c(sim.tcpPort());
    handshake(c, 8);
    c.send(packet(82));
    auto h = c.read(10); // as many bytes as the length field says
    ASSERT_TRUE(h);
    EXPECT_EQ(u16(*h, 0), 10);
    c.send(packet(81));
    EXPECT_EQ(c.read(4), packet(97));
    c.send(packet(82));
    Update u = readHeader(c);
    ASSERT_GT(u.payloadLength, 1u);
    EXPECT_TRUE(c.read(u.payloadLength / 2));
    EXPECT_TRUE(c.closedByPeer());
    ASSERT_TRUE(nextLine(sim, "disconnected 1"));
}
