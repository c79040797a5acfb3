#pragma once
// The simulated device as a person sees it: a handheld with a home screen (title bar
// with the device name and the clock, today's items, a bottom bar with "Start" and a
// keyboard button), a Start menu and a few programs (Notes, Calculator, Files,
// Settings, and the calendar and contacts screens of the hardware keys). It takes the
// input packets the agent receives and draws its screen at the display's depth.
//
// Input: 'T' and '[' press, 'X' moves, 'U' releases the stylus (taps are hit-tested,
// a drag in Notes is ink); 'V' and 'W' are key down and up of virtual keys: letters,
// digits, space and the US punctuation keys type (Shift and Caps Lock give the second
// character), Backspace, Delete, Enter, Escape, the arrows, Home and End edit;
// 0x5B and F1 open the Start menu, F2 the keyboard; the application keys 0xC1..0xC4
// open Calendar, Contacts, Notes and the home screen. The lone key-down of 0x5B that
// follows the key-up of a key of 128 and above (what a skin's hotspot sends) is ignored.
//
// Drawing depends only on the input received and the clock's moment, so pictures are
// reproducible with a fixed clock. One per display of a connection; not thread-safe.

#include "Canvas.h"
#include "DeviceClock.h"
#include "DeviceFiles.h"
#include "PictureGenerator.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvane::sim {

class Handheld {
public:
    // filesFolder: what the Files program lists (DeviceFiles.h); notes: what Notes holds
    // at first, the caret after it (at most kMaxText characters are kept).
    Handheld(const DisplayFormat& format, int mainDepth, InkSet inks, bool secondDisplay, std::string name,
             TimeSource clock, std::string filesFolder = {}, std::string notes = {});

    // One input packet (8 bytes, as received).
    void input(const uint8_t packet[8]);
    // Draws the screen into pixels (width x height) when anything changed since the last
    // call (input, or the clock's minute); returns whether it drew.
    bool render(std::vector<uint16_t>& pixels);

    // The most text Notes holds (what the link sends beyond it is not typed).
    static constexpr size_t kMaxText = kMaxNotesText;

private:
    enum class App { Home, Notes, Calculator, Files, Settings, Calendar, Contacts };
    enum Role { Desk, Text, Title, TitleText, Bar, Face, Edge, Select, SelectText, Ink, Band, Red, Green, Yellow,
                Blue, RoleCount };
    struct Point {
        int x, y;
    };
    struct SipKey {
        const char* label;
        uint8_t vk;
        int units;
    };
    struct Button {
        Rect rect;
        std::string label;
        char action;
    };
    struct VisualLine {
        size_t start, end; // end excludes a line break
    };

    // Layout, shared by drawing and hit-testing.
    Rect contentArea() const;
    Rect sipArea() const;
    Rect menuItem(int i) const;
    Rect listRow(int i) const; // rows of the home screen and the list programs
    int listRowCount() const;
    std::vector<Button> calculatorButtons() const;
    std::vector<std::pair<Rect, uint8_t>> sipKeys() const;
    std::vector<VisualLine> wrapNotes() const;
    Rect notesText() const;

    // Input.
    void press(int x, int y);
    void move(int x, int y);
    void release(int x, int y);
    void keyDown(uint8_t vk);
    void open(App app);
    void menuKey(uint8_t vk);
    void notesKey(uint8_t vk);
    void calculatorKey(char action);
    void listKey(uint8_t vk);
    void placeCaret(int x, int y);
    char charFor(uint8_t vk) const; // 0 when the key types nothing

    // Drawing.
    void draw(Canvas& c) const;
    void drawSecond(Canvas& c) const;
    void drawTitle(Canvas& c, const std::string& title, bool okButton) const;
    void drawBottom(Canvas& c) const;
    void drawHome(Canvas& c) const;
    void drawNotes(Canvas& c) const;
    void drawCalculator(Canvas& c) const;
    void drawRows(Canvas& c, const std::vector<std::string>& left, const std::vector<std::string>& right,
                  const std::vector<Role>& icons, int selected) const;
    void drawMenu(Canvas& c) const;
    void drawSip(Canvas& c) const;
    void button(Canvas& c, const Rect& r, const std::string& label, bool pressed) const;
    std::string clockText() const;
    std::vector<std::string> homeRows() const;
    App homeTarget(int row) const;

    const int width_, height_;
    const bool second_;
    const std::string name_;
    const TimeSource clock_;
    const int s_; // scale of text and controls
    const Rect title_, bottom_, start_, keyboard_, ok_;
    std::array<uint16_t, RoleCount> ink_{};

    Moment shown_{};
    bool dirty_ = true;

    App app_ = App::Home;
    bool menuOpen_ = false;
    int menuSelected_ = 0;
    bool sipShown_ = false;
    bool sipShift_ = false;
    bool shift_ = false, caps_ = false;
    bool afterHighKeyUp_ = false; // the last key packet was the key-up of a key >= 128
    std::array<int, 7> selected_{}; // selected row per program

    std::string text_;
    size_t caret_ = 0;
    // Ink is drawn into a layer of the screen's size as it arrives (non-zero where ink
    // is), so what the link sends costs no memory beyond it.
    std::vector<uint16_t> inkLayer_;
    bool hasInk_ = false;
    bool stroking_ = false, strokeMoved_ = false;
    Point strokeStart_{}, strokeLast_{};

    std::string entry_ = "0";
    double accumulator_ = 0;
    char pending_ = 0;
    bool fresh_ = true;

    std::array<bool, 3> toggles_{true, false, true}; // Sounds, Key clicks, Clock in the title bar
    const std::string filesFolder_;
    std::vector<DeviceFile> files_; // read again whenever the screen is drawn anew
};

} // namespace sorvane::sim
