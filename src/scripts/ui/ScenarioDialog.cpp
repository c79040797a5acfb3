#include "scripts/ui/ScenarioDialog.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "scripts/ResultsLog.h"

namespace fs = std::filesystem;

namespace sorvane {
namespace {

constexpr const char* kCaption = "New/Edit Script";
constexpr const char* kLogPathTooLong = "The log file path is too long (at most 255 bytes)";

constexpr int digitsOf(int32_t most) { return most < 10 ? 1 : 1 + digitsOf(most / 10); }

QLineEdit* numberBox(int id, int digits, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::number(id));
    box->setMaxLength(digits);
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    // Wide enough for its digits and no wider.
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (digits + 1) + 12);
    return box;
}

QCheckBox* checkBox(const char* text, int id, QWidget* parent)
{
    auto* c = new QCheckBox(QString::fromUtf8(text), parent);
    c->setObjectName(QString::number(id));
    return c;
}

QPushButton* button(const char* text, int id, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::number(id));
    b->setAutoDefault(false);
    return b;
}

// A box read as an unsigned number: what is not a number reads as 0.
int32_t numberOf(const QLineEdit& box)
{
    bool ok = false;
    const uint v = box.text().toUInt(&ok);
    return ok ? int32_t(std::min<uint>(v, 0x7FFFFFFF)) : 0;
}

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string utf8Of(const QString& s) { return s.toUtf8().toStdString(); }

bool sameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code ea, eb;
    const fs::path ca = fs::weakly_canonical(a, ea);
    const fs::path cb = fs::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

FileDialogRequest recordedFiles(const std::string& dir, bool mustExist)
{
    FileDialogRequest r;
    r.initialDirectory = dir;
    r.filters = {{"Recorded Files", {"*.TXT"}}};
    r.mustExist = mustExist;
    return r;
}

} // namespace

ScenarioDialog::ScenarioDialog(Scenario& record, bool isNew, std::string scriptDir,
                               std::vector<std::string> otherNames, Ports ports, QWidget* parent)
    : QDialog(parent), record_(record), scriptDir_(std::move(scriptDir)), otherNames_(std::move(otherNames)),
      ports_(ports)
{
    setObjectName(QStringLiteral("NEWSCRIPT"));
    setWindowTitle(isNew ? QStringLiteral("New Scenario") : QStringLiteral("Edit Scenario"));

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("1005"));
    name_->setMaxLength(int(Scenario::kNameSize - 1));
    logResults_ = checkBox("Log Results", 1040, this);
    logFile_ = new QLineEdit(this);
    logFile_->setObjectName(QStringLiteral("1002"));
    logFile_->setMaxLength(int(Scenario::kLogFileSize - 1)); // the path and its NUL fill the field
    logFile_->setMinimumWidth(260);
    QPushButton* browse = button("Browse", 1031, this);
    loopCount_ = numberBox(1003, digitsOf(Scenario::kMaxLoopCount), this);
    loopDelay_ = numberBox(1004, digitsOf(Scenario::kMaxLoopDelay), this);
    files_ = new QListWidget(this);
    files_->setObjectName(QStringLiteral("1020"));
    files_->setMinimumHeight(120);
    QPushButton* add = button("Add", 1030, this);
    QPushButton* remove = button("Remove", 1032, this);
    QPushButton* up = button("Up", 1033, this);
    QPushButton* down = button("Down", 1034, this);
    scriptLoopCount_ = numberBox(1006, digitsOf(Scenario::kMaxLoopCount), this);
    scriptLoopDelay_ = numberBox(1007, digitsOf(Scenario::kMaxLoopDelay), this);
    suspend_ = checkBox("Suspend device when complete", 1041, this);
    reset_ = checkBox("Reset device when complete", 1042, this);
    noVideo_ = checkBox("Disable video update (e.g. slow connection)", 1043, this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Scenario Name:"), this), 0, 0);
    grid->addWidget(name_, 0, 1, 1, 2);
    grid->addWidget(logResults_, 1, 0);
    grid->addWidget(logFile_, 1, 1);
    grid->addWidget(browse, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* loops = new QHBoxLayout;
    loops->addWidget(new QLabel(QStringLiteral("Scenario Loop Count:"), this));
    loops->addWidget(loopCount_);
    loops->addSpacing(16);
    loops->addWidget(new QLabel(QStringLiteral("Loop Delay (seconds):"), this));
    loops->addWidget(loopDelay_);
    loops->addStretch();

    auto* fileButtons = new QVBoxLayout;
    for (QPushButton* b : {add, remove, up, down})
        fileButtons->addWidget(b);
    fileButtons->addStretch();
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(files_, 1);
    fileRow->addLayout(fileButtons);

    auto* fileLoops = new QHBoxLayout;
    fileLoops->addWidget(new QLabel(QStringLiteral("Script Loop Count:"), this));
    fileLoops->addWidget(scriptLoopCount_);
    fileLoops->addSpacing(16);
    fileLoops->addWidget(new QLabel(QStringLiteral("Script Loop Delay:"), this));
    fileLoops->addWidget(scriptLoopDelay_);
    fileLoops->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(loops);
    layout->addLayout(fileRow, 1);
    layout->addLayout(fileLoops);
    layout->addWidget(suspend_);
    layout->addWidget(reset_);
    layout->addWidget(noVideo_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &ScenarioDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &ScenarioDialog::browseLog);
    connect(add, &QPushButton::clicked, this, &ScenarioDialog::addFile);
    connect(remove, &QPushButton::clicked, this, &ScenarioDialog::removeFile);
    connect(up, &QPushButton::clicked, this, [this] { moveFile(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveFile(+1); });

    if (isNew) {
        name_->setText(QStringLiteral("New Scenario"));
        loopCount_->setText(QStringLiteral("1"));
        loopDelay_->setText(QStringLiteral("0"));
    } else {
        name_->setText(fromUtf8(record_.name));
        logFile_->setText(fromUtf8(record_.logFile));
        logResults_->setChecked(record_.logResults != 0);
        loopCount_->setText(QString::number(uint32_t(record_.loopCount)));
        loopDelay_->setText(QString::number(uint32_t(record_.loopDelay)));
        suspend_->setChecked(record_.suspendWhenDone != 0);
        reset_->setChecked(record_.resetWhenDone != 0);
        noVideo_->setChecked(record_.noVideo != 0);
        for (const ScenarioFile& f : record_.files)
            files_->addItem(fromUtf8(f.fileName));
    }
    connect(files_, &QListWidget::currentRowChanged, this, &ScenarioDialog::fileSelected);
    if (!record_.files.empty())
        selectRow(0);
}

void ScenarioDialog::showEvent(QShowEvent* event)
{
    CenterDialog(*this);
    QDialog::showEvent(event);
}

bool ScenarioDialog::refuse(const std::string& text)
{
    ports_.messages.show({text, kCaption, MessageIcon::Error, MessageButtons::Ok});
    return false;
}

void ScenarioDialog::storeFileBoxes()
{
    if (shown_ < 0 || size_t(shown_) >= record_.files.size())
        return;
    record_.files[size_t(shown_)].scriptLoopCount = numberOf(*scriptLoopCount_);
    record_.files[size_t(shown_)].scriptLoopDelay = numberOf(*scriptLoopDelay_);
}

void ScenarioDialog::fileSelected(int row)
{
    storeFileBoxes();
    shown_ = row >= 0 && size_t(row) < record_.files.size() ? row : -1;
    if (shown_ < 0)
        return;
    const ScenarioFile& f = record_.files[size_t(shown_)];
    scriptLoopCount_->setText(QString::number(uint32_t(f.scriptLoopCount)));
    scriptLoopDelay_->setText(QString::number(uint32_t(f.scriptLoopDelay)));
}

void ScenarioDialog::selectRow(int row)
{
    if (files_->currentRow() == row)
        fileSelected(row); // no change signal: show it all the same
    else
        files_->setCurrentRow(row);
}

void ScenarioDialog::addFile()
{
    if (record_.files.size() >= Scenario::kMaxFiles) {
        ports_.beep.beep();
        return;
    }
    std::optional<std::string> chosen = ports_.files.openFile(recordedFiles(scriptDir_, true));
    if (!chosen)
        return;
    // The entry keeps the name alone and playback looks for it in the script folder:
    // a file from elsewhere would never be played (or another file of that name would).
    const fs::path path(*chosen);
    if (!sameFolder(path.parent_path(), scriptDir_)) {
        refuse("Scripts are played from the script folder " + scriptDir_ + "; please choose a file there");
        return;
    }
    const std::string name = path.filename().string();
    if (name.size() >= ScenarioFile::kNameSize) {
        refuse("The script file name is too long (at most 115 characters)");
        return;
    }
    record_.files.push_back(ScenarioFile{0, 1, 0, name});
    files_->addItem(fromUtf8(name));
    selectRow(files_->count() - 1);
}

void ScenarioDialog::removeFile()
{
    const int row = files_->currentRow();
    if (row < 0 || size_t(row) >= record_.files.size()) {
        ports_.beep.beep();
        return;
    }
    record_.files.erase(record_.files.begin() + row);
    shown_ = -1; // its boxes go with it
    QSignalBlocker quiet(files_);
    delete files_->takeItem(row);
    quiet.unblock();
    if (files_->count() > 0) {
        files_->setCurrentRow(-1);
        selectRow(0);
    } else {
        scriptLoopCount_->clear();
        scriptLoopDelay_->clear();
    }
}

void ScenarioDialog::moveFile(int by)
{
    const int row = files_->currentRow();
    const int to = row + by;
    if (row < 0 || size_t(row) >= record_.files.size() || to < 0 || size_t(to) >= record_.files.size()) {
        ports_.beep.beep();
        return;
    }
    storeFileBoxes();
    std::swap(record_.files[size_t(row)], record_.files[size_t(to)]);
    QSignalBlocker quiet(files_);
    files_->item(row)->setText(fromUtf8(record_.files[size_t(row)].fileName));
    files_->item(to)->setText(fromUtf8(record_.files[size_t(to)].fileName));
    files_->setCurrentRow(to);
    shown_ = to; // the boxes still show the moved entry
}

void ScenarioDialog::browseLog()
{
    std::optional<std::string> chosen = ports_.files.openFile(recordedFiles(scriptDir_, false));
    if (!chosen)
        return;
    if (chosen->size() >= Scenario::kLogFileSize) {
        refuse(kLogPathTooLong); // the box would cut it, and the log would go elsewhere
        return;
    }
    logFile_->setText(QString::fromStdString(*chosen));
    logResults_->setChecked(true);
}

void ScenarioDialog::accept()
{
    const std::string name = utf8Of(name_->text());
    const std::string logFile = utf8Of(logFile_->text());
    if (name.empty()) {
        refuse("A name is required");
        return;
    }
    // The name is also the scenario file's name, so it must be one (and fit the record
    // in bytes, not only in characters); a name another scenario has would share its file.
    if (!IsScenarioFileName(name)) {
        refuse("The name cannot be used as a file name (at most 63 bytes, no / or \\)");
        return;
    }
    if (std::find(otherNames_.begin(), otherNames_.end(), name) != otherNames_.end()) {
        refuse("Another scenario is already named " + name);
        return;
    }
    if (record_.files.empty()) {
        refuse("At least one valid script filename is required");
        return;
    }
    if (logResults_->isChecked() && logFile.empty()) {
        refuse("Please specify a log file or uncheck the logging option.");
        return;
    }
    if (logFile.size() >= Scenario::kLogFileSize) {
        refuse(kLogPathTooLong);
        return;
    }
    if (const std::string problem = ResultsLogPathProblem(logFile, scriptDir_);
        logResults_->isChecked() && !problem.empty()) {
        refuse("The log file cannot be used: " + problem); // playback would refuse it
        return;
    }
    record_.name = name;
    record_.logFile = logFile;
    record_.logResults = logResults_->isChecked() ? 1 : 0;
    record_.suspendWhenDone = suspend_->isChecked() ? 1 : 0;
    record_.resetWhenDone = reset_->isChecked() ? 1 : 0;
    record_.noVideo = noVideo_->isChecked() ? 1 : 0;
    record_.loopCount = numberOf(*loopCount_);
    record_.loopDelay = numberOf(*loopDelay_);
    storeFileBoxes();
    QDialog::accept();
}

} // namespace sorvane
