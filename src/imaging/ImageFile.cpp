#include "imaging/ImageFile.h"

#include <algorithm>
#include <cstring>
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

} // namespace sorvane
