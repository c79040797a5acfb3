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
#include <tesseract/baseapi.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "ocr/TextReader.h"

namespace sorvane {
namespace {

constexpr int kScale = 4;
// The most pixels handed to the engine (a 640 x 480 screen scaled up is 4.9 million).
constexpr int64_t kMaxPixels = 4096 * 4096;

// Makes the background light everywhere: a pixel whose neighbours along its row
// (kBackgroundReach pixels either side) are mostly dark lies on a dark band, such as a
// title bar or a selected row with light text, and is inverted.
constexpr int kBackgroundReach = 32;
void LightBackground(std::vector<uint8_t>& grey, int w, int h)
{
    std::vector<uint8_t> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        uint8_t* g = grey.data() + size_t(y) * size_t(w);
        std::copy(g, g + w, row.begin());
        int dark = 0, count = 0;
        for (int x = 0; x < std::min(w, kBackgroundReach); ++x) {
            dark += row[size_t(x)] < 128;
            ++count;
        }
        for (int x = 0; x < w; ++x) {
            if (x + kBackgroundReach < w) {
                dark += row[size_t(x + kBackgroundReach)] < 128;
                ++count;
            }
            if (x - kBackgroundReach - 1 >= 0) {
                dark -= row[size_t(x - kBackgroundReach - 1)] < 128;
                --count;
            }
            if (2 * dark > count)
                g[x] = uint8_t(255 - row[size_t(x)]);
        }
    }
}

// Grey (ITU-R BT.601 weights) of `picture`, scaled up `scale` times by bilinear
// interpolation between the centres of the source pixels.
std::vector<uint8_t> ScaledGrey(const RgbPicture& picture, int scale)
{
    const int w = picture.width, h = picture.height;
    std::vector<uint8_t> grey(size_t(w) * size_t(h));
    for (size_t i = 0; i < grey.size(); ++i) {
        const uint8_t* p = picture.rgb.data() + i * 3;
        grey[i] = uint8_t((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
    }
    LightBackground(grey, w, h);
    if (scale == 1)
        return grey;
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
    return out;
}

class TesseractReader final : public TextReader {
public:
    ~TesseractReader() override { api_.End(); }

    bool init(std::string& error)
    {
        // The engine runs parts of its network on a team of OpenMP threads. On a small
        // screen the team costs more than it wins, and on a PC busy with other work (other
        // devices, a build) its threads spin waiting for each other; nothing else in this
        // program uses OpenMP, so parallel regions are turned off for the process. An
        // engine built without OpenMP has no such switch.
        using SetMaxActiveLevels = void (*)(int);
        if (auto set = reinterpret_cast<SetMaxActiveLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
            set(0);
        // The engine's messages go nowhere: a failure is reported through `error`.
        api_.SetVariable("debug_file", "/dev/null");
        if (api_.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
            error = "the OCR engine's English language data (eng.traineddata) could not be loaded";
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
        int scale = kScale;
        while (scale > 1 && int64_t(picture.width) * picture.height * scale * scale > kMaxPixels)
            --scale;
        if (int64_t(picture.width) * picture.height > kMaxPixels) {
            error = "the picture is too large to read";
            return false;
        }
        const std::vector<uint8_t> grey = ScaledGrey(picture, scale);
        api_.SetImage(grey.data(), picture.width * scale, picture.height * scale, 1, picture.width * scale);
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
