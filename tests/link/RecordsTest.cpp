// Byte images of the link records and the reply reader's resynchronisation.

#include <gtest/gtest.h>

#include <numeric>

#include "ScriptedTransport.h"
#include "link/CommandPacket.h"
#include "link/DeviceInfoBlock.h"
#include "link/LinkRecord.h"
#include "link/Links.h"
#include "link/PasswordTable.h"

using namespace sorvane;
using namespace sorvane::test;

TEST(LinkRecord, KnownByteImage)
{
    LinkRecord r;
    r.depth = 16;
    r.width = 240;
    r.height = 320;
    r.orientation = 270;
    r.altDepth = 8;
    r.altWidth = 0x123;
    r.altHeight = -1;
    r.altOrientation = 90;
    r.spareInfo = 0x0BADF00D;
    r.linkKind = 6;
    r.port = 5000;
    r.proxyWords = {1, 0xA1A2A3A4};
    r.bytesSent = 0x01020304;
    r.bytesReceived = 0x05060708;
    r.keyPresses = 9;
    r.mouseClicks = 10;
    r.handle = 0x44;
    r.spareWords = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    r.ipAddress = 0x7F000005;
    r.setDeviceName("Handheld One");
    r.tail[0] = 0xE0;
    r.tail[31] = 0xEF;
    std::array<uint8_t, LinkRecord::kSize> b{};
    r.encode(b);
    const std::pair<size_t, std::vector<uint8_t>> expected[] = {
        {0, {16, 0, 0, 0, 240, 0, 0, 0, 0x40, 1, 0, 0, 0x0E, 1, 0, 0}},
        {16, {8, 0, 0, 0, 0x23, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 90, 0, 0, 0}},
        {32, {0x0D, 0xF0, 0xAD, 0x0B, 6, 0, 0, 0, 0x88, 0x13, 0, 0}},
        {44, {1, 0, 0, 0, 0xA4, 0xA3, 0xA2, 0xA1}},
        {52, {4, 3, 2, 1, 8, 7, 6, 5, 9, 0, 0, 0, 10, 0, 0, 0, 0x44, 0, 0, 0}},
        {72, {0xB1, 0, 0, 0, 0xB2, 0, 0, 0, 0xB3, 0, 0, 0, 0xB4, 0, 0, 0, 0xB5, 0, 0, 0}},
        {92, {5, 0, 0, 0x7F, 'H', 'a', 'n', 'd'}},
        {108, {0}},
        {351, {0, 0xE0}},
        {383, {0xEF}},
    };
    for (const auto& [at, want] : expected)
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + long(at), b.begin() + long(at + want.size())), want) << "at " << at;
    EXPECT_EQ(LinkRecord::decode(b), r);
}

TEST(LinkRecord, EveryByteRoundTripsAndSurvivesASlot)
{
    std::array<uint8_t, LinkRecord::kSize> b;
    std::iota(b.begin(), b.end(), uint8_t(1));
    b[96 + 20] = 0; // the name ends after 20 characters; the rest of its field is padding
    for (size_t i = 96 + 21; i < 352; ++i)
        b[i] = 0;
    std::array<uint8_t, LinkRecord::kSize> again{};
    LinkRecord::decode(b).encode(again);
    EXPECT_EQ(b, again);

    LinkSlot link;
    link.assign(LinkRecord::decode(b));
    link.record().encode(again);
    EXPECT_EQ(b, again);
}

TEST(DeviceInfoBlock, KnownByteImage)
{
    DeviceInfoBlock d;
    d.depth = 4;
    d.width = 320;
    d.height = 240;
    d.orientation = 90;
    d.altDepth = 2;
    d.altWidth = 160;
    d.altHeight = 120;
    d.altOrientation = 0;
    d.unread32 = 0xCAFEBABE;
    d.spareInfo = 77;
    d.unread40 = 0xFEEDFACE;
    d.setName("Pocket");
    d.setPassword("pw");
    std::array<uint8_t, DeviceInfoBlock::kSize> b{};
    d.encode(b);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 48),
              (std::vector<uint8_t>{4, 0, 0, 0, 0x40, 1, 0, 0, 240, 0, 0, 0, 90, 0, 0, 0,
                                    2, 0, 0, 0, 160, 0, 0, 0, 120, 0, 0, 0, 0, 0, 0, 0,
                                    0xBE, 0xBA, 0xFE, 0xCA, 77, 0, 0, 0, 0xCE, 0xFA, 0xED, 0xFE,
                                    'P', 'o', 'c', 'k'}));
    EXPECT_EQ(b[50], 0);
    EXPECT_EQ(b[299], 0);
    EXPECT_EQ(b[300], 'p');
    EXPECT_EQ(b[301], 'w');
    EXPECT_EQ(b[302], 0);
    EXPECT_EQ(DeviceInfoBlock::decode(b), d);

    // Fields without a NUL end at the field's end.
    std::fill(b.begin() + 44, b.end(), uint8_t('x'));
    auto full = DeviceInfoBlock::decode(b);
    EXPECT_EQ(full.nameView().size(), 256u);
    EXPECT_EQ(full.passwordView().size(), 32u);
}

TEST(CommandPacket, Images)
{
    EXPECT_EQ(commandPacket(CmdHello), (std::array<uint8_t, 4>{0x50, 0xFF, 0x50, 0x11}));
    EXPECT_EQ(commandPacket(CmdDeviceInfo), (std::array<uint8_t, 4>{0x5C, 0xFF, 0x5C, 0x11}));
    EXPECT_EQ(BuildPathMessage(CmdListDirectory, "\\My Documents"),
              (std::vector<uint8_t>{0x67, 0xFF, 0x67, 0x11, 14, 0, 0, 0, '\\', 'M', 'y', ' ', 'D', 'o', 'c', 'u',
                                    'm', 'e', 'n', 't', 's', 0}));
}

TEST(PasswordTable, RecordsAndComparison)
{
    PasswordTable t;
    std::array<uint8_t, 32> raw;
    raw.fill('k'); // 32 characters, no NUL
    t.setPasswordBytes(99, raw);
    EXPECT_EQ(t.password(99), std::string(32, 'k'));
    EXPECT_EQ(t.record(99)[255], 0);
    EXPECT_TRUE(t.record(100).empty());
    EXPECT_EQ(t.password(100), "");

    // Letters compare without case: the handshake's and sorvane-cli's tests.
    EXPECT_FALSE(passwordMatches("open sesame!", "open sesame"));
    EXPECT_FALSE(passwordMatches("\xC4", "\xE4")); // only ASCII letters fold
    EXPECT_TRUE(passwordMatches(std::string(32, 'K') + "ignored", std::string(32, 'k')));
}

TEST(ReplyReader, ResynchronisesAfterStrayBytes)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        std::vector<int> replies; // what successive reads return (0: no reply)
        size_t firstConsumed;     // bytes the first read took off the link (0: not checked)
    } cases[] = {
        {"stray end byte in front is absorbed", joined({{0x11}, replyPacket('a'), replyPacket('b')}), {'a', 'b'}, 5},
        {"another stray byte costs one reply", joined({{0x42}, replyPacket('a'), replyPacket('b')}), {0, 'b'}, 5},
        {"no marker: the window is dropped", joined({{'z', 'z', 'z', 'z'}, replyPacket('a')}), {0, 'a'}, 4},
        {"codes differ", joined({{'a', 0xFF, 'b', 0x11, 0x99}, replyPacket('c')}), {0, 'c'}, 0},
        {"fewer than four bytes", {'a', 0xFF}, {0}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        LinkSlot link;
        Script script;
        script.receives.push_back(bytes(c.stream));
        link.linkKind = 4;
        link.transport = std::make_unique<FakeSocket>(script);
        for (size_t i = 0; i < c.replies.size(); ++i) {
            EXPECT_EQ(ReadReply(link, clock), c.replies[i]) << "read " << i;
            if (i == 0 && c.firstConsumed != 0) {
                EXPECT_EQ(link.bytesReceived.load(), c.firstConsumed);
            }
        }
    }
}
