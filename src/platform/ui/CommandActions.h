#pragma once
// The Qt side of the command table (view/CommandTable.h): actions, menus, keys and
// icons made from its rows. Every action and bar button is named by its command id
// and carries the id as its data.
//
// Thread: user-interface thread.

#include <functional>
#include <span>
#include <vector>

#include <QIcon>
#include <QKeySequence>
#include <QString>

#include "view/CommandTable.h"

class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QStyle;

namespace sorvane {

// Sees each action made for a row (to connect it to the window's dispatch).
using CommandActionMade = std::function<void(QAction& action, const CommandRow& row)>;

QString CommandText(std::string_view text);
// The row's key; empty when it has none.
QKeySequence CommandKeys(const CommandRow& row);
// The row's menu text, followed by its key after a tab when the key is the window's own.
QString CommandMenuText(const CommandRow& row);
// A 16 x 16 icon: the program draws the toolbar's, the style gives the others. An empty
// icon for None.
QIcon CommandIconImage(CommandIcon icon, const QStyle& style);

// An action named by the row's id, with the id as its data and `text`.
QAction* NewCommandAction(const CommandRow& row, const QString& text, QObject* parent);

// Adds the rows of `place` to `menu` in table order, with their separators and
// check marks (the groups of the exclusive ones belong to the menu).
void AddCommandRows(QMenu& menu, std::span<const CommandRow> rows, CommandPlace place,
                    const CommandActionMade& made);
// Fills a menu bar: its menus in order, each with its rows; a submenu goes into its
// parent where its first row comes.
void BuildCommandMenus(QMenuBar& bar, std::span<const CommandMenu> menus, std::span<const CommandRow> rows,
                       const CommandActionMade& made);

// The rows on the window's bar, in the bar's order.
std::vector<const CommandRow*> CommandBarRows(std::span<const CommandRow> rows);

} // namespace sorvane
