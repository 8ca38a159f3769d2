#include "cel_Instance.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>

#include <unistd.h>

namespace cel {

namespace {

// The first word of every hand-over; anything else on the socket is dropped.
constexpr quint32 Magic = 0x43574f31;  // "CWO1"
// A hand-over is a list of paths; more than this is nobody's command line.
constexpr qint64 MaxMessage = 4 << 20;
constexpr int ConnectTimeout = 2000;
constexpr int AnswerTimeout = 10000;
constexpr int LockTimeout = 10000;

}  // namespace

QString InstanceServerName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    QString session = qEnvironmentVariable("WAYLAND_DISPLAY") + QLatin1Char('-') + qEnvironmentVariable("DISPLAY");
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    session.replace(unsafe, QStringLiteral("_"));
    return QDir(folder).filePath(QStringLiteral("cellwright-%1-%2").arg(::getuid()).arg(session));
}

TInstance::TRole TInstance::Start(const QString& name, const QStringList& files, bool newInstance) {
    // Held from the look for a running IDE to listening: no second process can slip in between.
    // A lock that cannot be had in time (a folder that cannot be written) is gone without.
    QLockFile lock(name + QStringLiteral(".lock"));
    lock.tryLock(LockTimeout);

    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(ConnectTimeout)) {
        if (newInstance) return Second;
        QByteArray message;
        QDataStream out(&message, QIODevice::WriteOnly);
        out << Magic << files;
        socket.write(message);
        // The answer comes once the IDE has read the whole message.
        while (socket.bytesAvailable() < 1)
            if (!socket.waitForReadyRead(AnswerTimeout)) return Unanswered;
        return HandedOver;
    }
    // Nobody answers: a socket left behind is a crashed IDE's.
    QLocalServer::removeServer(name);
    Server.setSocketOptions(QLocalServer::UserAccessOption);
    if (Server.listen(name)) {
        connect(&Server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = Server.nextPendingConnection()) {
                connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
                connect(client, &QLocalSocket::readyRead, this, [this, client] { Receive(client); });
                Receive(client);
            }
        });
    }
    return Primary;
}

void TInstance::Receive(QLocalSocket* socket) {
    if (socket->bytesAvailable() > MaxMessage) {
        socket->abort();
        return;
    }
    QDataStream in(socket);
    in.startTransaction();
    quint32 magic = 0;
    QStringList files;
    in >> magic;
    if (in.status() == QDataStream::Ok && magic != Magic) {
        socket->abort();
        return;
    }
    in >> files;
    if (!in.commitTransaction()) return;  // more to come
    socket->write("1");
    socket->flush();
    socket->disconnectFromServer();
    // The files open after this hand-over has been answered: opening may show a message box.
    QMetaObject::invokeMethod(this, [this, files] { emit FilesHandedOver(files); }, Qt::QueuedConnection);
}

}  // namespace cel
