// Display facts as a device information block may claim them, into the frame-buffer
// builder: it either refuses them or builds buffers that hold what the receivers
// will write, within the per-connection memory bound.

#include <cstdint>
#include <cstring>

#include "link/DisplayBounds.h"
#include "platform/ByteOrder.h"
#include "screen/ViewBitmaps.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 24)
        return 0;
    const DisplayFacts f{.depth = int32_t(loadLe32(data)), .width = int32_t(loadLe32(data + 4)),
                         .height = int32_t(loadLe32(data + 8)), .altDepth = int32_t(loadLe32(data + 12)),
                         .altWidth = int32_t(loadLe32(data + 16)), .altHeight = int32_t(loadLe32(data + 20))};
    Palette palette{};
    ViewBitmaps b;
    const bool built = BuildViewBitmaps(b, f, palette);
    const uint64_t bytes = ConnectionBufferBytes(f.depth, f.width, f.height, f.altDepth, f.altWidth, f.altHeight);
    if (!built) {
        if (b.built() || b.dib.exists())
            __builtin_trap();
        return 0;
    }
    if (!DisplayBoundsProblem(f.depth, f.width, f.height, f.altDepth, f.altWidth, f.altHeight).empty() ||
        bytes > kMaxConnectionBufferBytes)
        __builtin_trap();
    const uint64_t total = b.dib.bits.size() + b.dib4.bits.size() + b.altDib.bits.size() + b.frame.size() +
                           b.delta.size() + b.altFrame.size() + b.rxBuffer.size();
    if (total != bytes || b.dib.bits.size() < b.dib.stride * size_t(f.height) ||
        b.frame.size() != b.frameSize)
        __builtin_trap();
    return 0;
}
