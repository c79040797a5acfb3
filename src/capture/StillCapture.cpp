#include "capture/StillCapture.h"

#include <cstring>

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

} // namespace

const char* captureExtension(CaptureFormat format)
{
    switch (format) {
    case CaptureFormat::Gif:
        return ".GIF";
    case CaptureFormat::Jpeg:
        return ".JPG";
    default:
        return ".BMP";
    }
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

int WriteCapture(const ImageRecord& picture, std::filesystem::path path, CaptureFormat format)
{
    if (path.filename().string().find('.') == std::string::npos)
        path += captureExtension(format);
    const int fileType = fileTypeOf(format);
    switch (format) {
    case CaptureFormat::Bmp:
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

} // namespace sorvane
