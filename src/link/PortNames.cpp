#include "link/PortNames.h"

namespace sorvane {

std::string devicePathForPort(std::string_view pattern, uint32_t port)
{
    std::string out;
    const std::string minusOne = std::to_string(int64_t(port) - 1);
    const std::string plain = std::to_string(port);
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.substr(i, 5) == "{n-1}") {
            out += minusOne;
            i += 5;
        } else if (pattern.substr(i, 3) == "{n}") {
            out += plain;
            i += 3;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

} // namespace sorvane
