#include "files/ui/FolderPathButton.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "files/ExplorerModel.h"
#include "files/FolderPath.h"

namespace sorvane {

namespace {

constexpr int kArrowWidth = 9;
constexpr int kPadding = 4;

QFont paneFont(const QFont& base)
{
    QFont f = base;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    f.setPixelSize(12);
    f.setBold(true);
    return f;
}

} // namespace

FolderPathButton::FolderPathButton(QWidget* parent) : QPushButton(parent)
{
    setFont(paneFont(font()));
    setAutoDefault(false);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QPushButton::clicked, this, &FolderPathButton::dropMenu);
    setFolder("");
}

void FolderPathButton::setFolder(const std::string& folder)
{
    folder_ = folder;
    setText(QString::fromStdString(device_ ? DevicePathButtonText(folder_) : PathButtonText(folder_)));
    const std::string_view top = device_ ? kMyDevice : kMyComputer;
    setToolTip(folder_.empty() ? QString::fromUtf8(top.data(), qsizetype(top.size())) : QString::fromStdString(folder_));
}

QMenu* FolderPathButton::buildMenu(QWidget* parent) const
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("FolderMenu"));
    for (const FolderMenuEntry& e : device_ ? DeviceFolderMenu(folder_) : FolderMenu(folder_)) {
        QAction* a = menu->addAction(QString::fromStdString(e.text));
        a->setData(QString::fromStdString(e.folder));
    }
    return menu;
}

void FolderPathButton::dropMenu()
{
    QMenu* menu = buildMenu(this);
    const QString shown = text();
    setText(QStringLiteral("Show"));
    QAction* chosen = menu->exec(mapToGlobal(rect().bottomLeft()));
    setText(shown);
    QString target;
    const bool picked = chosen != nullptr;
    if (picked)
        target = chosen->data().toString();
    delete menu;
    if (picked)
        emit folderChosen(target);
}

QSize FolderPathButton::sizeHint() const
{
    QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + kArrowWidth + 4 * kPadding, 21);
}

void FolderPathButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButtonBevel, opt);

    const QRect area = rect().adjusted(kPadding, 0, -kPadding - kArrowWidth - kPadding, 0);
    QFontMetrics fm(font());
    const QString shown = fm.elidedText(text(), Qt::ElideMiddle, area.width());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft, shown);

    // The drop-down arrow right after the text.
    const int ax = area.left() + fm.horizontalAdvance(shown) + kPadding;
    const int ay = height() / 2 - 2;
    QPainterPath arrow;
    arrow.moveTo(ax, ay);
    arrow.lineTo(ax + kArrowWidth - 1, ay);
    arrow.lineTo(ax + (kArrowWidth - 1) / 2.0, ay + 4.5);
    arrow.closeSubpath();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(arrow, p.pen().color());
}

} // namespace sorvane
