// The file explorer as the device window's File Explorer command opens it in the
// program's shell, against sorvane-sim serving a sandbox folder on loopback: its jobs
// go through the connection's thread, which polls the screen again once a transfer's
// result is in.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QTest>
#include <QTreeWidget>

#include "ShellHarness.h"
#include "platform/Clock.h"
#include "files/ui/ExplorerWindow.h"
#include "files/ui/TransferDialog.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

QStringList column(const QTreeWidget& list, int c)
{
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        out << list.topLevelItem(i)->text(c);
    return out;
}

// The sandbox is filled before open(), which connects and opens the explorer with its
// PC pane on `pc`.
struct Explorer {
    TempDir sandbox, pc;
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--files", sandbox.path().string()});
    QPointer<DeviceWindow> device;
    QPointer<ExplorerWindow> window;

    Explorer() { h.ui.messages.answers.assign(8, MessageResult::Yes); }

    void open()
    {
        device = h.connectNew("Sim", LinkKind::Wan, sim.address);
        ASSERT_TRUE(device);
        device->command(40038);
        window = device->findChild<ExplorerWindow*>();
        ASSERT_TRUE(window);
        window->showPcFolder(pc.path().string());
        waitIdle();
    }
    void waitIdle()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->deviceBusy() && !window->transferDialog(); }, 20000));
    }
    QTreeWidgetItem* row(QTreeWidget* list, const QString& name)
    {
        auto found = list->findItems(name, Qt::MatchExactly);
        return found.size() == 1 ? found[0] : nullptr;
    }
};

// The system's time, moved on by the test: a time-out passes when the test says so.
struct SteppedClock final : Clock {
    uint32_t tickCount() const override { return system.tickCount() + offset.load(); }
    void sleepMs(uint32_t ms) override { system.sleepMs(ms); }
    void pauseForData(Transport& t, uint32_t ms) override { system.pauseForData(t, ms); }
    SystemClock system;
    std::atomic<uint32_t> offset{0};
};

} // namespace

// A device without a file system never answers a listing: it ends at its time-out, the pane
// says why, and the picture goes on between the explorer's jobs and after it has closed.
TEST(ExplorerWindow, AnUnansweredListingEndsAtItsTimeOutAndThePictureGoesOn)
{
    SteppedClock clock;
    ShellHarness h([&](ShellOptions& o) { o.clock = &clock; });
    LoopbackSim sim = startLoopbackSim({"--picture", "synthetic", "--still-after", "0"});
    QPointer<DeviceWindow> device = h.connectNew("Sim", LinkKind::Wan, sim.address);
    ASSERT_TRUE(device);
    auto command = [&] { return nextLine(*sim.process, {"command"}); };
    device->command(40038);
    QPointer<ExplorerWindow> window = device->findChild<ExplorerWindow*>();
    ASSERT_TRUE(window);
    window->showDeviceFolder(""); // a second listing behind the first
    for (std::string c = command(); c != "command 103"; c = command())
        ASSERT_FALSE(c.empty());
    const QImage before = shownPicture(*device, 240, 320);
    clock.offset += 2000;
    EXPECT_EQ(command(), "command 82");
    EXPECT_EQ(command(), "command 103");
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownPicture(*device, 240, 320) != before; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->deviceNote() == "The device did not answer."; }, 10000));

    window->close();
    clock.offset += 2000;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(command(), "command 82");
}

TEST(ExplorerWindow, ListsCopiesBothWaysWorksOnFilesAndGoesWithItsWindow)
{
    Explorer e;
    writeFile(e.sandbox / "Programs" / "app.exe", "12345");
    fs::create_directory(e.sandbox / ".hidden");
    writeFile(e.sandbox / ".profile", std::string(1535, 'x'));
    writeFile(e.sandbox / "a.txt", "");
    writeFile(e.sandbox / "dev.txt", "from the device");
    fs::create_directory(e.pc / "tree");
    fs::create_directory(e.pc / "sub");
    writeFile(e.pc / "a.txt", "a");
    writeFile(e.pc / "b.txt", "b");
    const std::string big(100000, 'q');
    writeFile(e.pc / "one.bin", big);
    writeFile(e.pc / "two.txt", "two");
    e.open();
    EXPECT_TRUE(e.window->isVisible());
    EXPECT_EQ(e.window->windowTitle(), "KWX File Explorer - Sorvane Sim");
    // "." folders hidden, "." files listed; folders first.
    EXPECT_EQ(column(*e.window->deviceList(), 0), (QStringList{"Programs", ".profile", "a.txt", "dev.txt"}));
    EXPECT_EQ(column(*e.window->deviceList(), 1), (QStringList{"", "1.4K", "0", "15B"}));
    EXPECT_EQ(column(*e.window->pcList(), 1), (QStringList{"", "", "1B", "1B", "97.6K", "3B"}));

    e.device->command(40038); // the same explorer comes to the front
    EXPECT_EQ(e.device->findChildren<ExplorerWindow*>().size(), 1);

    emit e.window->deviceList()->itemActivated(e.row(e.window->deviceList(), "Programs"), 0);
    QTest::qWait(20);
    e.waitIdle();
    EXPECT_EQ(e.window->deviceFolder(), "\\Programs");
    EXPECT_EQ(column(*e.window->deviceList(), 0), QStringList{"app.exe"});
    e.window->command(explorer_cmd::DeviceUp);
    e.waitIdle();
    EXPECT_EQ(e.window->deviceFolder(), "");
    const std::vector<MessageRequest>& shown = e.h.ui.messages.shown;

    // A folder goes with all of its contents, after its own question.
    e.row(e.window->pcList(), "tree")->setSelected(true);
    e.window->command(explorer_cmd::PcDelete);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Are you sure you want to remove the folder 'tree' and all of its contents?");
    EXPECT_EQ(e.row(e.window->pcList(), "tree"), nullptr);

    // Renaming onto an existing name fails, says so and keeps the row's name.
    e.row(e.window->pcList(), "a.txt")->setSelected(true);
    e.window->command(explorer_cmd::PcRename);
    e.row(e.window->pcList(), "a.txt")->setText(0, "b.txt");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, "Error renaming the file; it may be in-use or marked as read-only.");
    EXPECT_EQ(shown[1].caption, "a.txt");
    EXPECT_EQ(column(*e.window->pcList(), 0).count("b.txt"), 1);

    // Files dropped from the desktop go to the device folder.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((e.pc / "b.txt").string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.window.data(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.window.data(), &drop);
    e.waitIdle();
    EXPECT_EQ(readFile(e.sandbox / "b.txt"), "b");

    // Select All takes files only, so the folder is not sent.
    e.window->command(explorer_cmd::PcSelectAll);
    e.window->command(explorer_cmd::CopyToDevice);
    ASSERT_NE(e.window->transferDialog(), nullptr);
    EXPECT_EQ(e.window->transferDialog()->findChild<QLabel*>("1018")->text(), "Sending Files");
    e.waitIdle();
    EXPECT_TRUE(readFile(e.sandbox / "one.bin") == big);
    EXPECT_FALSE(fs::exists(e.sandbox / "sub"));
    EXPECT_EQ(shown.size(), 2u);
    ASSERT_NE(e.row(e.window->deviceList(), "two.txt"), nullptr); // the device pane was listed again
    // The screen is polled again once the explorer has the transfer's result.
    EXPECT_FALSE(nextLine(*e.sim.process, {"create"}).empty());
    EXPECT_FALSE(nextLine(*e.sim.process, {"command 82"}).empty());

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
    EXPECT_TRUE(fs::exists(e.sandbox / "three.txt"));
    e.window->activateWindow(); // the Delete key of the list that has the focus
    ASSERT_TRUE(QTest::qWaitForWindowActive(e.window.data()));
    e.window->deviceList()->setFocus();
    QTest::keyClick(e.window->deviceList(), Qt::Key_Delete);
    e.waitIdle();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].text, "Are you sure you want to delete 'three.txt'?");
    EXPECT_EQ(shown[2].caption, "Delete File(s)");
    EXPECT_FALSE(fs::exists(e.sandbox / "three.txt"));
    EXPECT_EQ(e.row(e.window->deviceList(), "three.txt"), nullptr);

    // Open with several rows selected only beeps.
    e.window->command(explorer_cmd::DeviceSelectAll);
    e.window->command(explorer_cmd::DeviceOpen);
    EXPECT_EQ(e.h.ui.beep.count, 1);

    // Names go to the device in its character set; one it cannot hold is left out, named.
    const std::string euro = "\u20acuro.txt", evil = (e.pc / "..\\evil.txt").string();
    writeFile(e.pc / euro, "euro");
    writeFile(evil, "x");
    e.window->showPcFolder(e.window->pcFolder());
    e.window->pcList()->clearSelection();
    for (const std::string& name : {euro, std::string("..\\evil.txt")})
        e.row(e.window->pcList(), QString::fromStdString(name))->setSelected(true);
    e.window->command(explorer_cmd::CopyToDevice);
    e.waitIdle();
    EXPECT_EQ(readFile(e.sandbox / euro), "euro");
    EXPECT_NE(e.row(e.window->deviceList(), QString::fromStdString(euro)), nullptr);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[3].text, "These are not files that can be sent, and were left out:\n" + evil +
                                 ": a device file name cannot hold '\\'");

    // Several items: one question for all of them.
    e.window->pcList()->clearSelection();
    e.window->command(explorer_cmd::PcSelectAll);
    e.window->command(explorer_cmd::PcDelete);
    EXPECT_EQ(shown.back().text, "Are you sure you want to delete these 7 items?");
    EXPECT_EQ(shown.back().caption, "Confirm Multiple File Delete");
    EXPECT_EQ(column(*e.window->pcList(), 0), QStringList{"sub"});

    // Run... starts a PC program in the PC folder with its arguments; one that cannot
    // start is reported.
    writeFile(e.pc / "run.sh", "#!/bin/sh\necho \"$@\" > ran.txt\n");
    writeFile(e.pc / "broken", "#!/nonexistent/shell\n");
    e.window->showPcFolder(e.window->pcFolder());
    for (const char* f : {"run.sh", "broken"}) {
        fs::permissions(e.pc / f, fs::perms::owner_all);
        auto answer = [](QDialog& d) { d.findChild<QLineEdit*>()->setText("one \"two three\""), d.accept(); };
        std::unique_ptr<QTimer> args(whenModal<QDialog>([](QDialog& d) { return d.objectName() == "Run"; }, answer));
        e.window->pcList()->clearSelection();
        e.row(e.window->pcList(), f)->setSelected(true);
        e.window->command(explorer_cmd::PcRun);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(e.pc / "ran.txt") == "one two three\n"; }, 10000));
    EXPECT_EQ(shown.back().text.rfind("Could not run 'broken': ", 0), 0u) << shown.back().text;

    // A device folder is asked about as one item; the device removes only empty ones.
    e.window->deviceList()->clearSelection();
    e.row(e.window->deviceList(), "Programs")->setSelected(true);
    e.window->command(explorer_cmd::DeviceDelete);
    e.waitIdle();
    EXPECT_EQ(shown[shown.size() - 2].text, "Are you sure you want to delete 'Programs'?");
    EXPECT_EQ(shown.back().text, "Not all of the files were deleted successfully");

    e.device->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return e.device.isNull() && e.window.isNull(); }, 20000));
}
