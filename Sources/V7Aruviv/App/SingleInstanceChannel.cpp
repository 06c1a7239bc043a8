#include "V7Aruviv/App/SingleInstanceChannel.h"

#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <cstdlib>

#include "V7Aruviv/App/QtMainScheduler.h"
#include "V7Aruviv/App/SingleInstanceFolder.h"
#include "V7Aruviv/App/SingleInstanceMessage.h"
#include "V7Aruviv/App/SingleInstanceMessageDecoder.h"
#include "V7Aruviv/App/SingleInstanceName.h"
#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {
namespace {

constexpr int answerTimeoutMilliseconds = 5000;

ByteView view(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

void drop(QLocalSocket* connection) {
    connection->abort();
    connection->deleteLater();
}

std::string temporaryDirectory() {
    std::error_code error;
    const auto folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : folder.string();
}

}  // namespace

SingleInstanceSocket singleInstanceSocketForThisProcess(bool offlineHealthCheck) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const auto folder = SingleInstanceFolder::choose(runtime ? runtime : "", temporaryDirectory(),
                                                     singleInstanceUserId(), SingleInstanceFolder::realFileSystem());
    if (folder.directory.empty()) return {{}, folder.problem};
    SingleInstanceName name;
    name.directory = folder.directory;
    name.userId = singleInstanceUserId();
    name.offlineHealthCheck = offlineHealthCheck;
    const char* marker = std::getenv(testProcessEnvironmentVariable);
    if (marker != nullptr && *marker != '\0') name.testProcessId = ::getpid();
    const std::string path = name.socketPath();
    // Qt opens the socket by its own encoding of the name: it must be the folder that was checked.
    const QString socketPath = QFile::decodeName(QByteArray::fromStdString(path));
    if (QFile::encodeName(socketPath).toStdString() != path) return {{}, path + " is not a name Qt can open"};
    return {socketPath, {}};
}

SingleInstanceServer::SingleInstanceServer(QObject* parent)
    : SingleInstanceServer(singleInstanceUserId(), std::make_shared<QtMainScheduler>(), parent) {}

SingleInstanceServer::SingleInstanceServer(unsigned long userId, std::shared_ptr<Scheduler> clock, QObject* parent)
    : QObject(parent), userId_(userId), clock_(std::move(clock)) {
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
        if (*waiting_ >= maximumWaitingConnections ||
            !singleInstancePeerIsUser(connection->socketDescriptor(), userId_)) {
            drop(connection);
            continue;
        }
        receive(connection);
    }
}

void SingleInstanceServer::receive(QLocalSocket* connection) {
    ++*waiting_;
    const TimerHandle timeout = clock_->postAfter(deliveryTimeout, [connection = QPointer<QLocalSocket>(connection)] {
        if (connection) drop(connection);
    });
    connect(connection, &QObject::destroyed, [waiting = waiting_, timeout] {
        --*waiting;
        timeout.cancel();
    });
    auto decoder = std::make_shared<SingleInstanceMessageDecoder>();
    connect(connection, &QLocalSocket::readyRead, this, [this, connection, decoder] {
        switch (decoder->feed(view(connection->readAll()))) {
            case SingleInstanceMessage::Status::incomplete: return;
            case SingleInstanceMessage::Status::invalid: drop(connection); return;
            case SingleInstanceMessage::Status::complete: break;
        }
        connection->write(QByteArray(1, static_cast<char>(SingleInstanceMessage::accepted)));
        connection->flush();
        connection->disconnectFromServer();
        emit delivered(decoder->paths());
    });
}

SingleInstanceHandOff handOffToRunningCopy(const QString& socketPath, const std::vector<std::filesystem::path>& paths,
                                           int timeoutMilliseconds, unsigned long userId) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMilliseconds)) return SingleInstanceHandOff::noRunningCopy;
    if (!singleInstancePeerIsUser(socket.socketDescriptor(), userId)) {
        socket.abort();
        return SingleInstanceHandOff::foreignPeer;
    }
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
        case SingleInstanceHandOff::foreignPeer: return SingleInstanceStart::alone;
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
