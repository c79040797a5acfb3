#pragma once
// Scripts as text: the events a device window records, the script text it saves, and
// the reading of a script (recorded or written by hand) back into events to replay.
//
// A script is 8-bit text, one line per event, each line written with CR LF (read with
// CR LF, a lone CR or a lone LF). A line is fields separated by commas: a keyword,
// then decimal numbers (a program path for LAUNCH). "SLEEP,n" sets the delay before the
// events that follow (it does not add up); a line starting with ";" is a comment. The
// lines that look at the screen (below) have a field rule of their own.
//
// Threads: none of its own; an EventList belongs to the window thread that records.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "screen/ScreenMatch.h"

namespace sorvane {

// One event: its 8 wire bytes (code, 0xFF, code, 0x11, then 4 argument bytes) and a
// time. Recording: milliseconds since recording started. Loaded scripts: the delay
// before the event. LAUNCH events of a loaded script carry, in the argument bytes, the
// offset of their path in the script's text area.
struct RecordedEvent {
    std::array<uint8_t, 8> packet{};
    uint32_t time = 0;

    uint8_t code() const { return packet[0]; }
    uint16_t x() const { return uint16_t(packet[4] | (packet[5] << 8)); }
    uint16_t y() const { return uint16_t(packet[6] | (packet[7] << 8)); }
    uint32_t arg() const;
};

namespace event_code {
inline constexpr uint8_t MouseDown = 84, MouseUp = 85, KeyDown = 86, KeyUp = 87, MouseMove = 88, Launch = 89,
                         DoubleClick = 91, RightDown = 94, RightUp = 95, RightDoubleClick = 96, Sleep = 97;
// Never sent: a check of the screen, the script's checks[arg()] (a check line's place
// among the events, with the delay before it like any event's).
inline constexpr uint8_t Check = 0xF0;
}

// The keyword of an event code ("" for codes without one, and outside 80..124).
const char* EventKeyword(uint8_t code);
// The code of a keyword, matched without regard to case; 0 when none matches.
uint8_t EventCodeOf(std::string_view keyword);

// The lines that look at the screen. Each has its own field rule: every comma separates
// a field (an empty field takes the default), a field that holds a comma, a quote or
// leading or trailing spaces is written in double quotes with "" for a quote.
//   WAITSCREEN,x,y,w,h,FILE[,PERCENT[,TIMEOUT_MS]]   CHECKSCREEN,x,y,w,h,FILE[,PERCENT]
//   TAPIMAGE,FILE[,PERCENT[,TIMEOUT_MS]]              WAITIMAGE,FILE[,PERCENT[,TIMEOUT_MS]]
//   WAITTEXT,TEXT[,x,y,w,h][,TIMEOUT_MS]              CHECKTEXT,TEXT[,x,y,w,h]
//   SNAPSHOT,FILE
// Blanks around a field are not part of it; numbers are plain decimal digits (x, y
// 0..65535, w, h 1..65535, PERCENT 1..100, TIMEOUT_MS 0..3600000); a field holds at most
// kMaxField characters and no control character but tab; TEXT and FILE are read from
// Windows-1252 into UTF-8. FILE is relative to the script's folder: it never starts
// with "/" nor holds "..", and SNAPSHOT's ends in .bmp, .gif, .jpg, .jpeg or .png.
enum class CheckKind { WaitScreen, CheckScreen, TapImage, WaitImage, WaitText, CheckText, Snapshot };
// "WAITSCREEN", "CHECKSCREEN" ... (the keyword as a results log writes it).
const char* CheckKeyword(CheckKind kind);

struct ScriptCheck {
    static constexpr int kDefaultPercent = 98;
    static constexpr uint32_t kDefaultTimeoutMs = 10000;

    CheckKind kind = CheckKind::CheckScreen;
    int line = 0;            // the line of the script it was read from (1 = first)
    bool hasRegion = false;  // x, y, w, h given (always for WAITSCREEN and CHECKSCREEN)
    int x = 0, y = 0, w = 0, h = 0; // device pixels of the display in use
    std::string file;        // as written: relative to the script's folder
    std::string text;        // WAITTEXT, CHECKTEXT: the text looked for (UTF-8)
    int percent = kDefaultPercent;       // 1..100
    uint32_t timeoutMs = kDefaultTimeoutMs;
    // The stored picture of WAITSCREEN, CHECKSCREEN, TAPIMAGE and WAITIMAGE, read when
    // the script is loaded from its file (LoadScriptFile); null before, and for others.
    std::shared_ptr<const RgbPicture> picture;

    bool waits() const { return kind == CheckKind::WaitScreen || kind == CheckKind::TapImage ||
                                kind == CheckKind::WaitImage || kind == CheckKind::WaitText; }
};

// The text of a check line as the recorder writes it, fields quoted where the rule
// needs it, without a line end ("CHECKSCREEN,10,20,30,40,notes-check-1.png"). Defaults
// are left out; a character Windows-1252 lacks is written as '?' (SaveRecording refuses
// a check whose line would not read back as itself).
std::string CheckLine(const ScriptCheck& check);

// The events one recording collects. Full at kCapacity: further events are not kept
// (the input still reaches the device) and overflowed() turns true.
class EventList {
public:
    static constexpr size_t kCapacity = 10000;

    // Empties the list and takes the start tick (Start Recording).
    void start(uint32_t tick);
    // Empties the list keeping the start tick (a confirmed restart).
    void clear();
    // Appends one input packet at this tick; false when the list is full.
    bool record(std::span<const uint8_t, 8> packet, uint32_t tick);
    // Appends a checkpoint (an event_code::Check event whose arg() is checkIndex) at
    // this tick; false when the list is full.
    bool recordCheck(uint32_t checkIndex, uint32_t tick);

    std::span<const RecordedEvent> events() const { return events_; }
    size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }
    bool overflowed() const { return overflowed_; }

private:
    std::vector<RecordedEvent> events_;
    uint32_t startTick_ = 0;
    bool overflowed_ = false;
};

// The saved text of recorded events: a SLEEP line with the difference before every event
// whose time is later than its predecessor's, key events with their key code, every
// other event with x and y. No events: the empty text.
// An event of code event_code::Check writes CheckLine(checks[arg()]) (nothing when there
// is no such check).
std::string RecordingText(std::span<const RecordedEvent> events, std::span<const ScriptCheck> checks = {});
// The path a recording is saved under: ".txt" appended when the file name (the part
// after the last '/') has no '.'.
std::string RecordingPath(const std::string& chosen);
// Writes the recording to RecordingPath(chosen), replacing an existing file; the path
// written goes to `written`. False with a reason when it cannot be written (nothing
// half-written is left behind).
bool SaveRecording(const std::string& chosen, std::span<const RecordedEvent> events, std::string& written,
                   std::string& error, std::span<const ScriptCheck> checks = {});

// A script read into events, ready to replay.
struct LoadedScript {
    static constexpr size_t kMaxEvents = 10000;
    static constexpr size_t kTextSize = 65536; // LAUNCH paths with their NULs, all together
    static constexpr size_t kMaxField = 127;   // characters of one field

    std::vector<RecordedEvent> events;
    std::string text; // the LAUNCH paths, each NUL-terminated, one after the other
    std::vector<ScriptCheck> checks; // what event_code::Check events run, by their arg()

    // The path of a LAUNCH event (empty when its offset is out of range).
    std::string_view launchPath(const RecordedEvent& e) const;
};

// A line's fields: runs of commas are one separator (no empty fields), at most 5
// fields, the rest of the line after the fifth field skipped.
std::vector<std::string_view> SplitFields(std::string_view line);
// A decimal number as scripts write it: leading white space skipped, an optional sign,
// digits up to the first non-digit; no digits give 0. Values beyond 32 bits are cut to
// the nearest 32-bit value.
int32_t ReadDecimal(std::string_view field);

// Reads script text. False with a reason (naming the line) when it yields no event,
// when a line lacks a number or path its keyword needs, or when it passes a limit
// (more than kMaxEvents events, LAUNCH paths beyond kTextSize bytes, a field longer
// than kMaxField characters), or when a check line breaks its rule: such a script is not
// played at all rather than in part. Each check line becomes a ScriptCheck and an
// event_code::Check event (one of the kMaxEvents, with the delay of the SLEEP before it).
bool ParseScript(std::string_view text, LoadedScript& out, std::string& error);
// Reads a script file (ParseScript on its contents): a regular file of at most
// kMaxScriptFileSize bytes; anything else is refused with the reason ("is a folder").
// Then reads the stored picture of every check that has one, from the script's
// folder: a PNG or BMP regular file, its name holding no "..", of the region's size
// where the line gives one; a picture that cannot be read is a load error naming
// the line. A file named by several lines is read once; the pictures of one script hold
// at most 2^26 pixels together (CheckPictures.h bounds each file).
inline constexpr uint64_t kMaxScriptFileSize = 16u << 20;
bool LoadScriptFile(const std::string& path, LoadedScript& out, std::string& error);

// The 8 + 4 + n + 1 bytes that start a program: code 89's packet, the path's length
// with its NUL, the path and the NUL.
std::vector<uint8_t> LaunchMessage(std::string_view path);

} // namespace sorvane
