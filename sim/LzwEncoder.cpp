#include "LzwEncoder.h"

#include <stdexcept>

namespace sorvane::sim {
namespace {

constexpr int kMaxWidth = 12;
constexpr uint32_t kTableSize = 4096;
// The encoder clears once its next code would be 4094, like common TIFF writers: the
// decoder defines one entry more than the encoder before it reads the clear code.
constexpr uint32_t kClearAt = kTableSize - 2;

class BitWriter {
public:
    BitWriter(std::vector<uint8_t>& out, bool msbFirst) : out_(out), msb_(msbFirst) {}

    void put(uint32_t code, int width)
    {
        if (msb_) {
            acc_ = (acc_ << width) | code;
            bits_ += width;
            while (bits_ >= 8) {
                out_.push_back(uint8_t(acc_ >> (bits_ - 8)));
                bits_ -= 8;
            }
            acc_ &= (uint64_t(1) << bits_) - 1;
        } else {
            acc_ |= uint64_t(code) << bits_;
            bits_ += width;
            while (bits_ >= 8) {
                out_.push_back(uint8_t(acc_));
                acc_ >>= 8;
                bits_ -= 8;
            }
        }
    }

    void flush()
    {
        if (bits_ > 0)
            out_.push_back(uint8_t(msb_ ? acc_ << (8 - bits_) : acc_));
        acc_ = 0;
        bits_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    bool msb_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

// (prefix code, symbol) -> code, open addressing; a reset only moves the generation on.
class StringTable {
public:
    StringTable() : slots_(kSlots) {}

    void reset()
    {
        if (++generation_ == 0) {
            for (auto& s : slots_)
                s.generation = 0;
            generation_ = 1;
        }
    }

    int find(uint32_t key) const
    {
        for (uint32_t i = hash(key);; i = (i + 1) & (kSlots - 1)) {
            const Slot& s = slots_[i];
            if (s.generation != generation_)
                return -1;
            if (s.key == key)
                return s.code;
        }
    }

    void insert(uint32_t key, uint16_t code)
    {
        uint32_t i = hash(key);
        while (slots_[i].generation == generation_)
            i = (i + 1) & (kSlots - 1);
        slots_[i] = {key, generation_, code};
    }

private:
    static constexpr uint32_t kSlots = 1u << 14;
    struct Slot {
        uint32_t key = 0;
        uint32_t generation = 0;
        uint16_t code = 0;
    };
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> (32 - 14); }

    std::vector<Slot> slots_;
    uint32_t generation_ = 1;
};

// Mirrors the decoder's code width: the decoder defines an entry for every data code
// after the first since a clear, so its table runs one entry behind the encoder's, and
// it reads each code at the width its own table implies.
class CodeWidth {
public:
    CodeWidth(LzwVariant v, int rootBits) : early_(v == LzwVariant::MsbEarly), initial_(rootBits + 1), first_((1u << rootBits) + 2)
    {
        restart();
    }
    void restart()
    {
        width_ = initial_;
        next_ = first_;
        codes_ = 0;
    }
    int width() const { return width_; }
    void afterDataCode()
    {
        if (++codes_ < 2 || next_ >= kTableSize)
            return;
        ++next_;
        uint32_t threshold = early_ ? (1u << width_) - 1 : (1u << width_);
        if (next_ == threshold && width_ < kMaxWidth)
            ++width_;
    }

private:
    bool early_;
    int initial_;
    uint32_t first_;
    int width_ = 0;
    uint32_t next_ = 0;
    unsigned codes_ = 0;
};

} // namespace

std::vector<uint8_t> lzwEncode(std::span<const uint8_t> symbols, const LzwSettings& s)
{
    const bool msb = s.variant == LzwVariant::MsbEarly;
    if (msb ? s.rootBits != 8 : (s.rootBits < 2 || s.rootBits > 4))
        throw std::invalid_argument("LZW root width not allowed for this variant");
    const uint32_t clear = 1u << s.rootBits, end = clear + 1, first = clear + 2;

    std::vector<uint8_t> out;
    out.reserve(symbols.size() / 2 + 16);
    if (!msb) {
        out.push_back(uint8_t(s.rootBits));
        out.push_back(uint8_t(s.rootBits + 1));
    }
    BitWriter bits(out, msb);
    CodeWidth width(s.variant, s.rootBits);
    StringTable table;
    uint32_t nextCode = first;
    unsigned sinceClear = 0;

    auto emitClear = [&] {
        bits.put(clear, width.width());
        width.restart();
        table.reset();
        nextCode = first;
        sinceClear = 0;
    };
    auto emitData = [&](uint32_t code) {
        bits.put(code, width.width());
        width.afterDataCode();
        ++sinceClear;
    };

    if (s.initialClear)
        emitClear();
    int current = -1;
    for (uint8_t sym : symbols) {
        if (sym >= clear)
            throw std::invalid_argument("LZW symbol out of range");
        if (current < 0) {
            current = sym;
            continue;
        }
        uint32_t key = uint32_t(current) << 8 | sym;
        if (int code = table.find(key); code >= 0) {
            current = code;
            continue;
        }
        emitData(uint32_t(current));
        if ((s.clearEvery != 0 && sinceClear >= s.clearEvery) || nextCode >= kClearAt)
            emitClear();
        else
            table.insert(key, uint16_t(nextCode++));
        current = sym;
    }
    if (current >= 0)
        emitData(uint32_t(current));
    bits.put(end, width.width());
    bits.flush();
    return out;
}

} // namespace sorvane::sim
