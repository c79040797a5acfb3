#include "capture/AviWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

namespace {

constexpr uint32_t kKeyFrame = 0x10;
constexpr uint32_t kMoviType = 220; // offset of "movi"; index offsets count from here

void fourcc(uint8_t* p, const char* code) { std::memcpy(p, code, 4); }

uint32_t padded(size_t n) { return uint32_t(n + (n & 1)); }

} // namespace

const char* aviStatusName(AviStatus s)
{
    switch (s) {
    case AviStatus::Ok: return "written";
    case AviStatus::CannotCreate: return "the file cannot be created";
    case AviStatus::WriteFailed: return "the file cannot be written";
    case AviStatus::Full: return "the file reached its size limit of 1 GiB";
    case AviStatus::BadFrame: return "a frame out of order or of the wrong size";
    case AviStatus::NotOpen: return "no file is open";
    }
    return "?";
}

AviWriter::~AviWriter() { close(); }

size_t AviWriter::frameBytes() const
{
    return ((size_t(format_.width) * 3 + 3) / 4) * 4 * size_t(format_.height);
}

std::vector<uint8_t> AviWriter::encodeHeaders(const AviFormat& f, uint32_t frames, uint32_t largestChunk)
{
    std::vector<uint8_t> h(kHeaderSize, 0);
    uint8_t* p = h.data();
    const bool mjpeg = f.codec == AviCodec::Mjpeg;
    const uint32_t w = uint32_t(f.width), ht = uint32_t(f.height);
    const uint32_t rate = uint32_t(f.rate);
    const uint32_t imageSize = uint32_t(((w * 3 + 3) / 4) * 4 * ht);
    const uint32_t suggested = std::max(f.suggestedBufferSize, largestChunk);
    fourcc(p, "RIFF");
    fourcc(p + 8, "AVI ");
    fourcc(p + 12, "LIST");
    storeLe32(p + 16, 192);
    fourcc(p + 20, "hdrl");
    fourcc(p + 24, "avih");
    storeLe32(p + 28, 56);
    storeLe32(p + 32, 1000000 / rate);
    storeLe32(p + 36, uint32_t(std::min<uint64_t>(uint64_t(suggested) * rate, UINT32_MAX)));
    storeLe32(p + 44, 0x10); // has an index
    storeLe32(p + 48, frames);
    storeLe32(p + 56, 1);
    storeLe32(p + 60, suggested);
    storeLe32(p + 64, w);
    storeLe32(p + 68, ht);
    fourcc(p + 88, "LIST");
    storeLe32(p + 92, 116);
    fourcc(p + 96, "strl");
    fourcc(p + 100, "strh");
    storeLe32(p + 104, 56);
    fourcc(p + 108, "vids");
    fourcc(p + 112, mjpeg ? "MJPG" : "DIB ");
    storeLe32(p + 128, 1);    // scale
    storeLe32(p + 132, rate); // rate: frames per second
    storeLe32(p + 140, frames);
    storeLe32(p + 144, suggested);
    storeLe16(p + 160, uint16_t(w));
    storeLe16(p + 162, uint16_t(ht));
    fourcc(p + 164, "strf");
    storeLe32(p + 168, 40);
    storeLe32(p + 172, 40);
    storeLe32(p + 176, w);
    storeLe32(p + 180, ht);
    storeLe16(p + 184, 1);
    storeLe16(p + 186, 24);
    if (mjpeg)
        fourcc(p + 188, "MJPG");
    storeLe32(p + 192, imageSize);
    fourcc(p + 212, "LIST");
    fourcc(p + 220, "movi");
    return h;
}

AviStatus AviWriter::open(const std::filesystem::path& path, const AviFormat& format)
{
    close();
    if (format.width < 1 || format.width > 0xFFFF || format.height < 1 || format.height > 0xFFFF ||
        format.rate < 1 || format.rate > 1000)
        return AviStatus::BadFrame;
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (!f)
        return AviStatus::CannotCreate;
    file_ = f;
    format_ = format;
    index_.clear();
    largest_ = 0;
    failed_ = false;
    const std::vector<uint8_t> h = encodeHeaders(format_, 0, 0);
    if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return AviStatus::CannotCreate;
    }
    end_ = h.size();
    return AviStatus::Ok;
}

AviStatus AviWriter::appendChunk(std::span<const uint8_t> data, uint32_t flags)
{
    // The file after this chunk: its header and data, and the index of every chunk.
    const uint64_t after = end_ + 8 + padded(data.size()) + 8 + 16 * (uint64_t(index_.size()) + 1);
    if (after > std::min(format_.sizeLimit, kSizeLimit))
        return AviStatus::Full;
    uint8_t head[8];
    fourcc(head, format_.codec == AviCodec::Mjpeg ? "00dc" : "00db");
    storeLe32(head + 4, uint32_t(data.size()));
    static const uint8_t pad = 0;
    if (std::fseek(file_, long(end_), SEEK_SET) != 0 || std::fwrite(head, 1, 8, file_) != 8 ||
        (!data.empty() && std::fwrite(data.data(), 1, data.size(), file_) != data.size()) ||
        ((data.size() & 1) && std::fwrite(&pad, 1, 1, file_) != 1)) {
        failed_ = true; // close() cuts the file back to the last whole chunk
        return AviStatus::WriteFailed;
    }
    index_.push_back(IndexEntry{flags, uint32_t(end_ - kMoviType), uint32_t(data.size())});
    end_ += 8 + padded(data.size());
    largest_ = std::max(largest_, uint32_t(data.size()));
    return AviStatus::Ok;
}

AviStatus AviWriter::writeFrame(uint32_t position, std::span<const uint8_t> data)
{
    if (!file_)
        return AviStatus::NotOpen;
    if (failed_)
        return AviStatus::WriteFailed;
    // A jump of more than a few hours of polls is no gap but a counter gone wrong.
    if (position < index_.size() || position - index_.size() > 65536 || data.empty() ||
        (format_.codec == AviCodec::Uncompressed && data.size() != frameBytes()))
        return AviStatus::BadFrame;
    // The gap's empty chunks go in with the frame or not at all: a frame refused at the
    // size limit leaves no trail of repeats behind the last picture.
    const uint64_t chunks = uint64_t(position - index_.size()) + 1;
    const uint64_t after = end_ + 8 * chunks + padded(data.size()) + 8 + 16 * (index_.size() + chunks);
    if (after > std::min(format_.sizeLimit, kSizeLimit))
        return AviStatus::Full;
    const size_t entries = index_.size();
    const uint64_t end = end_;
    AviStatus s = AviStatus::Ok;
    while (s == AviStatus::Ok && index_.size() < position)
        s = appendChunk({}, 0);
    if (s == AviStatus::Ok)
        s = appendChunk(data, kKeyFrame);
    if (s != AviStatus::Ok) {
        index_.resize(entries);
        end_ = end;
    }
    return s;
}

namespace {

bool writeAllAt(int fd, const std::vector<uint8_t>& bytes, uint64_t at)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

AviStatus AviWriter::close()
{
    if (!file_)
        return AviStatus::NotOpen;
    // Whatever stdio still holds goes out with fclose; the rest is written through a
    // descriptor of its own, so no stdio buffer can land behind the end afterwards.
    const int fd = ::fcntl(fileno(file_), F_DUPFD_CLOEXEC, 0);
    bool ok = std::fclose(file_) == 0 && fd >= 0;
    file_ = nullptr;
    if (fd < 0)
        return AviStatus::WriteFailed;
    // Chunks the system did not take (a full disk) are not in the file: neither in the index.
    struct stat st {};
    const uint64_t inFile = ::fstat(fd, &st) == 0 ? uint64_t(st.st_size) : 0;
    while (!index_.empty() && kMoviType + uint64_t(index_.back().offset) + 8 + padded(index_.back().size) > inFile) {
        end_ = kMoviType + uint64_t(index_.back().offset);
        index_.pop_back();
    }
    std::vector<uint8_t> idx(8 + 16 * index_.size());
    fourcc(idx.data(), "idx1");
    storeLe32(idx.data() + 4, uint32_t(16 * index_.size()));
    const char* id = format_.codec == AviCodec::Mjpeg ? "00dc" : "00db";
    for (size_t i = 0; i < index_.size(); ++i) {
        uint8_t* e = &idx[8 + 16 * i];
        fourcc(e, id);
        storeLe32(e + 4, index_[i].flags);
        storeLe32(e + 8, index_[i].offset);
        storeLe32(e + 12, index_[i].size);
    }
    // The header is finished whatever became of the index: without one (the disk full
    // at the end) the file says so and still holds its frames, counted.
    const bool indexed = writeAllAt(fd, idx, end_);
    const uint64_t total = indexed ? end_ + idx.size() : end_;
    std::vector<uint8_t> h = encodeHeaders(format_, uint32_t(index_.size()), largest_);
    storeLe32(&h[4], uint32_t(total - 8));
    storeLe32(&h[216], uint32_t(end_ - kMoviType));
    if (!indexed)
        storeLe32(&h[44], 0);
    ok = writeAllAt(fd, h, 0) && indexed && ok;
    // A chunk or an index cut short by a failed write lies beyond the end: drop it.
    if (::ftruncate(fd, off_t(total)) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    return ok ? AviStatus::Ok : AviStatus::WriteFailed;
}

} // namespace sorvane
