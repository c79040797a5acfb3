#include "files/DeviceFolder.h"

#include <cstring>

#include "link/CommandPacket.h"
#include "platform/ByteOrder.h"

namespace sorvane {

void EncodeDirEntry(const DirEntry& e, std::span<uint8_t, kDirEntrySize> out)
{
    storeLe32(out.data(), e.attributes);
    storeLe32(out.data() + 4, e.size);
    storeLe32(out.data() + 8, e.nameOffset);
    storeLe32(out.data() + 12, e.date);
    storeLe32(out.data() + 16, e.unused);
}

DirEntry DecodeDirEntry(std::span<const uint8_t, kDirEntrySize> in)
{
    const uint8_t* p = in.data();
    return DirEntry{loadLe32(p), loadLe32(p + 4), loadLe32(p + 8), loadLe32(p + 12), loadLe32(p + 16)};
}

std::string_view deviceFileStatusText(DeviceFileStatus status)
{
    switch (status) {
    case DeviceFileStatus::Ok: return "done";
    case DeviceFileStatus::NoReply: return "the device did not answer";
    case DeviceFileStatus::TooLarge: return "the device's listing is too large";
    case DeviceFileStatus::Refused: return "the device refused";
    case DeviceFileStatus::PathTooLong: return "the device path is longer than 255 characters";
    case DeviceFileStatus::Reconnecting: return "the device is reconnecting";
    }
    return "unknown";
}

DeviceListing DecodeListing(std::span<const uint8_t> reply)
{
    DeviceListing out;
    if (reply.size() < 8) {
        out.status = DeviceFileStatus::NoReply;
        return out;
    }
    const uint64_t n = loadLe32(reply.data()), l = loadLe32(reply.data() + 4);
    if (n > kMaxListingEntries || l > kMaxListingNameBytes) {
        out.status = DeviceFileStatus::TooLarge;
        return out;
    }
    if (reply.size() != 8 + n * kDirEntrySize + l) {
        out.status = DeviceFileStatus::NoReply;
        return out;
    }
    const uint8_t* records = reply.data() + 8;
    const char* names = reinterpret_cast<const char*>(records + n * kDirEntrySize);
    out.items.reserve(size_t(n));
    for (uint64_t i = 0; i < n; ++i) {
        DirEntry e = DecodeDirEntry(std::span<const uint8_t, kDirEntrySize>(records + i * kDirEntrySize, kDirEntrySize));
        if (e.nameOffset >= l) {
            ++out.skipped;
            continue;
        }
        const char* start = names + e.nameOffset;
        const void* nul = std::memchr(start, 0, size_t(l - e.nameOffset));
        const size_t len = nul ? size_t(static_cast<const char*>(nul) - start) : size_t(l - e.nameOffset);
        DeviceItem item;
        item.name.assign(start, len);
        item.folder = (e.attributes & kFolderAttribute) != 0;
        item.size = e.size;
        item.date = e.date;
        item.attributes = e.attributes;
        item.keys = EntryKeys(item.name, item.folder, EntrySide::Device, item.folder ? 0 : e.size, e.date);
        out.items.push_back(std::move(item));
    }
    return out;
}

DeviceListing ListDeviceFolder(LinkChannel& channel, std::string_view folder)
{
    DeviceListing out;
    if (folder.size() > kMaxDevicePath) {
        out.status = DeviceFileStatus::PathTooLong;
        return out;
    }
    auto m = BuildPathMessage(CmdListDirectory, folder);
    channel.send(m.data(), m.size());
    std::vector<uint8_t> reply(8);
    if (channel.recv(reply.data(), 8) != 8) {
        channel.discardPending();
        out.status = DeviceFileStatus::NoReply;
        return out;
    }
    const uint64_t n = loadLe32(reply.data()), l = loadLe32(reply.data() + 4);
    if (n > kMaxListingEntries || l > kMaxListingNameBytes) {
        channel.discardPending();
        out.status = DeviceFileStatus::TooLarge;
        return out;
    }
    const size_t rest = size_t(n * kDirEntrySize + l);
    reply.resize(8 + rest);
    if (rest && channel.recv(reply.data() + 8, rest) != rest) {
        channel.discardPending();
        out.status = DeviceFileStatus::NoReply;
        return out;
    }
    return DecodeListing(reply);
}

namespace {

DeviceFileStatus readResult(LinkChannel& channel)
{
    uint8_t r[4];
    if (channel.recv(r, 4) != 4) {
        channel.discardPending();
        return DeviceFileStatus::NoReply;
    }
    return loadLe32(r) == ReplyAccepted ? DeviceFileStatus::Ok : DeviceFileStatus::Refused;
}

} // namespace

DeviceFileStatus DeleteDeviceFile(LinkChannel& channel, std::string_view devicePath)
{
    if (devicePath.size() > kMaxDevicePath)
        return DeviceFileStatus::PathTooLong;
    auto m = BuildPathMessage(CmdDelete, devicePath);
    channel.send(m.data(), m.size());
    return readResult(channel);
}

std::vector<uint8_t> RenameMessage(std::string_view oldPath, std::string_view newPath)
{
    std::vector<uint8_t> m(4 + 256 + 256, 0);
    BuildCommand(std::span<uint8_t, 4>(m.data(), 4), CmdRename);
    storeFixedString(std::span<uint8_t>(m.data() + 4, 256), oldPath);
    storeFixedString(std::span<uint8_t>(m.data() + 260, 256), newPath);
    return m;
}

DeviceFileStatus RenameDeviceFile(LinkChannel& channel, std::string_view oldPath, std::string_view newPath)
{
    if (oldPath.size() > kMaxDevicePath || newPath.size() > kMaxDevicePath)
        return DeviceFileStatus::PathTooLong;
    auto m = RenameMessage(oldPath, newPath);
    channel.send(m.data(), m.size());
    return readResult(channel);
}

std::vector<uint8_t> RunDeviceFileMessage(std::string_view devicePath)
{
    return BuildPathMessage(CmdRunProgram, devicePath);
}

std::vector<uint8_t> OpenDeviceFileMessage(std::string_view devicePath)
{
    return BuildPathMessage(CmdOpenAssociated, devicePath);
}

std::string DeviceChild(std::string_view folder, std::string_view name)
{
    std::string p(folder);
    if (p.empty() || p.back() != '\\')
        p += '\\';
    p += name;
    return p;
}

std::string DeviceParent(std::string_view folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.remove_suffix(1);
    size_t slash = folder.rfind('\\');
    if (slash == std::string_view::npos || slash == 0)
        return "";
    return std::string(folder.substr(0, slash));
}

std::string_view DeviceBaseName(std::string_view path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string DeviceFolderOf(std::string_view path)
{
    size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos || slash == 0)
        return "";
    return std::string(path.substr(0, slash));
}

bool IsSafePcName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace sorvane
