// The file explorer against sorvane-sim: its jobs run on a thread of their own over
// the simulator's link, as a connection's thread runs them.

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <thread>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QTest>
#include <QTreeWidget>

#include "SimFilesDevice.h"
#include "support/ScriptedUiPorts.h"
#include "files/ui/DeviceFileService.h"
#include "files/ui/ExplorerWindow.h"
#include "files/ui/TransferDialog.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

// Runs the jobs one after the other on its own thread.
class ThreadRunner final : public LinkJobRunner {
public:
    explicit ThreadRunner(LinkChannel& channel) : channel_(channel), thread_([this] { run(); }) {}
    ~ThreadRunner() override
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void post(Kind, Work work, std::function<void(bool)> ended) override
    {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({std::move(work), std::move(ended)});
        }
        wake_.notify_all();
    }
    void sendMessage(std::vector<uint8_t> m) override
    {
        post(Kind::Delete, [m](LinkChannel& c, const std::function<bool()>&) { c.send(m.data(), m.size()); }, {});
    }
    bool compresses() const override { return true; }

private:
    void run()
    {
        const std::function<bool()> stopping = [this] { std::lock_guard l(mutex_); return stop_; };
        for (;;) {
            std::pair<Work, std::function<void(bool)>> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
                if (stop_)
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job.first(channel_, stopping);
            if (job.second)
                job.second(true);
        }
    }
    LinkChannel& channel_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<Work, std::function<void(bool)>>> jobs_;
    bool stop_ = false;
    std::thread thread_;
};

QStringList column(const QTreeWidget& list, int c)
{
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        out << list.topLevelItem(i)->text(c);
    return out;
}

struct Explorer {
    Device dev{4};
    TempDir pc;
    ScriptedMessageBox messages; // answers Yes to every question
    CountingBeep beep;
    std::unique_ptr<ThreadRunner> runner;
    std::unique_ptr<ExplorerWindow> window;

    Explorer() { messages.answers.assign(8, MessageResult::Yes); }

    void open()
    {
        runner = std::make_unique<ThreadRunner>(*dev.channel);
        auto shared = std::shared_ptr<LinkJobRunner>(runner.get(), [](LinkJobRunner*) {});
        window = std::make_unique<ExplorerWindow>(ExplorerWindow::Context{
            "Sim", std::make_unique<JobFileService>(shared), messages, beep, {"/"}, pc.path().string()});
        window->show();
        waitIdle();
    }
    ~Explorer()
    {
        window.reset();
        runner.reset();
    }
    void waitIdle()
    {
        for (int i = 0; i < 2000 && (window->deviceBusy() || window->transferDialog()); ++i)
            QTest::qWait(10);
        ASSERT_FALSE(window->deviceBusy());
    }
    QTreeWidgetItem* row(QTreeWidget* list, const QString& name)
    {
        auto found = list->findItems(name, Qt::MatchExactly);
        return found.size() == 1 ? found[0] : nullptr;
    }
};

} // namespace

TEST(ExplorerWindow, PanesListBothSidesWithTheSharedKeys)
{
    Explorer e;
    fs::create_directory(e.dev.sandbox / "Programs");
    fs::create_directory(e.dev.sandbox / ".hidden");
    writeFile(e.dev.sandbox / ".profile", std::string(1535, 'x'));
    writeFile(e.dev.sandbox / "a.txt", "");
    fs::create_directory(e.pc / "folder");
    writeFile(e.pc / "b.bin", std::string(2047, 'y'));
    e.open();
    EXPECT_EQ(e.window->objectName(), "KWXBROWSER");
    EXPECT_EQ(e.window->windowTitle(), "KWX File Explorer - Sim");
    // "." folders hidden on both sides, "." files listed; folders first.
    EXPECT_EQ(column(*e.window->deviceList(), 0), (QStringList{"Programs", ".profile", "a.txt"}));
    EXPECT_EQ(column(*e.window->deviceList(), 1), (QStringList{"", "1.4K", "0"}));
    EXPECT_EQ(column(*e.window->pcList(), 0), (QStringList{"folder", "b.bin"}));
    EXPECT_EQ(column(*e.window->pcList(), 1), (QStringList{"", "1.9K"}));

    emit e.window->deviceList()->itemActivated(e.row(e.window->deviceList(), "Programs"), 0);
    QTest::qWait(20);
    e.waitIdle();
    EXPECT_EQ(e.window->deviceFolder(), "\\Programs");
    e.window->command(explorer_cmd::DeviceUp);
    e.waitIdle();
    EXPECT_EQ(e.window->deviceFolder(), "");
}

TEST(ExplorerWindow, CopyBothWaysDeleteAndRename)
{
    Explorer e;
    fs::create_directory(e.pc / "sub");
    const std::string big(100000, 'q');
    writeFile(e.pc / "one.bin", big);
    writeFile(e.pc / "two.txt", "two");
    writeFile(e.dev.sandbox / "dev.txt", "from the device");
    e.open();

    // Select All takes files only, so the folder is not sent.
    e.window->command(explorer_cmd::PcSelectAll);
    e.window->command(explorer_cmd::CopyToDevice);
    ASSERT_NE(e.window->transferDialog(), nullptr);
    EXPECT_EQ(e.window->transferDialog()->findChild<QLabel*>("1018")->text(), "Sending Files");
    if (const char* shot = std::getenv("SORVANE_TRANSFER_SHOT")) {
        QTest::qWait(30);
        e.window->transferDialog()->refresh();
        QTest::qWait(10);
        e.window->transferDialog()->grab().save(QString::fromLocal8Bit(shot));
    }
    e.waitIdle();
    EXPECT_TRUE(readFile(e.dev.sandbox / "one.bin") == big);
    EXPECT_EQ(readFile(e.dev.sandbox / "two.txt"), "two");
    EXPECT_FALSE(fs::exists(e.dev.sandbox / "sub"));
    EXPECT_TRUE(e.messages.shown.empty());

    // A device file over the PC file of that name.
    writeFile(e.pc / "dev.txt", "old");
    e.window->showPcFolder(e.window->pcFolder());
    e.window->deviceList()->clearSelection();
    e.row(e.window->deviceList(), "dev.txt")->setSelected(true);
    e.window->command(explorer_cmd::CopyToPc);
    e.waitIdle();
    EXPECT_EQ(readFile(e.pc / "dev.txt"), "from the device");

    // Rename on the device through the label edit, then delete after the confirmation.
    e.window->deviceList()->clearSelection();
    e.row(e.window->deviceList(), "two.txt")->setSelected(true);
    e.window->command(explorer_cmd::DeviceRename);
    e.row(e.window->deviceList(), "two.txt")->setText(0, "three.txt");
    e.waitIdle();
    EXPECT_TRUE(fs::exists(e.dev.sandbox / "three.txt"));
    e.window->command(explorer_cmd::DeviceDelete);
    e.waitIdle();
    ASSERT_EQ(e.messages.shown.size(), 1u);
    EXPECT_EQ(e.messages.shown[0].text, "Are you sure you want to delete 'three.txt'?");
    EXPECT_EQ(e.messages.shown[0].caption, "Delete File(s)");
    EXPECT_FALSE(fs::exists(e.dev.sandbox / "three.txt"));
    EXPECT_EQ(e.row(e.window->deviceList(), "three.txt"), nullptr);

    // Open with several rows selected only beeps.
    e.window->command(explorer_cmd::DeviceSelectAll);
    e.window->command(explorer_cmd::DeviceOpen);
    EXPECT_EQ(e.beep.count, 1);
    if (const char* shot = std::getenv("SORVANE_EXPLORER_SHOT"))
        e.window->grab().save(QString::fromLocal8Bit(shot));
}

TEST(ExplorerWindow, PcDeleteRenameAndDroppedFiles)
{
    Explorer e;
    fs::create_directories(e.pc / "tree" / "deep");
    writeFile(e.pc / "tree" / "deep" / "f", "x");
    writeFile(e.pc / "a.txt", "a");
    writeFile(e.pc / "b.txt", "b");
    e.open();

    // A folder goes with all of its contents, after its own question.
    e.row(e.window->pcList(), "tree")->setSelected(true);
    e.window->command(explorer_cmd::PcDelete);
    ASSERT_EQ(e.messages.shown.size(), 1u);
    EXPECT_EQ(e.messages.shown[0].text, "Are you sure you want to remove the folder 'tree' and all of its contents?");
    EXPECT_FALSE(fs::exists(e.pc / "tree"));

    // Renaming onto an existing name fails and keeps both files.
    e.row(e.window->pcList(), "a.txt")->setSelected(true);
    e.window->command(explorer_cmd::PcRename);
    e.row(e.window->pcList(), "a.txt")->setText(0, "b.txt");
    ASSERT_EQ(e.messages.shown.size(), 2u);
    EXPECT_EQ(e.messages.shown[1].text, "Error renaming the file; it may be in-use or marked as read-only.");
    EXPECT_EQ(readFile(e.pc / "a.txt"), "a");
    EXPECT_EQ(readFile(e.pc / "b.txt"), "b");

    // Files dropped from the desktop go to the device folder.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((e.pc / "b.txt").string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.window.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.window.get(), &drop);
    e.waitIdle();
    EXPECT_EQ(readFile(e.dev.sandbox / "b.txt"), "b");

    // Several items: one question for all of them.
    e.window->pcList()->clearSelection();
    e.window->command(explorer_cmd::PcSelectAll);
    e.window->command(explorer_cmd::PcDelete);
    EXPECT_EQ(e.messages.shown.back().text, "Are you sure you want to delete these 2 items?");
    EXPECT_EQ(e.messages.shown.back().caption, "Confirm Multiple File Delete");
    EXPECT_EQ(e.window->pcList()->topLevelItemCount(), 0);
}
