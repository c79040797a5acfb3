#include "screen/ScreenMatch.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "screen/ShownPicture.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define SORVANE_MATCH_SIMD 1
#endif

namespace sorvane {
namespace {

inline bool PixelMatches(const uint8_t* a, const uint8_t* b)
{
    return std::abs(int(a[0]) - int(b[0])) <= kChannelTolerance && std::abs(int(a[1]) - int(b[1])) <= kChannelTolerance &&
           std::abs(int(a[2]) - int(b[2])) <= kChannelTolerance;
}

bool Inside(const RgbPicture& screen, int x, int y, int w, int h)
{
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x <= screen.width - w && y <= screen.height - h;
}

// Whether the picture holds the bytes its size says.
bool Whole(const RgbPicture& p) { return !p.empty() && p.rgb.size() == size_t(p.width) * size_t(p.height) * 3; }

// Matching pixels among the n pixels of two rows. 16 pixels (48 bytes) at a time: each
// channel's match becomes one bit of a 48-bit mask, and a pixel matches where all
// three of its bits are set (bits 3k, 3k+1, 3k+2).
int64_t MatchingInRow(const uint8_t* a, const uint8_t* b, int n)
{
    int64_t matching = 0;
    int x = 0;
#ifdef SORVANE_MATCH_SIMD
    const __m128i tolerance = _mm_set1_epi8(char(kChannelTolerance));
    const __m128i zero = _mm_setzero_si128();
    auto channelsOk = [&](const uint8_t* p, const uint8_t* q) {
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i diff = _mm_or_si128(_mm_subs_epu8(u, v), _mm_subs_epu8(v, u));
        return uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(diff, tolerance), zero))));
    };
    for (; x + 16 <= n; x += 16, a += 48, b += 48) {
        const uint64_t ok = channelsOk(a, b) | channelsOk(a + 16, b + 16) << 16 | channelsOk(a + 32, b + 32) << 32;
        matching += std::popcount(ok & (ok >> 1) & (ok >> 2) & 0x249249249249ull);
    }
#endif
    for (; x < n; ++x, a += 3, b += 3)
        matching += PixelMatches(a, b);
    return matching;
}

// ---- the search ----
//
// The screen is packed into 32-bit pixels (red, green, blue, 0) in rows of `stride`
// pixels, the columns right of the screen zero. The needle's pixels are tried in an
// order that rejects a place early: those whose colour is rarest on the screen first.
// A place is rejected once more of its pixels differ than the best place so far (or the
// percent) allows; which pixels are counted first changes no count that decides.

inline uint32_t Packed(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

inline bool PackedMatches(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > kChannelTolerance)
            return false;
    return true;
}

inline int Bucket(uint32_t c) { return int((c >> 4 & 0xF) | (c >> 8 & 0xF0) | (c >> 12 & 0xF00)); }

constexpr int kLanes = 8; // most places tried at once; also the columns of padding

struct Search {
    int width = 0, height = 0;      // of the needle
    int placesX = 0, placesY = 0;   // places per row, rows of places
    size_t stride = 0;              // pixels per packed screen row
    std::unique_ptr<uint32_t[]> screen;
    std::vector<int32_t> offsets;   // needle pixels in trying order: dy * stride + dx
    std::vector<uint32_t> colours;  // their colours, packed
    int64_t total = 0;
    int64_t allowed = 0;            // most misses a place may have to be taken
    FoundImage best;
    bool done = false;              // a place with no miss was found

    // A place whose misses are counted exactly, in the order of the plain scan.
    void consider(int x, int y, int64_t misses)
    {
        if (misses > allowed)
            return;
        best.found = true;
        best.x = x;
        best.y = y;
        best.match = {total - misses, total};
        done = misses == 0;
        allowed = misses - 1; // a later place must be better: ties go to the first
    }
};

void Prepare(Search& s, const RgbPicture& screen, const RgbPicture& needle)
{
    s.width = needle.width;
    s.height = needle.height;
    s.placesX = screen.width - needle.width + 1;
    s.placesY = screen.height - needle.height + 1;
    s.stride = size_t(screen.width) + kLanes;
    s.total = int64_t(needle.width) * needle.height;
    s.screen.reset(new uint32_t[s.stride * size_t(screen.height)]);
    std::vector<uint32_t> frequency(4096, 0);
    for (int y = 0; y < screen.height; ++y) {
        const uint8_t* in = screen.row(y);
        uint32_t* out = s.screen.get() + size_t(y) * s.stride;
        int x = 0;
        for (; x + 1 < screen.width; ++x, in += 3) { // four bytes read, the fourth masked off
            uint32_t v;
            std::memcpy(&v, in, 4);
            out[x] = v & 0xFFFFFF;
        }
        out[x] = Packed(in);
        std::fill(out + screen.width, out + s.stride, 0u);
        if (y % 4 == 0)
            for (x = 0; x < screen.width; x += 4)
                ++frequency[size_t(Bucket(out[x]))];
    }
    struct Item {
        uint32_t frequency;
        int32_t offset;
        uint32_t colour;
    };
    std::vector<Item> items;
    items.reserve(size_t(s.total));
    for (int y = 0; y < needle.height; ++y)
        for (int x = 0; x < needle.width; ++x) {
            const uint32_t c = Packed(needle.row(y) + size_t(x) * 3);
            items.push_back({frequency[size_t(Bucket(c))], int32_t(size_t(y) * s.stride + size_t(x)), c});
        }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.frequency < b.frequency; });
    for (const Item& i : items) {
        s.offsets.push_back(i.offset);
        s.colours.push_back(i.colour);
    }
}

void ScanPlain(Search& s)
{
    const size_t n = s.offsets.size();
    for (int y = 0; y < s.placesY && !s.done; ++y)
        for (int x = 0; x < s.placesX && !s.done; ++x) {
            const uint32_t* at = s.screen.get() + size_t(y) * s.stride + size_t(x);
            int64_t misses = 0;
            for (size_t i = 0; i < n && misses <= s.allowed; ++i)
                misses += !PackedMatches(at[s.offsets[i]], s.colours[i]);
            s.consider(x, y, misses);
        }
}

#ifdef SORVANE_MATCH_SIMD
// Four places of a row at once with 128-bit registers (every x86-64 processor has
// them): lane k counts the matches of the place x0 + k, as minus one per matching
// pixel, one needle pixel after the other; the places are given up together when every
// lane has more misses than allowed.
void ScanSse2(Search& s)
{
    constexpr int lanes = 4;
    const size_t n = s.offsets.size();
    const __m128i tolerance = _mm_set1_epi8(char(kChannelTolerance));
    const __m128i zero = _mm_setzero_si128();
    const __m128i laneIndex = _mm_setr_epi32(0, 1, 2, 3);
    const int32_t* offsets = s.offsets.data();
    const uint32_t* colours = s.colours.data();
    for (int y = 0; y < s.placesY && !s.done; ++y)
        for (int x0 = 0; x0 < s.placesX && !s.done; x0 += lanes) {
            const uint32_t* at = s.screen.get() + size_t(y) * s.stride + size_t(x0);
            // Lanes past the last place start with a count no place can reach.
            const __m128i beyond = _mm_cmpgt_epi32(laneIndex, _mm_set1_epi32(s.placesX - 1 - x0));
            __m128i negMatches = _mm_and_si128(beyond, _mm_set1_epi32(1 << 30));
            size_t i = 0;
            bool rejected = false;
            while (i < n) {
                const size_t end = std::min(n, i + 4);
                for (; i < end; ++i) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + offsets[i]));
                    const __m128i c = _mm_set1_epi32(int(colours[i]));
                    const __m128i diff = _mm_or_si128(_mm_subs_epu8(v, c), _mm_subs_epu8(c, v));
                    negMatches = _mm_add_epi32(negMatches, _mm_cmpeq_epi32(_mm_subs_epu8(diff, tolerance), zero));
                }
                // misses = i - matches > allowed, i.e. negMatches > allowed - i, in every lane
                const __m128i limit = _mm_set1_epi32(int(std::clamp<int64_t>(s.allowed - int64_t(i), -(1 << 29), 1 << 29)));
                if (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(negMatches, limit))) == 0xF) {
                    rejected = true;
                    break;
                }
            }
            if (rejected)
                continue;
            alignas(16) int32_t counts[lanes];
            _mm_store_si128(reinterpret_cast<__m128i*>(counts), negMatches);
            for (int k = 0; k < lanes && x0 + k < s.placesX && !s.done; ++k)
                s.consider(x0 + k, y, int64_t(n) + counts[k]);
        }
}

#define SORVANE_AVX2 __attribute__((target("avx2")))

bool Avx2Available() { return __builtin_cpu_supports("avx2"); }

// The same for eight places at once with 256-bit registers.
SORVANE_AVX2 void ScanAvx2(Search& s)
{
    const size_t n = s.offsets.size();
    const __m256i tolerance = _mm256_set1_epi8(char(kChannelTolerance));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const int32_t* offsets = s.offsets.data();
    const uint32_t* colours = s.colours.data();
    for (int y = 0; y < s.placesY && !s.done; ++y)
        for (int x0 = 0; x0 < s.placesX && !s.done; x0 += kLanes) {
            const uint32_t* at = s.screen.get() + size_t(y) * s.stride + size_t(x0);
            // Lanes past the last place start with a count no place can reach.
            const __m256i beyond = _mm256_cmpgt_epi32(laneIndex, _mm256_set1_epi32(s.placesX - 1 - x0));
            __m256i negMatches = _mm256_and_si256(beyond, _mm256_set1_epi32(1 << 30));
            size_t i = 0;
            bool rejected = false;
            while (i < n) {
                const size_t end = std::min(n, i + 4);
                for (; i < end; ++i) {
                    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + offsets[i]));
                    const __m256i c = _mm256_set1_epi32(int(colours[i]));
                    const __m256i diff = _mm256_or_si256(_mm256_subs_epu8(v, c), _mm256_subs_epu8(c, v));
                    const __m256i over = _mm256_subs_epu8(diff, tolerance);
                    negMatches = _mm256_add_epi32(negMatches, _mm256_cmpeq_epi32(over, zero));
                }
                // misses = i - matches > allowed, i.e. negMatches > allowed - i, in every lane
                const __m256i limit = _mm256_set1_epi32(int(std::clamp<int64_t>(s.allowed - int64_t(i), -(1 << 29), 1 << 29)));
                if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(negMatches, limit))) == 0xFF) {
                    rejected = true;
                    break;
                }
            }
            if (rejected)
                continue;
            alignas(32) int32_t counts[kLanes];
            _mm256_store_si256(reinterpret_cast<__m256i*>(counts), negMatches);
            for (int k = 0; k < kLanes && x0 + k < s.placesX && !s.done; ++k)
                s.consider(x0 + k, y, int64_t(n) + counts[k]);
        }
}
#endif

} // namespace

bool ShownRgb(const ScreenState& screen, RgbPicture& out)
{
    std::lock_guard lock(screen.pictureMutex);
    const Picture* p = ShownPicture(screen);
    if (!p)
        return false;
    out.width = p->width;
    out.height = p->height;
    out.rgb = PictureToRgb(*p);
    return true;
}

RgbPicture CropRgb(const RgbPicture& picture, int x, int y, int w, int h)
{
    RgbPicture out;
    if (!Inside(picture, x, y, w, h))
        return out;
    out.width = w;
    out.height = h;
    out.rgb.resize(size_t(w) * size_t(h) * 3);
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = picture.row(y + r) + size_t(x) * 3;
        std::copy(s, s + size_t(w) * 3, out.rgb.data() + size_t(r) * size_t(w) * 3);
    }
    return out;
}

RegionMatch CompareRegion(const RgbPicture& screen, int x, int y, const RgbPicture& reference)
{
    RegionMatch m;
    if (!Whole(screen) || !Whole(reference) || !Inside(screen, x, y, reference.width, reference.height))
        return m;
    m.total = int64_t(reference.width) * reference.height;
    for (int r = 0; r < reference.height; ++r)
        m.matching += MatchingInRow(screen.row(y + r) + size_t(x) * 3, reference.row(r), reference.width);
    return m;
}

int FoundImage::centreX() const { return x + width / 2; }
int FoundImage::centreY() const { return y + height / 2; }

bool matchKernelsAvailable(MatchKernels kernels)
{
#ifdef SORVANE_MATCH_SIMD
    if (kernels == MatchKernels::Avx2)
        return Avx2Available();
    if (kernels == MatchKernels::Sse2)
        return true;
#endif
    return kernels == MatchKernels::Portable;
}

FoundImage FindImageWith(MatchKernels kernels, const RgbPicture& screen, const RgbPicture& needle, int percent)
{
    FoundImage none;
    none.width = needle.width;
    none.height = needle.height;
    if (!matchKernelsAvailable(kernels) || !Whole(screen) || !Whole(needle) || needle.width > screen.width ||
        needle.height > screen.height)
        return none;
    Search s;
    s.total = int64_t(needle.width) * needle.height;
    // Misses allowed at `percent`; a better place must miss fewer than the best so far.
    s.allowed = s.total - (int64_t(percent) * s.total + 99) / 100;
    if (s.allowed < 0)
        return none;
    Prepare(s, screen, needle);
#ifdef SORVANE_MATCH_SIMD
    if (kernels == MatchKernels::Avx2)
        ScanAvx2(s);
    else if (kernels == MatchKernels::Sse2)
        ScanSse2(s);
    else
#endif
        ScanPlain(s);
    s.best.width = needle.width;
    s.best.height = needle.height;
    return s.best;
}

FoundImage FindImage(const RgbPicture& screen, const RgbPicture& needle, int percent)
{
    MatchKernels widest = MatchKernels::Portable;
    for (MatchKernels k : {MatchKernels::Sse2, MatchKernels::Avx2})
        if (matchKernelsAvailable(k))
            widest = k;
    return FindImageWith(widest, screen, needle, percent);
}

RgbPicture DifferencePicture(const RgbPicture& actual, const RgbPicture& expected)
{
    RgbPicture out;
    out.width = actual.width;
    out.height = actual.height;
    out.rgb.resize(actual.rgb.size());
    const bool comparable = expected.width == actual.width && expected.height == actual.height;
    for (size_t i = 0; i + 2 < actual.rgb.size(); i += 3) {
        const uint8_t* a = actual.rgb.data() + i;
        uint8_t* o = out.rgb.data() + i;
        if (!comparable || !PixelMatches(a, expected.rgb.data() + i)) {
            o[0] = 255;
            o[1] = 0;
            o[2] = 0;
        } else {
            const int brightness = (a[0] * 299 + a[1] * 587 + a[2] * 114) / 1000;
            o[0] = o[1] = o[2] = uint8_t(128 + brightness / 2);
        }
    }
    return out;
}

} // namespace sorvane
