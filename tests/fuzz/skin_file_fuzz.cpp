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
    bool bad = names.size() > kMaxSkins;
    for (const std::string& n : names)
        bad |= n.empty() || n.size() > kMaxSkinNameLength;
    Skin skin;
    skin.shown = true;
    skin.image = makeRawImage(40, 60, 16);
    skin.hotspots = ReadSkinDefinition(ini, 0).hotspots;
    bad |= skin.hotspots.size() > size_t(kMaxHotspots);
    for (const Hotspot& h : skin.hotspots)
        bad |= h.key == 0 || h.tip.size() > kMaxHotspotTipLength;
    for (int r : {0, 90, 180, 270})
        for (int i : HotspotsAt(skin, false, ViewGeometry{2, r, 0, 0, 5}, 17, 45))
            bad |= i < 0 || size_t(i) >= skin.hotspots.size();
    if (bad)
        std::abort();
    return 0;
}
