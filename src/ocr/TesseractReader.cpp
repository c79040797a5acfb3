// The text reader on Tesseract's LSTM engine with its English language data.
//
// A device's text is small (capitals of 7 to 11 pixels) and sharp; the engine reads
// best at capitals of 20 to 40 pixels, so the picture is turned to grey and scaled up
// four times, smoothly (the blocky edges of a nearest-neighbour enlargement read worse).
// Light text on dark bands (title bars, selected rows) is turned dark on light first,
// and the engine separates text from background by local contrast (Sauvola), since a
// global threshold puts the faint ruled lines of a mostly white screen with the text.
// The screen holds scattered labels, not a page of prose, so the engine looks for text
// anywhere, in no particular order.

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ocr/TextReader.h"

namespace sorvane {
namespace {

constexpr int kScale = 4;
// Screens of 640 x 480 draw their text twice as large as screens of 240 x 320, and each
// pixel more costs time: a picture is scaled up less where kScale would make it larger
// than this (a 240 x 320 screen four times is 1.2 million pixels, 640 x 480 twice as well).
constexpr int64_t kEnoughPixels = 2'000'000;
// The most pixels handed to the engine (what a picture too large for kEnoughPixels may
// have unscaled), and its longest side (the engine keeps coordinates in 16 bits).
constexpr int64_t kMaxPixels = 4096 * 4096;
constexpr int kMaxSide = 32767;
constexpr int kMargin = 16;

// Makes text dark on a light background everywhere. The pixels within kReachX columns
// and kReachY rows of a pixel are sorted into 16 levels of brightness; the middle one is
// the background there (text covers less of a neighbourhood than its background does).
// The pixel is inverted where that background is dark (a title bar, a selected row), or
// where more of the pixels around it are clearly lighter than the background than
// darker (light text on a light band: a 2-bit screen's selected row). A few rows of
// height keep a row dense with strokes (the bars of "e" and "m") from looking like
// background of the text's colour.
constexpr int kReachX = 32, kReachY = 4;
void LightBackground(std::vector<uint8_t>& grey, int w, int h)
{
    constexpr int kLevels = 16, kLevelShift = 4, kClearly = 2; // levels apart from the background
    const std::vector<uint8_t> source = grey;
    auto level = [&source, w](int x, int y) { return source[size_t(y) * size_t(w) + size_t(x)] >> kLevelShift; };
    // columns[x * kLevels + l]: pixels of level l in column x, rows y - kReachY .. y + kReachY.
    std::vector<int> columns(size_t(w) * kLevels);
    for (int y = 0; y < std::min(h, kReachY); ++y)
        for (int x = 0; x < w; ++x)
            ++columns[size_t(x) * kLevels + size_t(level(x, y))];
    for (int y = 0; y < h; ++y) {
        if (y + kReachY < h)
            for (int x = 0; x < w; ++x)
                ++columns[size_t(x) * kLevels + size_t(level(x, y + kReachY))];
        if (y - kReachY - 1 >= 0)
            for (int x = 0; x < w; ++x)
                --columns[size_t(x) * kLevels + size_t(level(x, y - kReachY - 1))];
        int histogram[kLevels] = {}, count = 0;
        auto addColumn = [&](int x, int sign) {
            for (int l = 0; l < kLevels; ++l) {
                histogram[l] += sign * columns[size_t(x) * kLevels + size_t(l)];
                count += sign * columns[size_t(x) * kLevels + size_t(l)];
            }
        };
        for (int x = 0; x < std::min(w, kReachX); ++x)
            addColumn(x, 1);
        uint8_t* g = grey.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            if (x + kReachX < w)
                addColumn(x + kReachX, 1);
            if (x - kReachX - 1 >= 0)
                addColumn(x - kReachX - 1, -1);
            int background = 0;
            for (int seen = histogram[0]; 2 * seen <= count;)
                seen += histogram[++background];
            int lighter = 0, darker = 0;
            for (int l = background + kClearly + 1; l < kLevels; ++l)
                lighter += histogram[l];
            for (int l = 0; l < background - kClearly; ++l)
                darker += histogram[l];
            if (2 * background < kLevels || lighter > darker)
                g[x] = uint8_t(255 - g[x]);
        }
    }
}

// The picture the engine reads: grey, one byte a pixel, rows without padding.
struct EngineImage {
    int width = 0, height = 0;
    std::vector<uint8_t> grey;
};

// `pixels` (w x h) in the middle of a white frame kMargin pixels wide: the engine reads
// text that touches the edge of a cropped region better with some room around it, and
// its local threshold fails on pictures narrower than a few pixels.
EngineImage Framed(const std::vector<uint8_t>& pixels, int w, int h)
{
    EngineImage image{w + 2 * kMargin, h + 2 * kMargin, {}};
    image.grey.assign(size_t(image.width) * size_t(image.height), 255);
    for (int y = 0; y < h; ++y)
        std::copy_n(pixels.data() + size_t(y) * size_t(w), w,
                    image.grey.data() + size_t(y + kMargin) * size_t(image.width) + kMargin);
    return image;
}

// Grey (ITU-R BT.601 weights) of `picture` with light backgrounds, scaled up `scale`
// times by bilinear interpolation between the centres of the source pixels, framed.
EngineImage EngineImageOf(const RgbPicture& picture, int scale)
{
    const int w = picture.width, h = picture.height;
    std::vector<uint8_t> grey(size_t(w) * size_t(h));
    for (size_t i = 0; i < grey.size(); ++i) {
        const uint8_t* p = picture.rgb.data() + i * 3;
        grey[i] = uint8_t((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
    }
    LightBackground(grey, w, h);
    if (scale == 1)
        return Framed(grey, w, h);
    const int sw = w * scale, sh = h * scale;
    // Source position of scaled pixel i along a side of n pixels, in 1/(2*scale) steps:
    // (2i + 1 - scale) / (2 scale), clamped to the edge pixels.
    struct Tap {
        int lo, hi, weight; // weight of hi, out of 2 * scale
    };
    auto taps = [scale](int n, int count) {
        std::vector<Tap> out(size_t(count) * size_t(scale));
        for (int i = 0; i < count * scale; ++i) {
            const int pos = 2 * i + 1 - scale; // in units of 1 / (2 scale) source pixels
            Tap t{};
            if (pos <= 0) {
                t = {0, 0, 0};
            } else {
                t.lo = pos / (2 * scale);
                t.weight = pos % (2 * scale);
                t.hi = t.lo + 1 < n ? t.lo + 1 : t.lo;
            }
            out[size_t(i)] = t;
        }
        return out;
    };
    const std::vector<Tap> xs = taps(w, w), ys = taps(h, h);
    const int denominator = 4 * scale * scale;
    std::vector<uint8_t> out(size_t(sw) * size_t(sh));
    for (int y = 0; y < sh; ++y) {
        const Tap ty = ys[size_t(y)];
        const uint8_t* r0 = grey.data() + size_t(ty.lo) * size_t(w);
        const uint8_t* r1 = grey.data() + size_t(ty.hi) * size_t(w);
        uint8_t* o = out.data() + size_t(y) * size_t(sw);
        for (int x = 0; x < sw; ++x) {
            const Tap tx = xs[size_t(x)];
            const int top = r0[tx.lo] * (2 * scale - tx.weight) + r0[tx.hi] * tx.weight;
            const int bottom = r1[tx.lo] * (2 * scale - tx.weight) + r1[tx.hi] * tx.weight;
            o[x] = uint8_t((top * (2 * scale - ty.weight) + bottom * ty.weight + denominator / 2) / denominator);
        }
    }
    return Framed(out, sw, sh);
}

class TesseractReader final : public TextReader {
public:
    ~TesseractReader() override { api_.End(); }

    bool init(std::string& error)
    {
        static std::once_flag processSettings;
        std::call_once(processSettings, [] {
            // The engine runs parts of its network on a team of OpenMP threads. On a small
            // screen the team costs more than it wins, and on a PC busy with other work
            // (other devices, a build) its threads spin waiting for each other; nothing
            // else in this program uses OpenMP, so parallel regions are turned off for the
            // process. An engine built without OpenMP has no such switch.
            using SetMaxActiveLevels = void (*)(int);
            if (auto set = reinterpret_cast<SetMaxActiveLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
                set(0);
            // Nothing else here uses the engine's image library either: its messages go
            // nowhere, as the engine's own (a failure is reported through `error`).
            setMsgSeverity(L_SEVERITY_NONE);
        });
        api_.SetVariable("debug_file", "/dev/null");
        if (api_.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
            error = "the OCR engine's English language data (eng.traineddata, from the tesseract-ocr-eng "
                    "package) could not be loaded";
            return false;
        }
        api_.SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
        api_.SetVariable("thresholding_method", "2"); // Sauvola
        return true;
    }

    bool read(const RgbPicture& picture, std::string& text, std::string& error) override
    {
        text.clear();
        if (picture.empty() || picture.rgb.size() != size_t(picture.width) * size_t(picture.height) * 3) {
            error = "no picture to read";
            return false;
        }
        auto fits = [&picture](int scale) {
            return int64_t(picture.width) * picture.height * scale * scale <= kMaxPixels &&
                   std::max(picture.width, picture.height) <= (kMaxSide - 2 * kMargin) / scale;
        };
        int scale = kScale;
        while (scale > 1 && (!fits(scale) || int64_t(picture.width) * picture.height * scale * scale > kEnoughPixels))
            --scale;
        if (!fits(scale)) {
            error = "the picture is too large to read";
            return false;
        }
        const EngineImage image = EngineImageOf(picture, scale);
        api_.SetImage(image.grey.data(), image.width, image.height, 1, image.width);
        // A device's screen has about 96 dots per inch.
        api_.SetSourceResolution(96 * scale);
        std::unique_ptr<char[]> utf8(api_.GetUTF8Text());
        api_.Clear();
        if (!utf8) {
            error = "the OCR engine could not read the picture";
            return false;
        }
        text = utf8.get();
        return true;
    }

private:
    tesseract::TessBaseAPI api_;
};

} // namespace

std::unique_ptr<TextReader> MakeTextReader(std::string& error)
{
    auto reader = std::make_unique<TesseractReader>();
    if (!reader->init(error))
        return nullptr;
    return reader;
}

} // namespace sorvane
