#include "FrameDump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace sorvane::sim {
namespace {

std::string writeAtomically(const std::string& path, const std::string& head, const uint8_t* data, size_t n)
{
    // The temporary name is unique per thread: connections may dump at the same time.
    std::string tmp = path + ".tmp" + std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return "cannot write " + tmp + ": " + std::strerror(errno);
    auto put = [&](const uint8_t* p, size_t len) {
        while (len > 0) {
            ssize_t w = ::write(fd, p, len);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            p += w;
            len -= size_t(w);
        }
        return true;
    };
    bool ok = put(reinterpret_cast<const uint8_t*>(head.data()), head.size()) && put(data, n);
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return "cannot write " + path + ": " + why;
    }
    return {};
}

} // namespace

std::string writeFrameDump(const std::string& dir, const std::string& display, int width, int height,
                           const std::vector<Rgb>& rgb, const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> pixels;
    pixels.reserve(rgb.size() * 3);
    for (const Rgb& c : rgb) {
        pixels.push_back(c.r);
        pixels.push_back(c.g);
        pixels.push_back(c.b);
    }
    std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    if (auto e = writeAtomically(dir + "/" + display + ".ppm", head, pixels.data(), pixels.size()); !e.empty())
        return e;
    return writeAtomically(dir + "/" + display + ".raw", {}, raw.data(), raw.size());
}

std::string writeRefreshCount(const std::string& dir, unsigned count)
{
    const std::string text = std::to_string(count) + "\n";
    return writeAtomically(dir + "/refreshes", text, nullptr, 0);
}

} // namespace sorvane::sim
