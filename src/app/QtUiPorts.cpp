#include "app/QtUiPorts.h"

#include <algorithm>

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace sorvane {

namespace {

QWidget* dialogOwner() { return QApplication::activeWindow(); }

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Error:
    case MessageIcon::Stop: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// Colour values are 0x00BBGGRR.
QColor toQColor(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }
uint32_t fromQColor(const QColor& c)
{
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

QString withDefaultExtension(QString path, const std::string& extension)
{
    if (!path.isEmpty() && !extension.empty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + QString::fromStdString(extension);
    return path;
}

QString startPath(const FileDialogRequest& r)
{
    QString dir = QString::fromStdString(r.initialDirectory);
    QString name = QString::fromStdString(r.initialName);
    if (dir.isEmpty())
        return name;
    return name.isEmpty() ? dir : dir + QLatin1Char('/') + name;
}

} // namespace

QString qtFilterString(const std::vector<FileFilter>& filters)
{
    QStringList parts;
    for (const FileFilter& f : filters) {
        QStringList patterns;
        for (const std::string& p : f.patterns)
            patterns << QString::fromStdString(p);
        parts << QStringLiteral("%1 (%2)").arg(QString::fromStdString(f.description), patterns.join(' '));
    }
    return parts.join(QStringLiteral(";;"));
}

MessageResult QtMessageBox::show(const MessageRequest& request)
{
    QMessageBox box(qtIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), qtButtons(request.buttons), dialogOwner());
    box.setObjectName(QStringLiteral("MessageBox"));
    switch (box.exec()) {
    case QMessageBox::Ok: return MessageResult::Ok;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    case QMessageBox::Retry: return MessageResult::Retry;
    case QMessageBox::Cancel: return MessageResult::Cancel;
    default:
        // Closed without a button: the escape button's meaning.
        if (request.buttons == MessageButtons::Ok)
            return MessageResult::Ok;
        if (request.buttons == MessageButtons::YesNo)
            return MessageResult::No;
        return MessageResult::Cancel;
    }
}

void QtBeep::beep() { QApplication::beep(); }

std::vector<std::string> QtFileDialogs::openFiles(const FileDialogRequest& request)
{
    std::vector<std::string> paths;
    for (const QString& path : QFileDialog::getOpenFileNames(dialogOwner(), QString::fromStdString(request.title),
                                                             startPath(request), qtFilterString(request.filters)))
        paths.push_back(path.toStdString());
    return paths;
}

std::optional<std::string> QtFileDialogs::openFile(const FileDialogRequest& request)
{
    if (!request.mustExist) {
        // An open dialog whose file may be new: only its folder has to exist.
        QFileDialog dialog(dialogOwner(), QString::fromStdString(request.title), startPath(request),
                           qtFilterString(request.filters));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toStdString();
    }
    QString path = QFileDialog::getOpenFileName(dialogOwner(), QString::fromStdString(request.title),
                                                startPath(request), qtFilterString(request.filters));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtFileDialogs::saveFile(const FileDialogRequest& request)
{
    QString path = QFileDialog::getSaveFileName(dialogOwner(), QString::fromStdString(request.title),
                                                startPath(request), qtFilterString(request.filters));
    path = withDefaultExtension(path, request.defaultExtension);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<SavedFile> QtFileDialogs::saveFileAs(const FileDialogRequest& request)
{
    const QString filters = qtFilterString(request.filters);
    QString selected;
    QString path = QFileDialog::getSaveFileName(dialogOwner(), QString::fromStdString(request.title),
                                                startPath(request), filters, &selected);
    path = withDefaultExtension(path, request.defaultExtension);
    if (path.isEmpty())
        return std::nullopt;
    const int index = int(filters.split(QStringLiteral(";;")).indexOf(selected));
    return SavedFile{path.toStdString(), std::max(0, index)};
}

std::optional<std::string> QtFileDialogs::chooseDirectory(const std::string& title,
                                                          const std::string& initialDirectory)
{
    QString path = QFileDialog::getExistingDirectory(dialogOwner(), QString::fromStdString(title),
                                                     QString::fromStdString(initialDirectory));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<uint32_t> QtColorChooser::chooseColor(uint32_t initial, std::array<uint32_t, 16>& customColors)
{
    for (int i = 0; i < 16 && i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, toQColor(customColors[size_t(i)]));
    QColor chosen = QColorDialog::getColor(toQColor(initial), dialogOwner());
    for (int i = 0; i < 16 && i < QColorDialog::customCount(); ++i)
        customColors[size_t(i)] = fromQColor(QColorDialog::customColor(i));
    if (!chosen.isValid())
        return std::nullopt;
    return fromQColor(chosen);
}

} // namespace sorvane
