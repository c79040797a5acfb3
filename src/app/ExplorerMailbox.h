#pragma once
// The file explorer's jobs run by a live connection's thread through its request
// mailbox (view record `request`, `requestDone`, `serveRequest`): one job at a time,
// raised only while the connection polls the screen or stands after a transfer
// ('e'); a listing, delete or rename puts the connection back to polling itself; after
// a transfer the connection stands at 'e' until the explorer's next job or, when none
// follows, until the runner puts it back.
//
// This adapter goes once connections run typed jobs of their own; then the explorer's
// LinkJobRunner posts to the connection instead.
//
// Thread: post, sendMessage and the pump, user-interface thread; the work, the
// connection's thread. Links and the view record outlive the runner (the explorer is
// a child of its device window, which ends the connection first).

#include <deque>
#include <memory>
#include <mutex>

#include "files/ui/DeviceFileService.h"
#include "link/Links.h"
#include "view/ViewRecord.h"

namespace sorvane {

class ExplorerMailbox final : public LinkJobRunner, public std::enable_shared_from_this<ExplorerMailbox> {
public:
    ExplorerMailbox(Links& links, ViewRecord& view, int slot) : links_(links), view_(view), slot_(slot) {}
    ~ExplorerMailbox() override;

    void post(Kind kind, Work work, std::function<void(bool ran)> ended) override;
    void sendMessage(std::vector<uint8_t> message) override;
    bool compresses() const override;
    void transferSettled() override;

private:
    struct Job {
        Kind kind;
        Work work;
        std::function<void(bool)> ended;
    };
    void pump();
    void serve(); // on the connection thread
    void later(int ms, std::function<void(ExplorerMailbox&)> f);

    Links& links_;
    ViewRecord& view_;
    int slot_;
    std::mutex mutex_;
    std::deque<Job> queue_;
    std::optional<Job> current_;
    bool active_ = false;
};

} // namespace sorvane
