#include "support/TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace sorvane::test {

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "sorvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace sorvane::test
