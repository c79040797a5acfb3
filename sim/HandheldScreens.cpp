// Drawing of the simulated handheld's screens (Handheld.h).

#include "Handheld.h"

#include "HandheldContent.h"

#include <algorithm>
#include <cstdio>

namespace sorvane::sim {

using namespace handheld;

// ---- drawing ----

std::string Handheld::clockText() const { return two(shown_.hour) + ":" + two(shown_.minute); }

std::vector<std::string> Handheld::homeRows() const
{
    std::vector<std::string> rows;
    for (const Appointment& a : kAppointments)
        rows.push_back(two(a.hour) + ":" + two(a.minute) + " " + a.what);
    if (!text_.empty())
        rows.push_back("Note: " + text_.substr(0, text_.find('\n')));
    else
        rows.push_back(hasInk_ ? "Note: a drawing" : "No notes yet");
    rows.push_back("Contacts: " + std::to_string(std::size(kContacts)));
    rows.push_back("Files: " + std::to_string(files_.size()) + " items");
    return rows;
}

Handheld::App Handheld::homeTarget(int row) const
{
    static constexpr App targets[] = {App::Calendar, App::Calendar, App::Notes, App::Contacts, App::Files};
    return targets[size_t(std::clamp(row, 0, int(std::size(targets)) - 1))];
}

bool Handheld::render(std::vector<uint16_t>& pixels)
{
    const Moment now = clock_();
    if (!dirty_ && now.hour == shown_.hour && now.minute == shown_.minute && now.day == shown_.day &&
        pixels.size() == size_t(width_) * size_t(height_))
        return false;
    shown_ = now;
    dirty_ = false;
    if (!filesFolder_.empty())
        files_ = deviceFiles(filesFolder_); // the PC may have copied or deleted files
    Canvas c(width_, height_, pixels);
    if (second_)
        drawSecond(c);
    else
        draw(c);
    return true;
}

void Handheld::button(Canvas& c, const Rect& r, const std::string& label, bool pressed) const
{
    c.fill(r, ink_[pressed ? Select : Face]);
    c.outline(r, ink_[Edge]);
    const int tx = r.x + (r.w - textWidth(label, s_)) / 2 + s_ / 2;
    const int ty = r.y + (r.h - 7 * s_) / 2;
    c.text(tx, ty, label, s_, ink_[pressed ? SelectText : Text], r.right());
}

void Handheld::drawTitle(Canvas& c, const std::string& title, bool okButton) const
{
    c.fill(title_, ink_[Title]);
    int right = width_ - 3 * s_;
    if (okButton) {
        c.outline(ok_, ink_[TitleText]);
        c.text(ok_.x + (ok_.w - textWidth("ok", s_)) / 2 + s_ / 2, ok_.y + 3 * s_, "ok", s_, ink_[TitleText]);
        right = ok_.x - 4 * s_;
    }
    if (toggles_[2]) {
        const std::string clock = clockText();
        right -= textWidth(clock, s_);
        c.text(right, 4 * s_, clock, s_, ink_[TitleText]);
        right -= 4 * s_;
    }
    c.text(4 * s_, 4 * s_, title, s_, ink_[TitleText], right);
}

void Handheld::drawBottom(Canvas& c) const
{
    c.fill(bottom_, ink_[Bar]);
    c.fill({bottom_.x, bottom_.y, bottom_.w, s_}, ink_[Edge]);
    // Start: a small emblem and the word.
    const Rect start{start_.x, start_.y + s_, start_.w, start_.h - s_};
    c.fill(start, ink_[menuOpen_ ? Select : Bar]);
    const int ex = start.x + (width_ <= 176 ? (start.w - textWidth("Start", s_)) / 2 - 12 * s_ : 5 * s_);
    const int ey = start.y + (start.h - 10 * s_) / 2;
    c.fill({ex, ey, 10 * s_, 10 * s_}, ink_[Blue]);
    c.fill({ex + 3 * s_, ey + 3 * s_, 4 * s_, 4 * s_}, ink_[Yellow]);
    c.text(ex + 13 * s_, start.y + (start.h - 7 * s_) / 2, "Start", s_, ink_[menuOpen_ ? SelectText : Text]);
    // The keyboard button: a small keyboard.
    const Rect kb{keyboard_.x, keyboard_.y + s_, keyboard_.w, keyboard_.h - s_};
    c.fill(kb, ink_[sipShown_ ? Select : Bar]);
    const Rect icon{kb.x + (kb.w - 18 * s_) / 2, kb.y + (kb.h - 11 * s_) / 2, 18 * s_, 11 * s_};
    const uint16_t fg = ink_[sipShown_ ? SelectText : Text];
    c.outline(icon, fg);
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 5; ++k)
            c.fill({icon.x + 2 * s_ + k * 3 * s_, icon.y + 2 * s_ + r * 3 * s_, 2 * s_, 2 * s_}, fg);
    c.fill({icon.x + 5 * s_, icon.y + 8 * s_, 8 * s_, s_}, fg);
}

void Handheld::drawRows(Canvas& c, const std::vector<std::string>& left, const std::vector<std::string>& right,
                        const std::vector<Role>& icons, int selected) const
{
    const Rect area = contentArea();
    for (size_t i = 0; i < left.size(); ++i) {
        const Rect r = listRow(int(i));
        if (r.y >= area.bottom())
            break;
        const bool sel = int(i) == selected;
        if (sel)
            c.fill(r, ink_[Select]);
        const uint16_t fg = ink_[sel ? SelectText : Text];
        int x = r.x + 4 * s_;
        if (i < icons.size() && icons[i] != RoleCount) {
            const Rect icon{x, r.y + 4 * s_, 10 * s_, 10 * s_};
            c.fill(icon, ink_[icons[i]]);
            c.outline(icon, ink_[Edge]);
            x += 15 * s_;
        }
        int limit = r.right() - 4 * s_;
        if (i < right.size() && !right[i].empty()) {
            const int w = textWidth(right[i], s_);
            c.text(limit - w, r.y + 6 * s_, right[i], s_, fg);
            limit -= w + 6 * s_;
        }
        c.text(x, r.y + 6 * s_, left[i], s_, fg, limit);
        c.fill({r.x, r.bottom() - 1, r.w, 1}, ink_[Band]);
    }
}

void Handheld::drawHome(Canvas& c) const
{
    const Rect area = contentArea();
    c.fill({area.x, area.y, area.w, 16 * s_}, ink_[Band]);
    const std::string date =
        std::string(weekdayName(shown_.weekday)) + ", " + monthName(shown_.month) + " " + std::to_string(shown_.day);
    c.text(area.x + 4 * s_, area.y + 4 * s_, date, s_, ink_[Text], area.right());
    std::vector<Role> icons = {Red, Red, Yellow, Green, Blue};
    drawRows(c, homeRows(), {}, icons, selected_[size_t(App::Home)]);
}

void Handheld::drawNotes(Canvas& c) const
{
    const Rect area = contentArea();
    const Rect t = notesText();
    const int lineH = kCellHeight * s_, cell = kCellWidth * s_;
    for (int y = t.y + lineH - s_; y < area.bottom(); y += lineH)
        c.fill({area.x, y, area.w, 1}, ink_[Band]);
    const auto lines = wrapNotes();
    size_t caretLine = 0;
    while (caretLine + 1 < lines.size() && lines[caretLine + 1].start <= caret_)
        ++caretLine;
    const int visible = std::max(1, t.h / lineH);
    const size_t first = size_t(std::max(0, int(caretLine) - visible + 1));
    for (size_t i = first; i < lines.size() && int(i - first) < visible; ++i) {
        const int y = t.y + int(i - first) * lineH;
        c.text(t.x, y, std::string_view(text_).substr(lines[i].start, lines[i].end - lines[i].start), s_,
               ink_[Text]);
        if (i == caretLine)
            c.fill({t.x + int(caret_ - lines[i].start) * cell - s_, y - s_, s_, 9 * s_}, ink_[Text]);
    }
    if (!inkLayer_.empty())
        for (int y = area.y; y < area.bottom(); ++y)
            for (int x = area.x; x < area.right(); ++x)
                if (inkLayer_[size_t(y) * size_t(width_) + size_t(x)])
                    c.fill({x, y, 1, 1}, ink_[Ink]);
}

void Handheld::drawCalculator(Canvas& c) const
{
    const Rect area = contentArea();
    const Rect display{area.x + 4 * s_, area.y + 4 * s_, area.w - 8 * s_, 22 * s_};
    c.fill(display, ink_[Desk]);
    c.outline(display, ink_[Edge]);
    if (pending_) {
        char b[40];
        std::snprintf(b, sizeof b, "%.10g %c", accumulator_, pending_);
        c.text(display.x + 3 * s_, display.y + 7 * s_, b, s_, ink_[Blue], display.right() - textWidth(entry_, s_) - 8 * s_);
    }
    c.text(display.right() - 4 * s_ - textWidth(entry_, s_), display.y + 7 * s_, entry_, s_, ink_[Text]);
    for (const Button& b : calculatorButtons())
        if (b.rect.bottom() <= area.bottom())
            button(c, b.rect, b.label, false);
}

void Handheld::drawMenu(Canvas& c) const
{
    const Rect first = menuItem(0), last = menuItem(kMenuItems - 1);
    const Rect menu{0, first.y - 2 * s_, first.w + 4 * s_, last.bottom() - first.y + 4 * s_};
    c.fill(menu, ink_[Face]);
    c.outline(menu, ink_[Edge]);
    static constexpr Role icons[] = {Yellow, Green, Blue, Red};
    for (int i = 0; i < kMenuItems; ++i) {
        const Rect r = menuItem(i);
        const bool sel = i == menuSelected_;
        if (sel)
            c.fill(r, ink_[Select]);
        const Rect icon{r.x + 3 * s_, r.y + 3 * s_, 10 * s_, 10 * s_};
        c.fill(icon, ink_[icons[i]]);
        c.outline(icon, ink_[Edge]);
        c.text(r.x + 17 * s_, r.y + 5 * s_, kMenu[i], s_, ink_[sel ? SelectText : Text]);
    }
}

void Handheld::drawSip(Canvas& c) const
{
    const Rect a = sipArea();
    c.fill(a, ink_[Face]);
    const bool upper = shift_ || sipShift_ || caps_;
    for (const auto& [rect, key] : sipKeys()) {
        std::string label;
        if (key >= 'A' && key <= 'Z')
            label = std::string(1, upper ? char(key) : char(key + ('a' - 'A')));
        else if (key == vk::Shift)
            label = "^";
        else if (key == vk::Back)
            label = "<";
        else if (key == vk::Return)
            label = "Enter";
        else if (key != vk::Space)
            label = std::string(1, charFor(key));
        button(c, rect, label, key == vk::Shift && sipShift_);
    }
}

void Handheld::draw(Canvas& c) const
{
    c.fill({0, 0, width_, height_}, ink_[Desk]);
    static constexpr const char* names[] = {"", "Notes", "Calculator", "Files", "Settings", "Calendar", "Contacts"};
    switch (app_) {
    case App::Home: drawHome(c); break;
    case App::Notes: drawNotes(c); break;
    case App::Calculator: drawCalculator(c); break;
    case App::Files: {
        const Rect area = contentArea();
        c.fill({area.x, area.y, area.w, 16 * s_}, ink_[Band]);
        c.text(area.x + 4 * s_, area.y + 4 * s_, "My Device", s_, ink_[Text]);
        std::vector<std::string> names, sizes;
        std::vector<Role> icons;
        for (const DeviceFile& f : files_) {
            names.push_back(f.name);
            sizes.push_back(f.folder ? "" : sizeText(f.size));
            icons.push_back(f.folder ? Yellow : Face);
        }
        drawRows(c, names, sizes, icons, selected_[size_t(App::Files)]);
        break;
    }
    case App::Contacts: {
        const Rect area = contentArea();
        c.fill({area.x, area.y, area.w, 16 * s_}, ink_[Band]);
        c.text(area.x + 4 * s_, area.y + 4 * s_, "All contacts", s_, ink_[Text]);
        std::vector<std::string> names, phones;
        for (const Contact& k : kContacts) {
            names.push_back(k.name);
            phones.push_back(k.phone);
        }
        drawRows(c, names, phones, std::vector<Role>(names.size(), Green), selected_[size_t(App::Contacts)]);
        break;
    }
    case App::Settings: {
        const Rect area = contentArea();
        c.fill({area.x, area.y, area.w, 16 * s_}, ink_[Band]);
        c.text(area.x + 4 * s_, area.y + 4 * s_, "Personal", s_, ink_[Text]);
        std::vector<std::string> left(std::begin(kSettings), std::end(kSettings));
        std::vector<std::string> right = {name_, std::to_string(width_) + "x" + std::to_string(height_)};
        for (bool on : toggles_)
            right.push_back(on ? "On" : "Off");
        drawRows(c, left, right, {}, selected_[size_t(App::Settings)]);
        break;
    }
    case App::Calendar: {
        const Rect area = contentArea();
        c.fill({area.x, area.y, area.w, 16 * s_}, ink_[Band]);
        const std::string date = std::string(weekdayName(shown_.weekday)).substr(0, 3) + " " +
                                 std::string(monthName(shown_.month)).substr(0, 3) + " " + std::to_string(shown_.day);
        c.text(area.x + 4 * s_, area.y + 4 * s_, date, s_, ink_[Text]);
        std::vector<std::string> rows;
        std::vector<Role> icons;
        for (int h = 8; h <= 17; ++h) {
            std::string row = (h < 10 ? " " : "") + std::to_string(h) + ":00";
            Role icon = Band;
            for (const Appointment& a : kAppointments)
                if (a.hour == h) {
                    row += "  " + two(a.hour) + ":" + two(a.minute) + " " + a.what;
                    icon = Red;
                }
            rows.push_back(row);
            icons.push_back(icon);
        }
        const int now = shown_.hour >= 8 && shown_.hour <= 17 ? shown_.hour - 8 : -1;
        drawRows(c, rows, {}, icons, now);
        break;
    }
    }
    drawTitle(c, app_ == App::Home ? name_ : names[int(app_)], app_ != App::Home);
    if (sipShown_)
        drawSip(c);
    drawBottom(c);
    if (menuOpen_)
        drawMenu(c);
}

void Handheld::drawSecond(Canvas& c) const
{
    c.fill({0, 0, width_, height_}, ink_[Desk]);
    drawTitle(c, name_, false);
    const std::string clock = clockText();
    int big = 3 * s_;
    while (big > 1 && textWidth(clock, big) > width_ - 8)
        --big;
    int y = title_.bottom() + 6 * s_;
    c.text((width_ - textWidth(clock, big)) / 2, y, clock, big, ink_[Title]);
    y += kCellHeight * big + 2 * s_;
    const std::string date = std::string(monthName(shown_.month)) + " " + std::to_string(shown_.day);
    c.text((width_ - textWidth(date, s_)) / 2, y, date, s_, ink_[Text]);
    y += kCellHeight * s_ + 4 * s_;
    const Appointment& next = kAppointments[0];
    c.fill({0, y, width_, 16 * s_}, ink_[Band]);
    c.text(4 * s_, y + 4 * s_, "Next: " + two(next.hour) + ":" + two(next.minute) + " " + next.what, s_, ink_[Text]);
}

} // namespace sorvane::sim
