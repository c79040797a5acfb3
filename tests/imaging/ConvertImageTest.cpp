// ConvertImage and ImageOperation (FreeImage: the read records of ReadImageTest).

#include "OracleSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sorvane;
using namespace sorvane::test;

namespace {

ImageRecord converted(const ImageRecord& src, uint8_t type, int options = 0, int* rc = nullptr)
{
    ImageRecord t;
    t.imageType = type;
    int r = ConvertImage(src, t, options);
    if (rc)
        *rc = r;
    else
        EXPECT_EQ(r, kImageOk);
    return t;
}

} // namespace

// The LZW round trip itself is proven by the writer tests, through Pillow and our reader.
TEST(ConvertImage, SameEncodingIsAPrivateCopyAndCutStreamsDecode)
{
    ImageRecord gif = converted(testPicture(150, 120, 4), kImageGifLzw);
    EXPECT_EQ(gif.bitsPerPixel, 4);
    ImageRecord again = converted(gif, kImageGifLzw);
    EXPECT_TRUE(std::equal(again.payload().begin(), again.payload().end(), gif.payload().begin(), gif.payload().end()));
    EXPECT_NE(again.payload().data(), gif.payload().data());
    // A cut stream still gives the whole picture (the rest index 0); damaged streams are
    // the GIF fuzz target's.
    std::vector<uint8_t> half(gif.payload().begin(), gif.payload().begin() + gif.dataSize / 2);
    gif.dataSize = uint32_t(half.size());
    gif.data = ImageData(std::move(half));
    EXPECT_EQ(converted(gif, kImageRaw).width, 150);
}

TEST(ConvertImage, RefusesBadParametersAndRecords)
{
    ImageRecord pic = testPicture(8, 8, 24);
    int rc = 0;
    auto refused = [&](const ImageRecord& src, uint8_t type, int options = 0) {
        converted(src, type, options, &rc);
        return rc == kImageUnsupported;
    };
    for (uint8_t type : {kImageJfif, kImageJpegOther})
        EXPECT_TRUE(refused(pic, type, -1) && refused(pic, type, 8)) << int(type);
    for (uint8_t type : {1, 3, 11, 13, 255})
        EXPECT_TRUE(refused(pic, type)) << int(type);
    EXPECT_TRUE(refused(testPicture(8, 8, 16), kImageGifLzw));
    ImageRecord shortData = copyImage(pic), noTable = testPicture(8, 8, 8), offset = copyImage(pic), empty;
    shortData.dataSize -= 1; // no longer covers every row
    noTable.colourTable.reset();
    offset.dataOffset = 1; // the rows would run past the buffer
    for (const ImageRecord* bad : {&shortData, &noTable, &offset, &empty})
        EXPECT_TRUE(refused(*bad, kImageRaw));
    ImageRecord target;
    target.imageType = kImageRaw;
    target.width = 99;
    EXPECT_EQ(ConvertImage(empty, target, 0), kImageUnsupported);
    EXPECT_EQ(target.width, 99); // a failed conversion leaves the target alone
}

TEST(ImageOperation, ChangesDepthKeepingColours)
{
    for (int from : {1, 4, 8, 16, 24})
        for (int to : {8, 16, 24}) {
            // 16- and 24-bit pictures of 200 colours keep them exactly at 8 bits.
            ImageRecord pic = testPicture(23, 9, from, from >= 16 ? 200 : 0, uint32_t(from));
            pic.rowOrder = kRowsBottomUp;
            ImageRecord changed = copyImage(pic);
            ASSERT_EQ(ImageOperation(changed, 2, to, 0), kImageOk) << from << " to " << to;
            EXPECT_EQ(changed.bitsPerPixel, to);
            EXPECT_EQ(changed.rowOrder, kRowsBottomUp);
            EXPECT_EQ(changed.rowBytes, packedRowBytes(23, to));
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 23; ++x) {
                    auto want = pixelColour(pic, x, y);
                    if (to == 16 && from != 16)
                        want = bgrFrom565(rgb565From(want[0], want[1], want[2]));
                    ASSERT_EQ(pixelColour(changed, x, y), want) << from << " to " << to << " at " << x << "," << y;
                }
        }
    ImageRecord pic = testPicture(4, 4, 8);
    EXPECT_EQ(ImageOperation(pic, 2, 4, 0), kImageUnsupported);
    EXPECT_EQ(ImageOperation(pic, 2, 32, 0), kImageUnsupported);
    ImageRecord gif = converted(pic, kImageGifLzw);
    EXPECT_EQ(ImageOperation(gif, 2, 24, 0), kImageUnsupported);
}

TEST(ImageOperation, FlipAndOthers)
{
    ImageRecord pic = testPicture(5, 4, 16);
    ImageRecord flipped = copyImage(pic);
    ASSERT_EQ(ImageOperation(flipped, 6, 0, 0), kImageOk);
    EXPECT_EQ(flipped.rowOrder, pic.rowOrder);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(rowOf(flipped, y), rowOf(pic, 3 - y), 10), 0);
    for (int op : {0, 1, 3, 4, 5, 7, 9, 10, 11, 12, -1}) {
        ImageRecord same = copyImage(pic);
        EXPECT_EQ(ImageOperation(same, op, 8, 0), kImageOk);
        EXPECT_EQ(same.bitsPerPixel, 16);
        EXPECT_TRUE(std::equal(same.payload().begin(), same.payload().end(), pic.payload().begin()));
    }
    // Flipping borrowed pixels flips a private copy.
    std::vector<uint8_t> display(pic.payload().begin(), pic.payload().end());
    ImageRecord borrowed = copyImage(pic);
    borrowed.data = ImageData::borrow(display);
    ASSERT_EQ(ImageOperation(borrowed, 6, 0, 0), kImageOk);
    EXPECT_TRUE(std::equal(display.begin(), display.end(), pic.payload().begin()));
    EXPECT_FALSE(borrowed.data.borrowed());
}
