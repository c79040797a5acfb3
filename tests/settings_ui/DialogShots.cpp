// Renders the profile and settings dialogs and the Select Directory dialog to PNG
// files, to look at them: dialog_shots <folder>.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QRadioButton>

#include "files/ui/SelectDirectoryDialog.h"
#include "settings/ui/ConfigDialog.h"
#include "settings/ui/ProfileDialog.h"

using namespace sorvane;

namespace {

struct Silent final : MessageBoxPort, BeepPort, ColorChooserPort {
    MessageResult show(const MessageRequest&) override { return MessageResult::Ok; }
    void beep() override {}
    std::optional<uint32_t> chooseColor(uint32_t, std::array<uint32_t, 16>&) override { return std::nullopt; }
};

struct Connection final : ConnectionSettingsPort {
    ConnectionViewSettings viewSettings() const override { return {}; }
    void storeViewSettings(const ConnectionViewSettings&) override {}
    void postCommand(int) override {}
};

void save(QWidget& w, const QString& folder, const char* name)
{
    w.show();
    QApplication::processEvents();
    w.grab().save(folder + "/" + name);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    Settings settings = Settings::defaults(QDir::homePath().toStdString() + "/");
    ProfileTable profiles;
    Profile p;
    p.setName("Handheld over the proxy");
    p.linkKind = uint32_t(LinkKind::Proxy);
    p.port = 1900;
    p.ipAddress = 0x7F000001;
    p.scale = 2;
    p.refreshRate = 10;
    p.backgroundColor = 0x00A05020;
    p.recordingMethod = 1;
    p.showMouseCursor = 1;
    profiles.AddProfile(p);
    std::vector<std::string> skins{"Pocket PC", "Handheld"};
    Silent silent;
    std::array<uint32_t, 16> custom{};
    SettingsDialogContext context{settings, profiles, skins, silent, silent, silent, custom};

    ProfileDialog fresh(nullptr, context, -1);
    save(fresh, folder, "newconnection-new.png");
    ProfileDialog edit(nullptr, context, 0);
    save(edit, folder, "newconnection-edit.png");
    ConfigDialog defaults(nullptr, context);
    save(defaults, folder, "config-defaults.png");
    Connection conn;
    ConfigDialog configure(nullptr, conn, skins);
    save(configure, folder, "config-connection.png");
    SelectDirectoryDialog select(nullptr, "/usr", SortKey::Name);
    save(select, folder, "select-directory.png");
    SelectDirectoryDialog top(nullptr, "", SortKey::Name);
    save(top, folder, "select-directory-top.png");
    return 0;
}
