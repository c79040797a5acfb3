#pragma once
// The device's file system as the PC sees it: folder listings ('g'), delete ('m'),
// rename ('n'), and the messages that open ('{') or run ('Y') a device file. Device
// paths are the device's own: backslashes, the root is "\" (a listing of the root is
// asked for with the empty path), at most 255 characters.
//
// Listing reply:
//   u32 N, u32 L, N DirEntry records of 20 bytes, L bytes of NUL-terminated names
// DirEntry:
//   offset 0 u32 attributes (0x10 = folder), 4 u32 size, 8 u32 name offset within the
//   name bytes, 12 u32 date value (its encoding is the device's), 16 u32 unused
//
// The exchanges are plain functions over the link of one connection; they run on the
// thread that reads it (a connection job, or a command-line run) and block in it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/SortKeys.h"
#include "link/LinkChannel.h"

namespace sorvane {

inline constexpr size_t kDirEntrySize = 20;
inline constexpr size_t kMaxDevicePath = 255;
inline constexpr uint32_t kFolderAttribute = 0x10;
// A listing larger than these is not taken: its bytes are drained and the listing fails.
inline constexpr uint32_t kMaxListingEntries = 65536;
inline constexpr uint32_t kMaxListingNameBytes = 4u << 20;

struct DirEntry {
    uint32_t attributes = 0;
    uint32_t size = 0;
    uint32_t nameOffset = 0;
    uint32_t date = 0;
    uint32_t unused = 0;
};
void EncodeDirEntry(const DirEntry& e, std::span<uint8_t, kDirEntrySize> out);
DirEntry DecodeDirEntry(std::span<const uint8_t, kDirEntrySize> in);

// One entry of a device folder as the explorer and sorvane-cli use it.
struct DeviceItem {
    std::string name;
    bool folder = false;
    uint32_t size = 0;
    uint32_t date = 0;
    uint32_t attributes = 0;
    SortKeyRecord keys; // EntryKeys(name, folder, Device, size, date)
};

enum class DeviceFileStatus {
    Ok,
    NoReply,        // the reply did not arrive whole
    TooLarge,       // a listing beyond the limits above
    Refused,        // delete/rename answered with something else than 'a'
    PathTooLong,    // a device path beyond 255 characters
    Reconnecting,   // the link dropped and is being made again: nothing was asked
};
std::string_view deviceFileStatusText(DeviceFileStatus status);

struct DeviceListing {
    DeviceFileStatus status = DeviceFileStatus::Ok;
    std::vector<DeviceItem> items; // in reply order; entries whose name lies outside the names are left out
    uint32_t skipped = 0;          // such entries
};

// Decodes a listing reply that is already whole (count, length, records, names).
// Names run to their NUL or to the end of the name bytes.
DeviceListing DecodeListing(std::span<const uint8_t> reply);

// 'g' with folder ("" for the root). Entries come in reply order, all of them
// ("." folders included: hiding them is the pane's choice).
DeviceListing ListDeviceFolder(LinkChannel& channel, std::string_view folder);
// 'm': true when the device answered 'a'.
DeviceFileStatus DeleteDeviceFile(LinkChannel& channel, std::string_view devicePath);
// 'n' with two 256-byte path fields.
DeviceFileStatus RenameDeviceFile(LinkChannel& channel, std::string_view oldPath, std::string_view newPath);
// 'Y' (run) and '{' (open with its program): whole messages that expect no reply.
std::vector<uint8_t> RunDeviceFileMessage(std::string_view devicePath);
std::vector<uint8_t> OpenDeviceFileMessage(std::string_view devicePath);
std::vector<uint8_t> RenameMessage(std::string_view oldPath, std::string_view newPath);

// folder + "\" (unless folder already ends with one) + name; "" + "x" gives "\x".
std::string DeviceChild(std::string_view folder, std::string_view name);
// The folder one level up: "\a\b" -> "\a", "\a" -> "" (the root).
std::string DeviceParent(std::string_view folder);
// The text after the last backslash.
std::string_view DeviceBaseName(std::string_view path);
// The folder part of a device path: "\a\b" -> "\a", "\b" -> "" (root).
std::string DeviceFolderOf(std::string_view path);
// A name the device gave that may stand as one PC path component: not empty, not
// "." or "..", no "/" and no NUL.
bool IsSafePcName(std::string_view name);

} // namespace sorvane
