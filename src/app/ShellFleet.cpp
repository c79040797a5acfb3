#include "app/ShellFleet.h"

#include <algorithm>
#include <set>
#include <system_error>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/ShellScenarios.h"
#include "capture/StillCapture.h"
#include "files/DeviceFolder.h"
#include "files/DeviceNames.h"
#include "files/ExplorerModel.h"
#include "platform/Utf8Text.h"
#include "platform/Windows1252.h"
#include "platform/ui/UiThread.h"
#include "program/Device.h"
#include "program/FleetNames.h"
#include "program/Program.h"
#include "tools/DeviceExchanges.h"

namespace sorvane {
namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

// A device's name as a dialog shows it.
std::string shownName(Device& device)
{
    return EscapeText(Windows1252ToUtf8(device.connection().deviceName()));
}

// The live device of a slot, or nullptr (none there, or one with no connection).
Device* liveDevice(Program& program, int slot)
{
    Device* d = program.device(slot);
    return d && d->hasConnection() ? d : nullptr;
}

// "NAME (label)" for a list of what happened; the label alone when it is the name.
std::string who(Device* device, const std::string& label)
{
    if (!device)
        return label;
    const std::string name = shownName(*device);
    return name == label ? label : name + " (" + label + ")";
}

std::string lines(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items)
        out += "\n" + item;
    return out;
}

// The dialog's cancel, or the connection stopping under the job.
class FleetProgress final : public TransferProgress {
public:
    FleetProgress(TransferState& state, JobContext& context) : state_(state), context_(context) {}
    void fileStarted(size_t i, std::string_view name, uint64_t size, uint64_t blocks) override
    {
        state_.fileStarted(i, name, size, blocks);
    }
    void blockMoved(uint64_t next, uint64_t done) override { state_.blockMoved(next, done); }
    bool cancelled() override { return state_.isCancelled() || context_.cancelled(); }

private:
    TransferState& state_;
    JobContext& context_;
};

// Which scenario to play on `count` devices: its index, or -1.
int ChooseScenario(QWidget* parent, const std::vector<std::string>& names, int count)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FLEETSCENARIO"));
    dialog.setWindowTitle(QStringLiteral("Run Scenario"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Play which scenario on the %1 selected devices?").arg(count), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("scenarios"));
    for (const std::string& name : names)
        list->addItem(q(EscapeText(name)));
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("Run"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem() || !list->currentItem()->isSelected())
        return -1;
    return list->currentRow();
}

} // namespace

std::vector<std::string> FleetLabels(Program& program, const std::vector<int>& picked)
{
    // Every live device, then the slots asked for that hold none.
    std::vector<FleetMember> members;
    std::vector<int> order = program.liveSlots();
    for (int slot : picked)
        if (std::find(order.begin(), order.end(), slot) == order.end())
            order.push_back(slot);
    for (int slot : order) {
        FleetMember m;
        m.slot = slot;
        if (Device* d = liveDevice(program, slot)) {
            m.deviceName = Windows1252ToUtf8(d->connection().deviceName());
            if (const Profile* p = program.profiles().get(d->profileIndex()))
                m.profileName = std::string(p->nameView());
        }
        members.push_back(std::move(m));
    }
    const std::vector<std::string> all = UniqueDeviceLabels(members);
    std::vector<std::string> labels;
    for (int slot : picked)
        labels.push_back(all[size_t(std::find(order.begin(), order.end(), slot) - order.begin())]);
    return labels;
}

// One device of the send dialog.
struct FleetSendDialog::Row {
    Target target;
    std::shared_ptr<TransferState> state;
    std::shared_ptr<Job> job;
    QTreeWidgetItem* item = nullptr;
    QProgressBar* bar = nullptr;
    bool running = false;
    std::string failure; // empty: every file arrived
};

FleetSendDialog::FleetSendDialog(QWidget* parent, Program& program, std::vector<Target> targets,
                                 MessageBoxPort& messages, FileDialogPort& files, std::string deviceFolder)
    : QDialog(parent), program_(program), messages_(messages), files_(files)
{
    setObjectName(QStringLiteral("FLEETSEND"));
    setWindowTitle(QStringLiteral("Send Files to %1 Devices").arg(targets.size()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("PC files:"), this));
    auto* fileRow = new QHBoxLayout;
    fileList_ = new QListWidget(this);
    fileList_->setObjectName(QStringLiteral("files"));
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setMaximumHeight(110);
    fileRow->addWidget(fileList_);
    auto* fileButtons = new QVBoxLayout;
    add_ = new QPushButton(QStringLiteral("&Add Files..."), this);
    add_->setObjectName(QStringLiteral("add"));
    remove_ = new QPushButton(QStringLiteral("&Remove"), this);
    remove_->setObjectName(QStringLiteral("remove"));
    fileButtons->addWidget(add_);
    fileButtons->addWidget(remove_);
    fileButtons->addStretch();
    fileRow->addLayout(fileButtons);
    layout->addLayout(fileRow);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("Device folder:"), this));
    folder_ = new QLineEdit(q(deviceFolder), this);
    folder_->setObjectName(QStringLiteral("folder"));
    folderRow->addWidget(folder_);
    layout->addLayout(folderRow);

    devices_ = new QTreeWidget(this);
    devices_->setObjectName(QStringLiteral("devices"));
    devices_->setRootIsDecorated(false);
    devices_->setSelectionMode(QAbstractItemView::NoSelection);
    devices_->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Progress"), QStringLiteral("Status")});
    devices_->header()->resizeSection(0, 230);
    devices_->header()->resizeSection(1, 140);
    for (Target& t : targets) {
        Row row;
        Device* d = program_.device(t.slot);
        row.item = new QTreeWidgetItem(devices_, {q(who(d && d->serial() == t.serial ? d : nullptr, t.label)),
                                                  QString(), QStringLiteral("Waiting")});
        row.bar = new QProgressBar(devices_);
        row.bar->setRange(0, 1000);
        row.bar->setValue(0);
        row.bar->setTextVisible(false);
        devices_->setItemWidget(row.item, 1, row.bar);
        row.target = std::move(t);
        rows_.push_back(std::move(row));
    }
    layout->addWidget(devices_);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    summary_->hide();
    layout->addWidget(summary_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    send_ = new QPushButton(QStringLiteral("&Send"), this);
    send_->setObjectName(QStringLiteral("send"));
    send_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("Cancel"), this);
    close_->setObjectName(QStringLiteral("close"));
    buttons->addWidget(send_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    resize(620, 300 + 22 * int(std::min<size_t>(rows_.size(), 12)));

    connect(add_, &QPushButton::clicked, this, [this] { addFiles(); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        for (int i = fileList_->count() - 1; i >= 0; --i)
            if (fileList_->item(i)->isSelected()) {
                delete fileList_->takeItem(i);
                paths_.erase(paths_.begin() + i);
            }
    });
    connect(send_, &QPushButton::clicked, this, [this] { send(); });
    connect(close_, &QPushButton::clicked, this, [this] { reject(); });
    timer_ = new QTimer(this);
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
}

FleetSendDialog::~FleetSendDialog()
{
    // A transfer still going ends soon; its result finds the dialog gone.
    for (Row& row : rows_)
        if (row.running) {
            row.state->cancel();
            row.job->cancel();
        }
}

std::string FleetSendDialog::deviceFolder() const { return folder_->text().toStdString(); }

void FleetSendDialog::addFiles()
{
    FileDialogRequest request;
    request.title = "Files to Send";
    request.filters = {{"All Files", {"*"}}};
    for (const std::string& path : files_.openFiles(request)) {
        if (std::find(paths_.begin(), paths_.end(), path) != paths_.end())
            continue;
        paths_.push_back(path);
        fileList_->addItem(q(EscapeText(path)));
    }
}

bool FleetSendDialog::send()
{
    if (started_)
        return false;
    auto refuse = [this](const std::string& text) {
        messages_.show(MessageRequest{text, "Send Files", MessageIcon::Error, MessageButtons::Ok});
        return false;
    };
    if (paths_.empty())
        return refuse("Please add the PC files to send.");
    // "\" is the root, listed under the empty path; a trailing "\" goes.
    std::string typed = deviceFolder();
    while (!typed.empty() && typed.back() == '\\')
        typed.pop_back();
    if (!typed.empty() && typed.front() != '\\')
        return refuse("The device folder starts with \\ (\\My Documents, or \\ for the top).");
    const DeviceName folder = DeviceTextOfPc(typed);
    if (!folder.ok())
        return refuse("The device folder " + EscapeText(typed) + " cannot be used: " + folder.problem + ".");
    // Nothing is sent unless every name is one the device holds, each once, in the folder.
    std::vector<TransferFile> files;
    std::set<std::string> taken;
    uint64_t total = 0;
    for (const std::string& path : paths_) {
        const DeviceName name = NewDeviceFileName(PcBaseName(path));
        if (!name.ok())
            return refuse(EscapeText(path) + ": " + name.problem + ".");
        std::string key = name.bytes;
        std::transform(key.begin(), key.end(), key.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
        if (!taken.insert(key).second)
            return refuse("Two of the files are named " + EscapeText(std::string(PcBaseName(path))) +
                          ": the second would replace the first on the device.");
        const std::string device = DeviceChild(folder.bytes, name.bytes);
        if (device.size() > kMaxDevicePath)
            return refuse("The device path " + EscapeText(PcTextOfDevice(device)) + " is longer than 255 characters.");
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        total += ec ? 0 : uint64_t(size);
        files.push_back(TransferFile{path, device, 0});
    }

    started_ = true;
    add_->setEnabled(false);
    remove_->setEnabled(false);
    folder_->setReadOnly(true);
    send_->setEnabled(false);
    for (size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        Device* d = liveDevice(program_, row.target.slot);
        if (!d || d->serial() != row.target.serial) {
            row.failure = "the device has gone; nothing was sent";
        } else if (d->connection().reconnecting()) {
            row.failure = "the device is reconnecting; nothing was sent";
        } else {
            row.state = std::make_shared<TransferState>(files.size(), total);
            row.running = true;
            ++running_;
            const bool compress = d->connection().linkKind() != LinkKind::Usb; // USB links carry blocks raw
            row.job = d->connection().post<TransferReport>(
                JobKind::SendFiles,
                [files, state = row.state, compress](JobContext& c, std::string&) mutable {
                    FleetProgress progress(*state, c);
                    return std::optional<TransferReport>(SendFiles(c.channel(), files, TransferOptions{compress},
                                                                   progress));
                },
                OnUiThread(this, [this, i](JobResult<TransferReport> r) { ended(i, std::move(r)); }));
            row.item->setText(2, QStringLiteral("Sending"));
            continue;
        }
        row.item->setText(2, q(row.failure));
    }
    if (running_ == 0)
        showSummary();
    else
        timer_->start();
    return true;
}

void FleetSendDialog::refresh()
{
    for (Row& row : rows_) {
        if (!row.running)
            continue;
        const TransferState::Snapshot s = row.state->snapshot();
        if (s.bytesTotal > 0)
            row.bar->setValue(int(std::min<uint64_t>(1000, s.bytesDone * 1000 / s.bytesTotal)));
        if (s.fileIndex >= 0)
            row.item->setText(2, QStringLiteral("File %1 of %2").arg(s.fileIndex + 1).arg(s.fileCount));
    }
}

void FleetSendDialog::ended(size_t index, JobResult<TransferReport> result)
{
    Row& row = rows_[index];
    if (!row.running)
        return;
    row.running = false;
    --running_;
    if (!result.value) {
        row.failure = result.status == JobStatus::Cancelled ? std::string("cancelled")
                                                           : "not sent: " + EscapeText(result.error);
    } else if (result.value->cancelled) {
        row.failure = "cancelled";
    } else if (!result.value->allDone()) {
        const TransferReport& r = *result.value;
        for (size_t f = 0; f < r.results.size() && f < paths_.size(); ++f)
            if (r.results[f] != FileResult::Done)
                row.failure += (row.failure.empty() ? "" : "; ") + EscapeText(std::string(PcBaseName(paths_[f]))) +
                               ": " + EscapeText(r.text(f));
    }
    if (row.failure.empty())
        row.bar->setValue(1000);
    row.item->setText(2, row.failure.empty() ? QStringLiteral("Done") : q(row.failure));
    if (running_ == 0) {
        timer_->stop();
        showSummary();
    }
}

void FleetSendDialog::showSummary()
{
    std::vector<std::string> failed;
    for (const Row& row : rows_)
        if (!row.failure.empty())
            failed.push_back(row.item->text(0).toStdString() + ": " + row.failure);
    summary_->setText(failed.empty() ? QStringLiteral("Every device received the files.")
                                     : q(std::to_string(failed.size()) + " of " + std::to_string(rows_.size()) +
                                         " devices did not receive every file:" + lines(failed)));
    summary_->show();
    close_->setText(QStringLiteral("Close"));
}

void FleetSendDialog::reject()
{
    if (running_ == 0) {
        QDialog::reject();
        return;
    }
    // Cancel: every transfer still going ends before its next block (a waiting one at
    // once); the dialog stays to show what became of each.
    for (Row& row : rows_)
        if (row.running) {
            row.state->cancel();
            row.job->cancel();
        }
}

ShellFleet::ShellFleet(Context context) : c_(std::move(context)), captureDir_(c_.captureDir.string()) {}

ShellFleet::~ShellFleet() { delete send_.data(); }

void ShellFleet::runScenario(QWidget* parent, const std::vector<int>& picked)
{
    if (picked.empty())
        return;
    std::vector<std::string> names;
    for (const Scenario& s : c_.scenarios.table().scenarios())
        names.push_back(s.name);
    if (names.empty()) {
        c_.messages.show(MessageRequest{"There are no scenarios yet: make one with New in the Scripts list.",
                                        "Run Scenario", MessageIcon::Information, MessageButtons::Ok});
        return;
    }
    const int index = ChooseScenario(parent, names, int(picked.size()));
    if (index < 0)
        return;
    const std::string note = c_.scenarios.play(index, picked);
    if (!note.empty())
        c_.messages.show(MessageRequest{note, "Run Scenario", MessageIcon::Warning, MessageButtons::Ok});
}

void ShellFleet::captureAll(QWidget*, const std::vector<int>& picked)
{
    if (picked.empty())
        return;
    const std::optional<std::string> chosen = c_.files.chooseDirectory("Capture All: choose a folder", captureDir_);
    if (!chosen || chosen->empty())
        return;
    captureDir_ = *chosen;
    const std::vector<std::string> labels = FleetLabels(c_.program, picked);
    std::vector<std::string> failed;
    size_t written = 0;
    for (size_t i = 0; i < picked.size(); ++i) {
        Device* d = liveDevice(c_.program, picked[i]);
        const std::string name = who(d, labels[i]);
        ImageRecord picture;
        if (!d) {
            failed.push_back(name + ": the device has gone");
        } else if (d->connection().reconnecting()) {
            failed.push_back(name + ": the device is reconnecting");
        } else if (!CapturePicture(d->view().screen, picture)) {
            failed.push_back(name + ": there is no picture of the device yet");
        } else {
            std::filesystem::path path;
            const int r = WriteNewCapture(picture, *chosen, labels[i], CaptureFormat::Png, path);
            if (r == kImageOk)
                ++written;
            else
                failed.push_back(name + (r == kImageCannotCreate ? ": the file cannot be created or written"
                                                                 : ": the picture could not be written (" +
                                                                       std::to_string(r) + ")"));
        }
    }
    std::string text = std::to_string(written) + " of " + std::to_string(picked.size()) +
                       " screens were saved in " + EscapeText(*chosen) + ".";
    if (!failed.empty())
        text += "\n\nNot captured:" + lines(failed);
    c_.messages.show(MessageRequest{text, "Capture All", failed.empty() ? MessageIcon::Information
                                                                        : MessageIcon::Warning,
                                    MessageButtons::Ok});
}

void ShellFleet::sendFiles(QWidget* parent, const std::vector<int>& picked)
{
    if (picked.empty())
        return;
    if (send_) {
        // One fleet transfer at a time; its dialog comes forward.
        send_->raise();
        send_->activateWindow();
        return;
    }
    const std::vector<std::string> labels = FleetLabels(c_.program, picked);
    std::vector<FleetSendDialog::Target> targets;
    for (size_t i = 0; i < picked.size(); ++i) {
        Device* d = liveDevice(c_.program, picked[i]);
        targets.push_back({picked[i], d ? d->serial() : 0, labels[i]});
    }
    auto* dialog = new FleetSendDialog(parent, c_.program, std::move(targets), c_.messages, c_.files, deviceFolder_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog] { deviceFolder_ = dialog->deviceFolder(); });
    send_ = dialog;
    dialog->show();
}

void ShellFleet::softResetAll(QWidget*, const std::vector<int>& picked)
{
    if (picked.empty())
        return;
    if (c_.messages.show(MessageRequest{"Soft reset the " + std::to_string(picked.size()) +
                                            " selected devices? Each restarts, and its link is made again.",
                                        "Soft Reset", MessageIcon::Warning, MessageButtons::YesNo}) !=
        MessageResult::Yes)
        return;
    const std::vector<std::string> labels = FleetLabels(c_.program, picked);
    std::vector<std::string> skipped;
    for (size_t i = 0; i < picked.size(); ++i) {
        Device* d = liveDevice(c_.program, picked[i]);
        if (!d)
            skipped.push_back(labels[i] + ": the device has gone");
        else if (d->connection().reconnecting())
            skipped.push_back(who(d, labels[i]) + ": the device is reconnecting");
        else
            d->connection().sendMessage(SoftResetMessage()); // its own sender, in order with its input
    }
    if (!skipped.empty())
        c_.messages.show(MessageRequest{"The soft reset was not sent to " + std::to_string(skipped.size()) + " of " +
                                            std::to_string(picked.size()) + " devices:" + lines(skipped),
                                        "Soft Reset", MessageIcon::Warning, MessageButtons::Ok});
}

} // namespace sorvane
