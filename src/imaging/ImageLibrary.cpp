#include "imaging/ImageLibrary.h"

#include "imaging/ImageCodecs.h"

#include <new>

namespace sorvane {

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
