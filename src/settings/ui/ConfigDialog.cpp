#include "settings/ui/ConfigDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
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
#include "files/ui/SelectDirectoryDialog.h"
#include "view/CommandIds.h"

namespace sorvane {

using namespace dialog_controls;

namespace {

bool fitsScriptDir(const QString& text)
{
    return size_t(text.toUtf8().size()) < Settings::kScriptDirBufferSize;
}

} // namespace

ConfigDialog::ConfigDialog(QWidget* parent, SettingsDialogContext& context) : QDialog(parent), context_(&context)
{
    build(context.skinNames);
    loadDefaults();
    CenterDialog(*this);
}

ConfigDialog::ConfigDialog(QWidget* parent, ConnectionSettingsPort& connection,
                           const std::vector<std::string>& skinNames)
    : QDialog(parent), connection_(&connection)
{
    build(skinNames);
    loadConnection();
    CenterDialog(*this);
}

void ConfigDialog::build(const std::vector<std::string>& skinNames)
{
    setObjectName(QStringLiteral("CONFIG"));

    refresh_ = comboBox(1051, this);
    scale_ = comboBox(1052, this);
    showSkin_ = checkBox("Show Skin", 1040, this);
    skin_ = comboBox(1054, this);
    lowColor_ = checkBox("16-color mode (reduces data by 50%)", 1041, this);
    queueEvents_ = checkBox("Queue events (reduces LAN traffic)", 1042, this);
    acceptInbound_ = checkBox("Accept inbound connections on port:", 1044, this);
    port_ = new QLineEdit(this);
    port_->setObjectName(QStringLiteral("1002"));
    port_->setMaxLength(5);
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    port_->setFixedWidth(port_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    clickFormat_ = comboBox(1055, this);
    scriptDir_ = new QLineEdit(this);
    scriptDir_->setObjectName(QStringLiteral("1001"));
    scriptDir_->setMaxLength(int(Settings::kScriptDirBufferSize - 1));
    browse_ = new QPushButton(QStringLiteral("Browse"), this);
    browse_->setObjectName(QStringLiteral("1030"));
    browse_->setAutoDefault(false);

    auto* display = new QWidget(this);
    auto* grid = new QGridLayout(display);
    grid->setContentsMargins(0, 0, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Refresh Rate"), display), 0, 0);
    grid->addWidget(refresh_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Scale"), display), 1, 0);
    grid->addWidget(scale_, 1, 1);
    grid->addWidget(showSkin_, 2, 0);
    grid->addWidget(skin_, 2, 1);
    grid->addWidget(lowColor_, 3, 0, 1, 2);
    grid->addWidget(queueEvents_, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* inboundRow = new QHBoxLayout;
    inboundRow->addWidget(acceptInbound_);
    inboundRow->addWidget(port_);
    inboundRow->addStretch(1);

    capture_ = makeCaptureGroup(this);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel(QStringLiteral("Image file format (one click):"), capture_.box));
    formatRow->addWidget(clickFormat_);
    static_cast<QVBoxLayout*>(capture_.box->layout())->addLayout(formatRow);

    recording_ = makeRecordingGroup(this);
    showCursor_ = checkBox("Show Cursor", 1043, recording_.box);
    recording_.box->layout()->addWidget(showCursor_);

    auto* groups = new QHBoxLayout;
    groups->addWidget(capture_.box, 3);
    groups->addWidget(recording_.box, 2);

    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(new QLabel(QStringLiteral("Script Dir:"), this));
    dirRow->addWidget(scriptDir_, 1);
    dirRow->addWidget(browse_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ConfigDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(display);
    outer->addLayout(inboundRow);
    outer->addLayout(groups);
    outer->addLayout(dirRow);
    outer->addWidget(buttons);

    fillClickFormats(*clickFormat_);
    fillScales(*scale_, false);
    fillRefreshRates(*refresh_);
    fillSkins(*skin_, skinNames);
    showSkin_->setEnabled(!skinNames.empty());

    connect(browse_, &QPushButton::clicked, this, &ConfigDialog::browse);
}

bool ConfigDialog::skinsAvailable() const { return skin_->count() > 1; }

void ConfigDialog::loadDefaults()
{
    const Settings& s = context_->settings;
    setWindowTitle(QStringLiteral("Default Settings"));
    selectClamped(*clickFormat_, s.ClickFormat);
    selectClamped(*scale_, s.Scale - 1);
    selectClamped(*refresh_, s.Refresh - 1);
    lowColor_->setChecked(s.ColorMode != 0);
    queueEvents_->setChecked(s.QueueEvents != 0);
    showCursor_->setChecked(s.ShowMouse != 0);
    acceptInbound_->setChecked(s.AcceptInbound != 0);
    port_->setText(QString::number(s.InboundPort));
    showSkin_->setChecked(s.Skin != 0);
    skin_->setCurrentIndex(s.CurrentSkin >= 0 && s.CurrentSkin < skin_->count() ? s.CurrentSkin : 0);
    recording_.check(s.Recording_Method);
    capture_.check(s.Capture);
    scriptDir_->setText(QString::fromStdString(s.ScriptDir));
}

void ConfigDialog::loadConnection()
{
    opened_ = connection_->viewSettings();
    const ConnectionViewSettings& v = opened_;
    setWindowTitle(QStringLiteral("Configure"));
    selectClamped(*clickFormat_, v.clickFormat);
    selectClamped(*scale_, v.scale - 1);
    selectClamped(*refresh_, v.refreshRate - 1);
    lowColor_->setChecked(v.lowColor);
    queueEvents_->setChecked(v.queueEvents);
    showCursor_->setChecked(v.showMouseCursor);
    showSkin_->setChecked(v.skinShown);
    skin_->setCurrentIndex(v.skinIndex >= 0 && v.skinIndex < skin_->count() ? v.skinIndex : 0);
    recording_.check(v.recordingMethod);
    capture_.check(v.captureMode);
    // The program-wide controls of the template have no meaning for one connection.
    for (QWidget* w : {static_cast<QWidget*>(acceptInbound_), static_cast<QWidget*>(port_),
                       static_cast<QWidget*>(scriptDir_), static_cast<QWidget*>(browse_)})
        w->setEnabled(false);
}

void ConfigDialog::browse()
{
    if (!context_)
        return;
    std::optional<std::string> chosen =
        RunSelectDirectoryDialog(this, scriptDir_->text().toStdString(), context_->folderSortKey);
    if (!chosen)
        return;
    const QString folder = QString::fromStdString(*chosen);
    if (!fitsScriptDir(folder)) {
        context_->beep.beep(); // the script directory holds at most 255 bytes
        return;
    }
    scriptDir_->setText(folder);
}

void ConfigDialog::accept()
{
    if (connection_) {
        acceptConnection();
        QDialog::accept();
        return;
    }
    if (acceptDefaults())
        QDialog::accept();
}

bool ConfigDialog::acceptDefaults()
{
    Settings& s = context_->settings;
    const QString dir = scriptDir_->text();
    if (!fitsScriptDir(dir)) {
        context_->beep.beep();
        scriptDir_->setFocus();
        return false;
    }

    // The listener is moved before anything is stored, so a port that cannot be
    // opened leaves every setting as it was (and Cancel then really cancels).
    const uint32_t port = portValue(*port_);
    if (port != uint32_t(s.InboundPort)) {
        const bool moved =
            context_->moveInboundPort ? context_->moveInboundPort(int(port)) : (port >= 1 && port <= 65535);
        if (!moved) {
            context_->messages.show(MessageRequest{"Unable to create inbound socket; port may be in use", "Error",
                                                   MessageIcon::Error, MessageButtons::Ok});
            port_->setFocus();
            port_->selectAll();
            return false;
        }
        s.InboundPort = int32_t(port);
    }

    s.Capture = capture_.value();
    s.Recording_Method = recording_.value();
    s.ClickFormat = clickFormat_->currentIndex();
    s.Scale = scale_->currentIndex() + 1;
    s.Refresh = refresh_->currentIndex() + 1;
    s.AcceptInbound = acceptInbound_->isChecked() ? 1 : 0;
    s.ShowMouse = showCursor_->isChecked() ? 1 : 0;
    s.QueueEvents = queueEvents_->isChecked() ? 1 : 0;
    s.ColorMode = lowColor_->isChecked() ? 1 : 0;
    s.CurrentSkin = skinsAvailable() ? skin_->currentIndex() : 0;
    s.Skin = showSkin_->isChecked() ? 1 : 0;
    s.ScriptDir = dir.toStdString();

    if (context_->saveSettings) {
        const std::string error = context_->saveSettings();
        if (!error.empty())
            context_->messages.show(MessageRequest{error, "Error", MessageIcon::Error, MessageButtons::Ok});
    }
    return true;
}

void ConfigDialog::acceptConnection()
{
    ConnectionViewSettings v = opened_;
    v.captureMode = capture_.value();
    v.recordingMethod = recording_.value();
    v.clickFormat = clickFormat_->currentIndex();
    const int scale = scale_->currentIndex() + 1;
    const bool scaleChanged = scale != opened_.scale;
    v.scale = scale;
    v.refreshRate = refresh_->currentIndex() + 1;
    v.queueEvents = queueEvents_->isChecked();
    v.showMouseCursor = showCursor_->isChecked();
    const bool lowColorChanged = lowColor_->isChecked() != opened_.lowColor;

    // The skin list is disabled without skins; the connection's choice then stands.
    const int chosenSkin = skinsAvailable() ? skin_->currentIndex() : opened_.skinIndex;
    const bool showSkin = showSkin_->isChecked();
    int skinToggles = 0;
    if (showSkin != opened_.skinShown)
        skinToggles = 1;
    else if (opened_.skinShown && chosenSkin != opened_.skinIndex)
        skinToggles = 2;
    if (skinToggles > 0)
        v.skinIndex = chosenSkin;

    connection_->storeViewSettings(v);
    if (scaleChanged)
        connection_->postCommand(cmd::Fit);
    if (lowColorChanged)
        connection_->postCommand(cmd::ToggleLowColor);
    for (int i = 0; i < skinToggles; ++i)
        connection_->postCommand(cmd::ToggleSkin);
}

bool RunDefaultSettingsDialog(QWidget* parent, SettingsDialogContext& context)
{
    ConfigDialog dialog(parent, context);
    return dialog.exec() == QDialog::Accepted;
}

bool RunConnectionConfigDialog(QWidget* parent, ConnectionSettingsPort& connection,
                               const std::vector<std::string>& skinNames)
{
    ConfigDialog dialog(parent, connection, skinNames);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace sorvane
