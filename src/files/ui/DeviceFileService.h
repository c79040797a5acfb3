#pragma once
// The device side of the file explorer: listings, delete, rename and transfers run as
// jobs on the thread that reads the device's link, never on the user-interface
// thread; their results come back as queued calls on the user-interface thread.
// Run ('Y') and open ('{') are whole messages that expect no reply.
//
// LinkJobRunner is the one piece that knows how a connection runs jobs; JobFileService
// turns it into the explorer's DeviceFileService (files/DeviceSide.h).
//
// Thread: DeviceFileService and its callbacks, user-interface thread. LinkJobRunner
// work, the link's thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "files/DeviceSide.h"

namespace sorvane {

class LinkJobRunner {
public:
    enum class Kind { ListDirectory, Delete, Rename, ReceiveFiles, SendFiles };
    // work(channel, stopping): stopping() is true once the connection is ending.
    using Work = std::function<void(LinkChannel& channel, const std::function<bool()>& stopping)>;

    virtual ~LinkJobRunner() = default;
    // Runs work on the link's thread, in posting order; ended(ran) is called once,
    // on any thread, when the job is over (ran false: it never ran).
    virtual void post(Kind kind, Work work, std::function<void(bool ran)> ended) = 0;
    virtual void sendMessage(std::vector<uint8_t> message) = 0;
    // False on USB links, whose blocks travel raw.
    virtual bool compresses() const = 0;
    // After a transfer the connection waits until the explorer has had the result;
    // called on the user-interface thread after it.
    virtual void transferSettled() {}
    // The link dropped and is being made again (jobs then end unrun). Any thread.
    virtual bool reconnecting() const { return false; }
};

class JobFileService final : public QObject, public DeviceFileService {
    Q_OBJECT
public:
    JobFileService(std::shared_ptr<LinkJobRunner> runner, QObject* parent = nullptr);

    void list(std::string folder, std::function<void(DeviceListing)> done) override;
    void remove(std::string path, std::function<void(DeviceFileStatus)> done) override;
    void rename(std::string from, std::string to, std::function<void(DeviceFileStatus)> done) override;
    void transfer(bool sending, std::vector<TransferFile> files, std::shared_ptr<TransferState> state,
                  std::function<void(TransferReport)> done) override;
    void sendMessage(std::vector<uint8_t> message) override { runner_->sendMessage(std::move(message)); }

private:
    // afterDone runs on the user-interface thread after done, even when the service
    // has gone by then.
    template <class Result>
    void run(LinkJobRunner::Kind kind, Result failed, std::function<Result(LinkChannel&, const std::function<bool()>&)> work,
             std::function<void(Result)> done, std::function<void()> afterDone = {});

    std::shared_ptr<LinkJobRunner> runner_;
};

} // namespace sorvane
