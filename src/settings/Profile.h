#pragma once
// One saved connection definition. Its 136-byte little-endian image is the stored
// format ("ConnData" holds these images back to back), so encode/decode keep every
// byte, the twelve reserved ones included.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/LinkTarget.h"

namespace sorvane {

// "IRDA", "Serial (COM) Port", ... for kinds 0..6; "" for anything else.
std::string_view linkKindName(uint32_t kind);

struct Profile {
    static constexpr size_t kSize = 136;
    static constexpr size_t kNameSize = 64;

    // Where this connection's link goes.
    LinkTarget target() const { return LinkTarget{linkKind, port, ipAddress}; }

    uint32_t linkKind = 0;
    uint32_t port = 0;
    int32_t skinIndex = 0;
    int32_t scale = 0;
    uint32_t ipAddress = 0; // first octet in the most significant byte
    int32_t lowColor = 0;
    int32_t queueEvents = 0;
    int32_t showMouseCursor = 0;
    int32_t autoConnect = 0;
    int32_t openMaximized = 0;
    int32_t refreshRate = 0;
    int32_t recordingMethod = 0; // 0 script events, 1 AVI video
    int32_t captureMode = 0;     // 0 file, 1 clipboard, 2 one click
    int32_t clickFormat = 0;     // 0 BMP, 1 BMP24, 2 GIF, 3 JPEG
    uint32_t backgroundColor = 0; // 0x00BBGGRR
    std::array<uint8_t, 12> reserved{};
    std::array<uint8_t, kNameSize> name{}; // NUL-terminated, at most 63 characters

    std::string_view nameView() const;
    void setName(std::string_view s); // cut to 63 characters

    void encode(std::span<uint8_t, kSize> out) const;
    static Profile decode(std::span<const uint8_t, kSize> in);

    bool operator==(const Profile&) const = default;
};

} // namespace sorvane
