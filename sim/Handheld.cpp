#include "Handheld.h"

#include "Colours.h"
#include "HandheldContent.h"
#include "platform/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sorvane::sim {

using namespace handheld;

Handheld::Handheld(const DisplayFormat& format, int mainDepth, InkSet inks, bool secondDisplay, std::string name,
                   TimeSource clock, std::string filesFolder, std::string notes)
    : width_(format.width),
      height_(format.height),
      second_(secondDisplay),
      name_(std::move(name)),
      clock_(std::move(clock)),
      s_(format.width >= 480 && format.height >= 480 ? 2 : 1),
      title_{0, 0, width_, 16 * s_},
      bottom_{0, height_ - 20 * s_, width_, 20 * s_},
      // A 176-pixel-wide device takes no taps: its two soft keys (F1, F2) are the halves
      // of the bottom bar.
      start_{0, height_ - 20 * s_, width_ <= 176 ? width_ / 2 : textWidth("Start", s_) + 22 * s_, 20 * s_},
      keyboard_{width_ <= 176 ? width_ / 2 : width_ - 30 * s_, height_ - 20 * s_,
                width_ <= 176 ? width_ - width_ / 2 : 30 * s_, 20 * s_},
      ok_{width_ - 22 * s_, 2 * s_, 20 * s_, 12 * s_},
      text_(std::move(notes).substr(0, kMaxText)),
      caret_(text_.size()),
      filesFolder_(std::move(filesFolder)),
      files_(deviceFiles(filesFolder_))
{
    // The colours the display can show: 565 values, or the first entries of the palette
    // the client knows for this display.
    const bool fixedTable = inks == InkSet::Fixed4 || (mainDepth == 16 && inks != InkSet::Rgb565);
    const Palette palette = fixedTable ? lowColourTable() : devicePalette(mainDepth, 0);
    const int entries = inks == InkSet::Indexed8 ? 256 : inks == InkSet::Indexed2 ? 4 : 16;
    for (int r = 0; r < RoleCount; ++r) {
        if (inks == InkSet::Rgb565) {
            ink_[size_t(r)] = rgbTo565(kRoleColours[r]);
            continue;
        }
        int best = 0;
        for (int i = 1; i < entries; ++i)
            if (distance(palette[size_t(i)], kRoleColours[r]) < distance(palette[size_t(best)], kRoleColours[r]))
                best = i;
        ink_[size_t(r)] = uint16_t(best);
    }
}

// ---- layout ----

Rect Handheld::sipArea() const
{
    const int h = 5 * 14 * s_;
    return {0, bottom_.y - h, width_, h};
}

Rect Handheld::contentArea() const
{
    const int bottom = sipShown_ ? sipArea().y : bottom_.y;
    return {0, title_.bottom(), width_, std::max(0, bottom - title_.bottom())};
}

Rect Handheld::menuItem(int i) const
{
    const int itemH = 16 * s_, w = textWidth("Calculator", s_) + 26 * s_;
    const int top = bottom_.y - kMenuItems * itemH - 4 * s_;
    return {2 * s_, top + 2 * s_ + i * itemH, w - 4 * s_, itemH};
}

Rect Handheld::listRow(int i) const
{
    const Rect c = contentArea();
    return {c.x, c.y + 18 * s_ + i * 18 * s_, c.w, 18 * s_};
}

int Handheld::listRowCount() const
{
    switch (app_) {
    case App::Home: return int(homeRows().size());
    case App::Files: return int(files_.size());
    case App::Contacts: return int(std::size(kContacts));
    case App::Settings: return int(std::size(kSettings));
    default: return 0;
    }
}

Rect Handheld::notesText() const
{
    const Rect c = contentArea();
    return {c.x + 4 * s_, c.y + 3 * s_, std::max(0, c.w - 8 * s_), std::max(0, c.h - 3 * s_)};
}

std::vector<Handheld::VisualLine> Handheld::wrapNotes() const
{
    const size_t cols = size_t(std::max(1, notesText().w / (kCellWidth * s_)));
    std::vector<VisualLine> lines;
    size_t start = 0;
    for (size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\n') {
            lines.push_back({start, i});
            start = i + 1;
        } else if (i - start == cols) {
            lines.push_back({start, i});
            start = i;
        }
    }
    lines.push_back({start, text_.size()});
    return lines;
}

std::vector<Handheld::Button> Handheld::calculatorButtons() const
{
    static constexpr const char* labels[5][4] = {
        {"C", "<", "+/-", "/"}, {"7", "8", "9", "*"}, {"4", "5", "6", "-"}, {"1", "2", "3", "+"}, {"0", "", ".", "="}};
    const Rect c = contentArea();
    const int gap = 3 * s_;
    const int top = c.y + 30 * s_;
    const int bh = std::max(4, std::min((c.bottom() - top - 4 * s_ - 4 * gap) / 5, 34 * s_));
    const int bw = std::max(4, (c.w - 8 * s_ - 3 * gap) / 4);
    std::vector<Button> out;
    for (int r = 0; r < 5; ++r)
        for (int k = 0; k < 4; ++k) {
            std::string label = labels[r][k];
            if (label.empty())
                continue;
            Rect rect{c.x + 4 * s_ + k * (bw + gap), top + r * (bh + gap), bw, bh};
            if (label == "0")
                rect.w = 2 * bw + gap;
            const char action = label == "<" ? 'B' : label == "+/-" ? 'N' : label[0];
            out.push_back({rect, label, action});
        }
    return out;
}

std::vector<std::pair<Rect, uint8_t>> Handheld::sipKeys() const
{
    static constexpr SipKey row0[] = {{"1", '1', 1}, {"2", '2', 1}, {"3", '3', 1}, {"4", '4', 1}, {"5", '5', 1},
                                      {"6", '6', 1}, {"7", '7', 1}, {"8", '8', 1}, {"9", '9', 1}, {"0", '0', 1}};
    static constexpr SipKey row1[] = {{"q", 'Q', 1}, {"w", 'W', 1}, {"e", 'E', 1}, {"r", 'R', 1}, {"t", 'T', 1},
                                      {"y", 'Y', 1}, {"u", 'U', 1}, {"i", 'I', 1}, {"o", 'O', 1}, {"p", 'P', 1}};
    static constexpr SipKey row2[] = {{"a", 'A', 1}, {"s", 'S', 1}, {"d", 'D', 1}, {"f", 'F', 1}, {"g", 'G', 1},
                                      {"h", 'H', 1}, {"j", 'J', 1}, {"k", 'K', 1}, {"l", 'L', 1}, {";", 0xBA, 1}};
    static constexpr SipKey row3[] = {{"^", vk::Shift, 1}, {"z", 'Z', 1}, {"x", 'X', 1}, {"c", 'C', 1},
                                      {"v", 'V', 1},       {"b", 'B', 1}, {"n", 'N', 1}, {"m", 'M', 1},
                                      {",", 0xBC, 1},      {"<", vk::Back, 1}};
    static constexpr SipKey row4[] = {{"-", 0xBD, 1}, {"", vk::Space, 6}, {".", 0xBE, 1}, {"Enter", vk::Return, 2}};
    const std::pair<const SipKey*, size_t> rows[] = {{row0, 10}, {row1, 10}, {row2, 10}, {row3, 10}, {row4, 4}};
    const Rect a = sipArea();
    const int unit = a.w / 10, rowH = 14 * s_;
    std::vector<std::pair<Rect, uint8_t>> out;
    for (int r = 0; r < 5; ++r) {
        int x = a.x;
        for (size_t k = 0; k < rows[r].second; ++k) {
            const SipKey& key = rows[r].first[k];
            const int w = k + 1 == rows[r].second ? a.right() - x : key.units * unit;
            out.push_back({{x, a.y + r * rowH, w, rowH}, key.vk});
            x += w;
        }
    }
    return out;
}

// ---- input ----

void Handheld::input(const uint8_t p[8])
{
    if (second_)
        return;
    const uint8_t code = p[0];
    const int x = int(loadLe16(p + 4)), y = int(loadLe16(p + 6));
    if (code == 86 || code == 87) {
        const uint8_t key = p[4];
        const bool wasAfterHigh = afterHighKeyUp_;
        afterHighKeyUp_ = code == 87 && key >= 0x80;
        if (code == 87) {
            if (key == vk::Shift || key == vk::LShift || key == vk::RShift)
                shift_ = false;
            return;
        }
        if (key == vk::Win && wasAfterHigh)
            return; // the lone key-down a skin's hotspot sends after its key
        keyDown(key);
        dirty_ = true;
        return;
    }
    switch (code) {
    case 84:
    case 91: press(x, y); break;
    case 88: move(x, y); break;
    case 85: release(x, y); break;
    default: return;
    }
    dirty_ = true;
}

void Handheld::open(App app)
{
    app_ = app;
    menuOpen_ = false;
    stroking_ = false;
}

void Handheld::press(int x, int y)
{
    if (menuOpen_) {
        menuOpen_ = false;
        for (int i = 0; i < kMenuItems; ++i)
            if (menuItem(i).contains(x, y))
                open(App(int(App::Notes) + i));
        return;
    }
    if (start_.contains(x, y)) {
        menuOpen_ = true;
        menuSelected_ = 0;
        return;
    }
    if (keyboard_.contains(x, y)) {
        sipShown_ = !sipShown_;
        return;
    }
    if (sipShown_ && sipArea().contains(x, y)) {
        for (const auto& [rect, key] : sipKeys())
            if (rect.contains(x, y)) {
                if (key == vk::Shift) {
                    sipShift_ = !sipShift_;
                    return;
                }
                const bool held = shift_;
                shift_ = shift_ || sipShift_;
                keyDown(key);
                shift_ = held;
                sipShift_ = false;
            }
        return;
    }
    if (app_ != App::Home && ok_.contains(x, y)) {
        open(App::Home);
        return;
    }
    if (!contentArea().contains(x, y))
        return;
    switch (app_) {
    case App::Notes:
        stroking_ = true;
        strokeMoved_ = false;
        strokeStart_ = strokeLast_ = {x, y};
        break;
    case App::Calculator:
        for (const Button& b : calculatorButtons())
            if (b.rect.contains(x, y))
                calculatorKey(b.action);
        break;
    case App::Home:
    case App::Files:
    case App::Contacts:
    case App::Settings:
        for (int i = 0; i < listRowCount(); ++i)
            if (listRow(i).contains(x, y)) {
                selected_[size_t(app_)] = i;
                if (app_ == App::Home)
                    open(homeTarget(i));
                else if (app_ == App::Settings && i >= kFirstToggle)
                    toggles_[size_t(i - kFirstToggle)] = !toggles_[size_t(i - kFirstToggle)];
            }
        break;
    case App::Calendar: break;
    }
}

void Handheld::move(int x, int y)
{
    if (!stroking_ || (strokeLast_.x == x && strokeLast_.y == y))
        return;
    if (inkLayer_.empty())
        inkLayer_.assign(size_t(width_) * size_t(height_), 0);
    Canvas layer(width_, height_, inkLayer_);
    layer.line(strokeLast_.x, strokeLast_.y, x, y, 2 * s_, 1, {0, 0, width_, height_});
    strokeLast_ = {x, y};
    strokeMoved_ = true;
    hasInk_ = true;
}

void Handheld::release(int x, int y)
{
    if (!stroking_)
        return;
    move(x, y);
    stroking_ = false;
    // A stroke that never left its first point is a tap: it places the caret.
    if (!strokeMoved_)
        placeCaret(strokeStart_.x, strokeStart_.y);
}

void Handheld::placeCaret(int x, int y)
{
    const Rect t = notesText();
    const auto lines = wrapNotes();
    size_t caretLine = 0;
    while (caretLine + 1 < lines.size() && lines[caretLine + 1].start <= caret_)
        ++caretLine;
    const int visible = std::max(1, t.h / (kCellHeight * s_));
    const int first = std::max(0, int(caretLine) - visible + 1);
    const int line = std::clamp(first + (y - t.y) / (kCellHeight * s_), 0, int(lines.size()) - 1);
    const int col = std::max(0, (x - t.x + kCellWidth * s_ / 2) / (kCellWidth * s_));
    const VisualLine& v = lines[size_t(line)];
    caret_ = v.start + std::min(size_t(col), v.end - v.start);
}

char Handheld::charFor(uint8_t key) const
{
    const bool shifted = shift_;
    if (key >= 'A' && key <= 'Z')
        return char((shifted != caps_) ? key : key + ('a' - 'A'));
    if (key >= '0' && key <= '9')
        return shifted ? ")!@#$%^&*("[key - '0'] : char(key);
    if (key >= vk::Numpad0 && key <= vk::Numpad9)
        return char('0' + (key - vk::Numpad0));
    struct Punct {
        uint8_t vk;
        char plain, shifted;
    };
    static constexpr Punct table[] = {{vk::Space, ' ', ' '}, {0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'},
                                      {0xBD, '-', '_'},      {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'},
                                      {0xDB, '[', '{'},      {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'},
                                      {0x6A, '*', '*'},      {0x6B, '+', '+'}, {0x6D, '-', '-'}, {0x6E, '.', '.'},
                                      {0x6F, '/', '/'}};
    for (const Punct& p : table)
        if (p.vk == key)
            return shifted ? p.shifted : p.plain;
    return 0;
}

void Handheld::keyDown(uint8_t key)
{
    switch (key) {
    case vk::Shift:
    case vk::LShift:
    case vk::RShift: shift_ = true; return;
    case vk::Capital: caps_ = !caps_; return;
    case vk::Win:
    case vk::F1:
        menuOpen_ = !menuOpen_;
        menuSelected_ = 0;
        return;
    case vk::F2: sipShown_ = !sipShown_; return;
    case vk::App1: open(App::Calendar); return;
    case vk::App2: open(App::Contacts); return;
    case vk::App3: open(App::Notes); return;
    case vk::App4: open(App::Home); return;
    default: break;
    }
    if (menuOpen_) {
        menuKey(key);
        return;
    }
    if (key == vk::Escape) {
        open(App::Home);
        return;
    }
    switch (app_) {
    case App::Notes: notesKey(key); break;
    case App::Calculator: {
        const char c = charFor(key);
        if (key == vk::Return)
            calculatorKey('=');
        else if (key == vk::Back)
            calculatorKey('B');
        else if (key == vk::Delete)
            calculatorKey('C');
        else if (c && std::string_view("0123456789.+-*/=").find(c) != std::string_view::npos)
            calculatorKey(c);
        break;
    }
    default: listKey(key); break;
    }
}

void Handheld::menuKey(uint8_t key)
{
    if (key == vk::Up)
        menuSelected_ = (menuSelected_ + kMenuItems - 1) % kMenuItems;
    else if (key == vk::Down)
        menuSelected_ = (menuSelected_ + 1) % kMenuItems;
    else if (key == vk::Return)
        open(App(int(App::Notes) + menuSelected_));
    else if (key == vk::Escape)
        menuOpen_ = false;
}

void Handheld::listKey(uint8_t key)
{
    const int n = listRowCount();
    int& sel = selected_[size_t(app_)];
    if (key == vk::Up && n > 0)
        sel = (sel + n - 1) % n;
    else if (key == vk::Down && n > 0)
        sel = (sel + 1) % n;
    else if (key == vk::Return) {
        // The action (OK) key: opens the home screen's item, switches a setting, and
        // closes the other programs.
        if (app_ == App::Home)
            open(homeTarget(sel));
        else if (app_ == App::Settings && sel >= kFirstToggle)
            toggles_[size_t(sel - kFirstToggle)] = !toggles_[size_t(sel - kFirstToggle)];
        else
            open(App::Home);
    }
}

void Handheld::notesKey(uint8_t key)
{
    const auto lines = wrapNotes();
    size_t line = 0;
    while (line + 1 < lines.size() && lines[line + 1].start <= caret_)
        ++line;
    const size_t col = caret_ - lines[line].start;
    switch (key) {
    case vk::Back:
        if (caret_ > 0)
            text_.erase(--caret_, 1);
        return;
    case vk::Delete:
        if (caret_ < text_.size())
            text_.erase(caret_, 1);
        return;
    case vk::Left:
        if (caret_ > 0)
            --caret_;
        return;
    case vk::Right:
        if (caret_ < text_.size())
            ++caret_;
        return;
    case vk::Up:
    case vk::Down: {
        if ((key == vk::Up && line == 0) || (key == vk::Down && line + 1 >= lines.size()))
            return;
        const VisualLine& to = lines[key == vk::Up ? line - 1 : line + 1];
        caret_ = to.start + std::min(col, to.end - to.start);
        return;
    }
    case vk::Home: caret_ = lines[line].start; return;
    case vk::End: caret_ = lines[line].end; return;
    default: break;
    }
    const char c = key == vk::Return ? '\n' : charFor(key);
    if (c && text_.size() < kMaxText)
        text_.insert(caret_++, 1, c);
}

void Handheld::calculatorKey(char action)
{
    auto value = [&] { return std::strtod(entry_.c_str(), nullptr); };
    auto show = [&](double v) {
        if (!std::isfinite(v)) {
            entry_ = "Error";
            return;
        }
        char b[32];
        std::snprintf(b, sizeof b, "%.10g", v == 0 ? 0.0 : v);
        entry_ = b;
    };
    auto apply = [&] {
        const double b = value();
        switch (pending_) {
        case '+': accumulator_ += b; break;
        case '-': accumulator_ -= b; break;
        case '*': accumulator_ *= b; break;
        case '/': accumulator_ = b == 0 ? NAN : accumulator_ / b; break;
        default: accumulator_ = b; break;
        }
        show(accumulator_);
    };
    if (entry_ == "Error" && action != 'C') {
        if (action < '0' || action > '9')
            return;
        entry_ = "0";
        pending_ = 0;
        fresh_ = true;
    }
    switch (action) {
    case 'C':
        entry_ = "0";
        accumulator_ = 0;
        pending_ = 0;
        fresh_ = true;
        break;
    case 'B':
        if (!fresh_) {
            entry_.pop_back();
            if (entry_.empty() || entry_ == "-")
                entry_ = "0";
        }
        break;
    case 'N':
        if (entry_ != "0")
            entry_ = entry_[0] == '-' ? entry_.substr(1) : "-" + entry_;
        break;
    case '.':
        if (fresh_) {
            entry_ = "0.";
            fresh_ = false;
        } else if (entry_.find('.') == std::string::npos && entry_.size() < 14) {
            entry_ += '.';
        }
        break;
    case '+':
    case '-':
    case '*':
    case '/':
        if (pending_ && !fresh_)
            apply();
        else if (!pending_)
            accumulator_ = value();
        pending_ = action;
        fresh_ = true;
        break;
    case '=':
        if (pending_) {
            apply();
            pending_ = 0;
        }
        fresh_ = true;
        break;
    default: // a digit
        if (fresh_ || entry_ == "0")
            entry_ = std::string(1, action);
        else if (entry_.size() < 14)
            entry_ += action;
        fresh_ = false;
        break;
    }
}

} // namespace sorvane::sim
