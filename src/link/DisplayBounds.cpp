#include "link/DisplayBounds.h"

#include <algorithm>

namespace sorvane {
namespace {

uint64_t side(int v) { return v > 0 ? uint64_t(v) : 0; }

// 2-bit data is kept at 4 bits; anything else at its own depth (0 for nonsense).
uint64_t dataDepth(int depth) { return depth == 2 ? 4 : depth > 0 && depth <= 32 ? uint64_t(depth) : 32; }

uint64_t pictureBytes(uint64_t width, uint64_t height, uint64_t bits) { return (width * bits + 31) / 32 * 4 * height; }

std::string sizeText(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

} // namespace

uint64_t ConnectionBufferBytes(int depth, int width, int height, int altDepth, int altWidth, int altHeight)
{
    // Sides of 32-bit values keep every product below 2^31 * 2^31 * 32 / 8 < 2^64.
    const uint64_t w = side(width), h = side(height), d = dataDepth(depth);
    const bool hasAlt = altDepth != 0;
    const uint64_t aw = hasAlt ? side(altWidth) : 0, ah = hasAlt ? side(altHeight) : 0;
    const uint64_t ad = hasAlt ? dataDepth(altDepth) : 0;
    const uint64_t frame = w * h * d / 8;
    const uint64_t largest = std::max(frame, aw * ah * ad / 8);
    uint64_t total = pictureBytes(w, h, d) + pictureBytes(w, h, 4);
    if (hasAlt)
        total += pictureBytes(aw, ah, ad);
    return total + frame + largest /* delta */ + largest /* second frame */ + 2 * largest + 64 /* receive */;
}

std::string DisplayBoundsProblem(int depth, int width, int height, int altDepth, int altWidth, int altHeight)
{
    const std::string limit = sizeText(kMaxDisplaySide, kMaxDisplaySide);
    if (width > kMaxDisplaySide || height > kMaxDisplaySide)
        return "its display of " + sizeText(width, height) + " is larger than " + limit;
    if (altDepth != 0 && (altWidth > kMaxDisplaySide || altHeight > kMaxDisplaySide))
        return "its second display of " + sizeText(altWidth, altHeight) + " is larger than " + limit;
    const uint64_t bytes = ConnectionBufferBytes(depth, width, height, altDepth, altWidth, altHeight);
    if (bytes > kMaxConnectionBufferBytes)
        return "its displays would need " + std::to_string((bytes + (1 << 20) - 1) >> 20) +
               " MB of screen buffers, more than " + std::to_string(kMaxConnectionBufferBytes >> 20) + " MB";
    return "";
}

} // namespace sorvane
