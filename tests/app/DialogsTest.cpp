// The password dialog, the About box and the help window.


#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "AppTests.h"
#include "support/ScriptedUiPorts.h"
#include "app/AboutDialog.h"
#include "app/HelpWindow.h"
#include "app/InboundPrompt.h"
#include "link/PasswordTable.h"
#include "link/ui/PasswordDialog.h"
#include "support/TempDir.h"
#include "ShellHarness.h"

namespace sorvane::test {

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void promptRunsDialogForTableRecord();
    void inboundPromptShowsTheAddressFirst();
    void passwordDialogChecksWhatIsTyped();
    void hidePasswordIsStoredAtOnce();
    void aboutBoxShowsVersionAndBuildDate();
    void helpShowsBundledManual();
    void shippedManualLinksResolve();
};

void DialogsTest::promptRunsDialogForTableRecord()
{
    PasswordTable table;
    std::array<uint8_t, PasswordTable::kPasswordSize> raw{};
    const std::string secret = "Handheld9";
    std::copy(secret.begin(), secret.end(), raw.begin());
    table.setPasswordBytes(0, raw);
    ScriptedMessageBox messages;
    int32_t hide = 0;
    DialogPasswordPrompt prompt(hide, messages);

    // Asked from a connect attempt's thread: view_ui ConnectTest. On the user-interface
    // thread it runs directly: the table's password is wanted, Cancel gives 2.
    auto answer = [&](const char* typed, const char* button) {
        std::unique_ptr<QTimer> t(whenModal<PasswordDialog>([](auto&) { return true; }, [=](PasswordDialog& d) {
            d.findChild<QLineEdit*>("password")->setText(typed);
            QTest::mouseClick(d.findChild<QPushButton*>(button), Qt::LeftButton);
        }));
        return prompt.askPassword(table, 0);
    };
    QCOMPARE(answer("HANDHELD9", "IDOK"), 1);
    QVERIFY(messages.shown.empty());
    QCOMPARE(answer("", "IDCANCEL"), 2);
}

void DialogsTest::inboundPromptShowsTheAddressFirst()
{
    // A name that would push the real address out of sight and show a false one.
    QString shown;
    std::unique_ptr<QTimer> t(whenModal<QMessageBox>([](auto& b) { return b.objectName() == "INBOUNDPROMPT"; },
                                                     [&](QMessageBox& b) {
                                                         shown = b.text();
                                                         b.buttons().value(0)->click(); // Allow once
                                                     }));
    QtInboundPrompt prompt(nullptr);
    QVERIFY(prompt.askAdmission("Phone\r\n\n\n\nA device at 127.0.0.1 (allowed)\x81", "127.0.0.9") ==
            InboundAnswer::AllowOnce);
    QCOMPARE(shown, QStringLiteral("A device at 127.0.0.9 wants to connect to this computer. It calls itself "
                                   "\"Phone\\x0d\\n\\n\\n\\nA device at 127.0.0.1 (allowed)\\x81\"."));
}

void DialogsTest::passwordDialogChecksWhatIsTyped()
{
    ScriptedMessageBox messages;
    int32_t hide = 0;
    struct Case {
        std::string stored;
        QString typed;
        bool accepted;
    } cases[] = {
        {"Pocket42", "Pocket43", false},
        {"pass?", QString::fromUtf8("pass\u20AC"), false},   // not in the device's character set
        {std::string(32, 'k'), QString(40, 'K'), true},      // typing stops at 32 characters
    };
    for (const Case& c : cases) {
        messages.shown.clear();
        PasswordDialog dialog(c.stored, hide, messages);
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>("password");
        edit->insert(c.typed);
        QVERIFY(edit->text().size() <= 32);
        QTest::mouseClick(dialog.findChild<QPushButton*>("IDOK"), Qt::LeftButton);
        QVERIFY2(dialog.isVisible() != c.accepted, qPrintable(c.typed));
        QCOMPARE(messages.shown.size(), size_t(c.accepted ? 0 : 1));
        if (c.accepted) {
            QCOMPARE(dialog.result(), 1);
            continue;
        }
        QCOMPARE(messages.shown[0].text, std::string("The password is incorrect"));
        QCOMPARE(messages.shown[0].caption, std::string("Password"));
        QVERIFY(messages.shown[0].icon == MessageIcon::Stop);
    }
}

void DialogsTest::hidePasswordIsStoredAtOnce()
{
    ScriptedMessageBox messages;
    int32_t hide = 1;
    PasswordDialog dialog("x", hide, messages);
    auto* edit = dialog.findChild<QLineEdit*>("password");
    auto* box = dialog.findChild<QCheckBox*>("hidePassword");
    QCOMPARE(box->text(), QStringLiteral("Hide Password"));
    QVERIFY(box->isChecked());
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    dialog.show();
    const QPoint onTheBox(4, box->height() / 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, onTheBox);
    QCOMPARE(hide, 0); // before the dialog closes
    QCOMPARE(edit->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(box, Qt::LeftButton, {}, onTheBox);
    QCOMPARE(hide, 1);
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
}

void DialogsTest::aboutBoxShowsVersionAndBuildDate()
{
    AboutDialog about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Sorvane"));
    QStringList texts;
    for (QLabel* l : about.findChildren<QLabel*>())
        texts << l->text();
    QVERIFY(texts.contains("Sorvane Pro"));
    QVERIFY(texts.contains("Version 4.0"));
    const QString built = about.findChild<QLabel*>("1018")->text();
    // "Built: Mmm dd yyyy" ("Nov  9 2005"), the date of the commit built as git gives it,
    // or the fixed date of sources without git.
    QProcess git;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    git.setProcessEnvironment(env);
    git.start(QStringLiteral("git"), {QStringLiteral("-C"), QStringLiteral(SORVANE_SOURCE_DIR), QStringLiteral("log"),
                                      QStringLiteral("-1"), QStringLiteral("--format=%cd"),
                                      QStringLiteral("--date=format:%b %e %Y")});
    const bool ran = git.waitForFinished(30000) && git.exitStatus() == QProcess::NormalExit && git.exitCode() == 0;
    const QString date = ran ? QString::fromLatin1(git.readAllStandardOutput()).trimmed() : QStringLiteral("Jan  1 2026");
    QCOMPARE(built, QStringLiteral("Built: ") + date);
}

void DialogsTest::helpShowsBundledManual()
{
    TempDir dir;
    QPointer<HelpWindow> window;
    // No manual: the command does nothing.
    QVERIFY(!HelpWindow::showIndex(window, QString::fromStdString((dir / "help/index.html").string())));
    QVERIFY(window.isNull());

    const QString index = QStringLiteral(SORVANE_HELP_SOURCE_DIR) + "/index.html";
    QVERIFY(HelpWindow::showIndex(window, index));
    QVERIFY(!window.isNull());
    QVERIFY(window->isVisible());
    QCOMPARE(window->browser()->documentTitle(), QStringLiteral("Contents"));
    window->browser()->setSource(QUrl("connecting.html"));
    QCOMPARE(window->browser()->documentTitle(), QStringLiteral("Connecting to a handheld"));
    QVERIFY(window->browser()->toPlainText().contains("Password Required"));
    // Asking again reuses the window at the contents page.
    QPointer<HelpWindow> same = window;
    QVERIFY(HelpWindow::showIndex(window, index));
    QCOMPARE(window.data(), same.data());
    QCOMPARE(window->browser()->documentTitle(), QStringLiteral("Contents"));
    delete window.data();
}

void DialogsTest::shippedManualLinksResolve()
{
    QDir help(QStringLiteral(SORVANE_HELP_SOURCE_DIR));
    const QStringList pages = help.entryList({"*.html"});
    QVERIFY(pages.contains("index.html"));
    QVERIFY(pages.size() >= 5);
    QRegularExpression link(R"((?:href|src)="([^"#:]+)(#[^"]*)?")");
    for (const QString& page : pages) {
        QFile f(help.filePath(page));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QVERIFY2(html.contains("<title>"), qPrintable(page));
        for (auto m = link.globalMatch(html); m.hasNext();) {
            const QString target = m.next().captured(1);
            QVERIFY2(help.exists(target), qPrintable(page + " -> " + target));
        }
    }
}

QObject* makeDialogsTest() { return new DialogsTest; }

} // namespace sorvane::test

#include "DialogsTest.moc"
