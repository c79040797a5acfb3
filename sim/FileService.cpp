#include "FileService.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "EventLog.h"
#include "WireNames.h"
#include "WireRecords.h"
#include "platform/ByteOrder.h"

namespace sorvane::sim {
namespace {

constexpr uint8_t kList = 103, kOpenRead = 104, kCreate = 105, kClose = 106, kReadBlock = 107, kWriteBlock = 108,
                  kDelete = 109, kRename = 110, kRun = 89, kOpenShell = 123;
constexpr uint32_t kBlock = 32768;
constexpr uint32_t kMaxPathBytes = 65536;
constexpr uint32_t kMaxWire = 1u << 20; // a write block longer than this is not read
constexpr uint32_t kInvalidHandle = 0xFFFFFFFF;
constexpr size_t kMaxOpenFiles = 64;

bool readWholeAt(int fd, uint8_t* out, size_t n, off_t at, size_t& got)
{
    got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, out + got, n - got, at + off_t(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            break;
        got += size_t(r);
    }
    return true;
}

bool writeWholeAt(int fd, const uint8_t* in, size_t n, off_t at)
{
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd, in + done, n - done, at + off_t(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += size_t(r);
    }
    return true;
}

// zlib level 1 into room for in.size() bytes: the stream's length, or nullopt when it
// does not shrink to fit.
std::optional<size_t> deflateInto(const std::vector<uint8_t>& in, std::vector<uint8_t>& out)
{
    if (in.empty())
        return std::nullopt;
    out.assign(in.size(), 0);
    z_stream s{};
    if (deflateInit(&s, 1) != Z_OK)
        return std::nullopt;
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    const int r = deflate(&s, Z_FINISH);
    const size_t n = out.size() - s.avail_out;
    deflateEnd(&s);
    if (r != Z_STREAM_END)
        return std::nullopt;
    return n;
}

bool inflateExactly(const uint8_t* in, size_t n, std::vector<uint8_t>& out, size_t raw)
{
    out.assign(raw, 0);
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return false;
    s.next_in = const_cast<Bytef*>(in);
    s.avail_in = uInt(n);
    s.next_out = out.data();
    s.avail_out = uInt(raw);
    int r = Z_OK;
    while (r == Z_OK)
        r = inflate(&s, Z_FINISH);
    const bool ok = r == Z_STREAM_END && s.avail_out == 0;
    inflateEnd(&s);
    return ok;
}

} // namespace

FileService::FileService(const SimOptions& options, ByteLink& link, EventLog& log)
    : options_(options), link_(link), log_(log)
{
    char real[PATH_MAX];
    if (!options.filesDir.empty() && ::realpath(options.filesDir.c_str(), real))
        root_ = real;
}

FileService::~FileService()
{
    for (auto& [handle, fd] : open_)
        ::close(fd);
}

FileService::Served FileService::handle(uint8_t code)
{
    switch (code) {
    case kList: return list();
    case kOpenRead: return open(false);
    case kCreate: return open(true);
    case kClose: return close();
    case kReadBlock: return readBlock();
    case kWriteBlock: return writeBlock();
    case kDelete: return remove();
    case kRename: return rename();
    case kRun: return shellCommand("run");
    case kOpenShell: return shellCommand("open");
    default: return Served::NotMine;
    }
}

FileService::Served FileService::reply(uint32_t value)
{
    uint8_t b[4];
    storeLe32(b, value);
    return link_.writeAll(b, 4) ? Served::Continue : Served::End;
}

// Reads a path message's length and path (up to its NUL). ok is false for an absurd
// length, whose bytes are then left on the link.
bool FileService::readPath(std::string& path, bool& ok)
{
    uint8_t c[4];
    if (!link_.readExact(c, 4))
        return false;
    const uint32_t n = loadLe32(c);
    ok = n <= kMaxPathBytes;
    if (!ok) {
        log_.line("badlength " + std::to_string(n));
        return true;
    }
    std::vector<uint8_t> bytes(n);
    if (n && !link_.readExact(bytes.data(), n))
        return false;
    path = std::string(fixedString(bytes));
    return true;
}

std::optional<std::string> FileService::resolve(const std::string& devicePath, bool mustExist) const
{
    if (root_.empty())
        return std::nullopt;
    std::string path = root_;
    size_t start = 0;
    std::string last;
    while (start <= devicePath.size()) {
        size_t end = devicePath.find('\\', start);
        if (end == std::string::npos)
            end = devicePath.size();
        const std::string wire = devicePath.substr(start, end - start);
        start = end + 1;
        if (wire.empty())
            continue;
        if (wire == "." || wire == ".." || wire.find('/') != std::string::npos || !windowsNamePart(wire))
            return std::nullopt;
        const std::string part = wireToDisk(wire);
        path += "/" + part;
        last = part;
    }
    // Links must not lead out of the sandbox: the real path of what exists (or of the
    // folder a new file goes into) must lie inside it.
    char real[PATH_MAX];
    const bool exists = ::realpath(path.c_str(), real) != nullptr;
    std::string check;
    if (exists) {
        check = real;
    } else {
        if (mustExist || last.empty())
            return std::nullopt;
        const std::string parent = path.substr(0, path.size() - last.size() - 1);
        if (!::realpath(parent.c_str(), real))
            return std::nullopt;
        check = real;
    }
    if (check != root_ && check.compare(0, root_.size() + 1, root_ + "/") != 0)
        return std::nullopt;
    return path;
}

FileService::Served FileService::list()
{
    std::string device;
    bool ok = true;
    if (!readPath(device, ok))
        return Served::End;
    struct Item {
        std::string name;
        uint32_t attributes, size, date;
    };
    std::vector<Item> items;
    if (ok) {
        if (auto folder = resolve(device, true)) {
            if (DIR* d = ::opendir(folder->c_str())) {
                while (dirent* e = ::readdir(d)) {
                    const std::string name = e->d_name;
                    if (name == "." || name == "..")
                        continue;
                    struct stat st{};
                    if (::lstat((*folder + "/" + name).c_str(), &st) != 0)
                        continue;
                    const bool dir = S_ISDIR(st.st_mode);
                    items.push_back({diskToWire(name), dir ? 0x10u : 0x20u, dir ? 0u : uint32_t(st.st_size),
                                     uint32_t(st.st_mtime)});
                }
                ::closedir(d);
            }
        }
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
    std::vector<uint8_t> names;
    std::vector<uint8_t> out(8 + items.size() * 20);
    for (size_t i = 0; i < items.size(); ++i) {
        uint8_t* r = out.data() + 8 + i * 20;
        storeLe32(r, items[i].attributes);
        storeLe32(r + 4, items[i].size);
        storeLe32(r + 8, uint32_t(names.size()));
        storeLe32(r + 12, items[i].date);
        storeLe32(r + 16, 0);
        names.insert(names.end(), items[i].name.begin(), items[i].name.end());
        names.push_back(0);
    }
    const size_t badFrom = items.size() - std::min<size_t>(items.size(), options_.fileFaults.badNameOffsets);
    for (size_t i = badFrom; i < items.size(); ++i)
        storeLe32(out.data() + 8 + i * 20 + 8, uint32_t(names.size() + i));
    storeLe32(out.data(), uint32_t(items.size()));
    storeLe32(out.data() + 4, uint32_t(names.size()));
    out.insert(out.end(), names.begin(), names.end());
    log_.line("list " + device + " " + std::to_string(items.size()));
    return link_.writeAll(out) ? Served::Continue : Served::End;
}

FileService::Served FileService::open(bool write)
{
    std::string device;
    bool ok = true;
    if (!readPath(device, ok))
        return Served::End;
    uint32_t handle = kInvalidHandle;
    if (ok && open_.size() < kMaxOpenFiles) {
        if (auto path = resolve(device, !write)) {
            const int fd = write ? ::open(path->c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644)
                                 : ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd >= 0) {
                handle = nextHandle_++;
                open_[handle] = fd;
            }
        }
    }
    log_.line(std::string(write ? "create " : "openread ") + device + (handle == kInvalidHandle ? " failed" : ""));
    return reply(handle);
}

FileService::Served FileService::close()
{
    uint8_t b[4];
    if (!link_.readExact(b, 4))
        return Served::End;
    if (auto it = open_.find(loadLe32(b)); it != open_.end()) {
        ::close(it->second);
        open_.erase(it);
    }
    return Served::Continue;
}

FileService::Served FileService::readBlock()
{
    uint8_t rest[28];
    if (!link_.readExact(rest, 28))
        return Served::End;
    const uint32_t handle = loadLe32(rest), index = loadLe32(rest + 4), wanted = loadLe32(rest + 12);
    const bool compress = (loadLe32(rest + 20) & 1) != 0;
    if (options_.fileFaults.goneAtReadBlock == index) {
        log_.line("fault gone-at-read " + std::to_string(index));
        return Served::End;
    }
    std::vector<uint8_t> raw(std::min(wanted, kBlock));
    size_t got = 0;
    auto it = open_.find(handle);
    if (it == open_.end() || !readWholeAt(it->second, raw.data(), raw.size(), off_t(index) * kBlock, got))
        got = 0;
    raw.resize(got);
    std::vector<uint8_t> data;
    uint32_t flag = 0;
    if (compress) {
        if (auto n = deflateInto(raw, data)) {
            data.resize(*n);
            flag = 1;
        } else {
            data = raw;
            flag = options_.fileFaults.storedFlagged ? 1 : 0;
        }
    } else {
        data = raw;
    }
    const uint32_t crc = linkChecksum(data);
    const FileFaults& f = options_.fileFaults;
    if (f.corruptReadBlock && *f.corruptReadBlock == index && (f.corruptTimes == 0 || corruptedReads_ < f.corruptTimes)) {
        ++corruptedReads_;
        if (data.empty())
            data.push_back(0x5A); // one byte the file does not have; wireLength says so
        else
            data[data.size() / 2] ^= 0x01;
        log_.line("fault corrupt-read " + std::to_string(index));
    }
    std::vector<uint8_t> out(32);
    const auto packet = encodeCommandPacket(kReadBlock);
    std::copy(packet.begin(), packet.end(), out.begin());
    storeLe32(out.data() + 4, handle);
    storeLe32(out.data() + 8, index);
    storeLe32(out.data() + 12, uint32_t(data.size()));
    storeLe32(out.data() + 16, uint32_t(raw.size()));
    storeLe32(out.data() + 20, crc);
    storeLe32(out.data() + 24, flag);
    storeLe32(out.data() + 28, 0);
    out.insert(out.end(), data.begin(), data.end());
    return link_.writeAll(out) ? Served::Continue : Served::End;
}

FileService::Served FileService::writeBlock()
{
    uint8_t rest[28];
    if (!link_.readExact(rest, 28))
        return Served::End;
    const uint32_t handle = loadLe32(rest), index = loadLe32(rest + 4), wire = loadLe32(rest + 8),
                   raw = loadLe32(rest + 12), crc = loadLe32(rest + 16), flag = loadLe32(rest + 20);
    if (wire > kMaxWire) {
        log_.line("badlength " + std::to_string(wire));
        return reply(kReplyNotYet);
    }
    std::vector<uint8_t> data(wire);
    if (wire && !link_.readExact(data.data(), wire))
        return Served::End;
    ++writeBlocks_;
    if (writeBlocks_ <= options_.fileFaults.refuseBlocks) {
        log_.line("fault refuse-write " + std::to_string(index));
        return reply(kReplyNotYet);
    }
    auto it = open_.find(handle);
    if (it == open_.end() || raw > kBlock || linkChecksum(data) != crc)
        return reply(kReplyNotYet);
    std::vector<uint8_t> bytes;
    if ((flag & 1) && inflateExactly(data.data(), data.size(), bytes, raw)) {
        // inflated
    } else if (wire == raw) {
        bytes = std::move(data);
    } else {
        return reply(kReplyNotYet);
    }
    if (!writeWholeAt(it->second, bytes.data(), bytes.size(), off_t(index) * kBlock))
        return reply(kReplyNotYet);
    return reply(kReplyAccepted);
}

FileService::Served FileService::remove()
{
    std::string device;
    bool ok = true;
    if (!readPath(device, ok))
        return Served::End;
    bool done = false;
    if (ok)
        if (auto path = resolve(device, true); path && *path != root_)
            done = ::unlink(path->c_str()) == 0 || (errno == EISDIR && ::rmdir(path->c_str()) == 0);
    log_.line("delete " + device + (done ? "" : " failed"));
    return reply(done ? kReplyAccepted : kReplyNotYet);
}

FileService::Served FileService::rename()
{
    uint8_t paths[512];
    if (!link_.readExact(paths, 512))
        return Served::End;
    const std::string from(fixedString(std::span<const uint8_t>(paths, 256)));
    const std::string to(fixedString(std::span<const uint8_t>(paths + 256, 256)));
    bool done = false;
    auto a = resolve(from, true);
    auto b = resolve(to, false);
    struct stat st{};
    if (a && b && *a != root_ && ::lstat(b->c_str(), &st) != 0) // never over an existing entry
        done = ::rename(a->c_str(), b->c_str()) == 0;
    log_.line("rename " + from + " " + to + (done ? "" : " failed"));
    return reply(done ? kReplyAccepted : kReplyNotYet);
}

FileService::Served FileService::shellCommand(const char* what)
{
    std::string device;
    bool ok = true;
    if (!readPath(device, ok))
        return Served::End;
    if (ok)
        log_.line(std::string(what) + " " + device);
    return Served::Continue;
}

} // namespace sorvane::sim
