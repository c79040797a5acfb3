#include "settings/ui/ProfileDialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "settings/ui/DialogControls.h"
#include "settings/ui/ColorSwatch.h"
#include "settings/ui/IpAddressEdit.h"

namespace sorvane {

using namespace dialog_controls;

namespace {

constexpr const char* kCaption = "New/Edit Connection";

// Refuses text whose UTF-8 form would not fit the 63 bytes of a profile name.
class NameValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return input.toUtf8().size() <= qsizetype(Profile::kNameSize - 1) ? Acceptable : Invalid;
    }
};

} // namespace

ProfileDialog::ProfileDialog(QWidget* parent, SettingsDialogContext& context, int profileIndex)
    : QDialog(parent), context_(context), profileIndex_(profileIndex)
{
    setObjectName(QStringLiteral("NEWCONNECTION"));
    build();
    const Profile* existing = profileIndex_ >= 0 ? context_.profiles.get(profileIndex_) : nullptr;
    if (existing)
        loadExisting(*existing);
    else
        loadNew();
    CenterDialog(*this);
}

void ProfileDialog::build()
{
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("1001"));
    name_->setMaxLength(63);
    name_->setValidator(new NameValidator(name_));
    name_->setMinimumWidth(name_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 18);

    linkKindBox_ = comboBox(1050, this);
    address_ = new IpAddressEdit(this);
    address_->setObjectName(QStringLiteral("1120"));
    port_ = new QLineEdit(this);
    port_->setObjectName(QStringLiteral("1002"));
    port_->setMaxLength(5);
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    port_->setMaximumWidth(port_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    refresh_ = comboBox(1053, this);
    skin_ = comboBox(1052, this);
    scale_ = comboBox(1051, this);
    clickFormat_ = comboBox(1055, this);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(5);
    int row = 0;
    auto addRow = [&](const char* label, QWidget* w) {
        auto* l = new QLabel(QString::fromUtf8(label), this);
        l->setBuddy(w);
        fields->addWidget(l, row, 0);
        fields->addWidget(w, row, 1);
        ++row;
    };
    addRow("Name:", name_);
    addRow("Connection Type:", linkKindBox_);
    addRow("Target IP Address:", address_);
    auto* portRow = new QWidget(this);
    auto* portLayout = new QHBoxLayout(portRow);
    portLayout->setContentsMargins(0, 0, 0, 0);
    portLayout->addWidget(port_);
    portLayout->addStretch(1);
    addRow("Port:", portRow);
    addRow("Refresh Rate:", refresh_);
    addRow("Skin:", skin_);
    addRow("Scale:", scale_);
    fields->setColumnStretch(1, 1);

    capture_ = makeCaptureGroup(this);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel(QStringLiteral("Image file format (one click):"), capture_.box));
    formatRow->addWidget(clickFormat_);
    static_cast<QVBoxLayout*>(capture_.box->layout())->addLayout(formatRow);

    recording_ = makeRecordingGroup(this);
    showMouse_ = checkBox("Show Mouse Cursor", 1045, recording_.box);
    recording_.box->layout()->addWidget(showMouse_);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(capture_.box);
    left->addWidget(recording_.box);

    swatch_ = new ColorSwatch(this);
    swatch_->setObjectName(QStringLiteral("1030"));
    swatch_->setFixedSize(48, 22);
    change_ = new QPushButton(QStringLiteral("Change"), this);
    change_->setObjectName(QStringLiteral("1031"));
    change_->setAutoDefault(false);
    openMaximized_ = checkBox("Open Maximized", 1044, this);
    autoConnect_ = checkBox("Automatically connect at startup", 1041, this);
    lowColor_ = checkBox("Low color mode", 1042, this);
    queueEvents_ = checkBox("Queue Events", 1043, this);

    auto* colorBox = new QGroupBox(QStringLiteral("Window Background Color"), this);
    auto* colorRow = new QHBoxLayout(colorBox);
    colorRow->addWidget(swatch_);
    colorRow->addWidget(change_);
    colorRow->addStretch(1);

    ssh_ = new QGroupBox(QStringLiteral("Through SSH"), this);
    ssh_->setObjectName(QStringLiteral("sshGroup"));
    ssh_->setCheckable(true);
    ssh_->setChecked(false);
    sshGateway_ = new QLineEdit(ssh_);
    sshGateway_->setObjectName(QStringLiteral("sshGateway"));
    sshGateway_->setMaxLength(int(ProfileTable::kSshGatewayTextMax));
    sshGateway_->setPlaceholderText(QStringLiteral("ann@gateway.example.org"));
    sshKeyFile_ = new QLineEdit(ssh_);
    sshKeyFile_->setObjectName(QStringLiteral("sshKeyFile"));
    sshKeyFile_->setPlaceholderText(QStringLiteral("the agent's keys and ~/.ssh/id_*"));
    sshBrowse_ = new QPushButton(QStringLiteral("Browse..."), ssh_);
    sshBrowse_->setObjectName(QStringLiteral("sshBrowse"));
    sshBrowse_->setAutoDefault(false);
    auto* sshFields = new QGridLayout(ssh_);
    sshFields->setHorizontalSpacing(6);
    auto* gatewayLabel = new QLabel(QStringLiteral("Gateway (user@host[:port]):"), ssh_);
    gatewayLabel->setBuddy(sshGateway_);
    auto* keyLabel = new QLabel(QStringLiteral("Key file:"), ssh_);
    keyLabel->setBuddy(sshKeyFile_);
    // One column: the right-hand side is narrow, and a key file's path is long.
    sshFields->addWidget(gatewayLabel, 0, 0, 1, 2);
    sshFields->addWidget(sshGateway_, 1, 0, 1, 2);
    sshFields->addWidget(keyLabel, 2, 0);
    sshFields->addWidget(sshBrowse_, 2, 1);
    sshFields->addWidget(sshKeyFile_, 3, 0, 1, 2);
    sshFields->setColumnStretch(0, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(colorBox);
    right->addSpacing(6);
    right->addWidget(openMaximized_);
    right->addWidget(autoConnect_);
    right->addWidget(lowColor_);
    right->addWidget(queueEvents_);
    right->addSpacing(6);
    right->addWidget(ssh_);
    right->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ProfileDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* columns = new QHBoxLayout;
    columns->setSpacing(14);
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns);
    outer->addWidget(buttons);

    // The lists are filled and the address box cleared before anything is loaded.
    address_->clear();
    fillClickFormats(*clickFormat_);
    fillScales(*scale_, true);
    fillRefreshRates(*refresh_);
    fillLinkKinds(*linkKindBox_);
    fillSkins(*skin_, context_.skinNames);

    connect(linkKindBox_, &QComboBox::activated, this, &ProfileDialog::linkKindChosen);
    connect(recording_.button(1), &QAbstractButton::toggled, this, [this](bool on) {
        // "Show Mouse Cursor" only matters for video: with script events it is off and
        // unticked, and the tick comes back with video.
        if (!on && showMouse_->isEnabled())
            showMouseWanted_ = showMouse_->isChecked();
        showMouse_->setEnabled(on);
        showMouse_->setChecked(on && showMouseWanted_);
    });
    connect(change_, &QPushButton::clicked, this, &ProfileDialog::changeColor);
    connect(sshBrowse_, &QPushButton::clicked, this, &ProfileDialog::browseKeyFile);
}

void ProfileDialog::loadNew()
{
    const Settings& s = context_.settings;
    setWindowTitle(QStringLiteral("New Connection"));
    selectClamped(*clickFormat_, s.ClickFormat);
    selectClamped(*scale_, s.Scale - 1);
    selectClamped(*refresh_, s.Refresh - 1);
    linkKindBox_->setCurrentIndex(0);
    skin_->setCurrentIndex(s.CurrentSkin >= 0 && s.CurrentSkin < skin_->count() ? s.CurrentSkin : 0);
    swatch_->setColor(0);
    name_->setText(QStringLiteral("New Connection"));
    // The name has the focus with its text selected, so typing replaces it.
    name_->selectAll();
    name_->setFocus();
    recording_.check(s.Recording_Method);
    showMouseWanted_ = s.ShowMouse != 0;
    showMouse_->setChecked(showMouseWanted_ && recording_.value() != 0);
    showMouse_->setEnabled(recording_.value() != 0);
    capture_.check(s.Capture);
    linkKind_ = 0;
    enableForLinkKind(linkKind_);
}

void ProfileDialog::loadExisting(const Profile& p)
{
    setWindowTitle(QStringLiteral("Edit Connection"));
    const std::string_view n = p.nameView();
    name_->setText(QString::fromUtf8(n.data(), qsizetype(n.size())));
    linkKind_ = p.linkKind <= uint32_t(LinkKind::Proxy) ? int(p.linkKind) : 0;
    linkKindBox_->setCurrentIndex(linkKind_);
    if (p.ipAddress != 0)
        address_->setAddress(p.ipAddress);
    port_->setText(QString::number(p.port));
    selectClamped(*refresh_, p.refreshRate - 1);
    skin_->setCurrentIndex(p.skinIndex >= 0 && p.skinIndex < skin_->count() ? p.skinIndex : 0);
    selectClamped(*scale_, p.scale - 1);
    selectClamped(*clickFormat_, p.clickFormat);
    recording_.check(p.recordingMethod);
    capture_.check(p.captureMode);
    showMouseWanted_ = p.showMouseCursor != 0;
    showMouse_->setChecked(showMouseWanted_ && recording_.value() != 0);
    showMouse_->setEnabled(recording_.value() != 0);
    swatch_->setColor(p.backgroundColor);
    openMaximized_->setChecked(p.openMaximized != 0);
    autoConnect_->setChecked(p.autoConnect != 0);
    lowColor_->setChecked(p.lowColor != 0);
    queueEvents_->setChecked(p.queueEvents != 0);
    if (const std::optional<SshGateway> gateway = context_.profiles.sshGateway(profileIndex_)) {
        ssh_->setChecked(true);
        sshGateway_->setText(QString::fromStdString(gateway->text()));
        sshKeyFile_->setText(QString::fromStdString(gateway->keyFile));
        sshKeyFile_->setCursorPosition(0);
    }
    enableForLinkKind(linkKind_);
}

void ProfileDialog::enableForLinkKind(int kind)
{
    const auto k = LinkKind(kind);
    port_->setEnabled(k == LinkKind::Serial || k == LinkKind::Proxy);
    address_->setEnabled(k == LinkKind::Wan || k == LinkKind::Proxy);
    ssh_->setEnabled(k == LinkKind::Wan || k == LinkKind::Proxy);
}

void ProfileDialog::linkKindChosen(int kind)
{
    if (kind == linkKind_)
        return;
    linkKind_ = kind;
    enableForLinkKind(kind);
    if (LinkKind(kind) == LinkKind::Serial)
        port_->setText(QStringLiteral("1"));
    else if (LinkKind(kind) == LinkKind::Proxy)
        port_->setText(QStringLiteral("1900"));
}

void ProfileDialog::changeColor()
{
    if (std::optional<uint32_t> chosen = context_.colors.chooseColor(swatch_->color(), context_.customColors))
        swatch_->setColor(*chosen);
}

void ProfileDialog::browseKeyFile()
{
    const QString sshDir = QDir::home().filePath(QStringLiteral(".ssh"));
    const QString typed = sshKeyFile_->text().trimmed();
    const QString start = typed.isEmpty() ? sshDir : QFileInfo(typed).absolutePath();
    std::optional<std::string> chosen;
    if (context_.files) {
        chosen = context_.files->openFile(FileDialogRequest{"SSH Key File", start.toStdString(), {}, {}, {}, true});
    } else {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("SSH Key File"), start);
        if (!path.isEmpty())
            chosen = path.toStdString();
    }
    if (chosen) {
        sshKeyFile_->setText(QString::fromStdString(*chosen));
        sshKeyFile_->setCursorPosition(0);
    }
}

bool ProfileDialog::sshGatewayFromFields(int kind, std::optional<SshGateway>& out)
{
    out.reset();
    if ((LinkKind(kind) != LinkKind::Wan && LinkKind(kind) != LinkKind::Proxy) || !ssh_->isChecked())
        return true;
    std::string error;
    std::optional<SshGateway> gateway = ParseSshGateway(sshGateway_->text().toStdString(), error);
    if (!gateway) {
        refuse(error, sshGateway_);
        return false;
    }
    if (gateway->text().size() > ProfileTable::kSshGatewayTextMax) {
        refuse("The SSH gateway is too long", sshGateway_);
        return false;
    }
    gateway->keyFile = sshKeyFile_->text().trimmed().toStdString();
    if (gateway->keyFile.size() > ProfileTable::kSshKeyFileMax) {
        refuse("The key file's path is too long", sshKeyFile_);
        return false;
    }
    if (!ProfileTable::canStoreSshGateway(*gateway)) { // "u@[a:b]": its text would read back otherwise
        refuse("Give the SSH gateway as user@host or user@host:port", sshGateway_);
        return false;
    }
    out = std::move(gateway);
    return true;
}

void ProfileDialog::refuse(const std::string& text, QWidget* focus)
{
    context_.messages.show(MessageRequest{text, kCaption, MessageIcon::Error, MessageButtons::Ok});
    if (focus)
        focus->setFocus();
}

void ProfileDialog::accept()
{
    if (name_->text().isEmpty()) {
        refuse("A name is required", name_);
        return;
    }
    const int kind = linkKindBox_->currentIndex();
    const uint32_t port = portValue(*port_);
    if (LinkKind(kind) == LinkKind::Serial && (port < 1 || port > 9)) {
        refuse("Please specify a valid COM port (1-9)", port_);
        return;
    }
    if (LinkKind(kind) == LinkKind::Proxy && (port < 1000 || port > 65536)) {
        refuse("Please specify a valid Proxy port (1000-65536)", port_);
        return;
    }
    std::optional<SshGateway> gateway;
    if (!sshGatewayFromFields(kind, gateway))
        return;

    // An edit starts from the stored record, so the reserved bytes travel along.
    const Profile* existing = profileIndex_ >= 0 ? context_.profiles.get(profileIndex_) : nullptr;
    Profile p = existing ? *existing : Profile{};
    p.setName(name_->text().toStdString());
    p.showMouseCursor = showMouse_->isEnabled() && showMouse_->isChecked() ? 1 : 0;
    p.openMaximized = openMaximized_->isChecked() ? 1 : 0;
    p.autoConnect = autoConnect_->isChecked() ? 1 : 0;
    p.lowColor = lowColor_->isChecked() ? 1 : 0;
    p.queueEvents = queueEvents_->isChecked() ? 1 : 0;
    p.linkKind = uint32_t(kind);
    p.scale = scale_->currentIndex() + 1;
    // With no skins installed there is nothing to show: the profile stores 0, as a
    // new one does, rather than an index no list holds.
    p.skinIndex = skin_->isEnabled() ? skin_->currentIndex() : 0;
    p.refreshRate = refresh_->currentIndex() + 1;
    p.clickFormat = clickFormat_->currentIndex();
    p.backgroundColor = swatch_->color();
    p.captureMode = capture_.value();
    p.recordingMethod = recording_.value();
    p.ipAddress = address_->address();
    p.port = port;

    int index = profileIndex_;
    if (existing) {
        context_.profiles.EditProfile(index, p);
    } else {
        index = context_.profiles.ConnTypes();
        if (!context_.profiles.AddProfile(p)) {
            context_.beep.beep();
            reject();
            return;
        }
    }
    context_.profiles.setSshGateway(index, std::move(gateway));
    storedIndex_ = index;
    if (context_.refreshConnectionList)
        context_.refreshConnectionList(index);
    if (context_.saveSettings) {
        const std::string error = context_.saveSettings();
        if (!error.empty())
            context_.messages.show(MessageRequest{error, kCaption, MessageIcon::Error, MessageButtons::Ok});
    }
    QDialog::accept();
}

std::optional<int> RunProfileDialog(QWidget* parent, ProfileDialogMode mode, int profileIndex,
                                    SettingsDialogContext& context)
{
    if (mode == ProfileDialogMode::New) {
        if (context.profiles.ConnTypes() >= ProfileTable::kSlots) {
            context.beep.beep();
            return std::nullopt;
        }
        profileIndex = -1;
    } else if (!context.profiles.get(profileIndex)) {
        context.beep.beep();
        return std::nullopt;
    }
    ProfileDialog dialog(parent, context, profileIndex);
    if (dialog.exec() != QDialog::Accepted || dialog.storedIndex() < 0)
        return std::nullopt;
    return dialog.storedIndex();
}

} // namespace sorvane
