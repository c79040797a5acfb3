#pragma once
// The skin of one device window: the case images around the device picture and the
// hotspot table of its buttons. Each window has its own Skin, so loading or unloading
// a skin in one window leaves the buttons of another window's skin working.
//
// Loading reads the skin file of the program folder (SkinList.h) again, so edits to
// it take effect at the next Toggle Skin. Images are read through the image library
// in any format it reads; pictures below 16 bits per pixel become 16-bit (RGB 565)
// pictures, so a skin is always 16 or 24 bits per pixel.
//
// Thread: the window's (user-interface) thread; a Skin is a plain value it owns.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/ImageRecord.h"
#include "view/SkinList.h"

namespace sorvane {

// The message (caption "KWX", error icon) when a skin's "Image" is missing or unreadable.
inline constexpr std::string_view kSkinLoadError = "Error loading skin bitmaps";
inline constexpr std::string_view kSkinLoadErrorCaption = "KWX";

struct Skin {
    bool shown = false;   // loaded and shown
    ImageRecord image;    // the main display's case
    ImageRecord altImage; // the second display's case; empty when "AltImage" is none
    int xOffset = 0, yOffset = 0, altXOffset = 0, altYOffset = 0;
    std::vector<Hotspot> hotspots;
};

enum class SkinLoadResult {
    NoSkin,      // skinIndex 0: nothing to load, nothing to say
    Loaded,
    ImageFailed, // show kSkinLoadError; the window stays without a skin
};

// A skin image is at most kMaxSkinSide pixels a side (and its file at most
// kMaxSkinFileSize bytes), and the window that the shown skin times the scale makes at
// most kMaxSkinWindowSide: a small file may claim gigabytes of pixels.
inline constexpr int kMaxSkinSide = 4096;
inline constexpr int kMaxSkinWindowSide = 8192;
inline constexpr uint64_t kMaxSkinFileSize = uint64_t(128) << 20;

// Reads one skin image: a regular file, the image library's reader, raw rows (encoded
// images are converted), below 16 bits per pixel converted to 16. The size the header
// claims is checked before anything is decoded. kImageOk, or the library's result code
// with image cleared and "<path>: <why>" in *reason.
int LoadSkinImage(const std::filesystem::path& path, ImageRecord& image, std::string* reason = nullptr);

// Whether the skin's images (main and second display) times scale fit kMaxSkinWindowSide.
bool SkinFitsScale(const Skin& skin, int scale);
// Why a skin is refused at that scale.
std::string SkinScaleRefusal(int scale);

// Loads skin skinIndex (1-based; 0 = none) from the program folder's skin file into
// skin, replacing what it held. A missing "AltImage" file is no error (the second
// display is then shown without a case). A skin that would not fit the window at scale
// (SkinFitsScale) is refused. On ImageFailed the skin is left empty and *reason says why
// (shown under kSkinLoadError).
SkinLoadResult LoadSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin, int scale = 1,
                        std::string* reason = nullptr);

// Frees the images and empties the hotspot table.
void UnloadSkin(Skin& skin);

// Toggle Skin (40007): with no skin shown, loads skin skinIndex; with one shown,
// unloads it.
enum class SkinToggle {
    Shown,     // a skin is shown now: place the picture, fit the window
    Hidden,    // the skin went: fit the window
    Failed,    // show kSkinLoadError, then beep (nothing changed)
    Unchanged, // no skin configured: beep
};
SkinToggle ToggleSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin, int scale = 1,
                      std::string* reason = nullptr);

// The case shown around the display in use: the main image, or in flip state the
// "AltImage" (none when the skin has no such image, or no skin is shown).
struct SkinFace {
    const ImageRecord* image = nullptr;
    int xOffset = 0, yOffset = 0;
    explicit operator bool() const { return image != nullptr; }
};
SkinFace FaceInUse(const Skin& skin, bool secondDisplay);

// Writes the colours of pixels x0..x0+w-1, y0..y0+h-1 of the skin image turned by
// rotation (clockwise; unscaled) as 0xFFRRGGBB words into out, rows of outStride
// words. The region is clipped to the turned image; pixels outside are left alone.
void RenderSkinRegion(const ImageRecord& image, int rotation, int x0, int y0, int w, int h, uint32_t* out,
                      size_t outStride);

} // namespace sorvane
