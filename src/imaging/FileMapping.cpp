#include "imaging/FileMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvane {

std::unique_ptr<MappedFile> MappedFile::open(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    size_t size = size_t(st.st_size);
    const uint8_t* base = nullptr;
    if (size > 0) {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            ::close(fd);
            return nullptr;
        }
        base = static_cast<const uint8_t*>(p);
    }
    return std::unique_ptr<MappedFile>(new MappedFile(fd, base, size));
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
    int fd = -1;
    if (mode == Mode::OpenExisting) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && errno != ENOENT)
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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
