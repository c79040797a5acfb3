#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace sorvane::test {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

private:
    std::filesystem::path path_;
};

// A file's bytes ("" when it cannot be read), and a file written with exactly these
// bytes (its folders made first).
std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, std::string_view bytes);

} // namespace sorvane::test
