#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace sorvane {

RegularFile::~RegularFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), openErrno_(other.openErrno_),
      error_(std::move(other.error_))
{
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        openErrno_ = other.openErrno_;
        error_ = std::move(other.error_);
    }
    return *this;
}

int RegularFile::release() { return std::exchange(fd_, -1); }

namespace {

bool writeLoop(int fd, const void* data, size_t size, const uint64_t* at)
{
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = at ? ::pwrite(fd, p + done, size - done, off_t(*at + done)) : ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

bool WriteAll(int fd, const void* data, size_t size) { return writeLoop(fd, data, size, nullptr); }

bool WriteAllAt(int fd, const void* data, size_t size, uint64_t at) { return writeLoop(fd, data, size, &at); }

std::string SizeBoundText(uint64_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

RegularFile RegularFile::open(const std::filesystem::path& path, uint64_t maxSize, int access)
{
    RegularFile f;
    // O_NONBLOCK: a FIFO's open returns at once instead of waiting for a writer;
    // O_NOCTTY: a terminal named here never becomes the controlling one.
    const int fd = ::open(path.c_str(), (access ? access : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        f.openErrno_ = errno;
        f.error_ = errno == EISDIR ? "is a folder" : std::strerror(errno);
        return f;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        f.error_ = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        f.error_ = "is a folder";
    else if (!S_ISREG(st.st_mode))
        f.error_ = "is not a regular file";
    else if (uint64_t(st.st_size) > maxSize)
        f.error_ = "is larger than " + SizeBoundText(maxSize);
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        f.error_ = std::strerror(errno);
    if (!f.error_.empty()) {
        ::close(fd);
        return f;
    }
    f.fd_ = fd;
    f.size_ = uint64_t(st.st_size);
    return f;
}

bool ReadRegularFile(const std::filesystem::path& path, uint64_t maxSize, std::string& out, std::string& error,
                     int* openErrno)
{
    out.clear();
    RegularFile f = RegularFile::open(path, maxSize);
    if (openErrno)
        *openErrno = f.openErrno();
    if (!f) {
        error = f.error();
        return false;
    }
    out.reserve(size_t(f.size()));
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(f.fd(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0)
            return true;
        if (out.size() + size_t(n) > maxSize) {
            error = "is larger than " + SizeBoundText(maxSize);
            out.clear();
            return false;
        }
        out.append(buf, size_t(n));
    }
}

} // namespace sorvane
