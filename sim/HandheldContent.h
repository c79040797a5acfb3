#pragma once
// What the simulated handheld's screens hold (menu, appointments, contacts, settings,
// the colours of its parts) and the virtual keys it acts on; shared by its input
// handling (Handheld.cpp) and its drawing (HandheldScreens.cpp). Constants only.

#include "Colours.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace sorvane::sim::handheld {

namespace vk {
inline constexpr uint8_t Back = 0x08, Return = 0x0D, Shift = 0x10, Capital = 0x14, Escape = 0x1B, Space = 0x20,
                         End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Delete = 0x2E,
                         Win = 0x5B, Numpad0 = 0x60, Numpad9 = 0x69, F1 = 0x70, F2 = 0x71, LShift = 0xA0,
                         RShift = 0xA1, App1 = 0xC1, App2 = 0xC2, App3 = 0xC3, App4 = 0xC4;
} // namespace vk

inline constexpr const char* kMenu[] = {"Notes", "Calculator", "Files", "Settings"};
inline constexpr int kMenuItems = 4;

struct Appointment {
    int hour, minute;
    const char* what;
};
inline constexpr Appointment kAppointments[] = {{10, 30, "Team meeting"}, {14, 0, "Dentist"}};

struct Contact {
    const char* name;
    const char* phone;
};
inline constexpr Contact kContacts[] = {{"Anna Berg", "555-0134"},  {"Bruno Costa", "555-0187"},
                                        {"Chen Li", "555-0112"},    {"Dana Ortiz", "555-0199"},
                                        {"Emil Novak", "555-0143"}, {"Farah Said", "555-0170"}};

inline constexpr const char* kSettings[] = {"Owner", "Screen", "Sounds", "Key clicks", "Clock in title bar"};
inline constexpr int kFirstToggle = 2;

// The colour each part of the screen is meant to have; indexed displays take the
// nearest colour they have.
inline constexpr Rgb kRoleColours[] = {
    {255, 255, 255}, // Desk
    {0, 0, 0},       // Text
    {16, 48, 128},   // Title
    {255, 255, 255}, // TitleText
    {208, 208, 216}, // Bar
    {224, 224, 224}, // Face
    {64, 64, 64},    // Edge
    {40, 80, 200},   // Select
    {255, 255, 255}, // SelectText
    {20, 20, 160},   // Ink
    {210, 225, 250}, // Band
    {220, 30, 30},   // Red
    {30, 170, 60},   // Green
    {240, 210, 40},  // Yellow
    {40, 150, 220},  // Blue
};

inline long distance(Rgb a, Rgb b)
{
    const long dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

inline std::string sizeText(uint32_t bytes)
{
    char b[32];
    if (bytes < 1024)
        std::snprintf(b, sizeof b, "%u B", unsigned(bytes));
    else
        std::snprintf(b, sizeof b, "%u KB", unsigned((bytes + 1023) / 1024));
    return b;
}

inline std::string two(int v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v % 100);
    return b;
}

} // namespace sorvane::sim::handheld
