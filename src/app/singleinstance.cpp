#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace zandorel::app {
namespace {

constexpr int connectMs = 1000;
constexpr int answerMs = 5000;
// An owner that is saving at its end answers "ended"; a start waits this
// long at most for it to go.
constexpr int endingWaitMs = 10000;
constexpr int retryMs = 100;

const QByteArray openRequest = QByteArrayLiteral("open\n");
const QByteArray openedAnswer = QByteArrayLiteral("opened ");
const QByteArray endedAnswer = QByteArrayLiteral("ended\n");

} // namespace

SingleInstance::SingleInstance(const QString& settingsPath, std::function<int()> open)
    : name_(ServerName(settingsPath)), open_(std::move(open)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            answer(socket);
        }
    });
}

SingleInstance::~SingleInstance() {
    Close();
}

QString SingleInstance::ServerName(const QString& settingsPath) {
    const QFileInfo info(settingsPath);
    QString path = info.canonicalFilePath();
    if (path.isEmpty()) {
        path = QDir::cleanPath(info.absoluteFilePath()); // not there yet
    }
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString name =
        QStringLiteral("zandorel-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest.left(24)));
    // In the user's own runtime folder, where no other user can take the
    // name first; Qt makes a private one when the session names none.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : QDir(runtime).filePath(name);
}

void SingleInstance::answer(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        if (socket->readLine(64) != openRequest) {
            socket->abort();
            return;
        }
        const int slot = open_();
        socket->write(slot >= 0 ? openedAnswer + QByteArray::number(slot) + '\n' : endedAnswer);
        socket->flush();
    }
    if (socket->bytesAvailable() > 64) {
        socket->abort(); // no request is that long
    }
}

SingleInstance::Role SingleInstance::Claim() {
    // Two starts at once must not both find no owner and both listen: the
    // lock lets one look and listen at a time. A lock whose holder died
    // is taken over.
    QLockFile lock(QDir::isAbsolutePath(name_)
                       ? name_ + QStringLiteral(".lock")
                       : QDir(QDir::tempPath()).filePath(name_ + QStringLiteral(".lock")));
    if (!lock.tryLock(endingWaitMs)) {
        return Role::Alone;
    }
    for (int waited = 0; waited <= endingWaitMs; waited += retryMs) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (!socket.waitForConnected(connectMs)) {
            // Nobody listens: a socket left behind is removed and this
            // program becomes the owner.
            QLocalServer::removeServer(name_);
            return server_.listen(name_) ? Role::Owner : Role::Alone;
        }
        socket.write(openRequest);
        socket.flush();
        QByteArray reply;
        while (!reply.endsWith('\n') && socket.waitForReadyRead(answerMs)) {
            reply += socket.readAll();
        }
        if (reply.startsWith(openedAnswer)) {
            return Role::Forwarded;
        }
        if (reply != endedAnswer) {
            return Role::Alone; // an owner that does not answer
        }
        socket.abort();
        QThread::msleep(retryMs); // the owner is saving at its end: wait for it to go
    }
    return Role::Alone;
}

void SingleInstance::Close() {
    server_.close();
}

} // namespace zandorel::app
