#include "capture/AviRecording.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "capture/CursorImages.h"
#include "capture/StillCapture.h"
#include "imaging/JpegEncoder.h"
#include "screen/Palette.h"
#include "screen/ShownPicture.h"

namespace sorvane {

namespace {

// Top-down blue, green, red rows (width x 3 bytes each) in the colours the window shows.
std::vector<uint8_t> windowColours(const ImageRecord& pic)
{
    const int w = pic.width, h = pic.height;
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    uint8_t* o = out.data();
    Rgb table[256] = {};
    if (pic.colourTable)
        for (int i = 0; i < 256; ++i)
            table[i] = Rgb{(*pic.colourTable)[3 * size_t(i) + 2], (*pic.colourTable)[3 * size_t(i) + 1],
                           (*pic.colourTable)[3 * size_t(i)]};
    for (int y = 0; y < h; ++y) {
        const uint8_t* r = rowOf(pic, y);
        for (int x = 0; x < w; ++x, o += 3) {
            Rgb c;
            switch (pic.bitsPerPixel) {
            case 16: c = rgbFrom565(uint16_t(r[2 * x] | r[2 * x + 1] << 8)); break;
            case 8: c = table[r[x]]; break;
            default: c = table[(x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4]; break;
            }
            o[0] = c.b;
            o[1] = c.g;
            o[2] = c.r;
        }
    }
    return out;
}

} // namespace

std::filesystem::path aviFileName(const std::string& typed)
{
    std::string tail = typed.size() >= 4 ? typed.substr(typed.size() - 4) : std::string();
    for (char& c : tail)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".avi" ? typed : typed + ".avi";
}

int mjpegOptionsForQuality(int quality)
{
    return quality >= 82 ? 0 : quality >= 62 ? 1 : quality >= 37 ? 2 : 3;
}

AviStatus WriteAviFrame(AviWriter& writer, const ScreenState& screen, uint32_t position,
                        const std::optional<AviPointer>& pointer, int mjpegOptions)
{
    if (!writer.isOpen())
        return AviStatus::NotOpen;
    ImageRecord pic;
    if (!CapturePicture(screen, pic) || (pic.bitsPerPixel != 4 && pic.bitsPerPixel != 8 && pic.bitsPerPixel != 16))
        return AviStatus::BadFrame;
    const AviFormat& f = writer.format();
    if (pic.width != f.width || pic.height != f.height)
        return AviStatus::BadFrame; // the display in use changed size (flip state)
    std::vector<uint8_t> bgr = windowColours(pic);
    const size_t row = size_t(f.width) * 3;
    if (pointer && pointer->over && pointer->x >= 0 && pointer->y >= 0 && pointer->x < f.width &&
        pointer->y < f.height)
        DrawCursor(bgr, f.width, f.height, row, pointer->x, pointer->y, pointer->pressed);
    if (f.codec == AviCodec::Mjpeg) {
        std::vector<uint8_t> jpeg;
        jpeg::EncodeOptions o;
        o.options = mjpegOptions & 3;
        o.jfifHeader = false; // the "AVI1" header of Motion-JPEG frames
        if (jpeg::encode(bgr.data(), f.width, f.height, ptrdiff_t(row), o, jpeg) != 0)
            return AviStatus::BadFrame;
        return writer.writeFrame(position, jpeg);
    }
    const size_t stride = (row + 3) / 4 * 4;
    std::vector<uint8_t> frame(stride * size_t(f.height), 0);
    for (int y = 0; y < f.height; ++y)
        std::memcpy(&frame[size_t(f.height - 1 - y) * stride], &bgr[size_t(y) * row], row);
    return writer.writeFrame(position, frame);
}

AviRecording::StartResult AviRecording::start(int slot, const std::filesystem::path& path, ScreenState& screen,
                                              const AviOptions& options, bool showCursor)
{
    std::lock_guard lock(mutex_);
    if (writer_.isOpen())
        return StartResult::Busy;
    int width = 0, height = 0;
    {
        std::lock_guard picture(screen.pictureMutex);
        const Picture* p = ShownPicture(screen);
        if (!p)
            return StartResult::NoPicture;
        width = p->width;
        height = p->height;
    }
    AviFormat f;
    f.width = width;
    f.height = height;
    f.rate = std::clamp(screen.refreshRate.load(), 1, 1000);
    f.codec = options.codec;
    f.sizeLimit = std::clamp<uint64_t>(options.partSize, 1, AviWriter::kSizeLimit);
    const int depth = screen.flipState.load() && screen.facts.altDepth ? screen.facts.altDepth : screen.facts.depth;
    f.suggestedBufferSize = uint32_t(uint64_t(width) * uint64_t(height) * uint64_t(std::max(depth, 1)) / 8);
    if (writer_.open(path, f) != AviStatus::Ok)
        return StartResult::CannotCreate;
    path_ = path;
    slot_ = slot;
    showCursor_ = showCursor;
    jpegOptions_ = mjpegOptionsForQuality(options.quality);
    pointer_ = AviPointer{};
    problem_ = AviStatus::Ok;
    screen.updateCounter = 0;
    return StartResult::Started;
}

bool AviRecording::active() const
{
    std::lock_guard lock(mutex_);
    return writer_.isOpen();
}

int AviRecording::slot() const
{
    std::lock_guard lock(mutex_);
    return writer_.isOpen() ? slot_ : -1;
}

AviRecording::Progress AviRecording::progress() const
{
    std::lock_guard lock(mutex_);
    if (!writer_.isOpen())
        return {};
    return Progress{slot_, writer_.frameCount(), writer_.format().rate, writer_.bytesWritten()};
}

void AviRecording::setPointer(const AviPointer& pointer)
{
    std::lock_guard lock(mutex_);
    pointer_ = pointer;
}

void AviRecording::frameAfterPoll(int slot, const ScreenState& screen, uint32_t position)
{
    std::lock_guard lock(mutex_);
    if (!writer_.isOpen() || slot != slot_)
        return;
    // The counter was reset by start() while this poll ran: its frame is position 0's
    // predecessor and is not recorded.
    if (position == UINT32_MAX)
        return;
    const AviStatus s = WriteAviFrame(writer_, screen, position,
                                      showCursor_ ? std::optional<AviPointer>(pointer_) : std::nullopt, jpegOptions_);
    if ((s == AviStatus::Full || s == AviStatus::WriteFailed) && problem_ == AviStatus::Ok)
        problem_ = s;
}

AviRecording::Summary AviRecording::stop()
{
    std::lock_guard lock(mutex_);
    Summary s;
    if (!writer_.isOpen())
        return s;
    s.wasActive = true;
    s.path = path_;
    const AviStatus closed = writer_.close();
    s.frames = writer_.frameCount(); // what the file holds
    s.problem = problem_ != AviStatus::Ok ? problem_ : closed;
    slot_ = -1;
    return s;
}

} // namespace sorvane
