#include "platform/RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegistryText.h"
#include "platform/RegularFile.h"

namespace sorvane {

namespace fs = std::filesystem;

ssize_t FileOps::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int FileOps::fsync(int fd) { return ::fsync(fd); }
int FileOps::rename(const char* from, const char* to) { return ::rename(from, to); }

int FileOps::renameNoReplace(const char* from, const char* to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::link(from, to) != 0)
        return -1;
    if (::unlink(from) != 0) {
        int err = errno;
        ::unlink(to);
        errno = err;
        return -1;
    }
    return 0;
}

namespace {

constexpr std::string_view kTempInfix = ".tmp-";

std::string errnoText(int err) { return std::strerror(err); }

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus readWholeFile(const fs::path& path, std::string& out, std::string& error)
{
    // A FIFO or a device put in the file's place is refused, not waited on or read.
    int openErrno = 0;
    if (ReadRegularFile(path, RegistryFile::kMaxFileSize, out, error, &openErrno))
        return ReadStatus::Ok;
    if (openErrno == ENOENT)
        return ReadStatus::Missing;
    if (error.starts_with("is "))
        error = "it " + error;
    return ReadStatus::Failed;
}

std::string timestampNow()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

} // namespace

RegistryFile::RegistryFile(fs::path dir, std::unique_ptr<FileOps> ops)
    : dir_(std::move(dir)), ops_(ops ? std::move(ops) : std::make_unique<FileOps>())
{
}

void RegistryFile::removeStaleTemporaries()
{
    std::error_code ec;
    const std::string prefix = std::string(kFileName) + std::string(kTempInfix);
    for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with(prefix)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored))
                fs::remove(it->path(), ignored);
        }
    }
}

std::string RegistryFile::keepAside(fs::path& aside)
{
    const std::string base = path().string() + ".corrupt-" + timestampNow();
    for (int n = 1; n < 1000; ++n) {
        aside = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        if (ops_->renameNoReplace(path().c_str(), aside.c_str()) == 0) {
            int dfd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dfd >= 0) {
                ops_->fsync(dfd);
                ::close(dfd);
            }
            return {};
        }
        if (errno != EEXIST)
            return errnoText(errno);
    }
    return "too many files kept aside already";
}

RegistryLoadResult RegistryFile::load(RegistryStore& store)
{
    RegistryLoadResult result;
    store = RegistryStore{};
    removeStaleTemporaries();

    std::string text, why;
    ReadStatus status = readWholeFile(path(), text, why);
    if (status == ReadStatus::Missing) {
        result.outcome = RegistryLoadResult::Outcome::Missing;
        return result;
    }
    if (status == ReadStatus::Ok) {
        RegistryStore parsed;
        if (registryFromText(text, parsed, why)) {
            store = std::move(parsed);
            result.outcome = RegistryLoadResult::Outcome::Loaded;
            return result;
        }
        why = "it is damaged (" + why + ")";
    }

    fs::path aside;
    std::string moveError = keepAside(aside);
    if (moveError.empty()) {
        result.outcome = RegistryLoadResult::Outcome::KeptAside;
        result.keptAside = aside;
        result.error = "The settings file " + path().string() + " could not be read: " + why +
                       ". It has been kept as " + aside.string() + ", and the default settings are used.";
    } else {
        result.outcome = RegistryLoadResult::Outcome::Unusable;
        saveRefused_ = true;
        result.error = "The settings file " + path().string() + " could not be read: " + why +
                       ". It could not be moved aside either (" + moveError +
                       "), so the default settings are used and settings will not be saved.";
    }
    return result;
}

std::string RegistryFile::save(const RegistryStore& store)
{
    if (saveRefused_)
        return "Settings are not saved: the unreadable settings file " + path().string() +
               " could not be moved aside and would be lost.";
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec)
        return "Cannot create the settings folder " + dir_.string() + ": " + ec.message();

    const std::string text = registryToText(store);
    std::string tmp = path().string() + std::string(kTempInfix) + "XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return "Cannot create a file in " + dir_.string() + ": " + errnoText(errno);

    auto failed = [&](const std::string& what, int err, bool open) {
        if (open)
            ::close(fd);
        ::unlink(tmp.c_str());
        return "Cannot save the settings to " + path().string() + " (" + what + ": " + errnoText(err) +
               "); the previous settings file is unchanged.";
    };

    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ops_->write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failed("write", n < 0 ? errno : EIO, true);
        done += size_t(n);
    }
    if (ops_->fsync(fd) != 0)
        return failed("flush", errno, true);
    if (::close(fd) != 0)
        return failed("close", errno, false);
    if (ops_->rename(tmp.c_str(), path().c_str()) != 0)
        return failed("rename", errno, false);

    int dfd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int syncError = 0;
    if (dfd < 0)
        syncError = errno;
    else {
        if (ops_->fsync(dfd) != 0)
            syncError = errno;
        ::close(dfd);
    }
    if (syncError)
        return "The settings were written to " + path().string() +
               " but the folder could not be flushed to disk (" + errnoText(syncError) + ").";
    return {};
}

fs::path defaultSettingsDir()
{
    const char* own = std::getenv("SORVANE_CONFIG_DIR");
    if (own && *own)
        return fs::path(own);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return fs::path(xdg) / "sorvane";
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : "";
    if (homeDir.empty()) {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buf[4096];
        if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
            homeDir = found->pw_dir;
    }
    if (homeDir.empty())
        return {};
    return fs::path(homeDir) / ".config" / "sorvane";
}

} // namespace sorvane
