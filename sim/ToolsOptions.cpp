#include "ToolsOptions.h"

#include <charconv>
#include <cstdio>

namespace sorvane::sim {
namespace {

template <class T>
bool number(const std::string& s, T& out)
{
    int base = 10;
    size_t start = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= s.size())
        return false;
    auto [p, ec] = std::from_chars(s.data() + start, s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size();
}

std::vector<std::string> split(const std::string& s, char separator, size_t maxParts)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        size_t at = s.find(separator, start);
        if (at == std::string::npos)
            break;
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

// "os=5.2.1235,program=TOTAL/FREE,storage=TOTAL/FREE,cpu=N,battery=N,backup=N,charging=N,load=N"
bool parseStatus(const std::string& text, ToolsOptions& t)
{
    for (const std::string& item : split(text, ',', 64)) {
        auto kv = split(item, '=', 2);
        if (kv.size() != 2)
            return false;
        const std::string& k = kv[0];
        const std::string& v = kv[1];
        if (k == "os") {
            auto p = split(v, '.', 3);
            if (p.size() != 3 || !number(p[0], t.osMajor) || !number(p[1], t.osMinor) || !number(p[2], t.osBuild))
                return false;
        } else if (k == "program" || k == "storage") {
            auto p = split(v, '/', 2);
            uint32_t& total = k == "program" ? t.programTotal : t.storageTotal;
            uint32_t& free = k == "program" ? t.programFree : t.storageFree;
            if (p.size() != 2 || !number(p[0], total) || !number(p[1], free))
                return false;
        } else if (k == "cpu" ? !number(v, t.processor)
                   : k == "battery" ? !number(v, t.battery)
                   : k == "backup" ? !number(v, t.backup)
                   : k == "charging" ? !number(v, t.charging)
                   : k == "load" ? !number(v, t.load)
                                 : true) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<SimProcess> ToolsOptions::defaultProcesses()
{
    return {
        {0x00000002, 0, "NK.EXE", ""},
        {0x03F6A002, 0x0007C2A0, "shell32.exe", "Desktop"},
        {0x23E1F1A2, 0, "services.exe", ""},
        {0x43D2E8B6, 0x0009B410, "pword.exe", "Notes - Document1"},
        {0x6398C2E2, 0x000A1C30, "tmail.exe", "Inbox"},
    };
}

bool isToolsOption(const std::string& name)
{
    return name == "--status" || name == "--process" || name == "--process-count" || name == "--clipboard" ||
           name == "--clipboard-length" || name == "--silent";
}

bool parseToolsOption(const std::string& name, const std::string& value, ToolsOptions& t, bool& processesGiven,
                      std::string& error)
{
    auto bad = [&] {
        error = "bad value for " + name + ": " + value;
        return false;
    };
    if (name == "--status")
        return parseStatus(value, t) || bad();
    if (name == "--process") {
        // PID:HWND:NAME:TITLE (the title is the rest, colons included)
        auto p = split(value, ':', 4);
        SimProcess proc;
        if (p.size() != 4 || !number(p[0], proc.id) || !number(p[1], proc.window) || p[2].size() > 123 ||
            p[3].size() > 123)
            return bad();
        proc.name = p[2];
        proc.title = p[3];
        if (!processesGiven)
            t.processes.clear();
        processesGiven = true;
        t.processes.push_back(proc);
        return true;
    }
    if (name == "--process-count") {
        uint32_t n = 0;
        if (!number(value, n) || n > 4096)
            return bad();
        t.processes.clear();
        processesGiven = true;
        for (uint32_t i = 0; i < n; ++i) {
            char text[32];
            std::snprintf(text, sizeof text, "proc%04u.exe", i + 1);
            SimProcess proc{0x1000u + i, i % 2 ? 0x20000u + i : 0u, text, ""};
            if (proc.window)
                proc.title = "Window " + std::to_string(i + 1);
            t.processes.push_back(proc);
        }
        return true;
    }
    if (name == "--clipboard") {
        t.clipboard = value;
        return value.size() <= (1u << 20) || bad();
    }
    if (name == "--clipboard-length") {
        uint32_t n = 0;
        if (!number(value, n))
            return bad();
        t.clipboardLength = n;
        return true;
    }
    if (name == "--silent") {
        for (const std::string& c : split(value, ',', 16)) {
            if (c.size() != 1 || (c != "o" && c != "x" && c != "q" && c != "R"))
                return bad();
            t.silent.insert(uint8_t(c[0]));
        }
        return true;
    }
    return bad();
}

} // namespace sorvane::sim
