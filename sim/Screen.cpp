#include "Screen.h"

#include "platform/ByteOrder.h"

#include <algorithm>

namespace sorvane::sim {

FrameLayout frameLayout(const DisplayFormat& d, FrameKind kind)
{
    FrameLayout l;
    l.bits = kind == FrameKind::LowColour ? 4 : d.depth;
    l.transposed = kind == FrameKind::Native &&
                   ((d.depth == 4 && (d.orientation == 90 || d.orientation == 270)) || (d.depth == 2 && d.orientation == 270));
    l.columns = l.transposed ? d.height : d.width;
    l.rows = l.transposed ? d.width : d.height;
    return l;
}

size_t payloadLimit(const DisplayFormat& d, FrameKind kind)
{
    FrameLayout l = frameLayout(d, kind);
    return l.bits == 2 ? 2 * l.bytes() : l.bytes();
}

Display::Display(const DisplayFormat& format, const SimOptions& options, bool secondDisplay, const TimeSource& clock)
    : format_(format),
      inks_(inkSetFor(format, options.main.depth)),
      generator_(format.width, format.height, inks_, secondDisplay),
      stillAfter_(options.stillAfter),
      marks_(size_t(format.width) * size_t(format.height), 0)
{
    if (options.picture == PictureKind::Handheld)
        handheld_ = std::make_unique<Handheld>(format, options.main.depth, inks_, secondDisplay, options.name, clock,
                                               options.filesDir, options.notes);
    redraw();
}

void Display::advance()
{
    if (handheld_) {
        handheld_->render(picture_);
        return;
    }
    ++requests_;
    unsigned s = requests_ - 1;
    step_ = stillAfter_ == 0 ? s : std::min(s, stillAfter_);
    redraw();
}

void Display::input(const uint8_t p[8])
{
    if (handheld_) {
        handheld_->input(p); // drawn at the next screen request
        return;
    }
    const int x = int(loadLe16(p + 4)), y = int(loadLe16(p + 6));
    switch (p[0]) {
    case 84:
    case 91: paintMark(x, y, MarkShape::Cross); break;
    case 88: paintMark(x, y, MarkShape::Dot); break;
    case 85: paintMark(x, y, MarkShape::Box); break;
    default: break;
    }
}

void Display::redraw()
{
    if (handheld_) {
        handheld_->render(picture_);
        return;
    }
    generator_.render(step_, picture_);
    const uint16_t mark = generator_.ink(Ink::Mark);
    for (size_t i = 0; i < marks_.size(); ++i)
        if (marks_[i])
            picture_[i] = mark;
}

void Display::paintMark(int x, int y, MarkShape shape)
{
    auto set = [&](int px, int py) {
        if (px >= 0 && py >= 0 && px < format_.width && py < format_.height)
            marks_[size_t(py) * size_t(format_.width) + size_t(px)] = 1;
    };
    switch (shape) {
    case MarkShape::Cross:
        for (int d = -3; d <= 3; ++d) {
            set(x + d, y);
            set(x, y + d);
        }
        break;
    case MarkShape::Dot:
        set(x, y);
        set(x + 1, y);
        set(x, y + 1);
        set(x + 1, y + 1);
        break;
    case MarkShape::Box:
        for (int d = -2; d <= 2; ++d) {
            set(x + d, y - 2);
            set(x + d, y + 2);
            set(x - 2, y + d);
            set(x + 2, y + d);
        }
        break;
    }
    redraw();
}

std::vector<uint8_t> Display::frame(FrameKind kind) const
{
    const FrameLayout l = frameLayout(format_, kind);
    const int W = format_.width, H = format_.height;
    std::vector<uint8_t> out(l.bytes(), 0);
    auto value = [&](int r, int c) -> uint16_t {
        int x = c, y = r;
        if (l.transposed) {
            x = format_.orientation == 90 ? r : W - 1 - r;
            y = format_.orientation == 90 ? H - 1 - c : c;
        }
        uint16_t v = picture_[size_t(y) * size_t(W) + size_t(x)];
        return kind == FrameKind::LowColour ? nearestLowColour(v) : v;
    };
    for (int r = 0; r < l.rows; ++r) {
        uint8_t* row = out.data() + size_t(r) * l.rowBytes();
        for (int c = 0; c < l.columns; ++c) {
            uint16_t v = value(r, c);
            switch (l.bits) {
            case 16:
                row[c * 2] = uint8_t(v);
                row[c * 2 + 1] = uint8_t(v >> 8);
                break;
            case 8: row[c] = uint8_t(v); break;
            case 4: row[c / 2] |= uint8_t((v & 15) << (c % 2 == 0 ? 4 : 0)); break;
            case 2: row[c / 4] |= uint8_t((v & 3) << (6 - 2 * (c % 4))); break;
            }
        }
    }
    return out;
}

std::vector<Rgb> Display::rgb(FrameKind kind, const Palette& palette) const
{
    std::vector<Rgb> out(picture_.size());
    for (size_t i = 0; i < picture_.size(); ++i) {
        uint16_t v = picture_[i];
        if (kind == FrameKind::LowColour)
            out[i] = lowColourTable()[nearestLowColour(v)];
        else if (format_.depth == 16)
            out[i] = rgbFrom565(v);
        else
            out[i] = palette[v & 0xFF];
    }
    return out;
}

} // namespace sorvane::sim
