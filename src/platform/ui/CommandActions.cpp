#include "platform/ui/CommandActions.h"

#include <algorithm>
#include <map>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace sorvane {

namespace {

// A circular arrow: three quarters of a ring ending at its top, with the head there
// pointing the way it turns (clockwise: to the right).
void drawTurnArrow(QPainter& p, const QColor& colour, bool clockwise)
{
    p.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(3, 3.5, 10, 10); // centre (8, 8.5), top at (8, 3.5)
    if (clockwise)
        p.drawArc(ring, 0, -270 * 16); // from three o'clock round to twelve
    else
        p.drawArc(ring, 180 * 16, 270 * 16); // from nine o'clock round to twelve
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPolygonF head;
    if (clockwise)
        head << QPointF(7.5, 0.5) << QPointF(7.5, 6.5) << QPointF(11.5, 3.5);
    else
        head << QPointF(8.5, 0.5) << QPointF(8.5, 6.5) << QPointF(4.5, 3.5);
    p.drawPolygon(head);
}

void drawRefresh(QPainter& p) { drawTurnArrow(p, QColor(0, 110, 40), false); }

void drawRotate(QPainter& p)
{
    // A handheld outline with a clockwise arrow over it.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(200, 220, 255));
    p.drawRect(QRectF(6, 6.5, 4, 5));
    drawTurnArrow(p, QColor(20, 60, 170), true);
}

void drawCamera(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
    p.drawRect(QRectF(5.5, 2.5, 5, 2));
    p.setBrush(QColor(150, 200, 255));
    p.setPen(QPen(Qt::white, 1));
    p.drawEllipse(QPointF(8, 9), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 0));
    p.drawRect(QRectF(2.5, 5.5, 2, 1.5));
}

void drawSkin(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(150, 150, 165));
    p.drawRoundedRect(QRectF(3.5, 0.5, 9, 15), 2, 2);
    p.setBrush(QColor(120, 200, 120));
    p.drawRect(QRectF(5.5, 2.5, 5, 7));
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QPointF(8, 12.5), 1.3, 1.3);
}

void drawConfigure(QPainter& p)
{
    // A cog: eight teeth around a ring.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 95, 110));
    p.save();
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.rotate(45);
    }
    p.restore();
    p.drawEllipse(QPointF(8, 8), 5, 5);
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(QPointF(8, 8), 2, 2);
}

void drawRecord(QPainter& p)
{
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
}

void drawStop(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(3.5, 3.5, 9, 9));
}

void drawCheckpoint(QPainter& p)
{
    // A dashed selection frame with a green tick in it.
    p.setPen(QPen(QColor(30, 30, 30), 1, Qt::DashLine));
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(QColor(0, 150, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF() << QPointF(4.5, 8.5) << QPointF(7, 11) << QPointF(11.5, 5));
}

void drawColourMode(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 30, 30));
    p.drawRect(QRectF(1, 1, 7, 7));
    p.setBrush(QColor(30, 170, 40));
    p.drawRect(QRectF(8, 1, 7, 7));
    p.setBrush(QColor(30, 70, 230));
    p.drawRect(QRectF(1, 8, 7, 7));
    p.setBrush(QColor(250, 210, 20));
    p.drawRect(QRectF(8, 8, 7, 7));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 15, 15));
}

} // namespace

QString CommandText(std::string_view text) { return QString::fromLatin1(text.data(), qsizetype(text.size())); }

QKeySequence CommandKeys(const CommandRow& row)
{
    return QKeySequence::fromString(CommandText(row.key), QKeySequence::PortableText);
}

QString CommandMenuText(const CommandRow& row)
{
    if (row.key.empty() || row.reach != KeyReach::Window)
        return CommandText(row.text);
    return CommandText(row.text) + QLatin1Char('\t') + CommandText(row.key);
}

QIcon CommandIconImage(CommandIcon icon, const QStyle& style)
{
    void (*draw)(QPainter&) = nullptr;
    switch (icon) {
    case CommandIcon::None: return QIcon();
    case CommandIcon::Refresh: draw = drawRefresh; break;
    case CommandIcon::Camera: draw = drawCamera; break;
    case CommandIcon::Skin: draw = drawSkin; break;
    case CommandIcon::Configure: draw = drawConfigure; break;
    case CommandIcon::Record: draw = drawRecord; break;
    case CommandIcon::Stop: draw = drawStop; break;
    case CommandIcon::Checkpoint: draw = drawCheckpoint; break;
    case CommandIcon::Rotate: draw = drawRotate; break;
    case CommandIcon::ColourMode: draw = drawColourMode; break;
    case CommandIcon::ArrowRight: return style.standardIcon(QStyle::SP_ArrowRight);
    case CommandIcon::ArrowLeft: return style.standardIcon(QStyle::SP_ArrowLeft);
    case CommandIcon::Reload: return style.standardIcon(QStyle::SP_BrowserReload);
    case CommandIcon::MediaPlay: return style.standardIcon(QStyle::SP_MediaPlay);
    case CommandIcon::MediaStop: return style.standardIcon(QStyle::SP_MediaStop);
    case CommandIcon::HelpButton: return style.standardIcon(QStyle::SP_DialogHelpButton);
    case CommandIcon::ParentFolder: return style.standardIcon(QStyle::SP_FileDialogToParent);
    }
    if (!draw)
        return QIcon();
    QIcon image;
    for (int scale : {1, 2}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        image.addPixmap(pixmap);
    }
    return image;
}

QAction* NewCommandAction(const CommandRow& row, const QString& text, QObject* parent)
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QString::number(row.id));
    action->setData(row.id);
    return action;
}

namespace {

// Adds one row to its menu; exclusive check marks share a group per menu and kind.
void addRow(QMenu& menu, const CommandRow& row, std::map<std::pair<QMenu*, CommandCheck>, QActionGroup*>& groups,
            const CommandActionMade& made)
{
    if (row.separatorBefore)
        menu.addSeparator();
    QAction* a = NewCommandAction(row, CommandMenuText(row), &menu);
    menu.addAction(a);
    if (row.check != CommandCheck::None)
        a->setCheckable(true);
    if (row.check == CommandCheck::Scale || row.check == CommandCheck::Rotation) {
        QActionGroup*& group = groups[{&menu, row.check}];
        if (!group)
            group = new QActionGroup(&menu);
        group->addAction(a);
    }
    if (made)
        made(*a, row);
}

} // namespace

void AddCommandRows(QMenu& menu, std::span<const CommandRow> rows, CommandPlace place, const CommandActionMade& made)
{
    std::map<std::pair<QMenu*, CommandCheck>, QActionGroup*> groups;
    for (const CommandRow& row : rows)
        if (row.place == place)
            addRow(menu, row, groups, made);
}

void BuildCommandMenus(QMenuBar& bar, std::span<const CommandMenu> menus, std::span<const CommandRow> rows,
                       const CommandActionMade& made)
{
    std::map<CommandPlace, QMenu*> built;
    for (const CommandMenu& m : menus)
        if (m.parent == CommandPlace::None)
            built[m.place] = bar.addMenu(CommandText(m.title));
    // A submenu is made when its first row comes, after the parent's rows above it.
    auto menuOf = [&](CommandPlace place) -> QMenu* {
        if (auto it = built.find(place); it != built.end())
            return it->second;
        for (const CommandMenu& m : menus) {
            if (m.place != place || !built.count(m.parent))
                continue;
            QMenu* parent = built[m.parent];
            if (m.separatorBefore)
                parent->addSeparator();
            return built[place] = parent->addMenu(CommandText(m.title));
        }
        return nullptr;
    };
    std::map<std::pair<QMenu*, CommandCheck>, QActionGroup*> groups;
    for (const CommandRow& row : rows)
        if (row.place != CommandPlace::None)
            if (QMenu* menu = menuOf(row.place))
                addRow(*menu, row, groups, made);
}

std::vector<const CommandRow*> CommandBarRows(std::span<const CommandRow> rows)
{
    std::vector<const CommandRow*> bar;
    for (const CommandRow& row : rows)
        if (row.bar > 0)
            bar.push_back(&row);
    std::stable_sort(bar.begin(), bar.end(), [](const CommandRow* a, const CommandRow* b) { return a->bar < b->bar; });
    return bar;
}

} // namespace sorvane
