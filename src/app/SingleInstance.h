#pragma once
// One running program per user and desktop. The first start listens on a
// per-user local socket; a later start connects, asks the first to bring its main
// window forward, and exits with 0.
//
// The socket's name is made from the user id, the display and the configuration
// directory, so two users, two desktops or two configurations (tests use their
// own) never meet. Only the owning user may connect.
//
// Lines on the socket, each answered by one line:
//   "activate" -> "ok"    bring the main window forward
//   "ping"     -> "pong"  is anybody there (tests wait for a start this way)
//
// Thread: user-interface thread; the listening side answers from the event loop.

#include <QObject>
#include <QString>

class QLocalServer;

namespace sorvane {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The key for this user, this display and this configuration directory.
    static QString keyFor(const QString& configDir);

    // Asks a running instance to come forward. Returns true when one answered
    // (the caller then exits); false when none runs. Blocks up to `timeoutMs`.
    // Usable from any thread; it does not need an event loop.
    static bool activateRunning(const QString& key, int timeoutMs = 3000);

    // Sends "ping"; true when a running instance answered "pong".
    static bool ping(const QString& key, int timeoutMs = 3000);

    // Starts listening. A stale socket left by a crashed run is removed first.
    // Returns false (with errorString()) when the socket cannot be made.
    bool listen();
    QString errorString() const { return error_; }
    const QString& key() const { return key_; }

signals:
    // Another start asked for the main window.
    void activationRequested();

private:
    void onNewConnection();

    QString key_;
    QString error_;
    QLocalServer* server_ = nullptr;
};

} // namespace sorvane
