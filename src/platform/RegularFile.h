#pragma once
// Opening a file the user named, for reading, as a regular file only.
//
// The name may lead anywhere: a FIFO (whose open waits for a writer, for good), a
// link to /dev/zero (endless bytes), a terminal, a folder. The file is opened without
// blocking, its type is checked on the open descriptor (never on the name before the
// open, which another program may change in between), and anything but a regular file
// is refused with the reason. The descriptor then blocks again, and a file larger than
// the caller's bound is refused too, so nothing reads more than a real file of its
// kind ever holds.
//
// Reasons are short, for "<path>: <reason>": "is a folder", "is not a regular file",
// "is larger than 16 MiB", or the system's text ("No such file or directory").
//
// Blocking file I/O; no shared state (any thread).

#include <cstdint>
#include <filesystem>
#include <string>

namespace sorvane {

// An open regular file: the descriptor is the caller's to keep (release) or closes
// with this object.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;

    // Opens path for reading; refused (fd -1, error set) when it is not a regular file
    // or has more than maxSize bytes. `access` may ask for writing instead (O_WRONLY or
    // O_RDWR, with O_CREAT and O_APPEND as open(2) takes them; a new file gets mode 0666
    // less the umask): an output named by the user is a regular file just the same.
    static RegularFile open(const std::filesystem::path& path, uint64_t maxSize, int access = 0);

    explicit operator bool() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    uint64_t size() const { return size_; }    // at the open
    const std::string& error() const { return error_; }
    int openErrno() const { return openErrno_; } // errno of a failed open(2), 0 otherwise
    int release();                                // the descriptor, now the caller's

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    int openErrno_ = 0;
    std::string error_;
};

// Writes all `size` bytes to fd (at its position, or at offset `at`), going on after
// short writes and interrupted calls. False when a write failed (errno says why).
bool WriteAll(int fd, const void* data, size_t size);
bool WriteAllAt(int fd, const void* data, size_t size, uint64_t at);

// "16 MiB", "1648 bytes": a bound as the reasons say it.
std::string SizeBoundText(uint64_t bytes);

// Reads the whole regular file path, of at most maxSize bytes (a file that grows past
// the bound while being read is refused as well). False with the reason in error;
// openErrno as RegularFile::openErrno.
bool ReadRegularFile(const std::filesystem::path& path, uint64_t maxSize, std::string& out, std::string& error,
                     int* openErrno = nullptr);

} // namespace sorvane
