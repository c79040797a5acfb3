#pragma once
// The device's file system as the explorer's device pane works on it. Every exchange
// goes through a DeviceFileService, which runs it as a job on the thread that reads
// the device's link and answers on the user-interface thread; this side never waits.
// Folders and entry names are the device's bytes; the pane shows them as PC text.
//
// Thread: user-interface thread (the service's answers come there too).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/DeviceFolder.h"
#include "files/ExplorerModel.h"
#include "files/FileTransfer.h"
#include "files/FolderSide.h"

namespace sorvane {

// The device's file exchanges as jobs; each done is called once, on the user-interface
// thread, unless the service has gone by then.
class DeviceFileService {
public:
    virtual ~DeviceFileService() = default;
    virtual void list(std::string folder, std::function<void(DeviceListing)> done) = 0;
    virtual void remove(std::string path, std::function<void(DeviceFileStatus)> done) = 0;
    virtual void rename(std::string from, std::string to, std::function<void(DeviceFileStatus)> done) = 0;
    // Sends (PC to device) or receives the files; state is the progress the dialog
    // shows and its cancel flag.
    virtual void transfer(bool sending, std::vector<TransferFile> files, std::shared_ptr<TransferState> state,
                          std::function<void(TransferReport)> done) = 0;
    virtual void sendMessage(std::vector<uint8_t> message) = 0;
};

class DeviceSide final : public FolderSide {
public:
    // service is borrowed and outlives this side.
    explicit DeviceSide(DeviceFileService& service) : service_(service) {}

    std::string parentOf(std::string_view folder) const override { return DeviceParent(folder); }
    std::string pathOf(std::string_view folder, const PaneEntry& entry) const override
    {
        return DeviceChild(folder, entry.name);
    }
    std::string folderText(std::string_view folder) const override;
    std::optional<std::string> folderOfText(std::string_view text) const override;
    // A file whose name ends in ".EXE".
    bool runnable(std::string_view, const PaneEntry& entry) const override { return IsRunnableName(entry.text); }
    bool deletesFolderContents() const override { return false; }
    bool makesFolders() const override { return false; }

    // A listing that did not come says why in its note; one too large to show warns.
    void list(const std::string& folder, SortKey key, std::function<void(SideListing)> done) override;
    // A name the device cannot hold as given is refused before anything is asked.
    void rename(const std::string& folder, const PaneEntry& entry, const std::string& newText,
                std::function<void(SideOutcome)> done) override;
    // One 'm' per entry; done once all have answered.
    void remove(const std::string& folder, std::vector<PaneEntry> entries,
                std::function<void(SideOutcome)> done) override;
    // A device folder cannot be made from here.
    void makeFolder(const std::string&, std::function<void(SideOutcome)> done) override
    {
        done(SideOutcome{"a device folder cannot be made from here", {}});
    }

    // The device pane's entries of a listing (folders whose name begins with "." left out).
    static SideListing paneListing(const DeviceListing& listing, SortKey key);

private:
    DeviceFileService& service_;
};

} // namespace sorvane
