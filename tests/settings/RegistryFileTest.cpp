#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

#include "platform/RegistryFile.h"
#include "support/TempDir.h"

using namespace sorvane;
using test::readFile;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> filesIn(const fs::path& dir)
{
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

RegistryStore sample(uint32_t n)
{
    RegistryStore s;
    s.setDword("SOFTWARE\\Halvard\\Sorvane", "ConnTypes", n);
    s.setBinary("SOFTWARE\\Halvard\\Sorvane", "ConnData", std::vector<uint8_t>(n * 136, uint8_t(n)));
    s.setString("SOFTWARE\\Halvard\\Sorvane", "ScriptDir", "/data/RECORDED_DATA");
    return s;
}

// Lets a save go through until failAfter bytes have been written; then writes fail,
// or, with die set, the process ends on the spot as if the machine lost power.
struct FailingOps : FileOps {
    size_t failAfter = SIZE_MAX;
    bool die = false;
    bool failRename = false;
    bool failKeepAside = false;
    size_t written = 0;

    ssize_t write(int fd, const void* data, size_t size) override
    {
        size_t allowed = failAfter > written ? failAfter - written : 0;
        if (allowed == 0) {
            if (die)
                _exit(7);
            errno = ENOSPC;
            return -1;
        }
        ssize_t n = FileOps::write(fd, data, std::min(size, allowed));
        if (n > 0)
            written += size_t(n);
        return n;
    }
    int rename(const char* from, const char* to) override
    {
        if (failRename) {
            errno = EIO;
            return -1;
        }
        return FileOps::rename(from, to);
    }
    int renameNoReplace(const char* from, const char* to) override
    {
        if (failKeepAside) {
            errno = EACCES;
            return -1;
        }
        return FileOps::renameNoReplace(from, to);
    }
};

} // namespace

// A missing file and a first save into folders not yet made: settings_tests SettingsStore.
TEST(RegistryFile, InterruptedSaveLeavesThePreviousFileWhole)
{
    test::TempDir tmp;
    ASSERT_EQ(RegistryFile(tmp.path()).save(sample(3)), "");
    const std::string before = readFile(tmp / "settings.reg");
    const size_t newSize = before.size() + 200;

    for (size_t cut : {size_t(0), size_t(1), newSize / 2, newSize - 1}) {
        auto ops = std::make_unique<FailingOps>();
        ops->failAfter = cut;
        RegistryFile file(tmp.path(), std::move(ops));
        std::string error = file.save(sample(4));
        EXPECT_NE(error.find("the previous settings file is unchanged"), std::string::npos) << error;
        EXPECT_EQ(readFile(tmp / "settings.reg"), before) << cut;
        EXPECT_EQ(filesIn(tmp.path()), std::vector<fs::path>{"settings.reg"}) << "temporary file left";
    }
    auto ops = std::make_unique<FailingOps>();
    ops->failRename = true;
    RegistryFile file(tmp.path(), std::move(ops));
    EXPECT_NE(file.save(sample(4)), "");
    EXPECT_EQ(filesIn(tmp.path()), std::vector<fs::path>{"settings.reg"});
}

TEST(RegistryFile, ProcessDyingMidSaveLeavesThePreviousFileWhole)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // the child must share this temporary folder
    test::TempDir tmp;
    ASSERT_EQ(RegistryFile(tmp.path()).save(sample(3)), "");
    const std::string before = readFile(tmp / "settings.reg");
    EXPECT_EXIT(
        {
            auto ops = std::make_unique<FailingOps>();
            ops->failAfter = 500;
            ops->die = true;
            RegistryFile(tmp.path(), std::move(ops)).save(sample(5));
            _exit(0);
        },
        testing::ExitedWithCode(7), "");
    EXPECT_EQ(readFile(tmp / "settings.reg"), before);
    EXPECT_EQ(filesIn(tmp.path()).size(), 2u); // the half-written temporary file is still there

    RegistryStore store;
    EXPECT_EQ(RegistryFile(tmp.path()).load(store).outcome, RegistryLoadResult::Outcome::Loaded);
    EXPECT_EQ(filesIn(tmp.path()), std::vector<fs::path>{"settings.reg"}); // and now cleaned up
}

TEST(RegistryFile, DamagedFileIsKeptAsideOrNeverReplaced)
{
    test::TempDir tmp;
    const std::string damaged[] = {"Sorvane settings store 1\n[K]\n\"A\"=dword:zz\n", std::string("\0\x01\xFF", 3)};
    for (const std::string& bytes : damaged) {
        writeFile(tmp / "settings.reg", bytes);
        RegistryFile file(tmp.path());
        RegistryStore store = sample(1);
        RegistryLoadResult r = file.load(store);
        EXPECT_EQ(r.outcome, RegistryLoadResult::Outcome::KeptAside);
        EXPECT_TRUE(store.empty());
        EXPECT_TRUE(r.keptAside.filename().string().starts_with("settings.reg.corrupt-")) << r.keptAside;
        EXPECT_EQ(readFile(r.keptAside), bytes);
        EXPECT_NE(r.error.find(r.keptAside.string()), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("default settings"), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(tmp / "settings.reg"));
        ASSERT_EQ(file.save(sample(2)), "");
        EXPECT_EQ(readFile(r.keptAside), bytes);
    }
    // Both damaged files survive, under different names, even within one second.
    EXPECT_EQ(filesIn(tmp.path()).size(), 3u);

    // A folder where the file should be cannot be read either.
    fs::remove(tmp / "settings.reg");
    fs::create_directory(tmp / "settings.reg");
    RegistryStore store;
    EXPECT_EQ(RegistryFile(tmp.path()).load(store).outcome, RegistryLoadResult::Outcome::KeptAside);

    // One that cannot be moved aside is never replaced.
    writeFile(tmp / "locked" / "settings.reg", "not settings");
    auto ops = std::make_unique<FailingOps>();
    ops->failKeepAside = true;
    RegistryFile locked(tmp / "locked", std::move(ops));
    RegistryLoadResult r = locked.load(store);
    EXPECT_EQ(r.outcome, RegistryLoadResult::Outcome::Unusable);
    EXPECT_NE(r.error.find("will not be saved"), std::string::npos) << r.error;
    EXPECT_NE(locked.save(sample(1)), "");
    EXPECT_EQ(readFile(tmp / "locked" / "settings.reg"), "not settings");
}

TEST(RegistryFile, SettingsFolderComesFromTheEnvironment)
{
    struct Restore {
        std::string name;
        std::optional<std::string> old;
        explicit Restore(const char* n) : name(n)
        {
            if (const char* v = std::getenv(n))
                old = v;
        }
        ~Restore() { old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str()); }
    } a("SORVANE_CONFIG_DIR"), b("XDG_CONFIG_HOME"), c("HOME");

    setenv("SORVANE_CONFIG_DIR", "/tmp/own", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(defaultSettingsDir(), fs::path("/tmp/own"));
    unsetenv("SORVANE_CONFIG_DIR");
    EXPECT_EQ(defaultSettingsDir(), fs::path("/tmp/xdg/sorvane"));
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(defaultSettingsDir(), fs::path("/tmp/home/.config/sorvane"));
}
