#include "program/FleetNames.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "platform/Windows1252.h"

namespace sorvane {
namespace {

constexpr size_t kMaxPart = 120;
// A profile name in a label is cut shorter, so that the device name keeps most of the room.
constexpr size_t kMaxProfileInLabel = 48;
constexpr char kHex[] = "0123456789ABCDEF";

// Characters that lay text out rather than show (line and paragraph separators,
// direction marks and overrides): a name must not reorder or break what follows it.
bool layoutControl(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool needsEscape(char32_t c, bool first)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == '/' || c == '\\' || c == '%' || (first && c == '.') ||
           layoutControl(c);
}

void appendEscaped(std::string& out, std::string_view bytes)
{
    for (const char b : bytes) {
        out += '%';
        out += kHex[uint8_t(b) >> 4];
        out += kHex[uint8_t(b) & 15];
    }
}

// `name` made safe, at most `limit` bytes: a character (or its escape) goes in whole or not at all.
std::string safePart(std::string_view name, size_t limit)
{
    std::string out;
    size_t i = 0;
    while (i < name.size()) {
        const size_t at = i;
        bool bad = false;
        const char32_t c = NextUtf8(name, i, bad);
        std::string piece;
        if (bad || needsEscape(c, at == 0))
            appendEscaped(piece, name.substr(at, i - at));
        else
            piece.assign(name.substr(at, i - at));
        if (out.size() + piece.size() > limit)
            break;
        out += piece;
    }
    return out.empty() ? std::string("unnamed") : out;
}

// Case folded over what a device name can hold (Windows-1252: ASCII, Latin-1 and a few
// more), so that two labels differing only in case never meet in a folder that ignores it.
std::string foldKey(const std::string& label)
{
    std::string out;
    size_t i = 0;
    while (i < label.size()) {
        bool bad = false;
        char32_t c = NextUtf8(label, i, bad);
        if (bad) {
            out += label[i - 1];
            continue;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c += 0x20;
        else if (c == 0x160 || c == 0x152 || c == 0x17D)
            c += 1;
        else if (c == 0x178)
            c = 0xFF;
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace

std::string SafeFileNamePart(std::string_view name) { return safePart(name, kMaxPart); }

std::vector<std::string> UniqueDeviceLabels(const std::vector<FleetMember>& members)
{
    const size_t n = members.size();
    // How far each label has had to go to be told apart: 0 the device name alone,
    // 1 with the profile, 2 with the slot, 3 with the slot and a counter.
    std::vector<int> stage(n, 0);
    std::vector<std::string> labels(n);
    const auto withSuffix = [&](size_t i, const std::string& suffix) {
        return safePart(members[i].deviceName, kMaxPart - suffix.size()) + suffix;
    };
    const auto slotSuffix = [&](size_t i) {
        return "-" + std::to_string(members[i].slot >= 0 ? members[i].slot : int(i));
    };
    for (size_t i = 0; i < n; ++i)
        labels[i] = safePart(members[i].deviceName, kMaxPart);

    for (bool changed = true; changed;) {
        changed = false;
        std::map<std::string, std::vector<size_t>> byKey;
        for (size_t i = 0; i < n; ++i)
            byKey[foldKey(labels[i])].push_back(i);
        std::vector<size_t> promote;
        for (const auto& [key, group] : byKey) {
            if (group.size() < 2)
                continue;
            // A member that is already apart by less keeps its label; those with longer ones move on.
            int low = 3, high = 0;
            for (const size_t i : group) {
                low = std::min(low, stage[i]);
                high = std::max(high, stage[i]);
            }
            for (const size_t i : group)
                if (low == high || stage[i] > low)
                    promote.push_back(i);
        }
        std::sort(promote.begin(), promote.end());
        for (const size_t i : promote) {
            if (stage[i] == 0 && !members[i].profileName.empty()) {
                stage[i] = 1;
                labels[i] = withSuffix(i, "-" + safePart(members[i].profileName, kMaxProfileInLabel));
            } else if (stage[i] <= 1) {
                stage[i] = 2;
                labels[i] = withSuffix(i, slotSuffix(i));
            } else {
                stage[i] = 3;
                std::map<std::string, int> taken;
                for (size_t j = 0; j < n; ++j)
                    if (j != i)
                        taken[foldKey(labels[j])] = 1;
                for (int k = 2;; ++k) {
                    labels[i] = withSuffix(i, slotSuffix(i) + "-" + std::to_string(k));
                    if (!taken.count(foldKey(labels[i])))
                        break;
                }
            }
            changed = true;
        }
    }
    return labels;
}

std::string LabelledFileName(std::string_view path, std::string_view label)
{
    const size_t slash = path.rfind('/');
    const size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= nameAt)
        dot = path.size();
    std::string out(path.substr(0, dot));
    out += '-';
    out += label;
    out += path.substr(dot);
    return out;
}

} // namespace sorvane
