#include "scripts/ScriptText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "capture/StillCapture.h"
#include "platform/ByteOrder.h"
#include "platform/RegularFile.h"
#include "platform/Windows1252.h"
#include "scripts/CheckPictures.h"

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

// ---- The check lines' own field rule ----

constexpr const char* kCheckKeywords[] = {"WAITSCREEN", "CHECKSCREEN", "TAPIMAGE", "WAITIMAGE",
                                          "WAITTEXT",   "CHECKTEXT",   "SNAPSHOT"};
// Keyword, x, y, w, h, FILE, PERCENT, TIMEOUT_MS is the longest line.
constexpr size_t kMaxCheckFields = 8;
constexpr int kMaxCoordinate = 65535;
constexpr uint32_t kMaxTimeoutMs = 3600000;
// The stored pictures of one script, all together.
constexpr int64_t kMaxScriptPicturePixels = int64_t(1) << 26;

std::optional<CheckKind> checkKindOf(std::string_view keyword)
{
    for (size_t k = 0; k < std::size(kCheckKeywords); ++k)
        if (equalsIgnoringCase(keyword, kCheckKeywords[k]))
            return CheckKind(k);
    return std::nullopt;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Every comma separates a field; a field may be in double quotes ("" for a quote),
// blanks around a field are not part of it. The fields stay Windows-1252 bytes.
bool splitCheckFields(std::string_view line, std::vector<std::string>& fields, std::string& why)
{
    fields.clear();
    size_t at = 0;
    for (;;) {
        if (fields.size() == kMaxCheckFields) {
            why = "too many fields";
            return false;
        }
        while (at < line.size() && isBlank(line[at]))
            ++at;
        std::string field;
        if (at < line.size() && line[at] == '"') {
            for (++at;; ++at) {
                if (at >= line.size()) {
                    why = "a quote is not closed";
                    return false;
                }
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"')
                        ++at;
                    else
                        break;
                }
                field.push_back(line[at]);
            }
            ++at;
            while (at < line.size() && isBlank(line[at]))
                ++at;
            if (at < line.size() && line[at] != ',') {
                why = "text after a closing quote";
                return false;
            }
        } else {
            size_t end = line.find(',', at);
            if (end == std::string_view::npos)
                end = line.size();
            size_t last = end;
            while (last > at && isBlank(line[last - 1]))
                --last;
            field.assign(line.substr(at, last - at));
            at = end;
            if (field.find('"') != std::string::npos) {
                why = "a quote inside a field that does not start with one";
                return false;
            }
        }
        if (field.size() > LoadedScript::kMaxField) {
            why = "a field is longer than 127 characters";
            return false;
        }
        if (std::ranges::any_of(field, [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; })) {
            why = "a control character in a field";
            return false;
        }
        fields.push_back(std::move(field));
        if (at >= line.size())
            return true;
        ++at; // the comma
    }
}

// A number field: decimal digits only; empty takes the default (when there is one).
bool readNumber(const std::string& field, int64_t min, int64_t max, std::optional<int64_t> fallback,
                const char* name, int64_t& value, std::string& why)
{
    if (field.empty()) {
        if (!fallback) {
            why = std::string("needs ") + name;
            return false;
        }
        value = *fallback;
        return true;
    }
    value = 0;
    for (char c : field) {
        if (c < '0' || c > '9' || value > max) {
            value = max + 1;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max) {
        why = std::string(name) + " is not a number from " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    return true;
}

// A FILE field: a name relative to the script's folder that cannot leave it.
bool readFileName(const std::string& field, std::string& file, std::string& why)
{
    if (field.empty()) {
        why = "needs a file name";
        return false;
    }
    if (field[0] == '/' || field.find("..") != std::string::npos) {
        why = "the file name must stay inside the script's folder (no \"..\", not from \"/\")";
        return false;
    }
    file = Windows1252ToUtf8(field);
    return true;
}

bool readRegion(const std::vector<std::string>& f, size_t first, ScriptCheck& check, std::string& why)
{
    int64_t v[4];
    const char* names[4] = {"x", "y", "w", "h"};
    for (int i = 0; i < 4; ++i)
        if (!readNumber(f[first + size_t(i)], i < 2 ? 0 : 1, kMaxCoordinate, std::nullopt, names[i], v[i], why))
            return false;
    check.hasRegion = true;
    check.x = int(v[0]), check.y = int(v[1]), check.w = int(v[2]), check.h = int(v[3]);
    return true;
}

// The optional PERCENT and TIMEOUT_MS fields at `at` and after (when present).
bool readPercentAndTimeout(const std::vector<std::string>& f, size_t at, bool timeout, ScriptCheck& check,
                           std::string& why)
{
    int64_t v = 0;
    if (at < f.size()) {
        if (!readNumber(f[at], 1, 100, ScriptCheck::kDefaultPercent, "PERCENT", v, why))
            return false;
        check.percent = int(v);
    }
    if (timeout && at + 1 < f.size()) {
        if (!readNumber(f[at + 1], 0, kMaxTimeoutMs, ScriptCheck::kDefaultTimeoutMs, "TIMEOUT_MS", v, why))
            return false;
        check.timeoutMs = uint32_t(v);
    }
    return true;
}

// One check line (its keyword in the first field) into `check`.
bool parseCheckLine(std::string_view line, CheckKind kind, ScriptCheck& check, std::string& why)
{
    std::vector<std::string> f;
    if (!splitCheckFields(line, f, why))
        return false;
    static constexpr size_t kMaxFields[] = {8, 7, 4, 4, 7, 6, 2}; // by CheckKind
    if (f.size() > kMaxFields[size_t(kind)]) {
        why = "too many fields";
        return false;
    }
    f.resize(std::max<size_t>(f.size(), 2)); // a missing first field reads as an empty one
    check.kind = kind;
    switch (kind) {
    case CheckKind::WaitScreen:
    case CheckKind::CheckScreen:
        f.resize(std::max<size_t>(f.size(), 6));
        return readRegion(f, 1, check, why) && readFileName(f[5], check.file, why) &&
               readPercentAndTimeout(f, 6, kind == CheckKind::WaitScreen, check, why);
    case CheckKind::TapImage:
    case CheckKind::WaitImage:
        return readFileName(f[1], check.file, why) && readPercentAndTimeout(f, 2, true, check, why);
    case CheckKind::WaitText:
    case CheckKind::CheckText: {
        check.text = Windows1252ToUtf8(f[1]);
        if (std::ranges::all_of(f[1], isBlank)) {
            why = "needs a text";
            return false;
        }
        const size_t extra = f.size() - 2;
        const bool waits = kind == CheckKind::WaitText;
        if (extra != 0 && extra != 4 && !(waits && (extra == 1 || extra == 5))) {
            why = waits ? "takes TEXT[,x,y,w,h][,TIMEOUT_MS]" : "takes TEXT[,x,y,w,h]";
            return false;
        }
        if (extra >= 4 && !std::all_of(f.begin() + 2, f.begin() + 6, [](const std::string& s) { return s.empty(); }) &&
            !readRegion(f, 2, check, why))
            return false;
        int64_t v = 0;
        if (extra % 2 == 1) {
            if (!readNumber(f.back(), 0, kMaxTimeoutMs, ScriptCheck::kDefaultTimeoutMs, "TIMEOUT_MS", v, why))
                return false;
            check.timeoutMs = uint32_t(v);
        }
        return true;
    }
    case CheckKind::Snapshot:
        if (!readFileName(f[1], check.file, why))
            return false;
        if (!formatOfExtension(std::filesystem::path(check.file))) {
            why = "the file name does not end in .bmp, .gif, .jpg, .jpeg or .png";
            return false;
        }
        return true;
    }
    return false;
}

bool needsPicture(CheckKind kind)
{
    return kind == CheckKind::WaitScreen || kind == CheckKind::CheckScreen || kind == CheckKind::TapImage ||
           kind == CheckKind::WaitImage;
}

// A check line's field: UTF-8 back to Windows-1252 (a character it lacks as '?'),
// in quotes when it holds a comma, a quote or blanks at either end.
void appendField(std::string& out, std::string_view utf8)
{
    std::string bytes;
    for (size_t i = 0; i < utf8.size();) {
        bool bad = false;
        const char32_t c = NextUtf8(utf8, i, bad);
        int b = bad ? -1 : Windows1252Byte(c);
        if (b < 0 && c >= 0x80 && c < 0xA0 && Windows1252Undefined(uint8_t(c)))
            b = int(c); // read from the byte of the same number
        bytes.push_back(b < 0 ? '?' : char(b));
    }
    const bool quote = bytes.find_first_of(",\"") != std::string::npos ||
                       (!bytes.empty() && (isBlank(bytes.front()) || isBlank(bytes.back())));
    out.push_back(',');
    if (!quote) {
        out += bytes;
        return;
    }
    out.push_back('"');
    for (char c : bytes) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void appendNumber(std::string& out, int64_t value) { out += ',' + std::to_string(value); }

// Whether `read` (a check line read back) says what `check` says, in the fields its
// kind has.
bool sameCheck(const ScriptCheck& check, const ScriptCheck& read)
{
    const bool text = check.kind == CheckKind::WaitText || check.kind == CheckKind::CheckText;
    const bool region = text || check.kind == CheckKind::WaitScreen || check.kind == CheckKind::CheckScreen;
    return check.kind == read.kind &&
           (!region || (check.hasRegion == read.hasRegion &&
                        (!check.hasRegion || (check.x == read.x && check.y == read.y && check.w == read.w &&
                                              check.h == read.h)))) &&
           (text ? check.text == read.text : check.file == read.file) &&
           (!needsPicture(check.kind) || check.percent == read.percent) &&
           (!check.waits() || check.timeoutMs == read.timeoutMs);
}

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

const char* CheckKeyword(CheckKind kind)
{
    const size_t k = size_t(kind);
    return k < std::size(kCheckKeywords) ? kCheckKeywords[k] : "";
}

std::string CheckLine(const ScriptCheck& c)
{
    std::string out = CheckKeyword(c.kind);
    const auto region = [&] {
        for (int v : {c.x, c.y, c.w, c.h})
            appendNumber(out, v);
    };
    const bool percent = c.percent != ScriptCheck::kDefaultPercent;
    const bool timeout = c.timeoutMs != ScriptCheck::kDefaultTimeoutMs;
    switch (c.kind) {
    case CheckKind::WaitScreen:
    case CheckKind::CheckScreen:
        region();
        appendField(out, c.file);
        if (percent || (timeout && c.kind == CheckKind::WaitScreen))
            out += percent ? "," + std::to_string(c.percent) : ",";
        if (timeout && c.kind == CheckKind::WaitScreen)
            appendNumber(out, c.timeoutMs);
        break;
    case CheckKind::TapImage:
    case CheckKind::WaitImage:
        appendField(out, c.file);
        if (percent || timeout)
            out += percent ? "," + std::to_string(c.percent) : ",";
        if (timeout)
            appendNumber(out, c.timeoutMs);
        break;
    case CheckKind::WaitText:
    case CheckKind::CheckText:
        appendField(out, c.text);
        if (c.hasRegion)
            region();
        if (timeout && c.kind == CheckKind::WaitText)
            appendNumber(out, c.timeoutMs);
        break;
    case CheckKind::Snapshot:
        appendField(out, c.file);
        break;
    }
    return out;
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

bool EventList::recordCheck(uint32_t checkIndex, uint32_t tick)
{
    std::array<uint8_t, 8> packet{event_code::Check, 0xFF, event_code::Check, 0x11};
    storeLe32(packet.data() + 4, checkIndex);
    return record(packet, tick);
}

std::string RecordingText(std::span<const RecordedEvent> events, std::span<const ScriptCheck> checks)
{
    std::string out;
    char line[64];
    const RecordedEvent* previous = nullptr;
    for (const RecordedEvent& e : events) {
        const bool check = e.code() == event_code::Check;
        if (check && e.arg() >= checks.size())
            continue; // no check of that index: nothing to write
        if (previous && e.time > previous->time) {
            std::snprintf(line, sizeof line, "SLEEP,%u\r\n", e.time - previous->time);
            out += line;
        }
        previous = &e;
        if (check) {
            out += CheckLine(checks[e.arg()]) + "\r\n";
            continue;
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
                   std::string& error, std::span<const ScriptCheck> checks)
{
    written = RecordingPath(chosen);
    // A check whose line would read back as something else (a name with a character
    // Windows-1252 lacks, or too long for a field) is refused before anything is written.
    for (const RecordedEvent& e : events) {
        if (e.code() != event_code::Check || e.arg() >= checks.size())
            continue;
        const ScriptCheck& c = checks[e.arg()];
        const std::string line = CheckLine(c);
        ScriptCheck read;
        std::string why;
        if (!parseCheckLine(line, c.kind, read, why) || !sameCheck(c, read)) {
            error = "cannot write " + written + ": the line \"" + Windows1252ToUtf8(line) +
                    "\" would not read back as written" + (why.empty() ? "" : " (" + why + ")");
            return false;
        }
    }
    const std::string text = RecordingText(events, checks);
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
        if (const std::optional<CheckKind> kind = checkKindOf(f[0])) {
            ScriptCheck check;
            std::string why;
            if (!parseCheckLine(line.substr(size_t(f[0].data() - line.data())), *kind, check, why)) {
                error = where + ": " + CheckKeyword(*kind) + ": " + why;
                return false;
            }
            if (script.events.size() >= LoadedScript::kMaxEvents) {
                error = where + ": more than 10000 events";
                return false;
            }
            check.line = int(lineNumber);
            RecordedEvent e;
            e.packet = {event_code::Check, 0xFF, event_code::Check, 0x11, 0, 0, 0, 0};
            storeLe32(e.packet.data() + 4, uint32_t(script.checks.size()));
            e.time = delay;
            script.checks.push_back(std::move(check));
            script.events.push_back(e);
            continue;
        }
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
    LoadedScript script;
    if (!ParseScript(text, script, error)) {
        error = path + ": " + error;
        return false;
    }
    // The stored pictures, each file read once however many lines name it.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::map<std::string, std::shared_ptr<const RgbPicture>> read;
    int64_t pixels = 0;
    for (ScriptCheck& check : script.checks) {
        if (!needsPicture(check.kind))
            continue;
        const std::string where = path + ": line " + std::to_string(check.line) + ": " + check.file;
        auto& picture = read[check.file];
        if (!picture) {
            auto loaded = std::make_shared<RgbPicture>();
            std::string why;
            if (!LoadRgbPicture(folder / check.file, *loaded, why)) {
                error = where + ": " + why;
                return false;
            }
            pixels += int64_t(loaded->width) * loaded->height;
            if (pixels > kMaxScriptPicturePixels) {
                error = where + ": the script's pictures pass " + std::to_string(kMaxScriptPicturePixels) +
                        " pixels together";
                return false;
            }
            picture = std::move(loaded);
        }
        if (check.hasRegion && (picture->width != check.w || picture->height != check.h)) {
            error = where + " is " + std::to_string(picture->width) + " x " + std::to_string(picture->height) +
                    " pixels, not " + std::to_string(check.w) + " x " + std::to_string(check.h);
            return false;
        }
        check.picture = picture;
    }
    out = std::move(script);
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
