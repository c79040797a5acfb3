#include "platform/RegistryText.h"

#include <unordered_set>

#include <cstdio>
#include <vector>

#include "platform/ByteOrder.h"

namespace sorvane {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr size_t kBytesPerLine = 24;

// Length of the well-formed UTF-8 sequence of two or more bytes starting at s[i],
// or 0 if there is none (overlong forms, surrogates and code points past U+10FFFF
// are not well formed).
size_t utf8SequenceAt(std::string_view s, size_t i)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        len = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (i + len > s.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return len;
}

void appendHexByte(std::string& out, char prefix, unsigned char b)
{
    if (prefix)
        out += prefix;
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
}

// Writes bytes with the escapes of quoted text (esc == '\\') or of key paths (esc == '%').
void appendEscaped(std::string& out, std::string_view s, char esc)
{
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b >= 0x80) {
            size_t n = utf8SequenceAt(s, i);
            if (n) {
                out.append(s.substr(i, n));
                i += n;
                continue;
            }
        }
        bool plain = b >= 0x20 && b < 0x7F;
        if (esc == '\\' && (b == '\\' || b == '"')) {
            out += '\\';
            out += char(b);
        } else if (plain && !(esc == '%' && (b == '%' || b == ']'))) {
            out += char(b);
        } else if (esc == '\\') {
            out += "\\x";
            appendHexByte(out, 0, b);
        } else {
            appendHexByte(out, '%', b);
        }
        ++i;
    }
}

void appendHexList(std::string& out, const std::vector<uint8_t>& data)
{
    for (size_t i = 0; i < data.size(); ++i) {
        appendHexByte(out, 0, data[i]);
        if (i + 1 < data.size()) {
            out += ',';
            if ((i + 1) % kBytesPerLine == 0)
                out += "\\\n  ";
        }
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Reads the text in quotes at s[pos] (which must be '"'); pos ends past the closing quote.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out, std::string& error)
{
    if (pos >= s.size() || s[pos] != '"') {
        error = "expected '\"'";
        return false;
    }
    ++pos;
    out.clear();
    while (pos < s.size()) {
        char c = s[pos];
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '"') {
            ++pos;
            return true;
        }
        if (b < 0x20 || b == 0x7F) {
            error = "control character inside quotes";
            return false;
        }
        if (c != '\\') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 >= s.size())
            break;
        char e = s[pos + 1];
        if (e == '\\' || e == '"') {
            out += e;
            pos += 2;
        } else if (e == 'x' && pos + 3 < s.size() && hexValue(s[pos + 2]) >= 0 && hexValue(s[pos + 3]) >= 0) {
            out += char(hexValue(s[pos + 2]) * 16 + hexValue(s[pos + 3]));
            pos += 4;
        } else {
            error = "unknown escape inside quotes";
            return false;
        }
    }
    error = "missing closing '\"'";
    return false;
}

bool parseKeyPath(std::string_view inner, std::string& out, std::string& error)
{
    out.clear();
    for (size_t i = 0; i < inner.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(inner[i]);
        if (b < 0x20 || b == 0x7F || b == ']') {
            error = "bad character in key path";
            return false;
        }
        if (b != '%') {
            out += char(b);
            continue;
        }
        if (i + 2 >= inner.size() || hexValue(inner[i + 1]) < 0 || hexValue(inner[i + 2]) < 0) {
            error = "bad %-escape in key path";
            return false;
        }
        out += char(hexValue(inner[i + 1]) * 16 + hexValue(inner[i + 2]));
        i += 2;
    }
    return true;
}

bool parseHexList(std::string_view s, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    s = trim(s);
    if (s.empty())
        return true;
    size_t pos = 0;
    while (true) {
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        size_t start = pos;
        while (pos < s.size() && hexValue(s[pos]) >= 0)
            ++pos;
        if (pos - start < 1 || pos - start > 2) {
            error = "a byte must be one or two hex digits";
            return false;
        }
        int v = hexValue(s[start]);
        if (pos - start == 2)
            v = v * 16 + hexValue(s[start + 1]);
        out.push_back(uint8_t(v));
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        if (pos == s.size())
            return true;
        if (s[pos] != ',') {
            error = "expected ',' between bytes";
            return false;
        }
        ++pos;
    }
}

class Parser {
public:
    Parser(std::string_view text) : text_(text) {}

    bool run(std::vector<RegKey>& keys, std::string& error)
    {
        std::string_view line;
        if (!nextLine(line) || line != kRegistryTextHeader)
            return fail(error, "not a settings file (first line is not \"" + std::string(kRegistryTextHeader) +
                                   "\")");
        while (nextLine(line)) {
            std::string_view t = trim(line);
            if (t.empty() || t.front() == ';')
                continue;
            std::string why;
            if (t.front() == '[') {
                if (t.back() != ']' || t.size() < 2)
                    return fail(error, "a key line must end with ']'");
                std::string path;
                if (!parseKeyPath(t.substr(1, t.size() - 2), path, why))
                    return fail(error, why);
                // Sets of the folded names keep a file of many keys or values linear.
                if (!keyPaths_.insert(foldCase(path)).second)
                    return fail(error, "key appears twice");
                valueNames_.clear();
                keys.push_back(RegKey{std::move(path), {}});
                continue;
            }
            if (keys.empty())
                return fail(error, "a value before the first key");
            RegValue v;
            if (!parseValue(t, v, why))
                return fail(error, why);
            if (!valueNames_.insert(foldCase(v.name)).second)
                return fail(error, "value name appears twice in one key");
            keys.back().values.push_back(std::move(v));
        }
        return true;
    }

private:
    static std::string foldCase(std::string_view s)
    {
        std::string folded(s);
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return folded;
    }

    std::unordered_set<std::string> keyPaths_;   // folded paths of the keys read so far
    std::unordered_set<std::string> valueNames_; // folded names of the current key's values

    bool fail(std::string& error, const std::string& what)
    {
        error = "line " + std::to_string(lineNo_ ? lineNo_ : 1) + ": " + what;
        return false;
    }

    bool nextLine(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    bool parseValue(std::string_view t, RegValue& v, std::string& error)
    {
        size_t pos = 0;
        if (!parseQuoted(t, pos, v.name, error))
            return false;
        std::string_view rest = trim(t.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            error = "expected '=' after the value name";
            return false;
        }
        rest = trim(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            std::string s;
            size_t p = 0;
            if (!parseQuoted(rest, p, s, error))
                return false;
            if (!trim(rest.substr(p)).empty()) {
                error = "text after the closing '\"'";
                return false;
            }
            v.type = RegType::String;
            v.data.assign(s.begin(), s.end());
            v.data.push_back(0);
            return true;
        }
        if (rest.starts_with("dword:")) {
            std::string_view digits = rest.substr(6);
            if (digits.empty() || digits.size() > 8) {
                error = "a dword has one to eight hex digits";
                return false;
            }
            uint32_t n = 0;
            for (char c : digits) {
                if (hexValue(c) < 0) {
                    error = "a dword has one to eight hex digits";
                    return false;
                }
                n = n * 16 + uint32_t(hexValue(c));
            }
            v.type = RegType::Dword;
            v.data.resize(4);
            storeLe32(v.data.data(), n);
            return true;
        }
        if (!rest.starts_with("hex")) {
            error = "unknown value form (expected dword:, hex:, hex(T): or a quoted text)";
            return false;
        }
        rest.remove_prefix(3);
        v.type = RegType::Binary;
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || close < 2 || close > 9) {
                error = "bad type in hex(T):";
                return false;
            }
            uint32_t type = 0;
            for (char c : rest.substr(1, close - 1)) {
                if (hexValue(c) < 0) {
                    error = "bad type in hex(T):";
                    return false;
                }
                type = type * 16 + uint32_t(hexValue(c));
            }
            v.type = type;
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            error = "expected ':' after hex";
            return false;
        }
        rest.remove_prefix(1);
        std::string list;
        while (!rest.empty() && rest.back() == '\\') {
            rest.remove_suffix(1);
            list.append(rest);
            std::string_view next;
            if (!nextLine(next)) {
                error = "the file ends inside a hex list";
                return false;
            }
            rest = trim(next);
        }
        list.append(rest);
        return parseHexList(list, v.data, error);
    }

    std::string_view text_;
    size_t pos_ = 0;
    size_t lineNo_ = 0;
};

} // namespace

std::string registryToText(const RegistryStore& store)
{
    std::string out;
    out += kRegistryTextHeader;
    out += "\n; Written by Sorvane on every save. Values: dword:number in hex, \"text\" (stored with a NUL),\n"
           "; hex:bytes (binary), hex(type):bytes (anything else). Inside quotes \\\\, \\\" and \\xHH escape.\n";
    for (const RegKey& key : store.keys()) {
        out += "\n[";
        appendEscaped(out, key.path, '%');
        out += "]\n";
        for (const RegValue& v : key.values) {
            out += '"';
            appendEscaped(out, v.name, '\\');
            out += "\"=";
            if (v.type == RegType::Dword && v.data.size() == 4) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(loadLe32(v.data.data())));
                out += buf;
            } else if (v.type == RegType::String && !v.data.empty() && v.data.back() == 0) {
                out += '"';
                appendEscaped(out,
                              std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1),
                              '\\');
                out += '"';
            } else {
                if (v.type == RegType::Binary) {
                    out += "hex:";
                } else {
                    char buf[24];
                    std::snprintf(buf, sizeof buf, "hex(%x):", unsigned(v.type));
                    out += buf;
                }
                appendHexList(out, v.data);
            }
            out += '\n';
        }
    }
    return out;
}

bool registryFromText(std::string_view text, RegistryStore& out, std::string& error)
{
    std::vector<RegKey> keys;
    Parser parser(text);
    if (!parser.run(keys, error))
        return false;
    out.assign(std::move(keys));
    return true;
}

} // namespace sorvane
