#pragma once
// AVI recording of a connection's screen: one frame after every screen poll, with
// the PC's mouse cursor drawn in when the user wants it. One recording at a time in
// the whole program: the program owns one AviRecording and every connection asks it.
//
// Frames: the picture the window shows (copied under the picture mutex), in the
// window's colours, as 24-bit rows; the cursor is drawn into that copy only, so the
// live picture never holds cursor pixels, and it reaches the frame whatever the
// picture's depth (4- and 2-bit devices and low colour mode included). Uncompressed
// frames are stored bottom row first; Motion-JPEG frames are JPEG files of our
// encoder.
//
// Threads: start(), stop() and setPointer() on the user-interface thread;
// frameAfterPoll() on the recording connection's thread. A frame is made under the
// recording's lock, so stop() waits at most for one frame.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>

#include "capture/AviWriter.h"
#include "screen/ScreenState.h"

namespace sorvane {

struct AviOptions {
    AviCodec codec = AviCodec::Uncompressed;
    int quality = 75; // Motion JPEG: 1..100
    uint64_t partSize = AviWriter::kSizeLimit; // of the file's RIFF parts; smaller for tests
};

// Whether a typed name keeps its ".avi" (any case) or gets one appended.
std::filesystem::path aviFileName(const std::string& typed);

// The JPEG writer's options for a Motion-JPEG quality 1..100: 0 (tables / 4, about
// quality 87) from 82, 1 (/ 2, about 75) from 62, 2 (as they stand, about 50) from
// 37, else 3 (doubled, about 25).
int mjpegOptionsForQuality(int quality);

// Where the PC's pointer is, in device picture coordinates.
struct AviPointer {
    bool over = false; // over the device window's picture
    int x = 0, y = 0;
    bool pressed = false; // left button down
};

// One frame of the screen for a writer of that picture's size: the picture copied,
// turned into 24 bits, the cursor drawn in when the pointer is over the window and
// inside the picture, encoded for the writer's codec and written at `position`.
AviStatus WriteAviFrame(AviWriter& writer, const ScreenState& screen, uint32_t position,
                        const std::optional<AviPointer>& pointer, int mjpegOptions);

class AviRecording {
public:
    enum class StartResult { Started, Busy, NoPicture, CannotCreate };

    // StartAvi after the dialogs: creates the file for the connection's shown
    // picture at its refresh rate and resets its update counter, so frames land at
    // positions 0, 1, 2, ... Busy while any recording runs (nothing changes then).
    StartResult start(int slot, const std::filesystem::path& path, ScreenState& screen, const AviOptions& options,
                      bool showCursor);
    bool active() const;
    int slot() const; // -1 when none records

    // After each ordinary screen poll of `slot` (position = updateCounter - 1). Does
    // nothing unless that slot records.
    void frameAfterPoll(int slot, const ScreenState& screen, uint32_t position);
    // The PC's pointer over the recording connection's window (UI thread).
    void setPointer(const AviPointer& pointer);

    // The recording so far, for the status line: its slot (-1: none), frames (stream
    // positions), their rate and the file's size.
    struct Progress {
        int slot = -1;
        uint32_t frames = 0;
        int rate = 1;
        uint64_t bytes = 0;
    };
    Progress progress() const;

    struct Summary {
        bool wasActive = false;
        std::filesystem::path path;
        uint32_t frames = 0;
        AviStatus problem = AviStatus::Ok; // the first refusal (Full, WriteFailed) or a failed close
    };
    // StopAvi: writes the index and closes the file; the next start may open another.
    Summary stop();

private:
    mutable std::mutex mutex_;
    AviWriter writer_;
    std::filesystem::path path_;
    int slot_ = -1;
    bool showCursor_ = false;
    int jpegOptions_ = 1;
    AviPointer pointer_;
    AviStatus problem_ = AviStatus::Ok;
};

} // namespace sorvane
