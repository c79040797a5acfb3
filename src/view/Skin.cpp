#include "view/Skin.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "imaging/FileMapping.h"
#include "imaging/ImageFile.h"
#include "imaging/ImageLibrary.h"
#include "platform/ByteOrder.h"
#include "view/PictureRender.h"

namespace sorvane {

namespace {

// The width and height a PNG, BMP or GIF header claims, before anything is decoded;
// nullopt for other types or a header too short to say.
std::optional<DisplaySize> claimedSize(std::span<const uint8_t> b, int fileType)
{
    auto be32 = [&](size_t at) { return int64_t(b[at]) << 24 | int64_t(b[at + 1]) << 16 | b[at + 2] << 8 | b[at + 3]; };
    if (fileType == kFilePng && b.size() >= 24)
        return DisplaySize{int(std::min<int64_t>(be32(16), INT32_MAX)), int(std::min<int64_t>(be32(20), INT32_MAX))};
    if (fileType == kFileGif && b.size() >= 10)
        return DisplaySize{loadLe16(&b[6]), loadLe16(&b[8])};
    if (fileType == kFileBmp && b.size() >= 26) {
        if (loadLe32(&b[14]) == 12)
            return DisplaySize{loadLe16(&b[18]), loadLe16(&b[20])};
        const int64_t h = int32_t(loadLe32(&b[22]));
        return DisplaySize{int(std::min<int64_t>(std::abs(int64_t(int32_t(loadLe32(&b[18])))), INT32_MAX)),
                           int(std::min<int64_t>(std::abs(h), INT32_MAX))};
    }
    return std::nullopt;
}

std::string tooLarge(int width, int height)
{
    return "is " + std::to_string(width) + " x " + std::to_string(height) + " pixels, larger than a skin may be (" +
           std::to_string(kMaxSkinSide) + " x " + std::to_string(kMaxSkinSide) + ")";
}

} // namespace

int LoadSkinImage(const std::filesystem::path& path, ImageRecord& image, std::string* reason)
{
    image = ImageRecord{};
    std::string why;
    auto refuse = [&](int rc, std::string text) {
        if (reason)
            *reason = path.string() + ": " + text;
        image = ImageRecord{};
        return rc;
    };
    const std::unique_ptr<MappedFile> file = MappedFile::open(path, kMaxSkinFileSize, &why);
    if (!file)
        return refuse(kImageCannotCreate, why);
    const int type = identifyImageFile(file->bytes());
    if (type == kFileUnknown)
        return refuse(kImageUnsupported, "is not a picture the program reads");
    // The size the header claims is checked before decoding: a small file may claim
    // gigabytes of pixels. The decoders hold to the pixel count besides.
    if (const auto claimed = claimedSize(file->bytes(), type);
        claimed && (claimed->width > kMaxSkinSide || claimed->height > kMaxSkinSide))
        return refuse(kImageUnsupported, tooLarge(claimed->width, claimed->height));
    // A JPEG is only parsed here (its size checked below before decoding); the readers
    // that decode at once are held to the pixels of the largest skin.
    int rc = readImageBytes(file->bytes(), type, image,
                            type == kFileJpeg ? kMaxImagePixels : int64_t(kMaxSkinSide) * kMaxSkinSide);
    if (rc != kImageOk)
        return refuse(rc, "cannot be read as a picture");
    // Encoded pictures (JPEG) are still undecoded here: their size is from the header.
    if (image.width > kMaxSkinSide || image.height > kMaxSkinSide)
        return refuse(kImageUnsupported, tooLarge(image.width, image.height));
    if (image.planeFlag != 1 || image.imageType != kImageRaw) {
        ImageRecord converted;
        converted.imageType = kImageRaw;
        rc = ConvertImage(image, converted, 1);
        FreeImage(image);
        image = rc == kImageOk ? std::move(converted) : ImageRecord{};
    }
    if (rc == kImageOk && isValidRawImage(image) && image.bitsPerPixel < 16)
        rc = ImageOperation(image, 2, 16);
    if (rc == kImageOk && !isValidRawImage(image))
        rc = kImageUnsupported;
    if (rc != kImageOk)
        return refuse(rc, "cannot be read as a picture");
    return rc;
}

bool SkinFitsScale(const Skin& skin, int scale)
{
    for (const ImageRecord* image : {&skin.image, &skin.altImage})
        if (int64_t(std::max(image->width, image->height)) * std::max(scale, 1) > kMaxSkinWindowSide)
            return false;
    return true;
}

std::string SkinScaleRefusal(int scale)
{
    return "a skin shown at " + std::to_string(scale) + "X makes a window wider or taller than " +
           std::to_string(kMaxSkinWindowSide) + " pixels";
}

namespace {

// Image values are relative to the program folder, whatever separator the file uses.
std::filesystem::path imagePath(const std::filesystem::path& programDir, std::string value)
{
    std::replace(value.begin(), value.end(), '\\', '/');
    return programDir / value;
}

} // namespace

SkinLoadResult LoadSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin, int scale,
                        std::string* reason)
{
    UnloadSkin(skin);
    if (skinIndex == 0)
        return SkinLoadResult::NoSkin;
    auto failed = [&](std::string why) {
        if (reason && !why.empty())
            *reason = std::move(why);
        UnloadSkin(skin);
        return SkinLoadResult::ImageFailed;
    };
    const std::filesystem::path file = FindSkinFile(programDir);
    std::optional<PrivateProfile> ini;
    if (!file.empty())
        ini = PrivateProfile::fromFile(file);
    if (!ini || skinIndex < 0)
        return failed(file.empty() ? "" : file.string() + ": cannot be read as a skin file");
    const SkinDefinition d = ReadSkinDefinition(*ini, skinIndex - 1);
    if (d.image.empty())
        return failed("the skin has no \"Image\"");
    std::string why;
    if (LoadSkinImage(imagePath(programDir, d.image), skin.image, &why) != kImageOk)
        return failed(why);
    if (!d.altImage.empty())
        LoadSkinImage(imagePath(programDir, d.altImage), skin.altImage); // cleared when it fails
    if (!SkinFitsScale(skin, scale))
        return failed(SkinScaleRefusal(scale));
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

SkinToggle ToggleSkin(const std::filesystem::path& programDir, int skinIndex, Skin& skin, int scale,
                      std::string* reason)
{
    if (skin.shown) {
        UnloadSkin(skin);
        return SkinToggle::Hidden;
    }
    switch (LoadSkin(programDir, skinIndex, skin, scale, reason)) {
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
