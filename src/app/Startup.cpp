#include "app/Startup.h"

#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QSocketNotifier>

#include <sys/signalfd.h>
#include <unistd.h>

#include "app/AppIcon.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/QtUiPorts.h"
#include "app/Shell.h"
#include "app/SingleInstance.h"
#include "platform/RegistryFile.h"

#include <SorvaneVersion.h>

namespace sorvane {

namespace {

const char kVersionLine[] = "sorvane " SORVANE_VERSION " (built " SORVANE_BUILD_DAY ")\n";

// SIGTERM and SIGINT end the program like closing the main window, so the settings
// are saved. The signals are blocked in every thread and read through a signalfd by
// whichever event loop runs, a modal box's included. Ending then leaves every event
// loop at once (QApplication::exit), and once the program is ending no further loop
// runs: not the main loop after a start-up box, and no box opened after the signal.
class TerminationSignals {
public:
    TerminationSignals()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGINT);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
    ~TerminationSignals()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    void watch(QObject* owner, std::function<void()> onSignal)
    {
        fd_ = signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd_ < 0)
            return;
        auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, [this, onSignal] {
            signalfd_siginfo info{};
            while (::read(fd_, &info, sizeof info) == ssize_t(sizeof info)) {
            }
            onSignal();
        });
    }

private:
    sigset_t set_{};
    int fd_ = -1;
};

} // namespace

int runProgram(int argc, char** argv)
{
    // --help and --version answer before Qt starts, so that they work without a display.
    // (A command line with Qt's own options is read again once Qt has taken those out.)
    if (const CommandLine early = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        early.error.empty() && (early.help || early.version)) {
        std::fputs(early.version ? kVersionLine : usageText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    TerminationSignals terminations; // before any thread starts, so all inherit the mask
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sorvane"));
    QApplication::setWindowIcon(appIcon());
    // Device windows live on after the main window closes only until the process ends.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> args;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        args.push_back(arguments[i].toStdString());
    const CommandLine line = parseCommandLine(args);
    if (line.help || line.version) {
        std::fputs(line.version ? kVersionLine : usageText().c_str(), stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "sorvane: %s\n%s", line.error.c_str(), usageText().c_str());
        return 2;
    }

    ShellOptions options;
    options.settingsDir = defaultSettingsDir();
    if (options.settingsDir.empty()) {
        std::fputs("sorvane: no folder for the settings: set HOME or SORVANE_CONFIG_DIR\n", stderr);
        return 1;
    }
    options.paths = resolveProgramPaths(
        PathEnvironment::fromProcess(QApplication::applicationDirPath().toStdString()));
    options.connectHost = line.connectHost;
    options.openDevicesWindow = line.grid;

    // One instance per desktop: a second start brings the first forward.
    const QString key = SingleInstance::keyFor(QString::fromStdString(options.settingsDir.string()));
    if (SingleInstance::activateRunning(key))
        return 0;
    SingleInstance instance(key);
    if (!instance.listen())
        std::fprintf(stderr, "sorvane: cannot watch for a second start: %s\n", qPrintable(instance.errorString()));

    QtUiPortSet ports;
    Shell shell(std::move(options), ports.ports());
    QObject::connect(&shell, &Shell::quitRequested, &app, [](int code) { QApplication::exit(code); });
    QObject::connect(&instance, &SingleInstance::activationRequested, &shell, [&shell] {
        if (shell.mainWindow())
            shell.mainWindow()->bringForward();
    });
    bool ending = false;
    terminations.watch(&app, [&ending] {
        ending = true;
        QApplication::exit(0);
    });

    shell.start();
    // A signal while a start-up box was shown ended that box; QApplication::exec would
    // start afresh and forget it.
    const int code = ending ? 0 : QApplication::exec();
    shell.finish();
    return code;
}

} // namespace sorvane
