#include "imaging/FileMapping.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegularFile.h"

namespace sorvane {

std::unique_ptr<MappedFile> MappedFile::open(const std::filesystem::path& path, uint64_t maxSize, std::string* error)
{
    RegularFile file = RegularFile::open(path, maxSize);
    if (!file) {
        if (error)
            *error = file.error();
        return nullptr;
    }
    size_t size = size_t(file.size());
    const uint8_t* base = nullptr;
    if (size > 0) {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd(), 0);
        if (p == MAP_FAILED) {
            if (error)
                *error = std::strerror(errno);
            return nullptr;
        }
        base = static_cast<const uint8_t*>(p);
    }
    return std::unique_ptr<MappedFile>(new MappedFile(file.release(), base, size));
}

MappedFile::~MappedFile()
{
    if (base_)
        ::munmap(const_cast<uint8_t*>(base_), size_);
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<OutputFile> OutputFile::open(const std::filesystem::path& path, Mode mode)
{
    // Without blocking: a FIFO in the file's place would wait for a reader, for good; it
    // is refused below as not a regular file.
    constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = -1;
    if (mode == Mode::OpenExisting) {
        fd = ::open(path.c_str(), O_RDWR | kFlags);
        if (fd < 0 && errno != ENOENT)
            fd = ::open(path.c_str(), O_RDONLY | kFlags);
    }
    if (fd < 0)
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | kFlags, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<OutputFile>(new OutputFile(fd));
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool OutputFile::replaceContent(std::span<const uint8_t> bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return ::ftruncate(fd_, off_t(bytes.size())) == 0;
}

} // namespace sorvane
