#include <gtest/gtest.h>

#include <random>

#include "platform/RegistryText.h"

using namespace sorvane;

namespace {

std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

RegistryStore roundTrip(const RegistryStore& store)
{
    const std::string text = registryToText(store);
    for (unsigned char c : text)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7F)) << "raw control byte " << int(c) << " in the text";
    RegistryStore back;
    std::string error;
    EXPECT_TRUE(registryFromText(text, back, error)) << error << "\n" << text;
    return back;
}

} // namespace

TEST(RegistryText, KnownImage)
{
    RegistryStore s;
    s.setDword("SOFTWARE\\Halvard\\Sorvane", "ConnTypes", 3);
    s.setBinary("SOFTWARE\\Halvard\\Sorvane", "ConnData", std::vector<uint8_t>{0x01, 0xAB});
    s.setString("SOFTWARE\\Halvard\\Sorvane", "ScriptDir", "C:\\x \"y\"\n\xC3\xA9\xFF");
    s.setValue("K", "Short", RegType::Dword, std::vector<uint8_t>{1, 2});
    const std::string text = registryToText(s);
    const std::string body = text.substr(text.find("\n["));
    EXPECT_EQ(body, "\n[SOFTWARE\\Halvard\\Sorvane]\n"
                    "\"ConnTypes\"=dword:00000003\n"
                    "\"ConnData\"=hex:01,ab\n"
                    "\"ScriptDir\"=\"C:\\\\x \\\"y\\\"\\x0a\xC3\xA9\\xff\"\n"
                    "\n[K]\n"
                    "\"Short\"=hex(4):01,02\n");
}

TEST(RegistryText, HandWrittenTextIsRead)
{
    const std::string text = "Sorvane settings store 1\r\n"
                             "; a comment\r\n\r\n"
                             "  [Some\\Key]  \r\n"
                             "\"A\" = dword:FF\r\n"
                             "\"B\"=hex:1,02, 3 ,\\\r\n"
                             "    Ff\r\n"
                             "\"C\"=\"\"\r\n"
                             "\"\"=hex(0):\r\n";
    RegistryStore s;
    std::string error;
    ASSERT_TRUE(registryFromText(text, s, error)) << error;
    EXPECT_EQ(s.find("some\\KEY", "a")->data, (std::vector<uint8_t>{0xFF, 0, 0, 0}));
    EXPECT_EQ(s.find("Some\\Key", "B")->data, (std::vector<uint8_t>{1, 2, 3, 0xFF}));
    EXPECT_EQ(s.find("Some\\Key", "C")->data, (std::vector<uint8_t>{0}));
    EXPECT_EQ(s.find("Some\\Key", "")->type, 0u);
    EXPECT_TRUE(s.find("Some\\Key", "")->data.empty());
}

TEST(RegistryText, HostileNamesAndValuesRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const std::vector<std::string> texts = {
        "", "\\", "\"", "\\x41", "%41", "]", "[x]", "a\nb\r\tc", std::string("nul\0inside", 10),
        "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "caf\xC3\xA9", all,
    };
    RegistryStore s;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string key = "K\\" + texts[i] + std::to_string(i);
        s.createKey(key);
        s.setString(key, texts[i], texts[i]);
        s.setValue(key, texts[i] + "unterminated", RegType::String, bytesOf(texts[i]));
        s.setBinary(key, "bin" + texts[i], bytesOf(texts[i]));
        s.setValue(key, "dword" + texts[i], RegType::Dword, bytesOf(texts[i].substr(0, i % 6)));
        s.setValue(key, "odd", uint32_t(0xFFFFFFF0u + i), bytesOf(texts[i]));
    }
    std::vector<uint8_t> big(5000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    s.setBinary("Big", "ConnData", big);
    s.createKey("Empty key");
    EXPECT_EQ(roundTrip(s), s);

    std::mt19937 rng(1903);
    for (int round = 0; round < 200; ++round) {
        RegistryStore r;
        auto randomBytes = [&](size_t max) {
            std::string b(rng() % (max + 1), '\0');
            for (char& c : b)
                c = char(rng() % 4 == 0 ? "\\\"%]\n\x80"[rng() % 6] : rng());
            return b;
        };
        for (int k = 0; k < 3; ++k) {
            std::string key = randomBytes(12);
            for (int v = 0; v < 4; ++v)
                r.setValue(key, randomBytes(8), rng() % 6, bytesOf(randomBytes(40)));
        }
        ASSERT_EQ(roundTrip(r), r) << round;
    }
}

TEST(RegistryText, DamagedTextIsRefusedWithItsLine)
{
    const std::string h = "Sorvane settings store 1\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "line 1: not a settings file"},
        {"Windows settings\n[K]\n", "line 1: not a settings file"},
        {h + "\"A\"=dword:1\n", "line 2: a value before the first key"},
        {h + "[K]\n\"A\"=dword:123456789\n", "line 3: a dword"},
        {h + "[K]\n\"A\"=dword:12x\n", "line 3: a dword"},
        {h + "[K]\n\"A\"=\"open\n", "line 3: missing closing"},
        {h + "[K]\n\"A\"=\"\\q\"\n", "line 3: unknown escape"},
        {h + "[K]\n\"A\"=\"a\"b\n", "line 3: text after"},
        {h + "[K]\n\"A\"=hex:1,,2\n", "line 3: a byte must be"},
        {h + "[K]\n\"A\"=hex:123\n", "line 3: a byte must be"},
        {h + "[K]\n\"A\"=hex:01,\\\n", "line 3: the file ends inside"},
        {h + "[K]\n\"A\"=hex(zz):01\n", "line 3: bad type"},
        {h + "[K]\n\"A\"=42\n", "line 3: unknown value form"},
        {h + "[K]\n\"A\"=dword:1\n\"a\"=dword:2\n", "line 4: value name appears twice"},
        {h + "[K]\n[k]\n", "line 3: key appears twice"},
        {h + "[K%4]\n", "line 2: bad %-escape"},
        {h + "[K\n", "line 2: a key line must end"},
        {h + "[K]\ngarbage\n", "line 3: expected '\"'"},
    };
    for (const auto& [text, expected] : cases) {
        RegistryStore s;
        s.setDword("Keep", "Me", 7);
        const RegistryStore before = s;
        std::string error;
        EXPECT_FALSE(registryFromText(text, s, error)) << text;
        EXPECT_TRUE(error.starts_with(expected)) << "got: " << error << "\nfor: " << text;
        EXPECT_EQ(s, before);
    }
}
