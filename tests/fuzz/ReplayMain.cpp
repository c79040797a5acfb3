// Runs a fuzz target's entry point once on every file named on the command line or
// found in a folder named there (in name order), as libFuzzer does with -runs=0. A
// failing input aborts or trips a sanitizer; the file being run is printed first.
// An empty or missing corpus is a failure: a replay that runs nothing proves nothing.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& e : fs::directory_iterator(argv[i]))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else if (fs::is_regular_file(argv[i], ec)) {
            files.emplace_back(argv[i]);
        } else {
            std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files to replay\n");
        return 1;
    }
    for (const fs::path& p : files) {
        std::printf("%s\n", p.c_str());
        std::fflush(stdout);
        std::ifstream in(p, std::ios::binary);
        const std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A block of exactly the file's size, so that AddressSanitizer sees a read past its end.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size()]);
        std::copy(data.begin(), data.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), data.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
