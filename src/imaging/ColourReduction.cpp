#include "imaging/ColourReduction.h"

#include "platform/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sorvane {

namespace {

constexpr uint32_t kEmpty = 0xFFFFFFFF;

// The colour of a stored pixel as 0x00RRGGBB (16-bit values widened) and its
// 5-6-5 histogram bin.
struct PixelSource {
    const ImageRecord& image;
    const uint8_t* row(int32_t s) const { return image.payload().data() + size_t(s) * size_t(image.rowBytes); }
    uint32_t colour(const uint8_t* r, int32_t x) const
    {
        if (image.bitsPerPixel == 16) {
            auto c = bgrFrom565(loadLe16(r + 2 * x));
            return uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
        }
        return uint32_t(r[3 * x + 2]) << 16 | uint32_t(r[3 * x + 1]) << 8 | r[3 * x];
    }
    static uint32_t bin(uint32_t rgb)
    {
        return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31);
    }
};

void setEntry(ColourTable& table, int i, uint32_t rgb)
{
    table[3 * i] = uint8_t(rgb);
    table[3 * i + 1] = uint8_t(rgb >> 8);
    table[3 * i + 2] = uint8_t(rgb >> 16);
}

// Up to 256 distinct colours: returns their count and fills table and indices;
// -1 when there are more.
int exactPalette(const PixelSource& src, ColourTable& table, std::span<uint8_t> indices)
{
    uint32_t keys[1024];
    uint8_t slots[1024];
    std::fill(std::begin(keys), std::end(keys), kEmpty);
    int count = 0;
    const int32_t w = src.image.width, h = src.image.height;
    uint32_t last = kEmpty;
    uint8_t lastIndex = 0;
    for (int32_t s = 0; s < h; ++s) {
        const uint8_t* r = src.row(s);
        uint8_t* out = &indices[size_t(s) * size_t(w)];
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c = src.colour(r, x);
            if (c != last) {
                uint32_t hsh = (c * 2654435761u) >> 22;
                while (keys[hsh] != kEmpty && keys[hsh] != c)
                    hsh = (hsh + 1) & 1023;
                if (keys[hsh] == kEmpty) {
                    if (count == 256)
                        return -1;
                    keys[hsh] = c;
                    slots[hsh] = uint8_t(count);
                    setEntry(table, count, c);
                    ++count;
                }
                last = c;
                lastIndex = slots[hsh];
            }
            out[x] = lastIndex;
        }
    }
    return count;
}

struct Bin {
    uint32_t count = 0;
    uint64_t sum[3] = {0, 0, 0}; // red, green, blue
};

constexpr int kWeight[3] = {3, 4, 2}; // red, green, blue in squared differences

struct Box {
    int lo[3], hi[3]; // bin coordinates: red 0..31, green 0..63, blue 0..31
    double error = 0;
    uint64_t count = 0;
};

inline int binIndex(int r, int g, int b) { return r << 11 | g << 5 | b; }

// Shrinks the box to its non-empty bins and measures its weighted squared error.
void measure(Box& box, const std::vector<Bin>& bins)
{
    int lo[3] = {255, 255, 255}, hi[3] = {-1, -1, -1};
    double n = 0, s[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const Bin& bin = bins[size_t(binIndex(r, g, b))];
                if (!bin.count)
                    continue;
                int c[3] = {r, g, b};
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], c[k]);
                    hi[k] = std::max(hi[k], c[k]);
                    double mean = double(bin.sum[k]) / bin.count;
                    s[k] += double(bin.sum[k]);
                    q[k] += mean * mean * bin.count;
                }
                n += bin.count;
            }
    box.count = uint64_t(n);
    if (n == 0)
        return;
    std::copy(lo, lo + 3, box.lo);
    std::copy(hi, hi + 3, box.hi);
    box.error = 0;
    for (int k = 0; k < 3; ++k)
        box.error += kWeight[k] * (q[k] - s[k] * s[k] / n);
    if (box.lo[0] == box.hi[0] && box.lo[1] == box.hi[1] && box.lo[2] == box.hi[2])
        box.error = 0; // one bin: nothing left to split
}

// Splits box at the weighted median of its axis of largest weighted spread.
bool split(Box& box, Box& other, const std::vector<Bin>& bins)
{
    int axis = -1;
    double best = -1;
    for (int k = 0; k < 3; ++k) {
        if (box.hi[k] == box.lo[k])
            continue;
        double spread = double(box.hi[k] - box.lo[k]) * (k == 1 ? 4.0 : 8.0) * kWeight[k];
        if (spread > best)
            best = spread, axis = k;
    }
    if (axis < 0)
        return false;
    std::vector<uint64_t> slice(size_t(box.hi[axis] - box.lo[axis] + 1), 0);
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                int c[3] = {r, g, b};
                slice[size_t(c[axis] - box.lo[axis])] += bins[size_t(binIndex(r, g, b))].count;
            }
    uint64_t half = box.count / 2, run = 0;
    int cut = box.lo[axis];
    for (size_t i = 0; i + 1 < slice.size(); ++i) {
        run += slice[i];
        cut = box.lo[axis] + int(i);
        if (run >= half)
            break;
    }
    other = box;
    box.hi[axis] = cut;
    other.lo[axis] = cut + 1;
    measure(box, bins);
    measure(other, bins);
    return true;
}

int nearest(const double (*palette)[3], int colours, const double c[3])
{
    int best = 0;
    double bestD = 1e300;
    for (int i = 0; i < colours; ++i) {
        double d = 0;
        for (int k = 0; k < 3; ++k) {
            double e = palette[i][k] - c[k];
            d += kWeight[k] * e * e;
        }
        if (d < bestD)
            bestD = d, best = i;
    }
    return best;
}

int medianCut(const PixelSource& src, ColourTable& table, std::span<uint8_t> indices)
{
    const int32_t w = src.image.width, h = src.image.height;
    std::vector<Bin> bins(65536);
    for (int32_t s = 0; s < h; ++s) {
        const uint8_t* r = src.row(s);
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c = src.colour(r, x);
            Bin& bin = bins[PixelSource::bin(c)];
            ++bin.count;
            bin.sum[0] += c >> 16;
            bin.sum[1] += (c >> 8) & 255;
            bin.sum[2] += c & 255;
        }
    }
    std::vector<Box> boxes;
    boxes.reserve(256);
    boxes.push_back({{0, 0, 0}, {31, 63, 31}});
    measure(boxes[0], bins);
    while (boxes.size() < 256) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.error < b.error; });
        if (it->error <= 0)
            break;
        Box other;
        if (!split(*it, other, bins)) {
            it->error = 0;
            continue;
        }
        boxes.push_back(other);
    }

    // Entries: the mean colour of each box, each bin mapped to its box; then, unless the
    // picture has so many colours that it would take long, a few rounds of moving each
    // used bin to its nearest entry and recomputing the means.
    const int colours = int(boxes.size());
    double palette[256][3];
    std::vector<int> used;
    for (int i = 0; i < 65536; ++i)
        if (bins[size_t(i)].count)
            used.push_back(i);
    std::vector<uint8_t> binEntry(65536, 0);
    for (int i = 0; i < colours; ++i) {
        const Box& b = boxes[size_t(i)];
        double n = 0, s[3] = {0, 0, 0};
        for (int r = b.lo[0]; r <= b.hi[0]; ++r)
            for (int g = b.lo[1]; g <= b.hi[1]; ++g)
                for (int bl = b.lo[2]; bl <= b.hi[2]; ++bl) {
                    const Bin& bin = bins[size_t(binIndex(r, g, bl))];
                    binEntry[size_t(binIndex(r, g, bl))] = uint8_t(i);
                    n += bin.count;
                    for (int k = 0; k < 3; ++k)
                        s[k] += double(bin.sum[k]);
                }
        for (int k = 0; k < 3; ++k)
            palette[i][k] = n ? s[k] / n : 0;
    }
    const bool refine = used.size() * size_t(colours) <= (size_t(1) << 23);
    for (int round = 0; refine && round < 3; ++round) {
        double sums[256][4] = {};
        for (int i : used) {
            const Bin& bin = bins[size_t(i)];
            double c[3] = {double(bin.sum[0]) / bin.count, double(bin.sum[1]) / bin.count,
                           double(bin.sum[2]) / bin.count};
            int e = nearest(palette, colours, c);
            binEntry[size_t(i)] = uint8_t(e);
            if (round == 2)
                continue;
            for (int k = 0; k < 3; ++k)
                sums[e][k] += double(bin.sum[k]);
            sums[e][3] += bin.count;
        }
        if (round == 2)
            break;
        for (int e = 0; e < colours; ++e)
            if (sums[e][3] > 0)
                for (int k = 0; k < 3; ++k)
                    palette[e][k] = sums[e][k] / sums[e][3];
    }
    table.fill(0);
    for (int e = 0; e < colours; ++e) {
        table[3 * e] = uint8_t(std::clamp(palette[e][2] + 0.5, 0.0, 255.0));
        table[3 * e + 1] = uint8_t(std::clamp(palette[e][1] + 0.5, 0.0, 255.0));
        table[3 * e + 2] = uint8_t(std::clamp(palette[e][0] + 0.5, 0.0, 255.0));
    }
    for (int32_t s = 0; s < h; ++s) {
        const uint8_t* r = src.row(s);
        uint8_t* out = &indices[size_t(s) * size_t(w)];
        for (int32_t x = 0; x < w; ++x)
            out[x] = binEntry[PixelSource::bin(src.colour(r, x))];
    }
    return colours;
}

} // namespace

int reduceColours(const ImageRecord& image, ColourTable& table, std::span<uint8_t> indices)
{
    PixelSource src{image};
    table.fill(0);
    int n = exactPalette(src, table, indices);
    if (n >= 0)
        return n;
    return medianCut(src, table, indices);
}

} // namespace sorvane
