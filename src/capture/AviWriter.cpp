#include "capture/AviWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/RegularFile.h"

namespace sorvane {

namespace {

constexpr uint32_t kKeyFrame = 0x10;
constexpr uint32_t kMoviType = 220; // offset of "movi"; index offsets count from here

void fourcc(uint8_t* p, const char* code) { std::memcpy(p, code, 4); }

uint32_t padded(size_t n) { return uint32_t(n + (n & 1)); }

void storeLe64(uint8_t* p, uint64_t v)
{
    storeLe32(p, uint32_t(v));
    storeLe32(p + 4, uint32_t(v >> 32));
}

bool patchLe32(int fd, uint64_t at, uint64_t value)
{
    uint8_t b[4];
    storeLe32(b, uint32_t(value));
    return WriteAllAt(fd, b, 4, at);
}

// Moves bytes [from, end) up by `by` bytes, the last block first.
bool moveUp(int fd, uint64_t from, uint64_t end, uint64_t by)
{
    std::vector<uint8_t> block(size_t(1) << 20);
    while (end > from) {
        const size_t n = size_t(std::min<uint64_t>(block.size(), end - from));
        end -= n;
        if (::pread(fd, block.data(), n, off_t(end)) != ssize_t(n) || !WriteAllAt(fd, block.data(), n, end + by))
            return false;
    }
    return true;
}

} // namespace

const char* aviStatusName(AviStatus s)
{
    switch (s) {
    case AviStatus::Ok: return "written";
    case AviStatus::CannotCreate: return "the file cannot be created";
    case AviStatus::WriteFailed: return "the file cannot be written";
    case AviStatus::Full: return "the file reached its size limit";
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
    // Only a regular file is written: a FIFO or device named as the output would block
    // the recording or swallow it. It is emptied once it is known to be one.
    RegularFile out = RegularFile::open(path, UINT64_MAX, O_RDWR | O_CREAT);
    if (!out || ::ftruncate(out.fd(), 0) != 0)
        return AviStatus::CannotCreate;
    std::FILE* f = ::fdopen(out.fd(), "w+b");
    if (!f)
        return AviStatus::CannotCreate;
    out.release();
    file_ = f;
    format_ = format;
    index_.clear();
    parts_.clear();
    firstEnd_ = 0;
    firstMovi_ = 0;
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

bool AviWriter::fitsInPart(uint64_t bytes, uint64_t entries) const
{
    // The part after these chunks: what it holds so far, the chunks and the part's index
    // (the first part's idx1, a later part's ix00).
    const uint64_t limit = std::min(format_.sizeLimit, kSizeLimit);
    if (parts_.empty())
        return end_ + bytes + 8 + 16 * (uint64_t(index_.size()) + entries) <= limit;
    const Part& p = parts_.back();
    return end_ - p.start + bytes + 32 + 8 * (uint64_t(index_.size() - p.first) + entries) <= limit;
}

AviStatus AviWriter::makeRoom(uint64_t bytes, uint64_t entries)
{
    if (fitsInPart(bytes, entries))
        return AviStatus::Ok;
    // A new part: its headers, in the second part the first part's ix00, then the chunks
    // and its own ix00 must fit, or nothing is written.
    const uint64_t limit = std::min(format_.sizeLimit, kSizeLimit);
    const uint64_t fresh = 24 + (parts_.empty() ? 32 + 8 * uint64_t(index_.size()) : 0) + bytes + 32 + 8 * entries;
    const size_t inPart = parts_.empty() ? index_.size() : index_.size() - parts_.back().first;
    if (inPart == 0 || partCount() >= kMaxParts || fresh > limit)
        return AviStatus::Full;
    if (!startPart()) {
        failed_ = true;
        return AviStatus::WriteFailed;
    }
    return AviStatus::Ok;
}

AviStatus AviWriter::appendChunk(std::span<const uint8_t> data, uint32_t flags)
{
    if (const AviStatus room = makeRoom(8 + padded(data.size()), 1); room != AviStatus::Ok)
        return room;
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
    index_.push_back(IndexEntry{flags, uint32_t(parts_.empty() ? end_ - kMoviType : end_ + 8 - parts_.back().start),
                                uint32_t(data.size())});
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
    // The gap's empty chunks go in with the frame, in one part, or not at all: a frame
    // refused at the size limit leaves no trail of repeats behind the last picture.
    const uint64_t chunks = uint64_t(position - index_.size()) + 1;
    if (const AviStatus room = makeRoom(8 * chunks + padded(data.size()), chunks); room != AviStatus::Ok)
        return room;
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

AviStatus AviWriter::close()
{
    if (!file_)
        return AviStatus::NotOpen;
    if (!parts_.empty())
        return closeExtended();
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
    const std::vector<uint8_t> idx = legacyIndex(0);
    // The header is finished whatever became of the index: without one (the disk full
    // at the end) the file says so and still holds its frames, counted.
    const bool indexed = WriteAllAt(fd, idx.data(), idx.size(), end_);
    const uint64_t total = indexed ? end_ + idx.size() : end_;
    std::vector<uint8_t> h = encodeHeaders(format_, uint32_t(index_.size()), largest_);
    storeLe32(&h[4], uint32_t(total - 8));
    storeLe32(&h[216], uint32_t(end_ - kMoviType));
    if (!indexed)
        storeLe32(&h[44], 0);
    ok = WriteAllAt(fd, h.data(), h.size(), 0) && indexed && ok;
    // A chunk or an index cut short by a failed write lies beyond the end: drop it.
    if (::ftruncate(fd, off_t(total)) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    return ok ? AviStatus::Ok : AviStatus::WriteFailed;
}

std::vector<uint8_t> AviWriter::legacyIndex(size_t room) const
{
    std::vector<uint8_t> idx(8 + 16 * index_.size() + room, 0);
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
    return idx;
}

std::vector<uint8_t> AviWriter::standardIndex(const Part& part, uint32_t end, uint64_t shift) const
{
    const bool first = part.start == 0;
    const uint32_t n = end - part.first;
    std::vector<uint8_t> ix(32 + 8 * size_t(n), 0);
    uint8_t* p = ix.data();
    fourcc(p, "ix00");
    storeLe32(p + 4, 24 + 8 * n);
    storeLe16(p + 8, 2);
    p[11] = 1; // an index of chunks
    storeLe32(p + 12, n);
    fourcc(p + 16, format_.codec == AviCodec::Mjpeg ? "00dc" : "00db");
    storeLe64(p + 20, part.start);
    for (uint32_t i = 0; i < n; ++i) {
        const IndexEntry& e = index_[part.first + i];
        // The first part's entries count from "movi" to the chunk; the index wants its data.
        const uint64_t at = first ? kMoviType + uint64_t(e.offset) + 8 + shift : e.offset;
        storeLe32(p + 32 + 8 * i, uint32_t(at));
        storeLe32(p + 36 + 8 * i, e.size | ((e.flags & kKeyFrame) ? 0 : 0x80000000u));
    }
    return ix;
}

bool AviWriter::startPart()
{
    const int fd = fileno(file_);
    if (std::fflush(file_) != 0)
        return false;
    std::vector<Part> parts = parts_;
    const bool first = parts.empty();
    if (first)
        parts.push_back(Part{});
    Part& current = parts.back();
    std::vector<uint8_t> out; // what follows the part's last chunk
    std::vector<uint8_t> firstIndex;
    uint64_t firstEnd = firstEnd_;
    if (first) {
        // idx1 of the first part, then the room its header takes at close().
        out = legacyIndex(kOdmlRoom);
        firstEnd = end_ + 8 + 16 * index_.size();
        fourcc(&out[firstEnd - end_], "JUNK");
        storeLe32(&out[firstEnd - end_ + 4], kOdmlRoom - 8);
        firstIndex = standardIndex(current, uint32_t(index_.size()), kOdmlRoom);
        current.ixSize = uint32_t(firstIndex.size());
    } else {
        out = standardIndex(current, uint32_t(index_.size()), 0);
        current.ixAt = end_;
        current.ixSize = uint32_t(out.size());
    }
    Part next;
    next.start = end_ + out.size();
    next.first = uint32_t(index_.size());
    uint8_t head[24] = {};
    fourcc(head, "RIFF");
    fourcc(head + 8, "AVIX");
    fourcc(head + 12, "LIST");
    fourcc(head + 20, "movi");
    out.insert(out.end(), head, head + 24);
    if (first) {
        // The first part's own index opens the second part's movie list.
        current.ixAt = next.start + 24;
        out.insert(out.end(), firstIndex.begin(), firstIndex.end());
    }
    bool ok = WriteAllAt(fd, out.data(), out.size(), end_);
    if (!first) // the part is whole now: its sizes
        ok = ok && patchLe32(fd, current.start + 4, next.start - current.start - 8) &&
             patchLe32(fd, current.start + 16, next.start - current.start - 20);
    if (!ok)
        return false;
    parts.push_back(next);
    parts_ = std::move(parts);
    if (first) {
        firstEnd_ = firstEnd;
        firstMovi_ = uint32_t(end_ - kMoviType);
    }
    end_ += out.size();
    return true;
}

AviStatus AviWriter::closeExtended()
{
    const int fd = fileno(file_);
    bool ok = std::fflush(file_) == 0;
    // The last part's index after its last whole chunk; a chunk cut short goes.
    Part& last = parts_.back();
    const std::vector<uint8_t> ix = standardIndex(last, uint32_t(index_.size()), 0);
    last.ixAt = end_;
    last.ixSize = uint32_t(ix.size());
    const uint64_t total = end_ + ix.size();
    ok = ok && WriteAllAt(fd, ix.data(), ix.size(), end_) && patchLe32(fd, last.start + 4, total - last.start - 8) &&
         patchLe32(fd, last.start + 16, total - last.start - 20) && ::ftruncate(fd, off_t(total)) == 0;

    // The first part's movie list and idx1 move up into the room left for the header.
    constexpr uint64_t kMoviList = kMoviType - 8;
    ok = ok && moveUp(fd, kMoviList, firstEnd_, kOdmlRoom);
    const uint32_t frames = uint32_t(index_.size());
    std::vector<uint8_t> h = encodeHeaders(format_, parts_[1].first, largest_);
    storeLe32(&h[4], uint32_t(firstEnd_ + kOdmlRoom - 8));
    storeLe32(&h[16], 192 + kOdmlRoom);
    storeLe32(&h[92], 116 + kIndxSize);
    storeLe32(&h[140], frames); // the stream's length: every part
    h.resize(kMoviList); // the old movie list header goes; what follows starts zeroed
    h.resize(kMoviList + kOdmlRoom + 12, 0);
    uint8_t* indx = &h[kMoviList];
    fourcc(indx, "indx");
    storeLe32(indx + 4, kIndxSize - 8);
    storeLe16(indx + 8, 4);
    storeLe32(indx + 12, uint32_t(parts_.size()));
    fourcc(indx + 16, format_.codec == AviCodec::Mjpeg ? "00dc" : "00db");
    for (size_t i = 0; i < parts_.size(); ++i) {
        uint8_t* e = indx + 32 + 16 * i;
        storeLe64(e, parts_[i].ixAt);
        storeLe32(e + 8, parts_[i].ixSize);
        storeLe32(e + 12, (i + 1 < parts_.size() ? parts_[i + 1].first : frames) - parts_[i].first);
    }
    uint8_t* odml = indx + kIndxSize;
    fourcc(odml, "LIST");
    storeLe32(odml + 4, 4 + 8 + 248);
    fourcc(odml + 8, "odml");
    fourcc(odml + 12, "dmlh");
    storeLe32(odml + 16, 248);
    storeLe32(odml + 20, frames);
    uint8_t* movi = odml + 12 + 8 + 248;
    fourcc(movi, "LIST");
    storeLe32(movi + 4, firstMovi_);
    fourcc(movi + 8, "movi");
    ok = ok && WriteAllAt(fd, h.data(), h.size(), 0);
    if (std::fclose(file_) != 0)
        ok = false;
    file_ = nullptr;
    return ok ? AviStatus::Ok : AviStatus::WriteFailed;
}

} // namespace sorvane
