// The JPEG reader: marker segments, frame and scan headers, and the entropy-coded
// data of baseline and progressive Huffman scans (ITU T.81 Annexes B, F and G).

#include "imaging/JpegDecoder.h"

#include "imaging/JpegFrame.h"
#include "imaging/JpegHuffmanDecoder.h"
#include "imaging/JpegIdct.h"
#include "imaging/JpegTables.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace sorvane::jpeg {

namespace {

// Pictures are refused (as out of memory) beyond this many output bytes.
constexpr size_t kMaxOutputBytes = size_t(1) << 30;
// A progressive stream needs a handful of scans; thousands mean a hostile file.
constexpr int kMaxScans = 1000;

enum Marker : int {
    kSof0 = 0xC0, kSof2 = 0xC2, kDht = 0xC4, kDac = 0xCC, kRst0 = 0xD0, kRst7 = 0xD7, kSoi = 0xD8,
    kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kDnl = 0xDC, kDri = 0xDD, kApp0 = 0xE0, kApp14 = 0xEE,
    kTem = 0x01,
};

bool isOtherProcessFrame(int m)
{
    // SOF1, SOF3, SOF5-7, JPG, SOF9-11, SOF13-15, DHP, EXP, and JPEG-LS's SOF55.
    return (m >= 0xC1 && m <= 0xCF && m != kSof2 && m != kDht && m != kDac) || m == 0xDE || m == 0xDF ||
           m == 0xF7;
}

uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

struct ScanComponent {
    FrameComponent* comp;
    int td, ta;
};

struct Scan {
    ScanComponent comps[4];
    int count = 0;
    int ss = 0, se = 63, ah = 0, al = 0;
};

class Decoder {
public:
    explicit Decoder(std::span<const uint8_t> file) : d_(file.data()), n_(file.size()) {}

    // Parses the stream; with headerOnly it stops after the frame header.
    int run(bool headerOnly);
    int writeOut(DecodedJpeg& out);

    Frame frame;

private:
    int nextMarker();
    int readSegment(const uint8_t*& body, size_t& length);
    int readDqt(const uint8_t* p, size_t len);
    int readDht(const uint8_t* p, size_t len);
    int readFrame(int marker, const uint8_t* p, size_t len);
    int readScanHeader(const uint8_t* p, size_t len, Scan& scan);
    int allocate(const Scan& scan);
    int decodeScan(const Scan& scan);
    bool restart(BitReader& r, int& expected);
    bool complete() const;

    bool baselineBlock(BitReader& r, FrameComponent& c, const ScanComponent& sc, int bx, int by);
    bool dcFirst(BitReader& r, FrameComponent& c, const ScanComponent& sc, int16_t* blk, int al);
    bool acFirst(BitReader& r, const ScanComponent& sc, int16_t* blk, const Scan& s);
    bool acRefine(BitReader& r, const ScanComponent& sc, int16_t* blk, const Scan& s);

    const uint8_t* d_;
    size_t n_;
    size_t pos_ = 0;
    std::array<std::array<uint16_t, 64>, 4> quant_{};
    std::array<bool, 4> quantDefined_{};
    HuffmanTable dc_[4], ac_[4];
    int restartInterval_ = 0;
    bool jfif_ = false;
    int adobeTransform_ = -1;
    bool haveFrame_ = false;
    bool allocated_ = false;
    bool sawEoi_ = false;
    int scans_ = 0;
    int eobrun_ = 0;
};

// The next marker code at or after pos_, skipping fill bytes and any stray bytes
// between segments; -1 at the end of the data.
int Decoder::nextMarker()
{
    while (pos_ < n_) {
        if (d_[pos_] != 0xFF) {
            ++pos_;
            continue;
        }
        while (pos_ < n_ && d_[pos_] == 0xFF)
            ++pos_;
        if (pos_ >= n_)
            return -1;
        int code = d_[pos_++];
        if (code != 0)
            return code;
    }
    return -1;
}

int Decoder::readSegment(const uint8_t*& body, size_t& length)
{
    if (n_ - pos_ < 2)
        return kUnsupported;
    size_t l = be16(d_ + pos_);
    if (l < 2 || l > n_ - pos_)
        return kUnsupported;
    body = d_ + pos_ + 2;
    length = l - 2;
    pos_ += l;
    return kOk;
}

int Decoder::readDqt(const uint8_t* p, size_t len)
{
    while (len > 0) {
        int pq = p[0] >> 4, tq = p[0] & 15;
        size_t need = 1 + 64 * size_t(pq + 1);
        if (pq > 1 || tq > 3 || len < need)
            return kUnsupported;
        for (int k = 0; k < 64; ++k)
            quant_[tq][kZigzag[k]] = pq ? be16(p + 1 + 2 * k) : p[1 + k];
        quantDefined_[tq] = true;
        p += need;
        len -= need;
    }
    return kOk;
}

int Decoder::readDht(const uint8_t* p, size_t len)
{
    while (len > 0) {
        if (len < 17)
            return kUnsupported;
        int tc = p[0] >> 4, th = p[0] & 15;
        if (tc > 1 || th > 3)
            return kUnsupported;
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += p[1 + i];
        if (total > 256 || len < 17 + size_t(total))
            return kUnsupported;
        HuffmanTable& t = tc ? ac_[th] : dc_[th];
        if (!t.build(p + 1, p + 17, total))
            return kUnsupported;
        p += 17 + total;
        len -= 17 + size_t(total);
    }
    return kOk;
}

int Decoder::readFrame(int marker, const uint8_t* p, size_t len)
{
    if (haveFrame_)
        return kUnsupported;
    if (len < 6)
        return kUnsupported;
    int precision = p[0];
    if (precision == 12)
        return kUnsupportedProcess;
    if (precision != 8)
        return kUnsupported;
    frame.height = be16(p + 1);
    frame.width = be16(p + 3);
    int nf = p[5];
    if (frame.width == 0 || frame.height == 0) // a height defined later by DNL is not supported
        return kUnsupported;
    if ((nf != 1 && nf != 3) || len < 6 + 3 * size_t(nf))
        return kUnsupported;
    frame.progressive = marker == kSof2;
    frame.comps.resize(size_t(nf));
    frame.hmax = frame.vmax = 1;
    for (int i = 0; i < nf; ++i) {
        FrameComponent& c = frame.comps[size_t(i)];
        const uint8_t* q = p + 6 + 3 * i;
        c.id = q[0];
        c.h = q[1] >> 4;
        c.v = q[1] & 15;
        c.tq = q[2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3)
            return kUnsupported;
        for (int j = 0; j < i; ++j)
            if (frame.comps[size_t(j)].id == c.id)
                return kUnsupported;
        if (nf == 1)
            c.h = c.v = 1; // a lone component is always coded one block at a time
        frame.hmax = std::max(frame.hmax, c.h);
        frame.vmax = std::max(frame.vmax, c.v);
    }
    frame.mcusX = (frame.width + 8 * frame.hmax - 1) / (8 * frame.hmax);
    frame.mcusY = (frame.height + 8 * frame.vmax - 1) / (8 * frame.vmax);
    for (FrameComponent& c : frame.comps) {
        // Only factors that divide the largest ones make whole output pixels.
        if (frame.hmax % c.h != 0 || frame.vmax % c.v != 0)
            return kUnsupported;
        c.width = (frame.width * c.h + frame.hmax - 1) / frame.hmax;
        c.height = (frame.height * c.v + frame.vmax - 1) / frame.vmax;
        c.blocksW = (c.width + 7) / 8;
        c.blocksH = (c.height + 7) / 8;
        c.paddedBlocksW = frame.mcusX * c.h;
        c.paddedBlocksH = frame.mcusY * c.v;
        c.precision.fill(-1);
    }
    if (nf == 1) {
        frame.colour = ColourModel::Grey;
    } else if (adobeTransform_ >= 0) {
        frame.colour = adobeTransform_ == 0 ? ColourModel::Rgb : ColourModel::YCbCr;
    } else if (!jfif_ && frame.comps[0].id == 'R' && frame.comps[1].id == 'G' && frame.comps[2].id == 'B') {
        frame.colour = ColourModel::Rgb;
    } else {
        frame.colour = ColourModel::YCbCr;
    }
    haveFrame_ = true;
    return kOk;
}

int Decoder::readScanHeader(const uint8_t* p, size_t len, Scan& scan)
{
    if (!haveFrame_ || len < 1)
        return kUnsupported;
    int ns = p[0];
    if (ns < 1 || ns > 4 || size_t(ns) > frame.comps.size() || len < 4 + 2 * size_t(ns))
        return kUnsupported;
    scan.count = ns;
    int blocksPerMcu = 0;
    for (int i = 0; i < ns; ++i) {
        int id = p[1 + 2 * i];
        FrameComponent* found = nullptr;
        for (FrameComponent& c : frame.comps)
            if (c.id == id)
                found = &c;
        if (!found)
            return kUnsupported;
        for (int j = 0; j < i; ++j)
            if (scan.comps[j].comp == found)
                return kUnsupported;
        scan.comps[i] = {found, p[2 + 2 * i] >> 4, p[2 + 2 * i] & 15};
        if (scan.comps[i].td > 3 || scan.comps[i].ta > 3)
            return kUnsupported;
        blocksPerMcu += found->h * found->v;
    }
    if (ns > 1 && blocksPerMcu > 10)
        return kUnsupported;
    const uint8_t* q = p + 1 + 2 * ns;
    scan.ss = q[0];
    scan.se = q[1];
    scan.ah = q[2] >> 4;
    scan.al = q[2] & 15;
    if (!frame.progressive) {
        // Baseline scans always carry every coefficient; the fields are not used.
        scan.ss = 0;
        scan.se = 63;
        scan.ah = scan.al = 0;
    } else {
        if (scan.ss > scan.se || scan.se > 63 || scan.ah > 13 || scan.al > 13)
            return kUnsupported;
        if (scan.ss == 0 && scan.se != 0)
            return kUnsupported;
        if (scan.ss > 0 && ns != 1)
            return kUnsupported;
    }
    // Every table the scan will use must be there.
    for (int i = 0; i < ns; ++i) {
        const ScanComponent& sc = scan.comps[i];
        bool needDc = scan.ss == 0 && scan.ah == 0;
        bool needAc = scan.se > 0;
        if ((needDc && !dc_[sc.td].valid()) || (needAc && !ac_[sc.ta].valid()))
            return kUnsupported;
        FrameComponent& c = *sc.comp;
        if (!c.scanned) {
            if (!quantDefined_[size_t(c.tq)])
                return kUnsupported;
            c.quant = quant_[size_t(c.tq)];
            c.scanned = true;
        }
    }
    return kOk;
}

int Decoder::allocate(const Scan& scan)
{
    // Each block of a first scan costs at least one bit, so a short file cannot ask
    // for a huge picture. (That holds for DC scans; a progressive stream must begin
    // with one, while end-of-band runs let an AC scan skip thousands of blocks.)
    if (scan.ss != 0)
        return kUnsupported;
    size_t blocks = 0;
    if (scan.count == 1)
        blocks = size_t(scan.comps[0].comp->blocksW) * size_t(scan.comps[0].comp->blocksH);
    else
        for (int i = 0; i < scan.count; ++i)
            blocks += size_t(frame.mcusX) * size_t(frame.mcusY) * size_t(scan.comps[i].comp->h * scan.comps[i].comp->v);
    if ((n_ - pos_) * 8 < blocks)
        return kUnsupported;
    size_t outBytes = size_t(frame.width) * size_t(frame.height) * frame.comps.size();
    size_t planeBytes = 0;
    for (const FrameComponent& c : frame.comps)
        planeBytes += size_t(c.paddedBlocksW) * size_t(c.paddedBlocksH) * 64 * (frame.progressive ? 3 : 1);
    if (outBytes > kMaxOutputBytes || planeBytes > 4 * kMaxOutputBytes)
        return kOutOfMemory;
    for (FrameComponent& c : frame.comps) {
        size_t nblocks = size_t(c.paddedBlocksW) * size_t(c.paddedBlocksH);
        c.plane.reset(new uint8_t[nblocks * 64]);
        if (frame.progressive)
            c.coefs.assign(nblocks * 64, 0);
    }
    allocated_ = true;
    return kOk;
}

bool Decoder::restart(BitReader& r, int& expected)
{
    size_t p = r.position();
    if (p >= n_ || d_[p] != 0xFF)
        return false;
    while (p < n_ && d_[p] == 0xFF)
        ++p;
    if (p >= n_ || d_[p] != kRst0 + expected)
        return false;
    expected = (expected + 1) & 7;
    r.restartAt(p + 1);
    for (FrameComponent& c : frame.comps)
        c.dcPred = 0;
    eobrun_ = 0;
    return true;
}

bool Decoder::baselineBlock(BitReader& r, FrameComponent& c, const ScanComponent& sc, int bx, int by)
{
    alignas(16) int16_t blk[64] = {};
    int s = r.decode(dc_[sc.td]);
    if (s < 0 || s > 15)
        return false;
    c.dcPred = int16_t(c.dcPred + r.extend(s));
    blk[0] = int16_t(c.dcPred);
    const HuffmanTable& ac = ac_[sc.ta];
    for (int k = 1; k < 64;) {
        int rs = r.decode(ac);
        if (rs < 0)
            return false;
        int run = rs >> 4;
        s = rs & 15;
        if (s) {
            k += run;
            if (k > 63)
                return false;
            blk[kZigzag[size_t(k)]] = int16_t(r.extend(s));
            ++k;
        } else {
            if (run != 15)
                break;
            k += 16;
        }
    }
    const ptrdiff_t stride = c.planeStride();
    inverseDct(blk, c.quant.data(), c.plane.get() + ptrdiff_t(by) * 8 * stride + bx * 8, stride);
    return true;
}

bool Decoder::dcFirst(BitReader& r, FrameComponent& c, const ScanComponent& sc, int16_t* blk, int al)
{
    int s = r.decode(dc_[sc.td]);
    if (s < 0 || s > 15)
        return false;
    c.dcPred = int16_t(c.dcPred + r.extend(s));
    blk[0] = int16_t(c.dcPred * (1 << al));
    return true;
}

bool Decoder::acFirst(BitReader& r, const ScanComponent& sc, int16_t* blk, const Scan& s)
{
    if (eobrun_ > 0) {
        --eobrun_;
        return true;
    }
    const HuffmanTable& ac = ac_[sc.ta];
    for (int k = s.ss; k <= s.se;) {
        int rs = r.decode(ac);
        if (rs < 0)
            return false;
        int run = rs >> 4, size = rs & 15;
        if (size) {
            k += run;
            if (k > s.se)
                return false;
            blk[kZigzag[size_t(k)]] = int16_t(r.extend(size) * (1 << s.al));
            ++k;
        } else if (run < 15) {
            eobrun_ = (1 << run) - 1;
            if (run)
                eobrun_ += int(r.bits(run));
            break;
        } else {
            k += 16;
        }
    }
    return true;
}

bool Decoder::acRefine(BitReader& r, const ScanComponent& sc, int16_t* blk, const Scan& s)
{
    const int p1 = 1 << s.al;
    const int m1 = -p1;
    auto refine = [&](int16_t& co) {
        if (r.bit() && (co & p1) == 0)
            co = int16_t(co + (co >= 0 ? p1 : m1));
    };
    int k = s.ss;
    if (eobrun_ == 0) {
        const HuffmanTable& ac = ac_[sc.ta];
        while (k <= s.se) {
            int rs = r.decode(ac);
            if (rs < 0)
                return false;
            int run = rs >> 4, size = rs & 15;
            int value = 0;
            if (size) {
                if (size != 1)
                    return false;
                value = r.bit() ? p1 : m1;
            } else if (run != 15) {
                eobrun_ = 1 << run;
                if (run)
                    eobrun_ += int(r.bits(run));
                break;
            }
            // Skip `run` coefficients that are still zero, refining the non-zero ones
            // on the way; the next zero one receives the new value.
            while (k <= s.se) {
                int16_t& co = blk[kZigzag[size_t(k)]];
                if (co != 0) {
                    refine(co);
                } else {
                    if (run == 0)
                        break;
                    --run;
                }
                ++k;
            }
            if (value) {
                if (k > s.se)
                    return false;
                blk[kZigzag[size_t(k)]] = int16_t(value);
            }
            ++k;
        }
    }
    if (eobrun_ > 0) {
        for (; k <= s.se; ++k) {
            int16_t& co = blk[kZigzag[size_t(k)]];
            if (co != 0)
                refine(co);
        }
        --eobrun_;
    }
    return true;
}

int Decoder::decodeScan(const Scan& scan)
{
    BitReader r(d_, n_, pos_);
    eobrun_ = 0;
    for (FrameComponent& c : frame.comps)
        c.dcPred = 0;
    const bool single = scan.count == 1;
    const FrameComponent& first = *scan.comps[0].comp;
    const long long totalMcus =
        single ? (long long)first.blocksW * first.blocksH : (long long)frame.mcusX * frame.mcusY;
    int expectedRst = 0;

    auto block = [&](const ScanComponent& sc, int bx, int by) -> bool {
        FrameComponent& c = *sc.comp;
        if (!frame.progressive)
            return baselineBlock(r, c, sc, bx, by);
        int16_t* blk = c.coefs.data() + (size_t(by) * size_t(c.paddedBlocksW) + size_t(bx)) * 64;
        if (scan.ss == 0) {
            if (scan.ah == 0)
                return dcFirst(r, c, sc, blk, scan.al);
            if (r.bit())
                blk[0] = int16_t(blk[0] | (1 << scan.al));
            return true;
        }
        return scan.ah == 0 ? acFirst(r, sc, blk, scan) : acRefine(r, sc, blk, scan);
    };

    for (long long mcu = 0; mcu < totalMcus; ++mcu) {
        if (restartInterval_ > 0 && mcu > 0 && mcu % restartInterval_ == 0) {
            if (r.overran() || !restart(r, expectedRst))
                return kUnsupported;
        }
        if (single) {
            int bx = int(mcu % first.blocksW), by = int(mcu / first.blocksW);
            if (!block(scan.comps[0], bx, by))
                return kUnsupported;
        } else {
            int mx = int(mcu % frame.mcusX), my = int(mcu / frame.mcusX);
            for (int i = 0; i < scan.count; ++i) {
                const FrameComponent& c = *scan.comps[i].comp;
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h)
                        if (!block(scan.comps[i], mx * c.h + h, my * c.v + v))
                            return kUnsupported;
            }
        }
        if (r.overran())
            return kUnsupported;
    }
    if (frame.progressive)
        for (int i = 0; i < scan.count; ++i)
            for (int k = scan.ss; k <= scan.se; ++k)
                scan.comps[i].comp->precision[size_t(k)] = int8_t(scan.al);
    pos_ = r.position();
    return kOk;
}

bool Decoder::complete() const
{
    for (const FrameComponent& c : frame.comps) {
        if (!c.scanned)
            return false;
        if (frame.progressive)
            for (int8_t p : c.precision)
                if (p != 0)
                    return false;
    }
    return true;
}

int Decoder::run(bool headerOnly)
{
    if (n_ < 4 || d_[0] != 0xFF || d_[1] != kSoi)
        return kUnsupported;
    pos_ = 2;
    for (;;) {
        int m = nextMarker();
        if (m < 0)
            break;
        if (m == kEoi) {
            sawEoi_ = true;
            break;
        }
        if (m == kSoi || m == kDnl)
            return kUnsupported;
        if ((m >= kRst0 && m <= kRst7) || m == kTem)
            continue; // stray markers without a segment
        if (isOtherProcessFrame(m)) // after our frame, such a marker is damage
            return haveFrame_ ? kUnsupported : kUnsupportedProcess;
        const uint8_t* body = nullptr;
        size_t len = 0;
        if (int rc = readSegment(body, len); rc != kOk)
            return rc;
        int rc = kOk;
        switch (m) {
        case kSof0:
        case kSof2:
            rc = readFrame(m, body, len);
            if (rc == kOk && headerOnly)
                return kOk;
            break;
        case kDqt: rc = readDqt(body, len); break;
        case kDht: rc = readDht(body, len); break;
        case kDri:
            if (len < 2)
                return kUnsupported;
            restartInterval_ = be16(body);
            break;
        case kApp0:
            if (len >= 5 && std::memcmp(body, "JFIF\0", 5) == 0)
                jfif_ = true;
            break;
        case kApp14:
            if (len >= 12 && std::memcmp(body, "Adobe", 5) == 0)
                adobeTransform_ = body[11];
            break;
        case kSos: {
            Scan scan;
            rc = readScanHeader(body, len, scan);
            if (rc == kOk && ++scans_ > kMaxScans)
                rc = kUnsupported;
            if (rc == kOk && !allocated_)
                rc = allocate(scan);
            if (rc == kOk)
                rc = decodeScan(scan);
            break;
        }
        default: break; // APPn, COM, DAC and others: skipped
        }
        if (rc != kOk)
            return rc;
    }
    if (!haveFrame_)
        return kUnsupported;
    if (headerOnly)
        return kOk;
    if (!allocated_ || (!sawEoi_ && !complete()))
        return kUnsupported;
    return kOk;
}

int Decoder::writeOut(DecodedJpeg& out)
{
    if (frame.progressive) {
        for (FrameComponent& c : frame.comps) {
            const ptrdiff_t stride = c.planeStride();
            for (int by = 0; by < c.paddedBlocksH; ++by)
                for (int bx = 0; bx < c.paddedBlocksW; ++bx)
                    inverseDct(c.coefs.data() + (size_t(by) * size_t(c.paddedBlocksW) + size_t(bx)) * 64,
                               c.quant.data(), c.plane.get() + ptrdiff_t(by) * 8 * stride + bx * 8, stride);
            std::vector<int16_t>().swap(c.coefs);
        }
    }
    // A baseline component that no scan carried (the stream ended early, but with
    // its end marker) shows as mid-grey.
    for (FrameComponent& c : frame.comps)
        if (!c.scanned)
            std::fill_n(c.plane.get(), size_t(c.paddedBlocksW) * size_t(c.paddedBlocksH) * 64, uint8_t(128));
    out.pixels.resize(size_t(frame.width) * size_t(frame.height) * frame.comps.size()); // keeps its capacity
    if (!writePixels(frame, out.pixels.data()))
        return kUnsupported;
    out.width = frame.width;
    out.height = frame.height;
    out.components = int(frame.comps.size());
    return kOk;
}

} // namespace

namespace {

// Empties the result but keeps its pixel buffer for reuse.
void clearResult(DecodedJpeg& out)
{
    out.width = out.height = out.components = 0;
    out.pixels.clear();
}

} // namespace

int decode(std::span<const uint8_t> file, DecodedJpeg& out)
{
    clearResult(out);
    try {
        Decoder d(file);
        int rc = d.run(false);
        if (rc == kOk)
            rc = d.writeOut(out);
        if (rc != kOk)
            clearResult(out);
        return rc;
    } catch (const std::bad_alloc&) {
        clearResult(out);
        return kOutOfMemory;
    }
}

int probe(std::span<const uint8_t> file, int& width, int& height, int& components)
{
    width = height = components = 0;
    try {
        Decoder d(file);
        int rc = d.run(true);
        if (rc != kOk)
            return rc;
        width = d.frame.width;
        height = d.frame.height;
        components = int(d.frame.comps.size());
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

} // namespace sorvane::jpeg
