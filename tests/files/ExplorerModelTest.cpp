#include <gtest/gtest.h>

#include "files/DeviceFolder.h"
#include "files/DeviceNames.h"
#include "files/ExplorerModel.h"
#include "platform/Windows1252.h"
#include "support/SimProcess.h"

using namespace sorvane;

TEST(ExplorerModel, DevicePaneHidesDotFoldersAndPutsFoldersFirst)
{
    auto item = [](std::string name, bool folder) {
        DeviceItem i;
        i.name = name;
        i.folder = folder;
        i.keys = EntryKeys(name, folder, EntrySide::Device, 0, 0);
        return i;
    };
    // "abcdX" and "abcdA" differ after four characters: they keep reply order.
    auto shown = DevicePaneItems({item("abcdX", false), item(".git", true), item(".rc", false), item("zz", true),
                                  item("abcdA", false)},
                                 SortKey::Name);
    std::vector<std::string> names;
    for (auto& i : shown)
        names.push_back(i.name);
    EXPECT_EQ(names, (std::vector<std::string>{"zz", ".rc", "abcdX", "abcdA"}));
}

TEST(ExplorerModel, DevicePaths)
{
    // The top's child and parent: the explorer test's Programs folder; other parents and the
    // button texts: the folder menu's.
    EXPECT_EQ(DeviceChild("\\a\\", "x"), "\\a\\x");
    auto menu = DeviceFolderMenu("\\a\\b");
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, "    * b");
    EXPECT_EQ(menu[2].text, "My Device");
    EXPECT_EQ(menu[1].folder, "\\a");
    for (const char* bad : {"", ".", "..", "a/b"})
        EXPECT_FALSE(IsSafePcName(bad)) << bad;
    EXPECT_TRUE(IsSafePcName(".profile"));
    EXPECT_TRUE(IsRunnableName("setup.ExE"));
    EXPECT_FALSE(IsRunnableName("exe"));
}

// A PC name as a new device file's: its bytes, or the reason naming the character.
TEST(DeviceNames, NewFileNameTable)
{
    const std::pair<std::string, std::string> cases[] = {
        {"caf\u00e9 \u20ac\u0178.txt", "caf\xE9 \x80\x9F.txt"}, {" .profile", " .profile"},
        {"..\\..\\Windows\\StartUp\\evil.exe", "cannot hold '\\'"}, {"a/b", "cannot hold '/'"},
        {"a:b", "cannot hold ':'"}, {"a*", "cannot hold '*'"}, {"a?", "cannot hold '?'"}, {"a\"", "cannot hold '\"'"},
        {"<a", "cannot hold '<'"}, {"a>", "cannot hold '>'"}, {"a|b", "cannot hold '|'"},
        {"a\nb", "the control character U+000A"}, {"a\x7f", "the control character U+007F"},
        {"a\u0081", "the control character U+0081"}, {std::string("a\0b", 3), "the control character U+0000"},
        {"\u65e5\u672c.txt", "the device cannot hold '\u65e5' (U+65E5)"}, {"\u2713.txt", "'\u2713' (U+2713)"},
        {"\xff.txt", "not UTF-8 (the byte \\xff)"}, {"", "cannot be ''"}, {".", "cannot be '.'"},
        {"..", "cannot be '..'"}, {"notes.", "cannot end in '.'"}, {"notes ", "cannot end in a space"},
    };
    for (const auto& [pc, want] : cases) {
        const DeviceName d = NewDeviceFileName(pc);
        EXPECT_EQ(d.ok() ? d.bytes : d.problem.substr(d.problem.size() - std::min(d.problem.size(), want.size())), want)
            << pc << ": " << d.problem;
    }
}

// Every byte from 0x01 through Python's cp1252 codec (the five it leaves undefined as the
// C1 control of that number) and back; of U+0080..U+21FF exactly the characters it
// encodes (and those five) have a device spelling.
TEST(DeviceNames, AgreeWithPythonCp1252)
{
    const std::string script = "def ch(b):\n"
                               "    try: return bytes([b]).decode('cp1252')\n"
                               "    except UnicodeDecodeError: return chr(b)\n"
                               "def ok(c):\n"
                               "    try: return len(chr(c).encode('cp1252')) == 1\n"
                               "    except UnicodeEncodeError: return c in (0x81, 0x8d, 0x8f, 0x90, 0x9d)\n"
                               "import sys\n"
                               "held = ''.join(chr(c) for c in range(0x80, 0x2200) if ok(c))\n"
                               "text = ''.join(ch(b) for b in range(1, 256))\n"
                               "sys.stdout.buffer.write(text.encode() + b'\\0' + held.encode())\n";
    const test::ProcessResult py = test::runProcess({test::programFromEnv("SORVANE_PYTHON"), "-c", script});
    ASSERT_EQ(py.exitCode, 0) << "the Python oracle did not run: " << py.err;
    const size_t nul = py.out.find('\0');
    const std::string decoded = py.out.substr(0, nul), encodable = py.out.substr(nul + 1);
    std::string bytes, held;
    for (int b = 1; b < 256; ++b)
        bytes += char(b);
    EXPECT_EQ(PcTextOfDevice(bytes), decoded);
    EXPECT_EQ(DeviceTextOfPc(decoded).bytes, bytes);
    for (char32_t c = 0x80; c < 0x2200; ++c) {
        std::string one;
        AppendUtf8(one, c);
        if (DeviceTextOfPc(one).ok())
            held += one;
    }
    EXPECT_EQ(held, encodable);
}

TEST(ExplorerModel, TransferTexts)
{
    TransferState::Snapshot s;
    s.fileIndex = 1;
    s.fileCount = 3;
    s.blockIndex = 2;
    s.blockCount = 2;
    s.fileSize = 40000;
    s.bytesDone = 100000;
    s.bytesTotal = 400000;
    TransferTexts t = DescribeTransfer(s, 1001); // 2 s, rounded up
    EXPECT_EQ(t.files, "2 of 3 Files");
    EXPECT_EQ(t.bytes, "40000 of 40000 Bytes"); // never beyond the file's size
    EXPECT_EQ(t.fileBar, 100);
    EXPECT_EQ(t.totalBar, 25);
    EXPECT_EQ(t.total, "100000 of 400000 Total Bytes");
    EXPECT_EQ(t.rate, "50000 Bps, 00:06 remaining");
    s.bytesDone = 0;
    EXPECT_EQ(DescribeTransfer(s, 0).rate, "0 Bps, 00:00 remaining");
}
