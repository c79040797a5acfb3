#include "view/Skin.h"

#include <algorithm>
#include <optional>

#include "imaging/ImageLibrary.h"
#include "platform/ByteOrder.h"
#include "view/PictureRender.h"

namespace sorvane {

int LoadSkinImage(const std::filesystem::path& path, ImageRecord& image)
{
    image = ImageRecord{};
    ImageFile file;
    int rc = OpenImageFile(path, file);
    if (rc != kImageOk)
        return rc;
    rc = ReadImage(file, image);
    if (rc == kImageOk && (image.planeFlag != 1 || image.imageType != kImageRaw)) {
        ImageRecord converted;
        converted.imageType = kImageRaw;
        rc = ConvertImage(image, converted, 1);
        FreeImage(image);
        image = rc == kImageOk ? std::move(converted) : ImageRecord{};
    }
    CloseImageFile(file);
    if (rc == kImageOk && isValidRawImage(image) && image.bitsPerPixel < 16)
        rc = ImageOperation(image, 2, 16);
    if (rc == kImageOk && !isValidRawImage(image))
        rc = kImageUnsupported;
    if (rc != kImageOk)
        image = ImageRecord{};
    return rc;
}

namespace {

// Image values are relative to the program folder, whatever separator the file uses.
std::filesystem::path imagePath(const std::filesystem::path& programDir, std::string value)
{
    std::replace(value.begin(), value.end(), '\\', '/');
    return programDir / value;
}

} // namespace

SkinLoadResult LoadSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin)
{
    UnloadSkin(skin);
    if (skinIndex == 0)
        return SkinLoadResult::NoSkin;
    const std::filesystem::path file = FindSkinFile(programDir);
    std::optional<PrivateProfile> ini;
    if (!file.empty())
        ini = PrivateProfile::fromFile(file);
    if (!ini || skinIndex < 0)
        return SkinLoadResult::ImageFailed;
    const SkinDefinition d = ReadSkinDefinition(*ini, skinIndex - 1);
    if (d.image.empty() || LoadSkinImage(imagePath(programDir, d.image), skin.image) != kImageOk) {
        UnloadSkin(skin);
        return SkinLoadResult::ImageFailed;
    }
    if (!d.altImage.empty())
        LoadSkinImage(imagePath(programDir, d.altImage), skin.altImage); // cleared when it fails
    skin.xOffset = d.xOffset;
    skin.yOffset = d.yOffset;
    skin.altXOffset = d.altXOffset;
    skin.altYOffset = d.altYOffset;
    skin.hotspots = d.hotspots;
    skin.shown = true;
    return SkinLoadResult::Loaded;
}

void UnloadSkin(Skin& skin)
{
    skin = Skin{};
}

SkinToggle ToggleSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin)
{
    if (skin.shown) {
        UnloadSkin(skin);
        return SkinToggle::Hidden;
    }
    switch (LoadSkin(programDir, skinIndex, skin)) {
    case SkinLoadResult::Loaded: return SkinToggle::Shown;
    case SkinLoadResult::ImageFailed: return SkinToggle::Failed;
    case SkinLoadResult::NoSkin: break;
    }
    return SkinToggle::Unchanged;
}

SkinFace FaceInUse(const Skin& skin, bool secondDisplay)
{
    if (!skin.shown)
        return {};
    if (!secondDisplay)
        return {&skin.image, skin.xOffset, skin.yOffset};
    if (!isValidRawImage(skin.altImage))
        return {};
    return {&skin.altImage, skin.altXOffset, skin.altYOffset};
}

void RenderSkinRegion(const ImageRecord& image, int rotation, int x0, int y0, int w, int h, uint32_t* out,
                      size_t outStride)
{
    if (!isValidRawImage(image) || (image.bitsPerPixel != 16 && image.bitsPerPixel != 24) || w <= 0 || h <= 0)
        return;
    const DisplaySize turned = RotatedSize(image.width, image.height, rotation);
    const int left = std::max(x0, 0), top = std::max(y0, 0);
    const int right = int(std::min(int64_t(x0) + w, int64_t(turned.width)));
    const int bottom = int(std::min(int64_t(y0) + h, int64_t(turned.height)));
    if (left >= right || top >= bottom)
        return;
    RenderTarget target;
    const std::vector<uint8_t> pixels = RenderTurnedPart(image, rotation, left, top, right, bottom, target);
    if (pixels.empty())
        return;
    for (int y = 0; y < target.height; ++y) {
        const uint8_t* src = pixels.data() + size_t(y) * size_t(target.rowBytes);
        uint32_t* row = out + size_t(top - y0 + y) * outStride + (left - x0);
        for (int x = 0; x < target.width; ++x) {
            std::array<uint8_t, 3> bgr;
            if (image.bitsPerPixel == 16)
                bgr = bgrFrom565(loadLe16(src + 2 * x));
            else
                bgr = {src[3 * x], src[3 * x + 1], src[3 * x + 2]};
            row[x] = 0xFF000000u | (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
        }
    }
}

} // namespace sorvane
