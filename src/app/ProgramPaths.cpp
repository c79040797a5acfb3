#include "app/ProgramPaths.h"

#include <cstdlib>
#include <system_error>

namespace sorvane {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> variable(const char* name)
{
    const char* v = std::getenv(name);
    if (!v || !*v)
        return std::nullopt;
    return std::string(v);
}

fs::path userDataDir(const PathEnvironment& env)
{
    if (env.xdgDataHome && !env.xdgDataHome->empty() && env.xdgDataHome->front() == '/')
        return fs::path(*env.xdgDataHome) / "sorvane";
    if (env.home)
        return fs::path(*env.home) / ".local/share/sorvane";
    // No home at all (a service account): beside the executable.
    return env.executableDir / "sorvane-data";
}

bool isDirectory(const fs::path& p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

} // namespace

PathEnvironment PathEnvironment::fromProcess(const fs::path& executableDir)
{
    PathEnvironment env;
    env.sorvaneHome = variable("SORVANE_HOME");
    env.xdgDataHome = variable("XDG_DATA_HOME");
    env.home = variable("HOME");
    env.executableDir = executableDir;
    return env;
}

std::string ProgramPaths::programDirPrefix() const
{
    std::string s = programDir.string();
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}

ProgramPaths resolveProgramPaths(const PathEnvironment& env)
{
    ProgramPaths paths;
    paths.programDir = env.sorvaneHome ? fs::path(*env.sorvaneHome) : userDataDir(env);
    for (const fs::path& candidate :
         {env.executableDir / ".." / "share" / "sorvane", env.executableDir / "share" / "sorvane"}) {
        if (isDirectory(candidate.lexically_normal())) {
            paths.defaultsDir = candidate.lexically_normal();
            break;
        }
    }
    // A trailing separator in a variable would otherwise give "dir//RECORDED_DATA".
    paths.programDir = paths.programDir.lexically_normal();
    if (paths.programDir.has_relative_path() && !paths.programDir.has_filename())
        paths.programDir = paths.programDir.parent_path();
    return paths;
}

std::vector<std::string> seedProgramDirectory(const fs::path& defaults, const fs::path& target)
{
    std::vector<std::string> problems;
    std::error_code ec;
    if (defaults.empty() || !isDirectory(defaults))
        return problems;
    fs::create_directories(target, ec);
    if (ec) {
        problems.push_back(target.string() + ": " + ec.message());
        return problems;
    }
    fs::recursive_directory_iterator it(defaults, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        problems.push_back(defaults.string() + ": " + ec.message());
        return problems;
    }
    for (const fs::directory_entry& entry : it) {
        const fs::path relative = entry.path().lexically_relative(defaults);
        const fs::path destination = target / relative;
        std::error_code e;
        if (entry.is_directory(e)) {
            fs::create_directories(destination, e);
        } else if (entry.is_regular_file(e) && !fs::exists(destination, e)) {
            fs::copy_file(entry.path(), destination, fs::copy_options::skip_existing, e);
        }
        if (e)
            problems.push_back(destination.string() + ": " + e.message());
    }
    return problems;
}

} // namespace sorvane
