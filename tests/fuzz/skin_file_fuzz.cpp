// The skin file reader over arbitrary bytes: whatever the text, the lists keep their
// limits and the hit test over what was read stays in bounds.
#include <cstdlib>
#include <string_view>

#include "view/SkinGeometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace sorvane;
    const PrivateProfile ini(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<std::string> names = SkinNames(ini);
    if (names.size() > kMaxSkins)
        std::abort();
    for (const std::string& n : names)
        if (n.empty() || n.size() > kMaxSkinNameLength)
            std::abort();
    for (int k = 0; k < 2; ++k) {
        Skin skin;
        skin.shown = true;
        skin.image = makeRawImage(40, 60, 16);
        skin.hotspots = ReadSkinDefinition(ini, k).hotspots;
        if (skin.hotspots.size() > size_t(kMaxHotspots))
            std::abort();
        for (const Hotspot& h : skin.hotspots)
            if (h.key == 0 || h.tip.size() > kMaxHotspotTipLength)
                std::abort();
        for (int r : {0, 90, 180, 270})
            for (int i : HotspotsAt(skin, false, ViewGeometry{2, r, 0, 0, 5}, 17, 45))
                if (i < 0 || size_t(i) >= skin.hotspots.size())
                    std::abort();
    }
    return 0;
}
