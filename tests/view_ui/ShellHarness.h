#pragma once
// The program's shell in a temporary folder with scripted UI ports, and simulated
// devices to connect it to: helpers shared by the device window and connect tests.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QImage>
#include <QTransform>
#include <QTimer>
#include <QTreeWidget>

#include "support/ScriptedUiPorts.h"
#include "app/ConnectOption.h"
#include "app/ConnectionWindows.h"
#include "app/MainWindow.h"
#include "app/Shell.h"
#include "support/LoopbackSim.h"
#include "support/TempDir.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane::test {

struct ShellHarness {
    TempDir dir;
    ScriptedUiPorts ui;
    std::unique_ptr<Shell> shell;

    // `options` may change the shell's options before it starts (another run's settings,
    // a host to connect to, connecting at start).
    explicit ShellHarness(const std::function<void(ShellOptions&)>& options = {})
    {
        ShellOptions o;
        o.paths.programDir = dir / "home";
        o.paths.defaultsDir = dir / "defaults";
        o.settingsDir = dir / "config";
        o.connectAtStart = false;
        o.inboundBindAddress = 0x7F000001;
        o.attemptPeriodMs = 20;
        o.inboundPollMs = 20;
        if (options)
            options(o);
        shell = std::make_unique<Shell>(std::move(o), ui.ports());
        shell->start();
    }

    // Adds a profile as the New Connection dialog would and returns its index.
    int addProfile(const std::string& name, LinkKind kind, uint32_t address, uint32_t port = 0, int scale = 1,
                   int refresh = 10, int skin = 0)
    {
        Profile p = newProfileDefaults(shell->settings(), 0);
        p.skinIndex = skin;
        p.setName(name);
        p.linkKind = uint32_t(kind);
        p.ipAddress = address;
        p.port = port;
        p.scale = scale;
        p.refreshRate = refresh;
        shell->profiles().AddProfile(p);
        shell->mainWindow()->refreshConnectionList(-1);
        return shell->profiles().ConnTypes() - 1;
    }

    // A new profile (as addProfile) connected: its device window, or nullptr.
    DeviceWindow* connectNew(const std::string& name, LinkKind kind, uint32_t address, uint32_t port = 0,
                             int scale = 1, int refresh = 10, int skin = 0)
    {
        const int index = addProfile(name, kind, address, port, scale, refresh, skin);
        connect(index);
        return windowOf(index);
    }

    // The Connect command for a profile, as the main window runs it; a dialog still
    // open after 30 s is cancelled so that a failing test cannot hang.
    void connect(int index)
    {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        watchdog.start(30000);
        shell->connectProfile(index);
    }

    // The device window opened from a profile, or nullptr.
    DeviceWindow* windowOf(int profileIndex) const
    {
        ConnectionWindows& w = shell->connectionWindows();
        for (int slot : w.liveSlots())
            if (w.profileOf(slot) == profileIndex)
                return shell->deviceWindow(slot);
        return nullptr;
    }

    QString statusOf(int profileIndex) const
    {
        return shell->mainWindow()->connectionsList()->topLevelItem(profileIndex)->text(3);
    }
};

// Calls `act` with the modal dialog of type T as soon as `ready` holds for it.
template <typename T>
QTimer* whenModal(std::function<bool(T&)> ready, std::function<void(T&)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !ready(*dialog))
            return;
        timer->stop();
        act(*dialog);
    });
    timer->start();
    return timer;
}

// The next line of the simulator's report that starts with one of the words
// (other lines are skipped); empty on time-out.
inline std::string nextLine(SimProcess& sim, std::initializer_list<const char*> words,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        std::optional<std::string> line = sim.readLine(left);
        if (!line)
            return {};
        for (const char* w : words) {
            const std::string prefix = std::string(w) + " ";
            if (line->rfind(prefix, 0) == 0 || *line == w)
                return *line;
        }
    }
}

// Whether the simulator (--still-after N) has sent update N + 1, where its picture stands
// still; before it a dump may run ahead of the window's picture by the update on its way.
inline bool stillPictureSent(SimProcess& sim, int stillAfter)
{
    const std::string line = "dumped main " + std::to_string(stillAfter + 1);
    return !nextLine(sim, {line.c_str()}, std::chrono::seconds(20)).empty();
}

// The picture part of a device window's client area as painted now.
inline QImage shownPicture(DeviceWindow& window, int width, int height)
{
    return window.client()
        ->grab(QRect(0, window.toolbarHeight(), width, height))
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The window's picture equals the simulator's dump, turned and scaled as the window
// shows it, and the window refused no update on the way (the one Refresh Display is the
// window's own). The dump is read through Qt's own PPM reader, turned with QTransform and
// scaled by pixel repetition.
inline bool pictureMatchesDump(DeviceWindow& w, const std::filesystem::path& dump, int rotation, int scale)
{
    if (simRefreshes(dump.parent_path()) != 1)
        return false;
    QImage expected;
    if (!expected.load(QString::fromStdString(dump.string()), "PPM"))
        return false;
    expected = expected.convertToFormat(QImage::Format_RGB32);
    if (rotation != 0)
        expected = expected.transformed(QTransform().rotate(rotation));
    expected = expected.scaled(expected.width() * scale, expected.height() * scale, Qt::IgnoreAspectRatio,
                               Qt::FastTransformation);
    return shownPicture(w, expected.width(), expected.height()) == expected;
}

// The simulator's report of one input packet, and the next such line (or a batch's).
inline QString input(int code, int a, int b) { return QStringLiteral("input %1 %2 %3").arg(code).arg(a).arg(b); }
inline QString nextInput(SimProcess& sim) { return QString::fromStdString(nextLine(sim, {"input", "batch"})); }

} // namespace sorvane::test
