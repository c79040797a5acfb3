#include "app/DeviceToolsServices.h"

#include <deque>
#include <memory>

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include "app/CommandIds.h"
#include "link/SlotLinkChannel.h"
#include "tools/ui/CopyFromDevice.h"
#include "tools/ui/DeviceCommands.h"
#include "tools/ui/DeviceInfoDialog.h"
#include "tools/ui/DeviceToolsPort.h"
#include "tools/ui/ProcessInfoDialog.h"
#include "tools/ui/TypeTextDialog.h"

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

// Text dropped onto a device window's picture is typed on the device.
class TextDrop final : public QObject {
public:
    TextDrop(DeviceWindow& window, Links& links, MessageBoxPort& messages)
        : QObject(&window), window_(window), links_(links), messages_(messages)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
            auto* d = static_cast<QDropEvent*>(e);
            if (d->mimeData()->hasText()) {
                d->acceptProposedAction();
                return true;
            }
            return false;
        }
        if (e->type() != QEvent::Drop)
            return false;
        auto* d = static_cast<QDropEvent*>(e);
        if (!d->mimeData()->hasText())
            return false;
        d->acceptProposedAction();
        const QString missing = TypeOnDevice(DeviceToolsPortOf(window_, links_), d->mimeData()->text());
        if (!missing.isEmpty())
            messages_.show(MessageRequest{
                "No key of the device's keyboard types these characters, so nothing was sent: " + missing.toStdString(),
                "Type text", MessageIcon::Warning, MessageButtons::Ok});
        return true;
    }

private:
    DeviceWindow& window_;
    Links& links_;
    MessageBoxPort& messages_;
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
    services.commands[devcmd::CopyFromDevice] = [&links, &messages](DeviceWindow& w) {
        QPointer<DeviceWindow> window(&w);
        CopyFromDevice(DeviceToolsPortOf(w, links), &w, [window, &messages](const CopyOutcome& outcome) {
            if (!window)
                return;
            switch (outcome.kind) {
            case CopyOutcome::Kind::Copied: break;
            case CopyOutcome::Kind::NoReply: ShowDeviceNote(window, QObject::tr("The device did not answer.")); break;
            case CopyOutcome::Kind::Refused:
                // A length the device cannot mean: the link is out of step, so it ends.
                messages.show(MessageRequest{"The device announced more than 1 MiB of clipboard text, which is "
                                             "not a length it can mean. The connection is closed.",
                                             "Copy from device", MessageIcon::Error, MessageButtons::Ok});
                if (window)
                    window->close();
                break;
            }
        });
    };
    services.commands[devcmd::TypeText] = [&links](DeviceWindow& w) {
        TypeTextDialog dialog(DeviceToolsPortOf(w, links), &w);
        dialog.exec();
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

void AddDeviceToolsToWindow(DeviceWindow& window, Links& links, MessageBoxPort& messages)
{
    auto* copy = new QAction(QObject::tr("Copy from device"), &window);
    copy->setObjectName(QString::number(devcmd::CopyFromDevice));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    copy->setShortcutContext(Qt::WindowShortcut);
    QPointer<DeviceWindow> w(&window);
    QObject::connect(copy, &QAction::triggered, &window, [w] {
        if (w)
            w->command(devcmd::CopyFromDevice);
    });
    window.addAction(copy);
    if (QWidget* client = window.client()) {
        client->setAcceptDrops(true);
        client->installEventFilter(new TextDrop(window, links, messages));
    }
}

} // namespace sorvane
