#include "imaging/JpegHuffmanEncoder.h"

namespace sorvane::jpeg {

HuffmanCodes::HuffmanCodes(const HuffmanSpec& huffman)
{
    // Canonical code assignment (T.81 Annex C).
    int code = 0;
    int index = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < huffman.counts[size_t(len - 1)] && index < huffman.symbolCount; ++i, ++index, ++code) {
            uint8_t sym = huffman.symbols[index];
            this->code[sym] = uint32_t(code) << (sym & 15);
            size[sym] = uint8_t(len + (sym & 15));
        }
        code <<= 1;
    }
}

} // namespace sorvane::jpeg
