#include "imaging/JpegHuffmanDecoder.h"

namespace sorvane::jpeg {

bool HuffmanTable::build(const uint8_t counts[16], const uint8_t* symbols, int symbolCount)
{
    valid_ = false;
    fast_.fill(0);
    maxCode_.fill(-1);
    valueOffset_.fill(0);
    symbols_.fill(0);
    int total = 0;
    for (int i = 0; i < 16; ++i)
        total += counts[i];
    if (total > 256 || total != symbolCount)
        return false;
    for (int i = 0; i < total; ++i)
        symbols_[i] = symbols[i];

    // Canonical codes (T.81 Annex C): consecutive within a length, doubled between lengths.
    int code = 0;
    int index = 0;
    for (int len = 1; len <= 16; ++len) {
        int n = counts[len - 1];
        // Every code of this length must fit in len bits. (An all-ones code is not
        // allowed either, but encoders write it, and other decoders accept it.)
        if (code + n > (1 << len))
            return false;
        if (n > 0) {
            valueOffset_[len] = index - code;
            for (int i = 0; i < n; ++i, ++code, ++index) {
                if (len <= kLookBits) {
                    int shift = kLookBits - len;
                    int first = code << shift;
                    for (int j = 0; j < (1 << shift); ++j)
                        fast_[size_t(first + j)] = uint16_t((len << 8) | symbols_[size_t(index)]);
                }
            }
            maxCode_[len] = code - 1;
        }
        code <<= 1;
    }
    maxCode_[17] = 0x7FFFFFFF;
    valid_ = total > 0;
    return valid_;
}

void BitReader::refill()
{
    while (nbits_ <= 56) {
        uint8_t b = 0;
        if (!atMarker_ && pos_ < size_) {
            b = data_[pos_];
            if (b == 0xFF) {
                if (pos_ + 1 < size_ && data_[pos_ + 1] == 0x00) {
                    pos_ += 2;
                } else {
                    // A marker (or fill byte, or the end of the file): the scan's data ends here.
                    atMarker_ = true;
                    b = 0;
                    padBits_ += 8;
                }
            } else {
                ++pos_;
            }
        } else {
            atMarker_ = true;
            padBits_ += 8;
        }
        acc_ |= uint64_t(b) << (56 - nbits_);
        nbits_ += 8;
    }
}

} // namespace sorvane::jpeg
