#include "scripts/ScriptText.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/ByteOrder.h"
#include "platform/RegularFile.h"

namespace sorvane {
namespace {

constexpr uint8_t kFirstKeywordCode = 80;
constexpr uint8_t kLastKeywordCode = 124;

// Codes 80 ('P') to 124 ('|') in steps of one; codes without a keyword are "".
constexpr const char* kKeywords[kLastKeywordCode - kFirstKeywordCode + 1] = {
    "", "", "", "",                                    // 80..83
    "MOUSEDOWN", "MOUSEUP", "KEYDOWN", "KEYUP",        // 84..87
    "MOUSEMOVE", "LAUNCH", "", "DOUBLECLICK",          // 88..91
    "", "", "RMOUSEDOWN", "RMOUSEUP",                  // 92..95
    "RDOUBLECLICK", "SLEEP", "", "",                   // 96..99
    "PASTE", "", "", "GETDIR",                         // 100..103
    "", "", "", "", "", "DELETEFILE",                  // 104..109
    "RENAME", "SYSINFO", "ACTIVATE", "COPY",           // 110..113
    "", "", "RESET", "SUSPEND",                        // 114..117
    "GETPROCESSES", "KILLPROCESS", "GETPROGRAMS", "",  // 118..121
    "", "", "NEWFOLDER",                               // 122..124
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isKeyCode(uint8_t code) { return code == event_code::KeyDown || code == event_code::KeyUp; }

} // namespace

uint32_t RecordedEvent::arg() const { return loadLe32(packet.data() + 4); }

const char* EventKeyword(uint8_t code)
{
    if (code < kFirstKeywordCode || code > kLastKeywordCode)
        return "";
    return kKeywords[code - kFirstKeywordCode];
}

uint8_t EventCodeOf(std::string_view keyword)
{
    if (keyword.empty())
        return 0;
    for (int c = kFirstKeywordCode; c <= kLastKeywordCode; ++c)
        if (*kKeywords[c - kFirstKeywordCode] && equalsIgnoringCase(keyword, kKeywords[c - kFirstKeywordCode]))
            return uint8_t(c);
    return 0;
}

void EventList::start(uint32_t tick)
{
    startTick_ = tick;
    clear();
}

void EventList::clear()
{
    events_.clear();
    overflowed_ = false;
}

bool EventList::record(std::span<const uint8_t, 8> packet, uint32_t tick)
{
    if (events_.size() >= kCapacity) {
        overflowed_ = true;
        return false;
    }
    RecordedEvent e;
    std::copy(packet.begin(), packet.end(), e.packet.begin());
    e.time = tick - startTick_; // unsigned: the tick count may wrap
    events_.push_back(e);
    return true;
}

std::string RecordingText(std::span<const RecordedEvent> events, std::span<const ScriptCheck> /*checks*/)
{
    std::string out;
    char line[64];
    for (size_t i = 0; i < events.size(); ++i) {
        const RecordedEvent& e = events[i];
        if (i > 0 && e.time > events[i - 1].time) {
            std::snprintf(line, sizeof line, "SLEEP,%u\r\n", e.time - events[i - 1].time);
            out += line;
        }
        if (isKeyCode(e.code()))
            std::snprintf(line, sizeof line, "%s,%u\r\n", EventKeyword(e.code()), unsigned(e.packet[4]));
        else
            std::snprintf(line, sizeof line, "%s,%u,%u\r\n", EventKeyword(e.code()), unsigned(e.x()),
                          unsigned(e.y()));
        out += line;
    }
    return out;
}

std::string RecordingPath(const std::string& chosen)
{
    const size_t slash = chosen.rfind('/');
    const std::string_view name = slash == std::string::npos ? std::string_view(chosen)
                                                              : std::string_view(chosen).substr(slash + 1);
    return name.find('.') == std::string_view::npos ? chosen + ".txt" : chosen;
}

bool SaveRecording(const std::string& chosen, std::span<const RecordedEvent> events, std::string& written,
                   std::string& error, std::span<const ScriptCheck> /*checks*/)
{
    written = RecordingPath(chosen);
    const std::string text = RecordingText(events);
    const std::string part = written + ".part";
    {
        std::ofstream f(part, std::ios::binary | std::ios::trunc);
        f.write(text.data(), std::streamsize(text.size()));
        f.flush();
        if (!f) {
            error = "cannot write " + written;
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(part, written, ec);
    if (ec) {
        error = "cannot write " + written + ": " + ec.message();
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

std::string_view LoadedScript::launchPath(const RecordedEvent& e) const
{
    const uint32_t at = e.arg();
    if (at >= text.size())
        return {};
    const size_t nul = text.find('\0', at);
    return std::string_view(text).substr(at, (nul == std::string::npos ? text.size() : nul) - at);
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t at = 0;
    while (fields.size() < 5) {
        while (at < line.size() && line[at] == ',')
            ++at;
        if (at >= line.size())
            break;
        size_t end = line.find(',', at);
        if (end == std::string_view::npos)
            end = line.size();
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

int32_t ReadDecimal(std::string_view field)
{
    size_t i = 0;
    while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i])))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        negative = field[i++] == '-';
    int64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1; // cut, and keep reading the digits
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return int32_t(value);
}

bool ParseScript(std::string_view text, LoadedScript& out, std::string& error)
{
    LoadedScript script;
    uint32_t delay = 0;
    size_t lineNumber = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end;
        if (at < text.size() && text[at] == '\r') {
            if (++at < text.size() && text[at] == '\n')
                ++at;
        } else if (at < text.size() && text[at] == '\n') {
            ++at;
        }
        ++lineNumber;
        const std::vector<std::string_view> f = SplitFields(line);
        if (f.empty() || f[0][0] == ';')
            continue;
        const std::string where = "line " + std::to_string(lineNumber);
        const bool sleep = equalsIgnoringCase(f[0], "SLEEP");
        const uint8_t code = sleep ? event_code::Sleep : EventCodeOf(f[0]);
        if (code == 0)
            continue; // not a keyword of the table
        for (std::string_view field : f)
            if (field.size() > LoadedScript::kMaxField) {
                error = where + ": a field is longer than 127 characters";
                return false;
            }
        const size_t needs = sleep || code == event_code::Launch || isKeyCode(code) ? 2 : 3;
        if (f.size() < needs) {
            error = where + ": " + std::string(f[0]) + " needs " + (needs == 2 ? "one value" : "two numbers");
            return false;
        }
        if (sleep) {
            const int32_t ms = ReadDecimal(f[1]);
            delay = ms < 0 ? 0 : uint32_t(ms); // a negative pause is no pause
            continue;
        }
        if (script.events.size() >= LoadedScript::kMaxEvents) {
            error = where + ": more than 10000 events";
            return false;
        }
        RecordedEvent e;
        e.packet = {code, 0xFF, code, 0x11, 0, 0, 0, 0};
        e.time = delay;
        if (code == event_code::Launch) {
            if (script.text.size() + f[1].size() + 1 > LoadedScript::kTextSize) {
                error = where + ": the LAUNCH paths pass 65536 bytes";
                return false;
            }
            storeLe32(e.packet.data() + 4, uint32_t(script.text.size()));
            script.text.append(f[1]);
            script.text.push_back('\0');
        } else if (isKeyCode(code)) {
            e.packet[4] = uint8_t(ReadDecimal(f[1]));
        } else {
            storeLe16(e.packet.data() + 4, uint16_t(ReadDecimal(f[1])));
            storeLe16(e.packet.data() + 6, uint16_t(ReadDecimal(f[2])));
        }
        script.events.push_back(e);
    }
    if (script.events.empty()) {
        error = "no event in the script";
        return false;
    }
    out = std::move(script);
    return true;
}

bool LoadScriptFile(const std::string& path, LoadedScript& out, std::string& error)
{
    std::string text;
    if (!ReadRegularFile(path, kMaxScriptFileSize, text, error)) {
        error = path + ": " + error;
        return false;
    }
    if (!ParseScript(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> LaunchMessage(std::string_view path)
{
    std::vector<uint8_t> m(8 + path.size() + 1, 0);
    m[0] = event_code::Launch;
    m[1] = 0xFF;
    m[2] = event_code::Launch;
    m[3] = 0x11;
    storeLe32(m.data() + 4, uint32_t(path.size() + 1));
    std::copy(path.begin(), path.end(), m.begin() + 8);
    return m;
}

} // namespace sorvane
