#include "DeviceTools.h"

#include "ByteLink.h"
#include "EventLog.h"
#include "platform/ByteOrder.h"

#include <algorithm>
#include <cstdio>

namespace sorvane::sim {
namespace {

constexpr uint8_t kPaste = 100, kStatus = 111, kActivate = 112, kClipboard = 113, kSoftReset = 116, kSuspend = 117,
                  kKill = 119, kProcesses = 120;
constexpr uint32_t kMaxPaste = 1u << 20;

// The agent's own layout of a text field: the text, then NULs to the field's end.
void putText(uint8_t* field, size_t size, const std::string& text)
{
    const size_t n = std::min(text.size(), size - 1);
    std::copy(text.begin(), text.begin() + std::ptrdiff_t(n), field);
    std::fill(field + n, field + size, uint8_t(0));
}

} // namespace

DeviceTools::DeviceTools(const ToolsOptions& options, ByteLink& link, EventLog& log)
    : options_(options), link_(link), log_(log), processes_(options.processes), clipboard_(options.clipboard)
{
}

std::optional<DeviceTools::Outcome> DeviceTools::handle(uint8_t code)
{
    if (options_.silent.count(code)) {
        log_.line("silent " + std::to_string(code));
        return Outcome::Taken;
    }
    switch (code) {
    case kStatus: return status();
    case kProcesses: return processes();
    case kClipboard: return clipboard();
    case kPaste: return paste();
    case kActivate:
    case kKill: return word(code);
    case kSoftReset: log_.line("softreset"); return Outcome::Taken;
    case kSuspend: log_.line("suspend"); return Outcome::Taken;
    default: return std::nullopt;
    }
}

DeviceTools::Outcome DeviceTools::status()
{
    const ToolsOptions& o = options_;
    uint8_t r[48] = {};
    const uint32_t words[10] = {o.osMajor, o.osMinor, o.osBuild, o.programTotal, o.programFree, 0, 0,
                                o.storageTotal, o.storageFree, o.processor};
    for (int i = 0; i < 10; ++i)
        storeLe32(r + 4 * i, words[i]);
    r[40] = o.battery;
    r[41] = o.backup;
    r[42] = o.charging;
    storeLe32(r + 44, o.load);
    return link_.writeAll(r, sizeof r) ? Outcome::Answered : Outcome::LinkEnded;
}

DeviceTools::Outcome DeviceTools::processes()
{
    std::vector<uint8_t> out(4 + processes_.size() * 256, 0);
    storeLe32(out.data(), uint32_t(processes_.size()));
    for (size_t i = 0; i < processes_.size(); ++i) {
        uint8_t* p = out.data() + 4 + i * 256;
        storeLe32(p, processes_[i].id);
        storeLe32(p + 4, processes_[i].window);
        putText(p + 8, 124, processes_[i].name);
        putText(p + 132, 124, processes_[i].title);
    }
    log_.line("processes " + std::to_string(processes_.size()));
    return link_.writeAll(out) ? Outcome::Answered : Outcome::LinkEnded;
}

DeviceTools::Outcome DeviceTools::clipboard()
{
    std::vector<uint8_t> out(4);
    storeLe32(out.data(), options_.clipboardLength.value_or(uint32_t(clipboard_.size())));
    out.insert(out.end(), clipboard_.begin(), clipboard_.end());
    return link_.writeAll(out) ? Outcome::Answered : Outcome::LinkEnded;
}

DeviceTools::Outcome DeviceTools::paste()
{
    uint8_t w[4];
    if (!link_.readExact(w, 4))
        return Outcome::LinkEnded;
    const uint32_t n = loadLe32(w);
    if (n > kMaxPaste) {
        log_.line("badlength " + std::to_string(n));
        return Outcome::Taken;
    }
    std::string text(n, '\0');
    if (n && !link_.readExact(reinterpret_cast<uint8_t*>(text.data()), n))
        return Outcome::LinkEnded;
    std::string line = "paste " + std::to_string(n) + " ";
    char hex[3];
    for (unsigned char c : text) {
        std::snprintf(hex, sizeof hex, "%02x", c);
        line += hex;
    }
    log_.line(line);
    clipboard_ = std::move(text);
    return Outcome::Taken;
}

DeviceTools::Outcome DeviceTools::word(uint8_t code)
{
    uint8_t w[4];
    if (!link_.readExact(w, 4))
        return Outcome::LinkEnded;
    const uint32_t v = loadLe32(w);
    if (code == kActivate) {
        log_.line("activate " + std::to_string(v));
        return Outcome::Taken;
    }
    auto it = std::find_if(processes_.begin(), processes_.end(), [&](const SimProcess& p) { return p.id == v; });
    const bool found = it != processes_.end();
    if (found)
        processes_.erase(it);
    log_.line("kill " + std::to_string(v) + (found ? " found" : " unknown"));
    return Outcome::Taken;
}

} // namespace sorvane::sim
