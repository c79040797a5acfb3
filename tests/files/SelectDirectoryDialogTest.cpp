#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "files/ui/FolderPathButton.h"
#include "files/ui/SelectDirectoryDialog.h"
#include "support/TempDir.h"

using namespace sorvane;
namespace fs = std::filesystem;

namespace {

QStringList rows(const QTreeWidget& list)
{
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        out << list.topLevelItem(i)->text(0);
    return out;
}

// Clicks the path button and, once its menu is up, picks line `index`; returns the
// menu's lines as shown.
QStringList pickFromFolderMenu(FolderPathButton& button, int index)
{
    QStringList lines;
    QString textWhileOpen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        textWhileOpen = button.text();
        for (QAction* a : menu->actions())
            lines << a->text();
        menu->setActiveAction(menu->actions().at(index));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(textWhileOpen, QStringLiteral("Show"));
    return lines;
}

} // namespace

// A single click goes into a folder (here a drive's); the answers of OK and Cancel: settings_ui's Browse.
TEST(SelectDirectory, ListsFoldersOnlyAndItsMenuGoesUpToTheDrives)
{
    test::TempDir dir;
    const std::string top = dir.path().string();
    fs::create_directories(dir / "alpha" / "deep");
    fs::create_directory(dir / "beta");
    fs::create_directory(dir / ".hidden");
    std::ofstream(dir / "file.txt") << "text";
    SelectDirectoryDialog dialog(nullptr, top + "/alpha/deep/", SortKey::Name, {"/", top});
    dialog.show();
    auto* ok = dialog.findChild<QPushButton*>("1");
    ASSERT_NE(ok, nullptr);

    QStringList lines = pickFromFolderMenu(*dialog.pathButton(), 2);
    ASSERT_GE(lines.size(), 4); // the texts themselves are FolderMenu's
    EXPECT_EQ(lines.back(), "My Computer");
    EXPECT_EQ(dialog.folder(), top);
    EXPECT_EQ(rows(*dialog.list()), (QStringList{"alpha", "beta"}));

    pickFromFolderMenu(*dialog.pathButton(), int(lines.size()) - 3); // the last line, now two shorter
    EXPECT_EQ(dialog.folder(), "");
    EXPECT_EQ(dialog.pathButton()->text(), "My Computer");
    EXPECT_EQ(rows(*dialog.list()), (QStringList{"/", QString::fromStdString(top)}));
    EXPECT_FALSE(ok->isEnabled());

    QList<QTreeWidgetItem*> drive = dialog.list()->findItems(QString::fromStdString(top), Qt::MatchExactly);
    ASSERT_EQ(drive.size(), 1);
    QTest::mouseClick(dialog.list()->viewport(), Qt::LeftButton, {}, dialog.list()->visualItemRect(drive[0]).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.folder() == top; })); // QTRY_COMPARE is silent under gtest
    EXPECT_TRUE(ok->isEnabled());
}
