#include "app/DeviceToolsServices.h"

#include <deque>
#include <memory>

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include "app/CommandIds.h"
#include "link/SlotLinkChannel.h"
#include "tools/ui/DeviceCommands.h"
#include "tools/ui/DeviceInfoDialog.h"
#include "tools/ui/DeviceToolsPort.h"
#include "tools/ui/ProcessInfoDialog.h"

namespace sorvane {
namespace {

// The port over the view record's request mailbox: one job at a time is handed to the
// connection thread (serveRequest, requestDone 0, request 'o'); the window thread looks
// at requestDone every 10 ms and puts polling ('R') back once the job has ended, so
// the screen poll waits exactly as long as the exchange runs. Messages without a
// reply go the same way, in order with the jobs.
class MailboxToolsPort final : public QObject, public DeviceToolsPort {
public:
    MailboxToolsPort(DeviceWindow& window, Links& links) : QObject(&window), window_(window), links_(links)
    {
        setObjectName(QStringLiteral("DEVICETOOLSPORT"));
        poll_.setInterval(10);
        connect(&poll_, &QTimer::timeout, this, [this] { check(); });
    }

    std::function<void()> post(QObject* receiver, ToolsJob, Work work, Finished finished) override
    {
        auto job = std::make_shared<Job>();
        job->receiver = receiver;
        job->work = std::move(work);
        job->finished = std::move(finished);
        queue_.push_back(job);
        next();
        return [job] { job->cancelled = true; };
    }

    void sendMessage(std::vector<uint8_t> bytes) override
    {
        post(nullptr, ToolsJob::Message, [m = std::move(bytes)](LinkChannel& channel, std::string&) {
            channel.send(m.data(), m.size());
            return true;
        }, {});
    }

    std::shared_ptr<DeviceToolsMemory> memory() override { return memory_; }

private:
    struct Job {
        QPointer<QObject> receiver;
        Work work;
        Finished finished;
        bool cancelled = false;
        // Written on the connection thread before requestDone becomes 1.
        bool served = false;
        std::string error;
    };

    void next()
    {
        ViewRecord& view = window_.view();
        while (!running_ && !queue_.empty()) {
            std::shared_ptr<Job> job = queue_.front();
            queue_.pop_front();
            if (job->cancelled) {
                finish(job, false, "cancelled");
                continue;
            }
            running_ = job;
            Links& links = links_;
            const int slot = window_.slot();
            view.serveRequest = [job, &links, slot](uint32_t) {
                SlotLinkChannel channel(links, slot);
                job->served = job->work(channel, job->error);
            };
            view.requestDone = 0;
            view.request = request::kStatus;
            poll_.start();
        }
    }

    void check()
    {
        ViewRecord& view = window_.view();
        if (!running_ || view.requestDone.load() != 1)
            return;
        view.request = request::kPoll;
        poll_.stop();
        std::shared_ptr<Job> job = std::move(running_);
        finish(job, job->served, job->error);
        next();
    }

    static void finish(const std::shared_ptr<Job>& job, bool served, const std::string& error)
    {
        if (job->receiver && job->finished)
            QMetaObject::invokeMethod(
                job->receiver.data(), [job, served, error] { job->finished(served, error); }, Qt::QueuedConnection);
    }

    DeviceWindow& window_;
    Links& links_;
    QTimer poll_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::shared_ptr<Job> running_;
    std::shared_ptr<DeviceToolsMemory> memory_ = std::make_shared<DeviceToolsMemory>();
};

DeviceFacts factsOf(DeviceWindow& window, Links& links)
{
    DeviceFacts facts;
    if (const LinkSlot* s = links.find(window.slot())) {
        facts.name = s->deviceName;
        facts.width = s->width;
        facts.height = s->height;
        facts.depth = s->depth;
    }
    return facts;
}

} // namespace

DeviceToolsPort& DeviceToolsPortOf(DeviceWindow& window, Links& links)
{
    if (auto* port = window.findChild<MailboxToolsPort*>(QStringLiteral("DEVICETOOLSPORT"), Qt::FindDirectChildrenOnly))
        return *port;
    return *new MailboxToolsPort(window, links);
}

void AddDeviceToolsServices(DeviceWindowServices& services, Links& links, MessageBoxPort& messages)
{
    services.commands[devcmd::DeviceInfo] = [&links](DeviceWindow& w) {
        DeviceInfoDialog dialog(DeviceToolsPortOf(w, links), factsOf(w, links), &w);
        dialog.exec();
    };
    services.commands[devcmd::ProcessInfo] = [&links](DeviceWindow& w) {
        ProcessInfoDialog dialog(DeviceToolsPortOf(w, links), &w);
        dialog.exec();
    };
    services.commands[devcmd::PasteToDevice] = [&links, &messages](DeviceWindow& w) {
        const PasteOutcome outcome = PasteToDevice(DeviceToolsPortOf(w, links), QGuiApplication::clipboard()->mimeData());
        const QString note = PasteNote(outcome);
        if (outcome.kind == PasteOutcome::Kind::TooLong)
            messages.show(MessageRequest{note.toStdString(), "Paste to device", MessageIcon::Warning, MessageButtons::Ok});
        else
            ShowDeviceNote(&w, note);
    };
    services.commands[devcmd::SoftReset] = [&links](DeviceWindow& w) { SoftResetDevice(DeviceToolsPortOf(w, links)); };
    services.commands[devcmd::Suspend] = [&links](DeviceWindow& w) {
        QPointer<DeviceWindow> window(&w);
        SuspendDevice(DeviceToolsPortOf(w, links), &w, [window] {
            if (window)
                window->close();
        });
    };
}

} // namespace sorvane
