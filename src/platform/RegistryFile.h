#pragma once
// Keeps a RegistryStore in one text file, "settings.reg", in the settings folder.
//
// Saving is atomic: the text goes to a temporary file in the same folder, which is
// flushed to disk, renamed over the old file, and the folder is flushed too, so a
// save cut short at any point leaves either the old file or the new one, whole.
// Loading a missing file gives an empty store. A file that cannot be read or parsed
// is never replaced silently: it is renamed aside to
// "settings.reg.corrupt-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when that name is
// taken), the load result says so in words the user can be shown, and the store
// starts empty. If even the rename fails, saving is refused from then on, so the
// unreadable file survives.
//
// Blocking file I/O; call from one thread at a time (the user-interface thread).

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/RegistryStore.h"

namespace sorvane {

// The file calls a save makes. The default makes the system calls; tests substitute
// one that fails after some bytes, or ends the process part way through a save.
class FileOps {
public:
    virtual ~FileOps() = default;
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    virtual int rename(const char* from, const char* to);
    // Renames unless to exists (then fails with EEXIST); keeps unreadable files aside.
    virtual int renameNoReplace(const char* from, const char* to);
};

struct RegistryLoadResult {
    enum class Outcome {
        Loaded,    // the file was read
        Missing,   // no file yet: an empty store
        KeptAside, // unreadable; moved to keptAside; an empty store
        Unusable,  // unreadable and could not be moved aside; an empty store, saving refused
    };
    Outcome outcome = Outcome::Missing;
    std::string error;               // for the user; empty for Loaded and Missing
    std::filesystem::path keptAside; // set for KeptAside

    bool problem() const { return outcome == Outcome::KeptAside || outcome == Outcome::Unusable; }
};

class RegistryFile {
public:
    static constexpr std::string_view kFileName = "settings.reg";
    static constexpr size_t kMaxFileSize = 64u << 20;

    // dir: the settings folder, created by the first save. ops: nullptr for the system calls.
    explicit RegistryFile(std::filesystem::path dir, std::unique_ptr<FileOps> ops = nullptr);

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path path() const { return dir_ / kFileName; }

    // Replaces store's contents with the file's (or with nothing, see above). Also
    // removes temporary files left by a save that never finished.
    RegistryLoadResult load(RegistryStore& store);

    // Writes store atomically. Returns "" on success, otherwise what went wrong; on
    // failure the previous file is unchanged and no temporary file is left.
    std::string save(const RegistryStore& store);

    bool saveRefused() const { return saveRefused_; }

private:
    std::string keepAside(std::filesystem::path& aside);
    void removeStaleTemporaries();

    std::filesystem::path dir_;
    std::unique_ptr<FileOps> ops_;
    bool saveRefused_ = false;
};

// The settings folder: $SORVANE_CONFIG_DIR if set, else $XDG_CONFIG_HOME/sorvane (when
// absolute), else ~/.config/sorvane. Empty if not even a home folder is known.
std::filesystem::path defaultSettingsDir();

} // namespace sorvane
