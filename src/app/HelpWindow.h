#pragma once
// The help window: shows the HTML manual kept in the program directory's "help"
// folder, with Back, Forward and Contents. One window serves the whole program;
// asking for help again brings it forward at the contents page.
//
// Thread: user-interface thread.

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace sorvane {

class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    // `index` is the manual's contents page (help/index.html).
    explicit HelpWindow(const QString& index, QWidget* parent = nullptr);

    void showContents();
    QTextBrowser* browser() const { return browser_; }

    // Opens (or brings forward) `window` at the contents page `index`. Does
    // nothing and returns false when the manual is missing.
    static bool showIndex(QPointer<HelpWindow>& window, const QString& index);

private:
    QUrl index_;
    QTextBrowser* browser_ = nullptr;
};

} // namespace sorvane
