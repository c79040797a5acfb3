#include "view/SkinList.h"

#include <algorithm>
#include <system_error>

namespace sorvane {

std::filesystem::path FindSkinFile(const std::filesystem::path& programDir)
{
    for (std::string_view name : {kSkinFileName, kLegacySkinFileName}) {
        std::error_code ec;
        const std::filesystem::path file = programDir / name;
        if (std::filesystem::is_regular_file(file, ec))
            return file;
    }
    return {};
}

std::vector<std::string> SkinNames(const PrivateProfile& ini)
{
    std::vector<std::string> names;
    for (size_t k = 0; k < kMaxSkins; ++k) {
        std::string name = ini.text("SKINS", "skin" + std::to_string(k), {}, kMaxSkinNameLength);
        if (name.empty())
            break;
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> LoadSkinList(const std::filesystem::path& programDir)
{
    const std::filesystem::path file = FindSkinFile(programDir);
    if (file.empty())
        return {};
    std::optional<PrivateProfile> ini = PrivateProfile::fromFile(file);
    return ini ? SkinNames(*ini) : std::vector<std::string>{};
}

SkinDefinition ReadSkinDefinition(const PrivateProfile& ini, int k)
{
    auto offset = [](int v) { return std::clamp(v, -kMaxSkinOffset, kMaxSkinOffset); };
    SkinDefinition d;
    const std::string skin = "skin" + std::to_string(k);
    d.image = ini.text(skin, "Image", {}, 4095);
    d.altImage = ini.text(skin, "AltImage", {}, 4095);
    d.xOffset = offset(ini.integer(skin, "XOffset"));
    d.yOffset = offset(ini.integer(skin, "YOffset"));
    d.altXOffset = offset(ini.integer(skin, "AltXOffset"));
    d.altYOffset = offset(ini.integer(skin, "AltYOffset"));

    const std::string hot = "hotspots" + std::to_string(k);
    for (int i = 0; i < kMaxHotspots; ++i) {
        const std::string n = std::to_string(i);
        const int key = ini.integer(hot, "KEY" + n);
        if (key < 1 || key > 255)
            continue;
        Hotspot h;
        h.x = ini.integer(hot, "X" + n);
        h.y = ini.integer(hot, "Y" + n);
        h.cx = ini.integer(hot, "CX" + n);
        h.cy = ini.integer(hot, "CY" + n);
        h.tip = ini.text(hot, "TIP" + n, {}, kMaxHotspotTipLength);
        h.key = uint8_t(key);
        d.hotspots.push_back(std::move(h));
    }
    return d;
}

} // namespace sorvane
