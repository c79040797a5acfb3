#pragma once
// The two file services the image library needs from the system: a read-only
// mapping of a whole file, and a plain output file. Both close what they hold when
// they go. Not shared between threads.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace sorvane {

// A whole file mapped read-only. An empty file maps to an empty span.
class MappedFile {
public:
    // Far beyond any picture the library reads (kMaxImagePixels at 32 bits).
    static constexpr uint64_t kMaxFileSize = uint64_t(512) << 20;
    // nullptr when the file cannot be opened, is not a regular file (a FIFO or device is
    // refused without waiting or reading), has more than maxSize bytes or cannot be
    // mapped; the reason then goes to *error ("is a folder").
    static std::unique_ptr<MappedFile> open(const std::filesystem::path& path, uint64_t maxSize = kMaxFileSize,
                                            std::string* error = nullptr);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const uint8_t> bytes() const { return {base_, size_}; }

private:
    MappedFile(int fd, const uint8_t* base, size_t size) : fd_(fd), base_(base), size_(size) {}
    int fd_ = -1;
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
};

// An output file descriptor.
class OutputFile {
public:
    enum class Mode { Replace, OpenExisting };
    // Replace: create or truncate, write only. OpenExisting: open an existing file for
    // reading and writing, or for reading only when that is refused; when it does not
    // exist it is created. nullptr when nothing could be opened.
    static std::unique_ptr<OutputFile> open(const std::filesystem::path& path, Mode mode);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes bytes as the whole content of the file (from offset 0, cut to their length).
    // False on any failure, including a file opened for reading only.
    bool replaceContent(std::span<const uint8_t> bytes);

private:
    explicit OutputFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace sorvane
