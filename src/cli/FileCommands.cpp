// ls DEVFOLDER, get DEVPATH LOCALPATH, put LOCALPATH... DEVFOLDER, rm DEVPATH,
// mv DEVPATH NEWNAME, run DEVPATH: the device's files through the same exchanges the
// file explorer uses. --timeout bounds each wait for the device (the session's
// channel), not the whole run.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "platform/Utf8Text.h"
#include "tools/DeviceText.h"
#include "files/DeviceFolder.h"
#include "files/DeviceNames.h"
#include "files/FileTransfer.h"
#include "link/SlotLinkChannel.h"

namespace sorvane::cli {
namespace {

// Progress on standard error when it is a terminal.
class CliProgress final : public TransferProgress {
public:
    CliProgress() : show_(::isatty(2) == 1) {}
    void fileStarted(size_t, std::string_view name, uint64_t size, uint64_t) override
    {
        name_ = EscapeDeviceText(name);
        size_ = size;
        start_ = done_;
        draw(done_);
    }
    void blockMoved(uint64_t, uint64_t bytesDone) override
    {
        done_ = bytesDone;
        draw(bytesDone);
    }
    bool cancelled() override { return false; }
    void finish()
    {
        if (show_ && drawn_)
            std::fputc('\n', stderr);
    }

private:
    void draw(uint64_t bytesDone)
    {
        if (!show_)
            return;
        const uint64_t mine = bytesDone - start_;
        std::fprintf(stderr, "\r%s: %llu of %llu bytes (%llu%%)\033[K", name_.c_str(), (unsigned long long)mine,
                     (unsigned long long)size_, (unsigned long long)(size_ ? mine * 100 / size_ : 100));
        drawn_ = true;
    }

    bool show_;
    bool drawn_ = false;
    std::string name_;
    uint64_t size_ = 0, start_ = 0, done_ = 0;
};

// A device path or name the user typed (UTF-8), in the device's spelling; nullopt after
// saying why there is none.
std::optional<std::string> deviceText(std::string_view typed)
{
    DeviceName d = DeviceTextOfPc(typed);
    if (!d.ok()) {
        fail(EscapeText(typed) + ": " + d.problem);
        return std::nullopt;
    }
    return std::move(d.bytes);
}

// "\" is the root, which the device lists under the empty path; a trailing "\" goes.
std::string deviceFolderArg(std::string folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string reasonFor(CliSession& session, std::string_view what)
{
    if (session.timedOut())
        return session.timeoutReason();
    return std::string(what);
}

TransferOptions optionsFor(CliSession& session) { return TransferOptions{LinkKind(session.slot().linkKind) != LinkKind::Usb}; }

bool lessIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        return lower(uint8_t(x)) < lower(uint8_t(y));
    });
}

int reportTransfer(CliSession& session, const TransferReport& report, const std::vector<TransferFile>& files,
                   bool sending)
{
    int status = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (report.results[i] == FileResult::Done)
            continue;
        const std::string name = sending ? EscapeText(files[i].pcPath) : EscapeDeviceText(files[i].devicePath);
        std::fprintf(stderr, "sorvane-cli: %s: %s\n", name.c_str(),
                     reasonFor(session, report.text(i)).c_str());
        status = 1;
    }
    return status;
}

} // namespace

int runLs(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usage("ls takes one device folder");
    const auto folder = deviceText(deviceFolderArg(args[0]));
    if (!folder)
        return 1;
    LinkChannel& channel = session.channel();
    DeviceListing listing = ListDeviceFolder(channel, *folder);
    if (listing.status != DeviceFileStatus::Ok)
        return fail(reasonFor(session, deviceFileStatusText(listing.status)));
    if (listing.skipped)
        std::fprintf(stderr, "sorvane-cli: %u %s with a bad name %s skipped\n", unsigned(listing.skipped),
                     listing.skipped == 1 ? "entry" : "entries", listing.skipped == 1 ? "was" : "were");
    std::stable_sort(listing.items.begin(), listing.items.end(), [](const DeviceItem& a, const DeviceItem& b) {
        if (a.folder != b.folder)
            return a.folder;
        return lessIgnoringAsciiCase(a.name, b.name);
    });
    for (const DeviceItem& item : listing.items)
        std::printf("%c\t%u\t%u\t%s\n", item.folder ? 'd' : '-', unsigned(item.size), unsigned(item.date),
                    EscapeDeviceText(item.name).c_str());
    return 0;
}

int runGet(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return usage("get takes a device file and a PC path");
    const auto typed = deviceText(args[0]);
    if (!typed)
        return 1;
    const std::string devicePath = *typed;
    const std::string name(DeviceBaseName(devicePath));
    if (name.empty())
        return usage("get needs a device file, not a folder: " + EscapeText(args[0]));
    std::string pcPath = args[1];
    struct stat st{};
    if (::stat(pcPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        const std::string pcName = PcTextOfDevice(name);
        if (!IsSafePcName(pcName))
            return fail("the device name " + EscapeDeviceText(name) + " cannot be a PC file name; give a PC file path");
        pcPath += pcPath.back() == '/' ? "" : "/";
        if (!session.label().empty()) {
            // On several devices: a folder each, named by the label, inside the one given.
            pcPath += session.label();
            if (::mkdir(pcPath.c_str(), 0777) != 0 && errno != EEXIST)
                return fail("cannot make the folder " + pcPath + ": " + std::strerror(errno));
            if (::lstat(pcPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return fail(pcPath + " is not a folder");
            pcPath += "/";
        }
        pcPath += pcName;
    } else {
        pcPath = session.outputPath(pcPath); // on several devices, one file each beside it
    }
    LinkChannel& channel = session.channel();
    DeviceListing listing = ListDeviceFolder(channel, DeviceFolderOf(devicePath));
    if (listing.status != DeviceFileStatus::Ok)
        return fail(reasonFor(session, deviceFileStatusText(listing.status)));
    // The device's names ignore case: the exact name first, else the one that differs in case only.
    auto it = std::find_if(listing.items.begin(), listing.items.end(),
                           [&](const DeviceItem& i) { return i.name == name; });
    if (it == listing.items.end())
        it = std::find_if(listing.items.begin(), listing.items.end(), [&](const DeviceItem& i) {
            return !lessIgnoringAsciiCase(i.name, name) && !lessIgnoringAsciiCase(name, i.name);
        });
    if (it == listing.items.end())
        return fail("no such device file: " + EscapeDeviceText(devicePath));
    if (it->folder)
        return fail(EscapeDeviceText(devicePath) + " is a folder");
    std::vector<TransferFile> files{TransferFile{pcPath, devicePath, it->size}};
    CliProgress progress;
    TransferReport report = ReceiveFiles(channel, files, optionsFor(session), progress);
    progress.finish();
    return reportTransfer(session, report, files, false);
}

int runPut(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return usage("put takes one or more PC files and a device folder");
    const auto folder = deviceText(deviceFolderArg(args.back()));
    if (!folder)
        return 1;
    std::vector<TransferFile> files;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        // Nothing is sent unless every name is one the device holds, in the folder given.
        const DeviceName name = NewDeviceFileName(PcBaseName(args[i]));
        if (!name.ok())
            return fail(EscapeText(args[i]) + ": " + name.problem);
        const std::string device = DeviceChild(*folder, name.bytes);
        if (device.size() > kMaxDevicePath)
            return fail("the device path " + PcTextOfDevice(device) + " is longer than 255 characters");
        files.push_back(TransferFile{args[i], device, 0});
    }
    LinkChannel& channel = session.channel();
    CliProgress progress;
    TransferReport report = SendFiles(channel, files, optionsFor(session), progress);
    progress.finish();
    return reportTransfer(session, report, files, true);
}

int runRm(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usage("rm takes one device path");
    const auto path = deviceText(args[0]);
    if (!path)
        return 1;
    LinkChannel& channel = session.channel();
    DeviceFileStatus s = DeleteDeviceFile(channel, *path);
    if (s != DeviceFileStatus::Ok)
        return fail(args[0] + ": " + reasonFor(session, deviceFileStatusText(s)));
    return 0;
}

int runMv(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return usage("mv takes a device path and a new name");
    if (args[1].empty() || args[1].find('\\') != std::string::npos)
        return usage("the new name is a name in the same folder, without \\");
    const auto path = deviceText(args[0]);
    if (!path)
        return 1;
    const DeviceName name = NewDeviceFileName(args[1]);
    if (!name.ok())
        return fail(EscapeText(args[1]) + ": " + name.problem);
    LinkChannel& channel = session.channel();
    const std::string target = DeviceChild(DeviceFolderOf(*path), name.bytes);
    DeviceFileStatus s = RenameDeviceFile(channel, *path, target);
    if (s != DeviceFileStatus::Ok)
        return fail(args[0] + ": " + reasonFor(session, deviceFileStatusText(s)));
    return 0;
}

int runRun(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usage("run takes one device path");
    const auto path = deviceText(args[0]);
    if (!path)
        return 1;
    if (path->size() > kMaxDevicePath)
        return fail("the device path is longer than 255 characters");
    auto m = RunDeviceFileMessage(*path);
    if (LinkSend(session.slot(), session.clock(), m) != m.size())
        return fail("cannot send to the device");
    return 0;
}

} // namespace sorvane::cli
