#include "scripts/Scenario.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/ByteOrder.h"
#include "platform/RegularFile.h"

namespace fs = std::filesystem;

namespace sorvane {
namespace {

constexpr size_t kNameAt = 44;
constexpr size_t kLogFileAt = 108;
constexpr size_t kFilesAt = 364;

// The legacy store holds at most 32 records after its count.
constexpr size_t kLegacyStoreMax = 4 + kMaxScenarios * Scenario::kSize;

std::string readWhole(const std::string& path, size_t maxSize, bool& ok, std::string& error)
{
    std::string bytes;
    ok = ReadRegularFile(path, maxSize, bytes, error);
    return bytes;
}

std::span<const uint8_t, Scenario::kSize> recordAt(const std::string& bytes, size_t at)
{
    return std::span<const uint8_t, Scenario::kSize>(reinterpret_cast<const uint8_t*>(bytes.data()) + at,
                                                     Scenario::kSize);
}

} // namespace

std::array<uint8_t, Scenario::kSize> Scenario::encode() const
{
    std::array<uint8_t, kSize> b{};
    const int32_t head[11] = {loopCounter, loopCount, loopDelay, slot,      suspendWhenDone, resetWhenDone,
                              logResults,  active,    noVideo,   fileIndex, int32_t(std::min(files.size(), kMaxFiles))};
    for (size_t i = 0; i < 11; ++i)
        storeLe32(b.data() + 4 * i, uint32_t(head[i]));
    storeFixedString(std::span(b).subspan(kNameAt, kNameSize), name);
    storeFixedString(std::span(b).subspan(kLogFileAt, kLogFileSize), logFile);
    for (size_t i = 0; i < files.size() && i < kMaxFiles; ++i) {
        uint8_t* e = b.data() + kFilesAt + i * ScenarioFile::kSize;
        storeLe32(e, uint32_t(files[i].scriptLoopCounter));
        storeLe32(e + 4, uint32_t(files[i].scriptLoopCount));
        storeLe32(e + 8, uint32_t(files[i].scriptLoopDelay));
        storeFixedString(std::span(e + 12, ScenarioFile::kNameSize), files[i].fileName);
    }
    return b;
}

std::optional<Scenario> Scenario::decode(std::span<const uint8_t, kSize> b)
{
    Scenario s;
    int32_t* head[10] = {&s.loopCounter, &s.loopCount, &s.loopDelay, &s.slot,   &s.suspendWhenDone,
                         &s.resetWhenDone, &s.logResults, &s.active, &s.noVideo, &s.fileIndex};
    for (size_t i = 0; i < 10; ++i)
        *head[i] = loadLe32s(b.data() + 4 * i);
    const int32_t fileCount = loadLe32s(b.data() + 40);
    if (fileCount < 0 || fileCount > int32_t(kMaxFiles))
        return std::nullopt;
    s.name = std::string(fixedString(b.subspan(kNameAt, kNameSize - 1)));
    s.logFile = std::string(fixedString(b.subspan(kLogFileAt, kLogFileSize - 1)));
    for (int32_t i = 0; i < fileCount; ++i) {
        const uint8_t* e = b.data() + kFilesAt + size_t(i) * ScenarioFile::kSize;
        ScenarioFile f;
        f.scriptLoopCounter = loadLe32s(e);
        f.scriptLoopCount = loadLe32s(e + 4);
        f.scriptLoopDelay = loadLe32s(e + 8);
        f.fileName = std::string(fixedString(std::span(e + 12, ScenarioFile::kNameSize - 1)));
        f.scriptLoopCount = std::clamp(f.scriptLoopCount, 0, kMaxLoopCount);
        f.scriptLoopDelay = std::clamp(f.scriptLoopDelay, 0, kMaxLoopDelay);
        s.files.push_back(std::move(f));
    }
    s.loopCount = std::clamp(s.loopCount, 0, kMaxLoopCount);
    s.loopDelay = std::clamp(s.loopDelay, 0, kMaxLoopDelay);
    return s;
}

bool IsScenarioFileName(const std::string& name)
{
    return !name.empty() && name.size() < Scenario::kNameSize && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string ScenarioPath(const std::string& scriptDir, const std::string& name)
{
    return (fs::path(scriptDir) / (name + ".bin")).string();
}

bool SaveScenarioFile(const std::string& scriptDir, const Scenario& s, std::string& error)
{
    if (!IsScenarioFileName(s.name)) {
        error = "the scenario name \"" + s.name + "\" cannot name a file";
        return false;
    }
    const std::string path = ScenarioPath(scriptDir, s.name);
    const auto record = s.encode();
    const std::string part = path + ".part";
    {
        std::ofstream f(part, std::ios::binary | std::ios::trunc);
        f.write(kScenarioMagic, 4);
        f.write(reinterpret_cast<const char*>(record.data()), std::streamsize(record.size()));
        f.flush();
        if (!f) {
            error = "cannot write " + path;
            std::error_code ignored;
            fs::remove(part, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        fs::remove(part, ec);
        return false;
    }
    return true;
}

bool ScenarioTable::save(const std::string& scriptDir, std::vector<std::string>& problems) const
{
    bool all = true;
    for (const Scenario& s : scenarios_) {
        std::string error;
        if (!SaveScenarioFile(scriptDir, s, error)) {
            problems.push_back(error);
            all = false;
        }
    }
    return all;
}

bool ScenarioTable::add(Scenario s)
{
    if (full())
        return false;
    scenarios_.push_back(std::move(s));
    return true;
}

bool ScenarioTable::clone(size_t i)
{
    if (i >= scenarios_.size() || full())
        return false;
    Scenario copy = scenarios_[i];
    scenarios_.push_back(std::move(copy));
    return true;
}

bool ScenarioTable::remove(size_t i, const std::string& scriptDir)
{
    if (i >= scenarios_.size())
        return false;
    const std::string name = scenarios_[i].name;
    scenarios_.erase(scenarios_.begin() + std::ptrdiff_t(i));
    dropFileOf(name, scriptDir);
    return true;
}

void ScenarioTable::dropFileOf(const std::string& oldName, const std::string& scriptDir) const
{
    if (!IsScenarioFileName(oldName))
        return; // never had a file of its own
    for (const Scenario& s : scenarios_)
        if (s.name == oldName)
            return;
    std::error_code ignored;
    fs::remove(ScenarioPath(scriptDir, oldName), ignored);
}

ScenarioLoadReport ScenarioTable::load(const std::string& scriptDir, const std::string& legacyPath)
{
    ScenarioLoadReport report;
    scenarios_.clear();
    std::error_code ec;
    if (!legacyPath.empty() && fs::is_regular_file(legacyPath, ec)) {
        // The old store: a count (1..32), then that many records.
        bool ok = false;
        std::string why;
        const std::string bytes = readWhole(legacyPath, kLegacyStoreMax, ok, why);
        const int32_t count = ok && bytes.size() >= 4 ? loadLe32s(reinterpret_cast<const uint8_t*>(bytes.data())) : 0;
        std::vector<Scenario> read;
        bool whole = ok && count >= 1 && count <= int32_t(kMaxScenarios) &&
                     bytes.size() >= 4 + size_t(count) * Scenario::kSize;
        for (int32_t i = 0; whole && i < count; ++i) {
            std::optional<Scenario> s = Scenario::decode(recordAt(bytes, 4 + size_t(i) * Scenario::kSize));
            if (!s) {
                whole = false;
                break;
            }
            s->active = 0;
            read.push_back(std::move(*s));
        }
        if (whole) {
            scenarios_ = std::move(read);
            report.importedLegacy = true;
            // The old store goes only once every scenario of it has a file of its own.
            if (save(scriptDir, report.problems))
                fs::remove(legacyPath, ec);
            else
                report.problems.push_back(legacyPath + " kept: not every scenario could be saved");
            return report;
        }
        // A damaged store is left where it is for the user to look at; the folder loads.
        report.problems.push_back(legacyPath + (ok ? " is not a scenario store" : ": " + why) + "; left alone");
    }

    std::vector<fs::path> candidates;
    for (fs::directory_iterator it(scriptDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->path().extension() == ".bin" && !it->is_directory(typeError))
            candidates.push_back(it->path());
    }
    std::sort(candidates.begin(), candidates.end());
    for (const fs::path& p : candidates) {
        if (full())
            break;
        bool ok = false;
        std::string why;
        const std::string bytes = readWhole(p.string(), kScenarioFileSize, ok, why);
        if (!ok && !why.starts_with("is larger")) {
            report.problems.push_back(p.string() + ": " + why);
            continue;
        }
        if (!ok || bytes.size() < kScenarioFileSize || std::memcmp(bytes.data(), kScenarioMagic, 4) != 0)
            continue; // another kind of .bin
        std::optional<Scenario> s = Scenario::decode(recordAt(bytes, 4));
        if (!s) {
            report.problems.push_back(p.string() + ": not a scenario record");
            continue;
        }
        s->active = 0;
        scenarios_.push_back(std::move(*s));
    }
    return report;
}

} // namespace sorvane
