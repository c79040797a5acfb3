#pragma once
// Scenarios: named batches of up to ten script files, each replayed a number of times
// with a pause after each pass, the whole batch repeated with its own pause, with an
// optional results log. One file per scenario in the script folder: "<name>.bin",
// the magic "SXWK" and the 1644-byte record (runtime fields included; `active` is
// cleared when loading).
//
// Record layout (little-endian, numbers 32-bit):
//     0 loopCounter      4 loopCount      8 loopDelay (s)   12 slot
//    16 suspendWhenDone 20 resetWhenDone 24 logResults      28 active
//    32 noVideo         36 fileIndex     40 fileCount (0..10)
//    44 name[64]       108 logFile[256]  364 files: 10 x 128
// File entry: 0 scriptLoopCounter, 4 scriptLoopCount, 8 scriptLoopDelay (s), 12 fileName[116].
//
// Threads: a table belongs to the user-interface thread; a playing scenario is a copy
// owned by its player.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sorvane {

struct ScenarioFile {
    static constexpr size_t kSize = 128;
    static constexpr size_t kNameSize = 116;
    int32_t scriptLoopCounter = 0;
    int32_t scriptLoopCount = 1;
    int32_t scriptLoopDelay = 0;
    std::string fileName; // no directory; at most 115 characters
};

struct Scenario {
    static constexpr size_t kSize = 1644;
    static constexpr size_t kMaxFiles = 10;
    static constexpr size_t kNameSize = 64;
    static constexpr size_t kLogFileSize = 256;
    // What the New/Edit Scenario dialog lets the user type (two and eight digits): the
    // loop counts and delays of a file read are held within these too.
    static constexpr int32_t kMaxLoopCount = 99;
    static constexpr int32_t kMaxLoopDelay = 99999999;

    int32_t loopCounter = 0;
    int32_t loopCount = 1;
    int32_t loopDelay = 0;
    int32_t slot = 0;
    int32_t suspendWhenDone = 0;
    int32_t resetWhenDone = 0;
    int32_t logResults = 0;
    int32_t active = 0;
    int32_t noVideo = 0;
    int32_t fileIndex = -1;
    std::string name;    // at most 63 characters; also the file's name
    std::string logFile; // at most 255 characters
    std::vector<ScenarioFile> files; // at most kMaxFiles (the record's fileCount)

    std::array<uint8_t, kSize> encode() const;
    // nullopt when the record cannot be a scenario (a file count outside 0..10). Loop
    // counts and delays out of 0..kMaxLoopCount and 0..kMaxLoopDelay are brought to the
    // nearer end.
    static std::optional<Scenario> decode(std::span<const uint8_t, kSize> bytes);
};

inline constexpr char kScenarioMagic[4] = {'S', 'X', 'W', 'K'};
inline constexpr size_t kScenarioFileSize = 4 + Scenario::kSize;
inline constexpr size_t kMaxScenarios = 32;

// Whether a name can be a scenario file's name: not empty, at most 63 characters, no
// '/', '\' or NUL, not "." or "..".
bool IsScenarioFileName(const std::string& name);
// scriptDir + "/" + name + ".bin".
std::string ScenarioPath(const std::string& scriptDir, const std::string& name);

struct ScenarioLoadReport {
    bool importedLegacy = false; // the old single-file store was read (and deleted)
    std::vector<std::string> problems; // one line for each file left alone
};

// The table of scenarios (at most 32), in list order.
class ScenarioTable {
public:
    std::vector<Scenario>& scenarios() { return scenarios_; }
    const std::vector<Scenario>& scenarios() const { return scenarios_; }
    bool full() const { return scenarios_.size() >= kMaxScenarios; }

    // At start-up: imports the legacy store at `legacyPath` when it exists (a count,
    // then count records: each becomes a scenario file, then the store is deleted),
    // otherwise loads every "*.bin" of scriptDir that starts with the magic, in name
    // order, up to 32. `active` of every scenario loaded is cleared.
    ScenarioLoadReport load(const std::string& scriptDir, const std::string& legacyPath);
    // Writes every scenario to its file; false with the reasons when one could not be
    // written. Files of scenarios no longer in the table are left alone.
    bool save(const std::string& scriptDir, std::vector<std::string>& problems) const;

    // Appends a scenario; false when the table is full.
    bool add(Scenario s);
    // Appends a copy of scenario i (same name, so it shares the file until renamed);
    // false when the table is full or i is out of range. Not saved.
    bool clone(size_t i);
    // Removes scenario i and its file (unless another scenario still has its name).
    bool remove(size_t i, const std::string& scriptDir);
    // After a scenario was renamed from oldName: the file of the old name goes, unless
    // a scenario still has that name. A deleted or renamed scenario thus does not come
    // back at the next start.
    void dropFileOf(const std::string& oldName, const std::string& scriptDir) const;

private:
    std::vector<Scenario> scenarios_;
};

bool SaveScenarioFile(const std::string& scriptDir, const Scenario& s, std::string& error);

} // namespace sorvane
