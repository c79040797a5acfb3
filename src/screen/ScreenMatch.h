#pragma once
// Comparing the device's picture with stored pictures: a region against a picture of
// the same size, a picture searched for anywhere on the screen, and the picture of
// what differs. Everything is in the device's pixels of the display in use, as rows of
// red, green, blue bytes (the 5- and 6-bit values of a 16-bit screen widened as
// PictureToRgb widens them).
//
// A pixel matches when each of its three channels differs by at most
// kChannelTolerance, so the steps of a 16-bit screen's colours never fail a match.
//
// Thread: pure functions, except ShownRgb, which takes the picture mutex.

#include <cstdint>
#include <vector>

#include "screen/ScreenState.h"

namespace sorvane {

inline constexpr int kChannelTolerance = 8;

struct RgbPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // height rows of width x 3 bytes, top row first, no padding

    bool empty() const { return width <= 0 || height <= 0; }
    const uint8_t* row(int y) const { return rgb.data() + size_t(y) * size_t(width) * 3; }
};

// The picture of the display in use (ShownPicture) as RGB; false when there is none.
// Takes screen.pictureMutex while it copies.
bool ShownRgb(const ScreenState& screen, RgbPicture& out);

// The part of `picture` at x, y of size w x h; empty when it does not lie wholly inside.
RgbPicture CropRgb(const RgbPicture& picture, int x, int y, int w, int h);

struct RegionMatch {
    int64_t matching = 0; // pixels that match
    int64_t total = 0;    // pixels compared (the reference's size)
    // matching / total in percent (0 when nothing was compared).
    double percent() const { return total > 0 ? 100.0 * double(matching) / double(total) : 0.0; }
    // Whether at least `percent` percent of the pixels match (exact: no rounding).
    bool reaches(int percent) const { return total > 0 && matching * 100 >= int64_t(percent) * total; }
};

// The reference laid on the screen at x, y. A reference that does not lie wholly
// inside the screen compares nothing (total 0).
RegionMatch CompareRegion(const RgbPicture& screen, int x, int y, const RgbPicture& reference);

struct FoundImage {
    bool found = false;
    int x = 0, y = 0;     // top-left corner of the best match on the screen
    RegionMatch match;    // at that place
    int centreX() const;  // x + width / 2 of the needle the search was for
    int centreY() const;
    int width = 0, height = 0;
};

// The place where `needle` matches the screen best, among the places where at least
// `percent` percent of its pixels match; not found when there is none (or the needle
// is empty or larger than the screen). Ties go to the topmost, then leftmost place.
FoundImage FindImage(const RgbPicture& screen, const RgbPicture& needle, int percent);

// The search's inner loop comes portable and for 128- and 256-bit vectors (four and eight
// places at once), with the same result; FindImage takes the widest the processor has.
enum class MatchKernels { Portable, Sse2, Avx2 };
bool matchKernelsAvailable(MatchKernels kernels);
// FindImage with the given inner loop; not found when the processor lacks it.
FoundImage FindImageWith(MatchKernels kernels, const RgbPicture& screen, const RgbPicture& needle, int percent);

// The picture of a failed comparison, the size of `actual`: every pixel that does not
// match `expected` is pure red (255, 0, 0); every other pixel is a light grey made
// from the actual pixel's brightness (each channel 128 + brightness / 2, so never red),
// so the changes stand out where they are. Both pictures have the same size.
RgbPicture DifferencePicture(const RgbPicture& actual, const RgbPicture& expected);

} // namespace sorvane
