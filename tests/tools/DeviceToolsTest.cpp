// The Device Information texts against values worked out by hand, device text against
// Python's cp1252 codec, and the exchanges against a scripted peer.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>

#include "link/LinkChannel.h"
#include "support/SimProcess.h"
#include "platform/ByteOrder.h"
#include "platform/Utf8Text.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceInfoText.h"
#include "tools/DeviceText.h"
#include "tools/TypeText.h"

using namespace sorvane;

namespace {

TEST(DeviceInfoText, GoldenValues)
{
    // The rest of the lines are worked out in tools_cli_tests' status case.
    const std::pair<std::string, std::string> cases[] = {
        {FormatMegabytes(1048575), "0.99 MB"},     {FormatMegabytes(10485), "0.00 MB"},
        {FormatMegabytes(10486), "0.01 MB"},       {FormatMegabytes(0xFFFFFFFF), "4095.99 MB"},
        {FormatMainBattery(40, 2), "40% (charging)"}, {FormatMainBattery(100, 3), "100%"},
        {FormatDepth(2), "2 (4 colors)"},          {ProcessorName(2577), "Intel StrongARM/XScale"},
        {ProcessorName(10003), "Hitachi SH3"},     {ProcessorName(620), "PowerPC"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
}

// Every character from U+0001 to U+02FF, the code page's own of 0x80..0x9F, a CJK
// character and one beyond the basic plane, through Python's cp1252 codec.
TEST(DeviceText, AgreesWithPythonCp1252)
{
    const std::string script =
        "import sys\n"
        "s = ''.join(chr(c) for c in range(1, 0x300) if c != 10)\n"
        "s += bytes(range(0x80, 0xA0)).decode('cp1252', errors='ignore') + '\\u4e2d\\U0001F600'\n"
        "sys.stdout.write(s.encode('utf-8').hex() + ' ' + s.encode('cp1252', errors='replace').hex())\n";
    const test::ProcessResult py = test::runProcess({test::programFromEnv("SORVANE_PYTHON"), "-c", script});
    ASSERT_EQ(py.exitCode, 0) << "the Python oracle did not run: " << py.err;
    const size_t space = py.out.find(' ');
    ASSERT_NE(space, std::string::npos);
    auto unhex = [](const std::string& h) {
        std::string bytes;
        for (size_t i = 0; i + 1 < h.size(); i += 2)
            bytes += char(std::stoi(h.substr(i, 2), nullptr, 16));
        return bytes;
    };
    const DeviceTextResult r = ToDeviceText(unhex(py.out.substr(0, space)));
    EXPECT_EQ(r.bytes, unhex(py.out.substr(space + 1)));
    // U+0080..U+009F (32), U+0100..U+02FF but for its ten in the code page (502), two more.
    EXPECT_EQ(r.unmappable, 536u);
}

TEST(DeviceText, PasteTable)
{
    const struct {
        std::string in, bytes;
        size_t unmappable;
    } cases[] = {
        {"a\nb\r\nc\rd", "a\r\nb\r\nc\rd", 0}, // LF alone becomes CR LF; CR LF and CR stay
        {std::string("ab\0cd", 5), "ab", 0},   // the device takes text up to a NUL
        {"\xE2\x82", "??", 2},                 // a cut UTF-8 sequence
        {"", "", 0},
    };
    for (const auto& c : cases) {
        const DeviceTextResult r = ToDeviceText(c.in);
        EXPECT_EQ(r.bytes, c.bytes) << c.in;
        EXPECT_EQ(r.unmappable, c.unmappable) << c.in;
    }
}

TEST(DeviceText, EscapedForPrinting)
{
    EXPECT_EQ(EscapeDeviceText(std::string("a\\b\n\t\r\x01\x7F\x80\x81\xE9\x9D", 12)),
              "a\\b\\n\\t\\x0d\\x01\\x7f\xE2\x82\xAC\\x81\xC3\xA9\\x9d");
    // PC text (UTF-8) shows as typed; only what could break or reorder the line is escaped.
    const std::pair<std::string, std::string> pc[] = {
        {"\\Windows\\caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80.txt", "\\Windows\\caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80.txt"},
        {"a\r\nb\x1b[2J\xC2\x85", "a\\x0d\\nb\\x1b[2J\\x85"},            // C0 and C1 controls
        {"x\xE2\x80\xA8y\xE2\x80\xAEz", "x\\u2028y\\u202ez"},            // line separator, right-to-left override
        {"\xC3(\xC0\xAF\xED\xA0\x80\xE2\x82", "\\xc3(\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82"}, // not UTF-8
    };
    for (const auto& [in, shown] : pc) {
        EXPECT_EQ(EscapeText(in), shown) << in;
        EXPECT_EQ(EscapeText(shown), shown) << in; // escaping twice changes nothing
    }
}

// A peer that hands out scripted reply bytes and records what is sent.
class ScriptedChannel final : public LinkChannel {
public:
    std::deque<uint8_t> replies;
    std::vector<uint8_t> sent;
    int discards = 0;

    size_t recv(uint8_t* buffer, size_t n) override
    {
        size_t k = 0;
        for (; k < n && !replies.empty(); ++k) {
            buffer[k] = replies.front();
            replies.pop_front();
        }
        return k;
    }
    void send(const uint8_t* buffer, size_t n) override { sent.insert(sent.end(), buffer, buffer + n); }
    uint8_t readReply() override { return 0; }
    void sleepMs(uint32_t) override {}
    void discardPending() override
    {
        ++discards;
        replies.clear();
    }
    void word(uint32_t v)
    {
        uint8_t b[4];
        storeLe32(b, v);
        replies.insert(replies.end(), b, b + 4);
    }
    void process(uint32_t id)
    {
        std::array<uint8_t, 256> r{};
        ProcessRecord{id, id * 2, "p" + std::to_string(id), ""}.encode(r);
        replies.insert(replies.end(), r.begin(), r.end());
    }
};

TEST(DeviceExchanges, ProcessListKeepsTheFirst256AndStaysInStep)
{
    ScriptedChannel ch;
    ch.word(300);
    for (uint32_t i = 0; i < 300; ++i)
        ch.process(i + 1);
    ch.word(11); // the next reply: clipboard text, its NULs at the end dropped
    for (char c : std::string("Hello, PC\0\0", 11))
        ch.replies.push_back(uint8_t(c));
    ProcessList list;
    ASSERT_EQ(RequestProcessList(ch, list), ExchangeStatus::Served);
    ASSERT_EQ(list.records.size(), 256u);
    EXPECT_EQ(list.records[255], (ProcessRecord{256, 512, "p256", ""}));
    EXPECT_EQ(ch.sent, (std::vector<uint8_t>{'x', 0xFF, 'x', 0x11}));
    std::string text;
    ASSERT_EQ(ReadDeviceClipboard(ch, text), ExchangeStatus::Served);
    EXPECT_EQ(text, "Hello, PC");
}

TEST(DeviceExchanges, BadOrMissingRepliesLeaveThePreviousValues)
{
    ProcessList list;
    list.reportedCount = 1;
    DeviceStatusRecord status;
    status.osBuild = 99;

    ScriptedChannel lying;
    lying.word(kProcessCountLimit + 1);
    EXPECT_EQ(RequestProcessList(lying, list), ExchangeStatus::BadReply);
    EXPECT_EQ(lying.discards, 1);

    ScriptedChannel cut;
    cut.word(2);
    cut.process(1);
    EXPECT_EQ(RequestProcessList(cut, list), ExchangeStatus::NoReply);
    EXPECT_EQ(list.reportedCount, 1u);

    ScriptedChannel silent;
    EXPECT_EQ(RequestDeviceStatus(silent, status), ExchangeStatus::NoReply);
    EXPECT_EQ(status.osBuild, 99u);
}

TEST(TypeText, UsKeyboardPackets)
{
    std::string keys;
    for (const InputPacket& p : TypeTextPackets("Ab1 ?").packets) {
        char k[16];
        std::snprintf(k, sizeof k, "%c%02X%s ", p[0], p[4], p[5] == 1 ? "" : "!");
        keys += k;
    }
    EXPECT_EQ(keys, "V10 V41 W41 W10 V42 W42 V31 W31 V20 W20 V10 VBF WBF W10 ");
    EXPECT_EQ(TypeTextPackets("a\r\nb").packets.size(), 6u); // CR LF is one Enter
    const TypedText accented = TypeTextPackets("x\xC3\xA9y\xC3\xA9");
    EXPECT_EQ(accented.missing, "\xC3\xA9");
}

} // namespace
