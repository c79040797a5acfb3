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
// Size limit: the file stays an AVI 1.0 file of at most kSizeLimit bytes (1 GiB,
// index included; the format's sizeLimit when that is smaller). A frame that would pass it is refused (Full), with
// the empty chunks of its gap, and the file stays whole; the recording goes on with the frames it has.
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
    uint64_t sizeLimit = uint64_t(1) << 30; // at most kSizeLimit; smaller ones for tests
};

enum class AviStatus {
    Ok,
    CannotCreate, // the file cannot be created
    WriteFailed,  // the system refused a write; the file keeps the frames before it
    Full,         // the frame would take the file past kSizeLimit
    BadFrame,     // a position already written, or a frame of the wrong size
    NotOpen,
};

const char* aviStatusName(AviStatus status);

class AviWriter {
public:
    static constexpr uint64_t kSizeLimit = uint64_t(1) << 30;
    static constexpr size_t kHeaderSize = 224; // up to the first frame chunk

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
    // Bytes of one uncompressed frame: 24-bit rows padded to 4 bytes, times height.
    size_t frameBytes() const;
    const AviFormat& format() const { return format_; }

    // The 224 header bytes for a format and the counts known so far.
    static std::vector<uint8_t> encodeHeaders(const AviFormat& format, uint32_t frames, uint32_t largestChunk);

private:
    struct IndexEntry {
        uint32_t flags, offset, size;
    };
    AviStatus appendChunk(std::span<const uint8_t> data, uint32_t flags);

    std::FILE* file_ = nullptr;
    AviFormat format_;
    std::vector<IndexEntry> index_;
    uint64_t end_ = 0;        // where the next chunk goes
    uint32_t largest_ = 0;    // largest chunk written
    bool failed_ = false;
};

} // namespace sorvane
