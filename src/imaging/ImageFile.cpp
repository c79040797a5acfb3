#include "imaging/ImageFile.h"

#include "imaging/ImageCodecs.h"
#include "imaging/ImageLibrary.h"

#include <cstring>
#include <new>
#include <string_view>

namespace sorvane {

namespace {

bool startsWith(std::span<const uint8_t> head, std::string_view magic)
{
    return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

bool containsWithin(std::span<const uint8_t> head, size_t limit, std::string_view text)
{
    std::string_view hay(reinterpret_cast<const char*>(head.data()), std::min(head.size(), limit));
    return hay.find(text) != std::string_view::npos;
}

} // namespace

int8_t identifyImageFile(std::span<const uint8_t> h)
{
    using namespace std::string_view_literals;
    if (startsWith(h, "BM"))
        return kFileBmp;
    if (h.size() >= 3 && h[0] == 0x0A && (h[1] == 0 || (h[1] >= 2 && h[1] <= 5)) && h[2] == 1)
        return kFilePcx;
    if (startsWith(h, "\xB1\x68\xDE\x3A"sv))
        return kFileDcx;
    if (startsWith(h, "II\x1A\x00"sv))
        return kFileCrw;
    if (startsWith(h, "MMOR"))
        return kFileOrf;
    if (startsWith(h, "II\x2A\x00"sv) || startsWith(h, "MM\x00\x2A"sv))
        return kFileTiff;
    if (startsWith(h, "\xFF\xD8\xFF"sv))
        return kFileJpeg;
    if (startsWith(h, "%PDF"))
        return kFilePdf;
    if (startsWith(h, "GIF8"))
        return kFileGif;
    if (startsWith(h, "\x89PNG"sv))
        return kFilePng;
    if (startsWith(h, "RIFF") && h.size() >= 12 && std::memcmp(h.data() + 8, "AVI ", 4) == 0)
        return kFileAvi;
    if (startsWith(h, "\x00MRM"sv))
        return kFileMrw;
    // The raw header's identification runs over its first 16 bytes ("...CCD-RAW ").
    if (startsWith(h, "FUJI") && containsWithin(h, 64, "-RAW"))
        return kFileRaf;
    return kFileUnknown;
}

int OpenImageFile(const std::filesystem::path& path, ImageFile& file, int /*flags*/)
{
    try {
        CloseImageFile(file);
        std::unique_ptr<MappedFile> mapping = MappedFile::open(path);
        if (!mapping)
            return kImageCannotCreate;
        int8_t type = identifyImageFile(mapping->bytes());
        if (type == kFileUnknown)
            return kImageUnsupported;
        file.mapping = std::move(mapping);
        file.fileType = type;
        file.mode = kFileReading;
        return kImageOk;
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

int readImageBytes(std::span<const uint8_t> bytes, int fileType, ImageRecord& image, int64_t maxPixels)
{
    try {
        ImageRecord result;
        int rc = kImageUnsupported;
        switch (fileType) {
        case kFileBmp: rc = codec::readBmp(bytes, result, maxPixels); break;
        case kFileGif: rc = codec::readGif(bytes, result, maxPixels); break;
        case kFilePng: rc = codec::readPng(bytes, result, maxPixels); break;
        case kFileJpeg: rc = codec::readJpeg(bytes, result, maxPixels); break;
        default: break;
        }
        if (rc == kImageOk)
            image = std::move(result);
        return rc;
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

int ReadImage(ImageFile& file, ImageRecord& image, int /*page*/, int /*options*/)
{
    if (file.mode != kFileReading || !file.mapping)
        return kImageUnsupported;
    return readImageBytes(file.bytes(), file.fileType, image);
}

int CloseImageFile(ImageFile& file)
{
    file.mapping.reset();
    file.output.reset();
    file.imagesWritten = 0;
    file.fileType = kFileUnknown;
    file.mode = kFileClosed;
    return kImageOk;
}

int CreateImageFile(const std::filesystem::path& path, ImageFile& file, int flags, int fileType)
{
    try {
        CloseImageFile(file);
        auto output = OutputFile::open(path, (flags & 1) ? OutputFile::Mode::OpenExisting
                                                         : OutputFile::Mode::Replace);
        if (!output)
            return kImageCannotCreate;
        file.output = std::move(output);
        file.fileType = int8_t(fileType);
        file.mode = kFileWriting;
        return kImageOk;
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

int encodeImageFile(const ImageRecord& image, int fileType, std::vector<uint8_t>& out)
{
    try {
        out.clear();
        switch (fileType) {
        case kFileBmp:
            return codec::writeBmp(image, out);
        case kFileGif:
            return codec::writeGif(image, out);
        case kFilePng:
            return codec::writePng(image, out);
        case kFileJpeg: {
            if (image.imageType != kImageJfif && image.imageType != kImageJpegOther)
                return kImageUnsupported;
            std::span<const uint8_t> stream = image.payload();
            if (stream.size() < 4 || stream[0] != 0xFF || stream[1] != 0xD8)
                return kImageUnsupported;
            out.assign(stream.begin(), stream.end());
            return kImageOk;
        }
        default:
            return kImageUnsupported;
        }
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

int WriteImage(ImageFile& file, const ImageRecord& image, int /*options*/)
{
    if (file.mode != kFileWriting || !file.output || file.imagesWritten > 0)
        return kImageUnsupported;
    std::vector<uint8_t> bytes;
    int rc = encodeImageFile(image, file.fileType, bytes);
    if (rc != kImageOk)
        return rc;
    if (!file.output->replaceContent(bytes))
        return kImageCannotCreate;
    ++file.imagesWritten;
    return kImageOk;
}

} // namespace sorvane
