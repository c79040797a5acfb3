// The link checksum against Python's binascii (the zip CRC-32, which differs only in its
// start value and final inversion). The program's shared table checks every screen
// update of the receiver and end-to-end tests.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "link/Crc32.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;

TEST(Crc32, MatchesTheZipChecksumOfPython)
{
    std::mt19937 random(20240611);
    std::vector<uint8_t> data(300000);
    for (auto& b : data)
        b = uint8_t(random());
    test::TempDir dir;
    std::ofstream(dir / "data.bin", std::ios::binary).write(reinterpret_cast<const char*>(data.data()), long(data.size()));

    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t n = 0; n <= 40; ++n)
        ranges.emplace_back(n % 7, n); // every tail length and unaligned starts
    for (size_t n = 60; n <= 200; n += 1)
        ranges.emplace_back(n % 13, n); // around the folding's 64-byte minimum and 16-byte steps
    ranges.emplace_back(3, 32768);
    ranges.emplace_back(0, data.size());
    for (int i = 0; i < 20; ++i) {
        size_t at = random() % data.size();
        ranges.emplace_back(at, random() % (data.size() - at));
    }

    std::string script =
        "import binascii, sys\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "args = sys.argv[2:]\n"
        "for i in range(0, len(args), 2):\n"
        "    at, n = int(args[i]), int(args[i + 1])\n"
        "    print('%08x' % (binascii.crc32(data[at:at + n], 0xFFFFFFFF) ^ 0xFFFFFFFF))\n";
    std::vector<std::string> argv{test::programFromEnv("SORVANE_PYTHON"), "-c", script, (dir / "data.bin").string()};
    for (auto [at, n] : ranges) {
        argv.push_back(std::to_string(at));
        argv.push_back(std::to_string(n));
    }
    auto result = test::runProcess(argv);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::istringstream lines(result.out);
    const CrcTable table;
    for (auto [at, n] : ranges) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << "python gave too few values";
        auto range = std::span<const uint8_t>(data).subspan(at, n);
        EXPECT_EQ(Crc32(table, range), uint32_t(std::stoul(line, nullptr, 16))) << at << "+" << n;
        EXPECT_EQ(table.updateByTables(0, range), Crc32(table, range));
    }
}
