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
    std::vector<uint16_t> bins; // the non-empty histogram bins inside the box
    int lo[3], hi[3];           // their bounds: red 0..31, green 0..63, blue 0..31
    double error = 0;
    uint64_t count = 0;
};

inline int coordinate(int bin, int axis)
{
    return axis == 0 ? bin >> 11 : axis == 1 ? (bin >> 5) & 63 : bin & 31;
}

// Measures the box's bounds and weighted squared error from its bins.
void measure(Box& box, const std::vector<Bin>& bins)
{
    double n = 0, s[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
        box.lo[k] = 255, box.hi[k] = -1;
    for (uint16_t i : box.bins) {
        const Bin& bin = bins[i];
        for (int k = 0; k < 3; ++k) {
            int c = coordinate(i, k);
            box.lo[k] = std::min(box.lo[k], c);
            box.hi[k] = std::max(box.hi[k], c);
            double mean = double(bin.sum[k]) / bin.count;
            s[k] += double(bin.sum[k]);
            q[k] += mean * mean * bin.count;
        }
        n += bin.count;
    }
    box.count = uint64_t(n);
    box.error = 0;
    if (box.bins.size() < 2)
        return; // one bin: nothing left to split
    for (int k = 0; k < 3; ++k)
        box.error += kWeight[k] * (q[k] - s[k] * s[k] / n);
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
    uint64_t slice[64] = {};
    for (uint16_t i : box.bins)
        slice[coordinate(i, axis) - box.lo[axis]] += bins[i].count;
    uint64_t half = box.count / 2, run = 0;
    int cut = box.lo[axis];
    for (int c = box.lo[axis]; c < box.hi[axis]; ++c) {
        run += slice[c - box.lo[axis]];
        cut = c;
        if (run >= half)
            break;
    }
    other.bins.clear();
    auto keep = std::partition(box.bins.begin(), box.bins.end(),
                               [&](uint16_t i) { return coordinate(i, axis) <= cut; });
    other.bins.assign(keep, box.bins.end());
    box.bins.erase(keep, box.bins.end());
    measure(box, bins);
    measure(other, bins);
    return true;
}

// The entry nearest to c, trying `guess` first so that most others are ruled out
// after one or two channels.
int nearest(const double (*palette)[3], int colours, const double c[3], int guess)
{
    auto distance = [&](int i, double limit) {
        double d = 0;
        for (int k = 0; k < 3 && d < limit; ++k) {
            double e = palette[i][k] - c[k];
            d += kWeight[k] * e * e;
        }
        return d;
    };
    int best = guess;
    double bestD = distance(guess, 1e300);
    for (int i = 0; i < colours && bestD > 0; ++i) {
        double d = distance(i, bestD);
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
    boxes.emplace_back();
    for (int i = 0; i < 65536; ++i)
        if (bins[size_t(i)].count)
            boxes[0].bins.push_back(uint16_t(i));
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
        boxes.push_back(std::move(other));
    }

    // Entries: the mean colour of each box, each bin mapped to its box; then, unless the
    // picture has so many colours that it would take long, a few rounds of moving each
    // used bin to its nearest entry and recomputing the means.
    const int colours = int(boxes.size());
    double palette[256][3];
    std::vector<int> used;
    std::vector<uint8_t> binEntry(65536, 0);
    for (int i = 0; i < colours; ++i) {
        double n = 0, s[3] = {0, 0, 0};
        for (uint16_t b : boxes[size_t(i)].bins) {
            const Bin& bin = bins[b];
            binEntry[b] = uint8_t(i);
            used.push_back(b);
            n += bin.count;
            for (int k = 0; k < 3; ++k)
                s[k] += double(bin.sum[k]);
        }
        for (int k = 0; k < 3; ++k)
            palette[i][k] = n ? s[k] / n : 0;
    }
    const bool refine = used.size() * size_t(colours) <= (size_t(1) << 22);
    for (int round = 0; refine && round < 3; ++round) {
        double sums[256][4] = {};
        for (int i : used) {
            const Bin& bin = bins[size_t(i)];
            double c[3] = {double(bin.sum[0]) / bin.count, double(bin.sum[1]) / bin.count,
                           double(bin.sum[2]) / bin.count};
            int e = nearest(palette, colours, c, binEntry[size_t(i)]);
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
