#include "scripts/CheckPictures.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/ImageLibrary.h"
#include "platform/RegularFile.h"

namespace sorvane {
namespace {

bool hasExtension(const std::filesystem::path& path, std::string_view wanted)
{
    const std::string ext = path.extension().string();
    return std::ranges::equal(ext, wanted, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// A raw picture, decoded: a JPEG-like encoded record (which a PNG or BMP never gives)
// or a record that fails the raw checks is refused rather than trusted.
bool toRaw(ImageRecord& image)
{
    if (image.imageType != kImageRaw || image.planeFlag != 1) {
        ImageRecord converted;
        converted.imageType = kImageRaw;
        if (ConvertImage(image, converted, 1) != kImageOk)
            return false;
        image = std::move(converted);
    }
    return isValidRawImage(image);
}

} // namespace

bool LoadRgbPicture(const std::filesystem::path& path, RgbPicture& out, std::string& error)
{
    std::string why;
    const std::unique_ptr<MappedFile> file = MappedFile::open(path, kMaxCheckPictureFileSize, &why);
    if (!file) {
        error = why;
        return false;
    }
    const int type = identifyImageFile(file->bytes());
    if (type != kFileBmp && type != kFilePng) {
        error = "is not a PNG or BMP picture";
        return false;
    }
    ImageRecord image;
    const int rc = readImageBytes(file->bytes(), type, image, kMaxCheckPicturePixels);
    if (rc != kImageOk || !toRaw(image)) {
        error = rc == kImageNoMemory ? "is too large to read" : "cannot be read as a picture";
        return false;
    }
    RgbPicture picture;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(size_t(image.width) * size_t(image.height) * 3);
    uint8_t* o = picture.rgb.data();
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x, o += 3) {
            const std::array<uint8_t, 3> bgr = pixelColour(image, x, y);
            o[0] = bgr[2];
            o[1] = bgr[1];
            o[2] = bgr[0];
        }
    out = std::move(picture);
    return true;
}

bool SaveRgbPicture(const std::filesystem::path& path, const RgbPicture& picture, std::string& error)
{
    const int type = hasExtension(path, ".png") ? kFilePng : hasExtension(path, ".bmp") ? kFileBmp : kFileUnknown;
    if (type == kFileUnknown) {
        error = "is not named .png or .bmp";
        return false;
    }
    if (picture.empty() || picture.rgb.size() != size_t(picture.width) * size_t(picture.height) * 3) {
        error = "no picture to write";
        return false;
    }
    ImageRecord image = makeRawImage(picture.width, picture.height, 24);
    std::span<uint8_t> pixels = image.data.writable();
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* s = picture.row(y);
        uint8_t* d = pixels.data() + size_t(y) * size_t(image.rowBytes);
        for (int x = 0; x < picture.width; ++x, s += 3, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    std::vector<uint8_t> bytes;
    if (encodeImageFile(image, type, bytes) != kImageOk) {
        error = "cannot be encoded";
        return false;
    }
    std::filesystem::path part = path;
    part += ".part";
    std::error_code ec;
    std::filesystem::remove(part, ec); // a stale one of ours, or a FIFO planted there
    RegularFile file = RegularFile::open(part, kMaxCheckPictureFileSize, O_WRONLY | O_CREAT | O_TRUNC | O_EXCL);
    std::string why = file ? std::string() : file.error().empty() ? "cannot be opened" : file.error();
    if (file && (!WriteAll(file.fd(), bytes.data(), bytes.size()) || ::fsync(file.fd()) != 0))
        why = std::strerror(errno);
    if (const int fd = file.release(); fd >= 0 && ::close(fd) != 0 && why.empty())
        why = std::strerror(errno);
    if (why.empty()) {
        std::filesystem::rename(part, path, ec);
        if (ec)
            why = ec.message();
    }
    if (!why.empty()) {
        error = "cannot be written: " + why;
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

} // namespace sorvane
