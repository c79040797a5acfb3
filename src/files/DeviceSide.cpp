#include "files/DeviceSide.h"

#include <cctype>

#include "files/DeviceNames.h"
#include "files/ListingText.h"

namespace sorvane {

std::string DeviceSide::folderText(std::string_view folder) const { return PcTextOfDevice(folder); }

std::optional<std::string> DeviceSide::folderOfText(std::string_view text) const
{
    // The path button shows the folder as PC text, which goes back to the device's bytes unchanged.
    const DeviceName folder = DeviceTextOfPc(text);
    if (!folder.ok())
        return std::nullopt;
    return folder.bytes;
}

SideListing DeviceSide::paneListing(const DeviceListing& listing, SortKey key)
{
    SideListing out;
    for (const DeviceItem& item : DevicePaneItems(listing.items, key)) {
        PaneEntry e;
        e.name = item.name;
        e.text = PcTextOfDevice(item.name);
        e.kind = item.folder ? PcFolderItem::Kind::Folder : PcFolderItem::Kind::File;
        e.size = item.size;
        if (!item.folder)
            e.sizeText = FormatSize(item.size);
        out.entries.push_back(std::move(e));
    }
    // An empty pane would read as an empty folder: say why nothing is listed.
    if (listing.status != DeviceFileStatus::Ok && listing.status != DeviceFileStatus::TooLarge) {
        out.note = deviceFileStatusText(listing.status);
        out.note[0] = char(std::toupper(static_cast<unsigned char>(out.note[0])));
        out.note += ".";
    }
    if (listing.status == DeviceFileStatus::TooLarge)
        out.warning = "The device's folder has more entries than can be shown.";
    return out;
}

void DeviceSide::list(const std::string& folder, SortKey key, std::function<void(SideListing)> done)
{
    service_.list(folder, [key, done = std::move(done)](DeviceListing listing) { done(paneListing(listing, key)); });
}

void DeviceSide::rename(const std::string& folder, const PaneEntry& entry, const std::string& newText,
                        std::function<void(SideOutcome)> done)
{
    const DeviceName name = NewDeviceFileName(newText);
    if (!name.ok()) {
        done(SideOutcome{"The device cannot take this name: " + name.problem + ".", {}});
        return;
    }
    service_.rename(pathOf(folder, entry), DeviceChild(folder, name.bytes),
                    [bytes = name.bytes, done = std::move(done)](DeviceFileStatus status) {
                        done(status == DeviceFileStatus::Ok ? SideOutcome{{}, bytes}
                                                            : SideOutcome{std::string(kRenameFailed), {}});
                    });
}

void DeviceSide::remove(const std::string& folder, std::vector<PaneEntry> entries,
                        std::function<void(SideOutcome)> done)
{
    struct Tally {
        size_t wanted = 0, answered = 0, removed = 0;
        std::function<void(SideOutcome)> done;
    };
    auto tally = std::make_shared<Tally>();
    tally->wanted = entries.size();
    tally->done = std::move(done);
    if (entries.empty()) {
        tally->done(SideOutcome{});
        return;
    }
    for (const PaneEntry& e : entries) {
        service_.remove(pathOf(folder, e), [tally](DeviceFileStatus status) {
            tally->removed += status == DeviceFileStatus::Ok;
            if (++tally->answered == tally->wanted)
                tally->done(tally->removed < tally->wanted ? SideOutcome{std::string(kNotAllDeleted), {}}
                                                           : SideOutcome{});
        });
    }
}

} // namespace sorvane
