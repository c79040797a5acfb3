#pragma once
// AVI (RIFF) files of one video stream, written while the frames arrive: the
// headers at the start, each frame appended as one chunk, the index and the final
// counts when the file is closed. Every frame is a key frame.
//
//   "RIFF" size "AVI "
//     "LIST" size "hdrl"
//       "avih" 56: µs per frame | max bytes/s | 0 | flags 0x10 (has index) | frames
//                  | 0 | streams 1 | suggested buffer size | width | height | 0 x 4
//       "LIST" size "strl"
//         "strh" 56: "vids" | handler ("DIB " or "MJPG") | 0 | 0 | 0 | scale 1 | rate
//                    | start 0 | length (frames) | suggested buffer size | 0 | 0
//                    | frame rectangle 0, 0, width, height (16-bit values)
//         "strf" 40: BITMAPINFOHEADER: 40 | width | height (positive) | planes 1
//                    | 24 bits | compression 0 or "MJPG" | image size | 0 x 4
//     "LIST" size "movi"
//       "00db" (uncompressed: 24-bit rows, bottom row first, padded to 4 bytes)
//       or "00dc" (one JPEG file) chunks, each padded to an even size
//     "idx1" 16 per frame: chunk id | flags 0x10 (key frame) | offset of the chunk
//                          from the "movi" type | data size
//
// Size limit: a file stays an AVI 1.0 file, byte for byte as above, while it holds at
// most kSizeLimit bytes (1 GiB, index included; the format's sizeLimit when that is
// smaller). A frame that would pass it starts the OpenDML extension (AVI 2.0), in
// parts of at most that size each:
//
//   "RIFF" size "AVI "                    the first part, as above, with in addition
//     "LIST" size "hdrl"
//       "avih" 56                           frames: those of the first part
//       "LIST" size "strl"
//         "strh" 56                         length: every frame of the file
//         "strf" 40
//         "indx" 4120: super index: 4 | 0 | 0 (index of indexes) | parts | chunk id
//                      | 0 x 3 | kMaxParts x (offset of the part's "ix00" (64 bits)
//                      | its size with header | frames in it), unused ones zero
//       "LIST" 260 "odml"
//         "dmlh" 248: every frame of the file | 0 x 61
//     "LIST" size "movi" ...  "idx1" (the first part's frames only)
//   "RIFF" size "AVIX"                    each further part
//     "LIST" size "movi"
//       ["ix00" of the first part, in the second part only]
//       frame chunks
//       "ix00" 24 + 8 per frame: standard index: 2 | 0 | 1 (index of chunks) | frames
//              | chunk id | base offset (64 bits) | 0 | per frame: offset of the data
//              from the base | data size, high bit set for an empty chunk
//
// The first part's header only gains its room for the super index and "odml" (kOdmlRoom
// bytes) when the file is closed: the second part starts that far after the first, and
// close() moves the first part's movie data and index up into that room. A first part
// may so hold kOdmlRoom bytes more than the limit. A frame larger than a whole part,
// or one that would need part kMaxParts + 1, is refused (Full) with the empty chunks of
// its gap, and the file stays whole; the recording goes on with the frames it has.
//
// Not thread-safe: one thread at a time (AviRecording serialises its callers).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

namespace sorvane {

enum class AviCodec { Uncompressed, Mjpeg };

struct AviFormat {
    int width = 0;
    int height = 0;
    int rate = 10;                     // frames per second (the refresh rate), 1..1000
    AviCodec codec = AviCodec::Uncompressed;
    uint32_t suggestedBufferSize = 0;  // at least; raised to the largest frame at close
    uint64_t sizeLimit = uint64_t(1) << 30; // of each part; at most kSizeLimit; smaller ones for tests
};

enum class AviStatus {
    Ok,
    CannotCreate, // the file cannot be created
    WriteFailed,  // the system refused a write; the file keeps the frames before it
    Full,         // the frame fits no part, or the file has kMaxParts parts
    BadFrame,     // a position already written, or a frame of the wrong size
    NotOpen,
};

const char* aviStatusName(AviStatus status);

class AviWriter {
public:
    static constexpr uint64_t kSizeLimit = uint64_t(1) << 30;
    static constexpr size_t kHeaderSize = 224; // up to the first frame chunk
    static constexpr uint32_t kMaxParts = 256;  // entries of the super index
    static constexpr uint32_t kIndxSize = 8 + 24 + 16 * kMaxParts;
    static constexpr uint32_t kOdmlRoom = kIndxSize + 12 + 8 + 248; // "indx" and the "odml" list

    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates (replacing) the file and writes its headers. Width and height 1..65535.
    AviStatus open(const std::filesystem::path& path, const AviFormat& format);
    // Appends the frame at stream position `position`. Positions must grow; the
    // positions skipped get empty chunks (players show the previous frame again), so
    // the video keeps the pace of the polls (at most 65536 of them at once). Uncompressed frames must be exactly
    // frameBytes() long.
    AviStatus writeFrame(uint32_t position, std::span<const uint8_t> data);
    // Writes the index and the final counts and closes the file. Harmless when closed.
    // Frames the system did not take are dropped; when the index cannot be written the
    // header is still finished (without the index flag) and WriteFailed says so.
    AviStatus close();

    bool isOpen() const { return file_ != nullptr; }
    // The frames written so far (empty repeat chunks included); after close, the frames
    // the file holds.
    uint32_t frameCount() const { return uint32_t(index_.size()); }
    // The file's size so far (its index not counted) and its RIFF parts.
    uint64_t bytesWritten() const { return end_; }
    uint32_t partCount() const { return parts_.empty() ? 1 : uint32_t(parts_.size()); }
    // Bytes of one uncompressed frame: 24-bit rows padded to 4 bytes, times height.
    size_t frameBytes() const;
    const AviFormat& format() const { return format_; }

    // The 224 header bytes for a format and the counts known so far.
    static std::vector<uint8_t> encodeHeaders(const AviFormat& format, uint32_t frames, uint32_t largestChunk);

private:
    struct IndexEntry {
        uint32_t flags, offset, size; // offset: from "movi" in the first part, else from the part's base
    };
    // A part of the OpenDML extension: the first one ("AVI ") and each "AVIX".
    struct Part {
        uint64_t start = 0;   // its "RIFF"; the base of its standard index
        uint32_t first = 0;   // its first frame
        uint64_t ixAt = 0;    // its "ix00" chunk, once written
        uint32_t ixSize = 0;
    };
    AviStatus appendChunk(std::span<const uint8_t> data, uint32_t flags);
    // True when `bytes` more of chunks and `entries` more index entries fit the part.
    bool fitsInPart(uint64_t bytes, uint64_t entries) const;
    // Ok when they fit the part being written, or a new part was started for them.
    AviStatus makeRoom(uint64_t bytes, uint64_t entries);
    // Ends the part being written and starts the next one; false when a write failed.
    bool startPart();
    // "idx1" with every chunk so far, followed by `room` zero bytes.
    std::vector<uint8_t> legacyIndex(size_t room) const;
    std::vector<uint8_t> standardIndex(const Part& part, uint32_t end, uint64_t shift) const;
    AviStatus closeExtended();

    std::FILE* file_ = nullptr;
    AviFormat format_;
    std::vector<IndexEntry> index_;
    uint64_t end_ = 0;        // where the next chunk goes
    uint32_t largest_ = 0;    // largest chunk written
    bool failed_ = false;
    // The OpenDML parts: empty while the file is a single AVI 1.0 part. The first
    // entry describes the first part; the part being written is the last.
    std::vector<Part> parts_;
    uint64_t firstEnd_ = 0;   // the end of the first part (its idx1 included), before close() moves it
    uint32_t firstMovi_ = 0;  // the first part's "movi" list size
};

} // namespace sorvane
