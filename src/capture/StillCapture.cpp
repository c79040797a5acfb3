#include "capture/StillCapture.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "imaging/ImageFile.h"
#include "imaging/ImageLibrary.h"
#include "screen/ShownPicture.h"

namespace sorvane {
namespace {

int fileTypeOf(CaptureFormat f)
{
    switch (f) {
    case CaptureFormat::Gif:
        return kFileGif;
    case CaptureFormat::Jpeg:
        return kFileJpeg;
    case CaptureFormat::Png:
        return kFilePng;
    default:
        return kFileBmp;
    }
}

// A raw top-down copy at bitsPerPixel (8 or 24).
int rawCopyAt(const ImageRecord& picture, int bitsPerPixel, ImageRecord& out)
{
    out = ImageRecord{};
    out.imageType = kImageRaw;
    int r = ConvertImage(picture, out, 0);
    if (r == kImageOk && out.bitsPerPixel != bitsPerPixel)
        r = ImageOperation(out, 2, bitsPerPixel);
    return r;
}

int writeOne(const std::filesystem::path& path, int fileType, const ImageRecord& image)
{
    ImageFile file;
    int r = CreateImageFile(path, file, 0, fileType);
    if (r != kImageOk)
        return r;
    r = WriteImage(file, image);
    int c = CloseImageFile(file);
    return r != kImageOk ? r : c;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Creates path only when nothing of that name exists: the name is then ours.
bool claimName(const std::filesystem::path& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wbx");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

} // namespace

const char* captureExtension(CaptureFormat format)
{
    switch (format) {
    case CaptureFormat::Gif:
        return ".GIF";
    case CaptureFormat::Jpeg:
        return ".JPG";
    case CaptureFormat::Png:
        return ".PNG";
    default:
        return ".BMP";
    }
}

std::optional<CaptureFormat> formatOfExtension(const std::filesystem::path& path)
{
    const std::string ext = lower(path.filename().extension().string());
    if (ext == ".bmp")
        return CaptureFormat::Bmp;
    if (ext == ".gif")
        return CaptureFormat::Gif;
    if (ext == ".jpg" || ext == ".jpeg")
        return CaptureFormat::Jpeg;
    if (ext == ".png")
        return CaptureFormat::Png;
    return std::nullopt;
}

CaptureTarget ResolveCaptureTarget(const std::filesystem::path& typed, CaptureFormat chosen)
{
    if (std::optional<CaptureFormat> named = formatOfExtension(typed)) {
        if (*named == CaptureFormat::Bmp && chosen == CaptureFormat::Bmp24)
            named = CaptureFormat::Bmp24;
        return {typed, *named};
    }
    // "shot" and "shot.v2" alike: a name that names no format of ours gets the
    // filter's extension, so the file's content always matches its name.
    std::filesystem::path path = typed;
    path += captureExtension(chosen);
    return {path, chosen};
}

CaptureFormat oneClickFormat(int clickFormat, bool png)
{
    if (png)
        return CaptureFormat::Png;
    return clickFormat >= 0 && clickFormat <= 3 ? CaptureFormat(clickFormat + 1) : CaptureFormat::Bmp;
}

std::string oneClickBaseName(std::time_t utc)
{
    std::tm t{};
    gmtime_r(&utc, &t);
    char name[48];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d;%02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

bool CapturePicture(const ScreenState& state, ImageRecord& out)
{
    std::lock_guard lock(state.pictureMutex);
    const Picture* p = ShownPicture(state);
    if (!p)
        return false;
    out = ImageRecord{};
    out.width = p->width;
    out.height = p->height;
    out.bitsPerPixel = int8_t(p->bitsPerPixel);
    out.rowBytes = packedRowBytes(p->width, p->bitsPerPixel);
    std::vector<uint8_t> rows(size_t(out.rowBytes) * size_t(p->height));
    for (int y = 0; y < p->height; ++y)
        std::memcpy(rows.data() + size_t(y) * size_t(out.rowBytes), p->row(y), size_t(out.rowBytes));
    out.dataSize = uint32_t(rows.size());
    out.data = ImageData(std::move(rows));
    out.imageType = kImageRaw;
    out.rowOrder = kRowsTopDown;
    out.planeFlag = 1;
    if (p->bitsPerPixel <= 8) {
        // The picture's table is blue, green, red, unused; the library's is blue, green, red.
        out.colourTable = std::make_unique<ColourTable>();
        for (int i = 0; i < p->colourCount; ++i)
            for (int k = 0; k < 3; ++k)
                (*out.colourTable)[size_t(i) * 3 + size_t(k)] = p->colours[size_t(i) * 4 + size_t(k)];
    }
    return true;
}

int WriteCapture(const ImageRecord& picture, const std::filesystem::path& path, CaptureFormat format)
{
    const int fileType = fileTypeOf(format);
    switch (format) {
    case CaptureFormat::Bmp:
    case CaptureFormat::Png:
        return writeOne(path, fileType, picture);
    case CaptureFormat::Bmp24: {
        ImageRecord copy;
        int r = rawCopyAt(picture, 24, copy);
        return r != kImageOk ? r : writeOne(path, fileType, copy);
    }
    case CaptureFormat::Gif: {
        ImageRecord eight;
        const ImageRecord* source = &picture;
        if (picture.bitsPerPixel > 8) {
            int r = rawCopyAt(picture, 8, eight);
            if (r != kImageOk)
                return r;
            source = &eight;
        }
        ImageRecord gif;
        gif.imageType = kImageGifLzw;
        int r = ConvertImage(*source, gif, 0);
        return r != kImageOk ? r : writeOne(path, fileType, gif);
    }
    case CaptureFormat::Jpeg: {
        ImageRecord rgb;
        int r = rawCopyAt(picture, 24, rgb);
        if (r != kImageOk)
            return r;
        ImageRecord jpeg;
        jpeg.imageType = kImageJfif;
        r = ConvertImage(rgb, jpeg, 1);
        return r != kImageOk ? r : writeOne(path, fileType, jpeg);
    }
    }
    return kImageUnsupported;
}

int WriteNewCapture(const ImageRecord& picture, const std::filesystem::path& folder, const std::string& base,
                    CaptureFormat format, std::filesystem::path& written)
{
    const char* ext = captureExtension(format);
    std::error_code ec;
    for (int n = 1; n <= 9999; ++n) {
        std::filesystem::path path = folder / (n == 1 ? base + ext : base + "-" + std::to_string(n) + ext);
        if (!claimName(path)) {
            if (errno == EEXIST)
                continue;
            return kImageCannotCreate;
        }
        int r = WriteCapture(picture, path, format);
        if (r != kImageOk) {
            std::filesystem::remove(path, ec); // no empty or half file stays behind
            return r;
        }
        written = path;
        return kImageOk;
    }
    return kImageCannotCreate;
}

int WriteOneClickCapture(const ImageRecord& picture, const std::filesystem::path& programDir, std::time_t utc,
                         CaptureFormat format, std::filesystem::path& written)
{
    const std::filesystem::path folder = programDir / "RECORDED_DATA";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return WriteNewCapture(picture, folder, oneClickBaseName(utc), format, written);
}

} // namespace sorvane
