#include "V7Aruviv/App/SingleInstanceChannel.h"

#include <unistd.h>

#include <QDeadlineTimer>
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

constexpr int answerTimeoutMilliseconds =
    static_cast<int>(std::chrono::milliseconds(singleInstanceAnswerTimeout).count());

ByteView view(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

void drop(QLocalSocket* connection) {
    connection->abort();
    connection->deleteLater();
}

// Without links, so that the folder checked is the one the socket goes in.
std::string temporaryDirectory() {
    std::error_code error;
    auto folder = std::filesystem::temp_directory_path(error);
    if (error) folder = "/tmp";
    const auto resolved = std::filesystem::canonical(folder, error);
    return error ? folder.string() : resolved.string();
}

int remainingMilliseconds(const QDeadlineTimer& deadline) { return static_cast<int>(deadline.remainingTime()); }

}  // namespace

SingleInstanceSocket singleInstanceSocketForThisProcess(bool offlineHealthCheck) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const auto folder = SingleInstanceFolder::choose(runtime ? runtime : "", temporaryDirectory(),
                                                     singleInstanceUserId(), SingleInstanceFolder::realFileSystem());
    if (folder.directory.empty()) return {{}, "no private folder for its socket: " + folder.problem};
    SingleInstanceName name;
    name.directory = folder.directory;
    name.userId = singleInstanceUserId();
    name.offlineHealthCheck = offlineHealthCheck;
    const char* marker = std::getenv(testProcessEnvironmentVariable);
    if (marker != nullptr && *marker != '\0') name.testProcessId = ::getpid();
    if (auto problem = name.whyNoSocket()) return {{}, *problem};
    const std::string path = name.socketPath();
    // Qt opens the socket by its own encoding of the name: it must be the folder that was checked.
    const QString socketPath = QFile::decodeName(QByteArray::fromStdString(path));
    if (QFile::encodeName(socketPath).toStdString() != path) {
        return {{}, "its socket path " + path + " is not a name Qt can open"};
    }
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
    struct Delivery {
        SingleInstanceMessageDecoder decoder;
        bool answered = false;
        bool over = false;
    };
    auto delivery = std::make_shared<Delivery>();
    const auto read = [this, connection, delivery] {
        if (delivery->over) return;
        // Also called when the start has gone, perhaps with nothing left to read.
        const QByteArray bytes = connection->bytesAvailable() > 0 ? connection->readAll() : QByteArray();
        if (!delivery->answered) {
            // The start confirms only once it has the answer: nothing follows its message before that.
            switch (delivery->decoder.feed(view(bytes))) {
                case SingleInstanceMessage::Status::incomplete: return;
                case SingleInstanceMessage::Status::invalid:
                    delivery->over = true;
                    drop(connection);
                    return;
                case SingleInstanceMessage::Status::complete: break;
            }
            delivery->answered = true;
            connection->write(QByteArray(1, static_cast<char>(SingleInstanceMessage::accepted)));
            connection->flush();
            return;
        }
        if (bytes.isEmpty()) return;
        delivery->over = true;
        if (bytes != QByteArray(1, static_cast<char>(SingleInstanceMessage::confirmed))) {
            drop(connection);
            return;
        }
        connection->disconnectFromServer();
        emit delivered(delivery->decoder.paths());
    };
    connect(connection, &QLocalSocket::readyRead, this, read);
    // A start that confirms and ends at once leaves its confirmation to be read after its end; one
    // that ends without it has nothing opened.
    connect(connection, &QLocalSocket::disconnected, this, read);
}

SingleInstanceHandOff handOffToRunningCopy(const QString& socketPath, const std::vector<std::filesystem::path>& paths,
                                           int timeoutMilliseconds, unsigned long userId) {
    const QDeadlineTimer deadline(timeoutMilliseconds);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(remainingMilliseconds(deadline))) return SingleInstanceHandOff::noRunningCopy;
    if (!singleInstancePeerIsUser(socket.socketDescriptor(), userId)) {
        socket.abort();
        return SingleInstanceHandOff::foreignPeer;
    }
    // Aborting drops whatever is still unsent: no confirmation ever leaves after this start gave up.
    const auto giveUp = [&socket] {
        const bool closed = socket.state() == QLocalSocket::UnconnectedState;
        socket.abort();
        return closed ? SingleInstanceHandOff::refused : SingleInstanceHandOff::notAnswered;
    };
    const auto sendAll = [&] {
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(remainingMilliseconds(deadline))) return false;
        }
        return true;
    };
    const Bytes message = SingleInstanceMessage::encode(paths);
    socket.write(reinterpret_cast<const char*>(message.data()), static_cast<qint64>(message.size()));
    if (!sendAll()) return giveUp();
    if (socket.bytesAvailable() < 1 && !socket.waitForReadyRead(remainingMilliseconds(deadline))) return giveUp();
    char answer = 0;
    if (socket.read(&answer, 1) != 1 || static_cast<uint8_t>(answer) != SingleInstanceMessage::accepted) {
        socket.abort();
        return SingleInstanceHandOff::refused;
    }
    // Once this byte is in the running copy's socket the files are its: the hand-off is settled here.
    socket.write(QByteArray(1, static_cast<char>(SingleInstanceMessage::confirmed)));
    socket.flush();
    if (!sendAll()) return giveUp();
    return SingleInstanceHandOff::delivered;
}

SingleInstanceStart claimOrHandOff(SingleInstanceServer& server, const QString& socketPath,
                                   const std::vector<std::filesystem::path>& paths,
                                   const std::function<void()>& beforeListening) {
    // Between the probe and the takeover of a left-over socket, no other start may step in.
    QLockFile turn(socketPath + QStringLiteral(".lock"));
    turn.setStaleLockTime(singleInstanceTurnStaleTime);
    turn.tryLock(answerTimeoutMilliseconds);  // a start stuck for longer must not hold the rest up
    switch (handOffToRunningCopy(socketPath, paths, answerTimeoutMilliseconds)) {
        case SingleInstanceHandOff::delivered: return SingleInstanceStart::handedOff;
        case SingleInstanceHandOff::notAnswered: return SingleInstanceStart::notAnswered;
        case SingleInstanceHandOff::refused: return SingleInstanceStart::refused;
        case SingleInstanceHandOff::foreignPeer: return SingleInstanceStart::alone;
        case SingleInstanceHandOff::noRunningCopy: break;
    }
    if (beforeListening) beforeListening();
    switch (server.listen(socketPath)) {
        case SingleInstanceServer::Claim::listening: return SingleInstanceStart::running;
        case SingleInstanceServer::Claim::unavailable: return SingleInstanceStart::running;  // alone, as before
        case SingleInstanceServer::Claim::anotherCopyRuns: return SingleInstanceStart::notAnswered;
    }
    return SingleInstanceStart::notAnswered;
}

}  // namespace k7
