#pragma once
// The image file record and the file type codes. One record per open image file;
// it owns the open file (and, when reading, the mapping of the whole file) until
// CloseImageFile or its destruction. Used by one thread at a time.

#include "imaging/FileMapping.h"

#include <cstdint>
#include <memory>
#include <span>

namespace sorvane {

// File type codes.
enum : int8_t {
    kFileBmp = 0,
    kFilePcx = 3,
    kFileDcx = 4,
    kFileTiff = 5,
    kFileJpeg = 6,
    kFilePdf = 10,
    kFileGif = 11,
    kFilePng = 12,
    kFileAvi = 20,
    kFileCrw = 24,
    kFileMrw = 25,
    kFileOrf = 26,
    kFileRaf = 27,
    kFileUnknown = -1,
};

// `mode`
enum : uint8_t {
    kFileClosed = 0,
    kFileReading = 1,
    kFileWriting = 2,
};

struct ImageFile {
    std::unique_ptr<MappedFile> mapping; // reading: the whole file
    std::unique_ptr<OutputFile> output;  // writing
    int32_t imagesWritten = 0;           // single-image writers refuse a second one
    int8_t fileType = kFileUnknown;
    uint8_t mode = kFileClosed;

    std::span<const uint8_t> bytes() const
    {
        return mapping ? mapping->bytes() : std::span<const uint8_t>();
    }
};

// The file type code of a file that starts with these bytes, or kFileUnknown.
int8_t identifyImageFile(std::span<const uint8_t> head);

} // namespace sorvane
