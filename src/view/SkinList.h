#pragma once
// The skin file: "SKINS.INI" in the program folder (a private profile file, see
// PrivateProfile.h). Older installations call it "K_PPC.INI"; that name is read when
// "SKINS.INI" is absent.
//
//   [SKINS]       skin0, skin1, ...   display names; the list ends at the first missing
//                                     or empty name, holds at most 32 names of at most
//                                     127 characters
//   [skin<k>]     Image, AltImage     image files relative to the program folder (the
//                                     second one is shown with the device's second display)
//                 XOffset, YOffset    where the device picture's top-left corner sits in
//                 AltXOffset, AltYOffset  Image (AltImage), in image pixels; default 0
//   [hotspots<k>] X<i>, Y<i>, CX<i>, CY<i>, TIP<i>, KEY<i>   for i = 0..31: a button's
//                                     rectangle in the unturned Image, its tooltip (at most
//                                     127 characters) and the virtual key it sends
//
// The "Skin" lists of the profile and settings dialogs show "None" followed by the
// names; the index in such a list is the stored skinIndex (0 = no skin, k = the
// skin of section "skin<k-1>").
//
// Thread: any; the loaders block on the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "view/PrivateProfile.h"

namespace sorvane {

inline constexpr std::string_view kSkinFileName = "SKINS.INI";
inline constexpr std::string_view kLegacySkinFileName = "K_PPC.INI";
inline constexpr size_t kMaxSkins = 32;
inline constexpr size_t kMaxSkinNameLength = 127;
inline constexpr int kMaxHotspots = 32;
inline constexpr size_t kMaxHotspotTipLength = 127;
// Offsets beyond this are not positions in any image the library reads; they are
// clamped so that placement arithmetic stays far from overflow.
inline constexpr int kMaxSkinOffset = 1 << 20;

// A clickable button of a skin, in the unturned main skin image.
struct Hotspot {
    int x = 0, y = 0, cx = 0, cy = 0;
    uint8_t key = 0; // virtual key sent on a click; never 0
    std::string tip; // may be empty (no tooltip)
    bool operator==(const Hotspot&) const = default;
};

// Sections "skin<k>" and "hotspots<k>".
struct SkinDefinition {
    std::string image;    // as written in the file ("" = none)
    std::string altImage;
    int xOffset = 0, yOffset = 0, altXOffset = 0, altYOffset = 0;
    std::vector<Hotspot> hotspots; // those of 0..31 with a key of 1..255, in the order read
};

// The skin file of a program folder: "SKINS.INI", else "K_PPC.INI" when only that
// exists; empty when there is neither.
std::filesystem::path FindSkinFile(const std::filesystem::path& programDir);

std::vector<std::string> SkinNames(const PrivateProfile& ini);

// The names from the program folder's skin file; none when there is no readable
// file (one larger than 4 MiB is not read).
std::vector<std::string> LoadSkinList(const std::filesystem::path& programDir);

// Skin k (0-based: skinIndex - 1) as the file describes it. Keys that are absent
// take their defaults. A KEY<i> outside 1..255 drops its hotspot: 0 means "no
// hotspot", and a larger value would reach the device as a different key.
SkinDefinition ReadSkinDefinition(const PrivateProfile& ini, int k);

} // namespace sorvane
