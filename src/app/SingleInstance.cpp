#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace sorvane {

namespace {

bool exchange(const QString& key, const QByteArray& request, const QByteArray& expected, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(key);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
        answer += socket.readAll();
        if (answer.size() > 64)
            return false;
    }
    return answer.left(answer.indexOf('\n')) == expected;
}

} // namespace

SingleInstance::SingleInstance(QString key, QObject* parent)
    : QObject(parent)
    , key_(std::move(key))
{
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();
}

QString SingleInstance::keyFor(const QString& configDir)
{
    QByteArray display = qgetenv("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qgetenv("DISPLAY");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(display);
    hash.addData(QByteArrayView("\n"));
    hash.addData(configDir.toUtf8());
    return QStringLiteral("sorvane-%1-%2").arg(uint(getuid())).arg(QString::fromLatin1(hash.result().toHex().left(16)));
}

bool SingleInstance::activateRunning(const QString& key, int timeoutMs)
{
    return exchange(key, "activate", "ok", timeoutMs);
}

bool SingleInstance::ping(const QString& key, int timeoutMs) { return exchange(key, "ping", "pong", timeoutMs); }

bool SingleInstance::listen()
{
    if (!server_) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    }
    if (server_->listen(key_))
        return true;
    if (server_->serverError() == QAbstractSocket::AddressInUseError) {
        // Nobody answered before we got here, so the socket file is left over
        // from a run that ended without cleaning up.
        QLocalServer::removeServer(key_);
        if (server_->listen(key_))
            return true;
    }
    error_ = server_->errorString();
    return false;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Requests are one short line; anything longer is not ours.
            if (socket->bytesAvailable() > 64 && !socket->canReadLine()) {
                socket->abort();
                return;
            }
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(65).trimmed();
                if (line == "activate") {
                    socket->write("ok\n");
                    emit activationRequested();
                } else if (line == "ping") {
                    socket->write("pong\n");
                } else {
                    socket->write("?\n");
                }
            }
        });
    }
}

} // namespace sorvane
