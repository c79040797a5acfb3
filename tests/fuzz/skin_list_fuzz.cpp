// The skin file's text into the skin list: at most 32 names of at most 127
// characters, none empty.

#include <string_view>

#include "view/SkinList.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto names = ParseSkinList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (names.size() > kMaxSkins)
        __builtin_trap();
    for (const std::string& n : names)
        if (n.empty() || n.size() > kMaxSkinNameLength)
            __builtin_trap();
    return 0;
}
