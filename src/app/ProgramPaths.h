#pragma once
// Where the program keeps its files.
//
// Program directory: the folder with the help, the skin files and
// "RECORDED_DATA" (the default script directory). It is $SORVANE_HOME when that
// is set, otherwise a per-user data folder ($XDG_DATA_HOME/sorvane or
// ~/.local/share/sorvane). At start-up it is seeded from the installed defaults
// (<prefix>/share/sorvane beside the executable's bin folder, or share/sorvane
// beside the executable in a build tree): files that are missing are copied,
// files that exist are never replaced.
// (The settings folder is the settings store's own: defaultSettingsDir().)
//
// Plain C++ (no Qt); the environment is passed in so tests can set it.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

struct PathEnvironment {
    std::optional<std::string> sorvaneHome;   // SORVANE_HOME
    std::optional<std::string> xdgDataHome;   // XDG_DATA_HOME (used when absolute)
    std::optional<std::string> home;          // HOME
    std::filesystem::path executableDir;      // folder of the running program

    // Reads the variables from the process environment.
    static PathEnvironment fromProcess(const std::filesystem::path& executableDir);
};

struct ProgramPaths {
    std::filesystem::path programDir;  // without a trailing separator
    std::filesystem::path defaultsDir; // empty when no installed defaults were found

    // The program directory with its trailing '/', the form other paths are
    // formed from ("RECORDED_DATA" is appended directly).
    std::string programDirPrefix() const;
    std::filesystem::path helpIndex() const { return programDir / "help" / "index.html"; }
};

ProgramPaths resolveProgramPaths(const PathEnvironment& env);

// Copies every file under `defaults` that is missing under `target`, creating
// folders as needed. Returns one line per file or folder that could not be made;
// an empty list means the target is complete. A missing `defaults` folder copies
// nothing.
std::vector<std::string> seedProgramDirectory(const std::filesystem::path& defaults,
                                              const std::filesystem::path& target);

} // namespace sorvane
