#include "V7Aruviv/App/SingleInstanceChannel.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>

#include "V7Aruviv/App/SingleInstanceMessage.h"
#include "V7Aruviv/App/SingleInstanceName.h"
#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {
namespace {

constexpr int answerTimeoutMilliseconds = 5000;
// A connection that sends no whole message in this time is dropped.
constexpr int deliveryTimeoutMilliseconds = 10000;

ByteView view(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

QString singleInstanceSocketPathForThisProcess(bool offlineHealthCheck) {
    SingleInstanceName name;
    // Qt makes the runtime folder private to the user when the session has none.
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) directory = QDir::tempPath();
    name.directory = directory.toStdString();
    name.userId = ::getuid();
    name.offlineHealthCheck = offlineHealthCheck;
    const char* marker = std::getenv(testProcessEnvironmentVariable);
    if (marker != nullptr && *marker != '\0') name.testProcessId = ::getpid();
    return QString::fromStdString(name.socketPath());
}

SingleInstanceServer::SingleInstanceServer(QObject* parent) : QObject(parent) {
    // No access options: with them Qt renames its socket over whatever holds the path, a running
    // copy's included. The folder is the user's own.
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstanceServer::accept);
}

SingleInstanceServer::Claim SingleInstanceServer::listen(const QString& socketPath) {
    if (server_.listen(socketPath)) return Claim::listening;
    if (server_.serverError() != QAbstractSocket::AddressInUseError) return Claim::unavailable;
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    if (probe.waitForConnected(answerTimeoutMilliseconds)) return Claim::anotherCopyRuns;
    QLocalServer::removeServer(socketPath);
    return server_.listen(socketPath) ? Claim::listening : Claim::unavailable;
}

void SingleInstanceServer::accept() {
    while (QLocalSocket* connection = server_.nextPendingConnection()) {
        connection->setParent(this);
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        QTimer::singleShot(deliveryTimeoutMilliseconds, connection, &QLocalSocket::abort);
        auto received = std::make_shared<QByteArray>();
        connect(connection, &QLocalSocket::readyRead, this, [this, connection, received] {
            received->append(connection->readAll());
            auto decoded = SingleInstanceMessage::decode(view(*received));
            if (decoded.status == SingleInstanceMessage::Status::incomplete) return;
            if (decoded.status == SingleInstanceMessage::Status::invalid) {
                connection->abort();
                return;
            }
            received->clear();
            connection->write(QByteArray(1, static_cast<char>(SingleInstanceMessage::accepted)));
            connection->flush();
            connection->disconnectFromServer();
            emit delivered(decoded.paths);
        });
    }
}

SingleInstanceHandOff handOffToRunningCopy(const QString& socketPath, const std::vector<std::filesystem::path>& paths,
                                           int timeoutMilliseconds) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMilliseconds)) return SingleInstanceHandOff::noRunningCopy;
    const Bytes message = SingleInstanceMessage::encode(paths);
    socket.write(reinterpret_cast<const char*>(message.data()), static_cast<qint64>(message.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMilliseconds)) return SingleInstanceHandOff::refused;
    }
    if (socket.bytesAvailable() < 1 && !socket.waitForReadyRead(timeoutMilliseconds)) {
        return SingleInstanceHandOff::refused;
    }
    char answer = 0;
    if (socket.read(&answer, 1) != 1 || static_cast<uint8_t>(answer) != SingleInstanceMessage::accepted) {
        return SingleInstanceHandOff::refused;
    }
    return SingleInstanceHandOff::delivered;
}

SingleInstanceStart claimOrHandOff(SingleInstanceServer& server, const QString& socketPath,
                                   const std::vector<std::filesystem::path>& paths) {
    // Between the probe and the takeover of a left-over socket, no other start may step in.
    QLockFile turn(socketPath + QStringLiteral(".lock"));
    turn.tryLock(answerTimeoutMilliseconds);  // a start stuck for longer must not hold the rest up
    switch (handOffToRunningCopy(socketPath, paths, answerTimeoutMilliseconds)) {
        case SingleInstanceHandOff::delivered: return SingleInstanceStart::handedOff;
        case SingleInstanceHandOff::refused: return SingleInstanceStart::failed;
        case SingleInstanceHandOff::noRunningCopy: break;
    }
    switch (server.listen(socketPath)) {
        case SingleInstanceServer::Claim::listening: return SingleInstanceStart::running;
        case SingleInstanceServer::Claim::unavailable: return SingleInstanceStart::running;  // alone, as before
        case SingleInstanceServer::Claim::anotherCopyRuns: return SingleInstanceStart::failed;
    }
    return SingleInstanceStart::failed;
}

}  // namespace k7
