// Feeds arbitrary bytes to the JPEG reader (and its header probe). Whatever the
// input, the result is a code of the library and a picture of the size it claims;
// a decoded picture is then written again by the JPEG writer, whose inner loops for
// this processor and portable ones write the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/JpegDecoder.h"
#include "imaging/JpegEncoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace sorvane::jpeg;
    std::span<const uint8_t> file(data, size);
    int w = 0, h = 0, c = 0;
    int rc = probe(file, w, h, c);
    if (rc != 0 && rc != -1 && rc != -6 && rc != -7)
        std::abort();

    DecodedJpeg out;
    rc = decode(file, out);
    if (rc != 0 && rc != -1 && rc != -6 && rc != -7)
        std::abort();
    if (rc != 0) {
        if (!out.pixels.empty())
            std::abort();
        return 0;
    }
    if (out.width != w || out.height != h || out.components != c ||
        out.pixels.size() != size_t(w) * size_t(h) * size_t(c))
        std::abort();
    // Small pictures go through the writer too: its output must read back at the same size.
    if (size_t(w) * size_t(h) <= 4096) {
        std::vector<uint8_t> again;
        EncodeOptions opt;
        opt.options = int(size & 7);
        int e = c == 3 ? encode(out.pixels.data(), w, h, ptrdiff_t(w) * 3, opt, again)
                       : encodeGrey(out.pixels.data(), w, h, w, opt, again);
        DecodedJpeg back;
        if (e != 0 || decode(again, back) != 0 || back.width != w || back.height != h || back.components != c)
            std::abort();
        // The portable inner loops write the same file as the ones encode() chose.
        std::vector<uint8_t> portable;
        const ptrdiff_t stride = c == 3 ? ptrdiff_t(w) * 3 : w;
        if (encodeWith(Kernels::Portable, out.pixels.data(), w, h, stride, c == 3, opt, portable) != 0 ||
            portable != again)
            std::abort();
    }
    return 0;
}
