#include "V7Aruviv/App/SingleInstanceChannel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <cstring>
#include <fstream>
#include <future>

#include "K7Dispatch/ManualScheduler.h"
#include "SocketFolder.h"
#include "V7Aruviv/App/AppLaunchOptions.h"
#include "V7Aruviv/App/SingleInstanceMessage.h"
#include "V7Aruviv/App/SingleInstanceMessageDecoder.h"
#include "V7Aruviv/App/SingleInstanceName.h"
#include "V7Aruviv/App/V7AruvivApp.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

using Paths = std::vector<std::filesystem::path>;

// Runs Qt's events, and the deletions they leave, until `done` or for at most `milliseconds`.
bool pumpUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return done();
}

// Gives Qt a moment to do whatever is pending.
void settle() { pumpUntil([] { return false; }, 100); }

// A later start, on a thread of its own as it would be in a process of its own: the running copy
// answers only from its event loop, which the test runs meanwhile, until the start has ended and
// the running copy is done with its connection.
SingleInstanceHandOff handOffFromLaterStart(const SingleInstanceServer& server, const QString& socketPath,
                                            const Paths& paths) {
    const char* const earlier = "earlier";
    for (QLocalSocket* connection : server.findChildren<QLocalSocket*>()) connection->setProperty(earlier, true);
    const auto itsConnectionIsDone = [&] {
        const auto connections = server.findChildren<QLocalSocket*>();
        return std::ranges::all_of(connections, [&](const QLocalSocket* c) { return c->property(earlier).toBool(); });
    };
    auto later = std::async(std::launch::async, [&] { return handOffToRunningCopy(socketPath, paths, 5000); });
    pumpUntil(
        [&] {
            return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready && itsConnectionIsDone();
        },
        10000);
    return later.get();
}

// What a copy that crashed leaves: a socket file nobody listens on.
void leaveStaleSocket(const QString& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo(socketPath).exists());
}

Paths writeFiles(const std::filesystem::path& folder, const std::vector<std::string>& names) {
    Paths files;
    for (std::size_t n = 0; n < names.size(); ++n) {
        files.push_back(folder / names[n]);
        const Bytes bytes = SampleItems::elektronMessage(2, 30, static_cast<uint8_t>(n));
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return files;
}

TEST(SingleInstance, ALaterStartsFilesArriveInTheRunningCopyAsOneImport) {
    WindowRig w;
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    const auto files = writeFiles(folder.path(), {"kick.syx", "snare.syx", "hats.syx"});
    SingleInstanceServer server;
    QObject::connect(&server, &SingleInstanceServer::delivered,
                     [&](const Paths& paths) { V7AruvivApp::openFromLaterStart(w.model(), *w.window, paths); });
    ASSERT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    std::vector<std::string> imports;
    QObject::connect(&w.model(), &AppModel::statusTextChanged, [&] {
        if (w.rig->statusText().rfind("Importing", 0) == 0) imports.push_back(w.rig->statusText());
    });
    w.window->setWindowState(Qt::WindowMinimized);

    ASSERT_EQ(handOffFromLaterStart(server, socketPath, files), SingleInstanceHandOff::delivered);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 3 && !w.rig->isImporting(); }));
    EXPECT_EQ(imports, std::vector<std::string>{"Importing 3 files\u2026"});
    EXPECT_EQ(w.names(), (std::vector<std::string>{"kick.syx", "snare.syx", "hats.syx"}));
    EXPECT_FALSE(w.window->isMinimized());

    // A start without files only brings the window forward.
    w.window->setWindowState(Qt::WindowMinimized);
    ASSERT_EQ(handOffFromLaterStart(server, socketPath, {}), SingleInstanceHandOff::delivered);
    w.pump();
    EXPECT_FALSE(w.window->isMinimized());
    EXPECT_EQ(imports.size(), 1u);
}

TEST(SingleInstance, ASocketLeftByACrashedCopyIsTakenOverAndARunningOneIsNot) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    EXPECT_EQ(handOffToRunningCopy(socketPath, {"/a.syx"}, 1000), SingleInstanceHandOff::noRunningCopy);
    leaveStaleSocket(socketPath);
    EXPECT_EQ(handOffToRunningCopy(socketPath, {"/a.syx"}, 1000), SingleInstanceHandOff::noRunningCopy);

    SingleInstanceServer first;
    std::vector<Paths> deliveries;
    QObject::connect(&first, &SingleInstanceServer::delivered, [&](const Paths& paths) { deliveries.push_back(paths); });
    ASSERT_EQ(claimOrHandOff(first, socketPath, {}), SingleInstanceStart::running);

    // A second server on the same name finds the first alive and leaves its socket alone.
    SingleInstanceServer second;
    EXPECT_EQ(second.listen(socketPath), SingleInstanceServer::Claim::anotherCopyRuns);
    ASSERT_EQ(handOffFromLaterStart(first, socketPath, {"/b.wav", "/c.aif"}), SingleInstanceHandOff::delivered);
    EXPECT_EQ(deliveries, (std::vector<Paths>{{"/b.wav", "/c.aif"}}));
}

TEST(SingleInstance, TheRunningCopyRefusesWhatNoLaterStartSends) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    SingleInstanceServer server;
    int deliveries = 0;
    QObject::connect(&server, &SingleInstanceServer::delivered, [&] { ++deliveries; });
    ASSERT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    EXPECT_EQ(handOffFromLaterStart(server, socketPath, {"relative.syx"}), SingleInstanceHandOff::refused);
    EXPECT_EQ(deliveries, 0);
    // It still listens.
    EXPECT_EQ(handOffFromLaterStart(server, socketPath, {"/a.syx"}), SingleInstanceHandOff::delivered);
    EXPECT_EQ(deliveries, 1);
}

// A Latin-1 name, given whole and relative to a folder whose own name is Latin-1: its bytes, not a
// text made of them, reach the running copy and the import.
TEST(SingleInstance, NamesThatAreNotUTF8ReachTheRunningCopyAndTheImportAsTheirBytes) {
    WindowRig w;
    const SocketFolder root;
    if (!root.isValid()) GTEST_SKIP() << root.problem();
    const auto folder = root.path() / "Caf\xE9";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const auto files = writeFiles(folder, {"Kick\xE9.syx", "Snare\xE9.syx"});
    const std::string absolute = files[0].string();
    const char* const arguments[] = {"V7Aruviv", absolute.c_str(), "Snare\xE9.syx"};
    const auto options = AppLaunchOptions::fromCommandLine(3, arguments, folder);
    ASSERT_EQ(options.files, files);

    const QString socketPath = root.filePath("running");
    SingleInstanceServer server;
    std::vector<Paths> deliveries;
    QObject::connect(&server, &SingleInstanceServer::delivered, [&](const Paths& paths) {
        deliveries.push_back(paths);
        V7AruvivApp::openFromLaterStart(w.model(), *w.window, paths);
    });
    ASSERT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    ASSERT_EQ(handOffFromLaterStart(server, socketPath, options.files), SingleInstanceHandOff::delivered);
    EXPECT_EQ(deliveries, std::vector<Paths>{files});
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 2 && !w.rig->isImporting(); }));
    EXPECT_FALSE(w.rig->alertMessage()) << *w.rig->alertMessage();
    for (std::size_t index = 0; index < files.size(); ++index) EXPECT_EQ(w.rig->items()[index].sourceURL, files[index]);
}

std::unique_ptr<QLocalSocket> connectedSocket(const QString& socketPath) {
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(socketPath);
    EXPECT_TRUE(socket->waitForConnected(1000));
    return socket;
}

// A running copy whose delivery timeouts run on virtual time, talking to processes of `userId`;
// without its folder, not listening.
struct RunningCopyOnVirtualTime {
    explicit RunningCopyOnVirtualTime(unsigned long userId = ::getuid()) : server(userId, clock) {
        QObject::connect(&server, &SingleInstanceServer::delivered, [this] { ++deliveries; });
        if (!folder.isValid()) return;
        EXPECT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    }

    SocketFolder folder;
    QString socketPath = folder.filePath("running");
    std::shared_ptr<ManualScheduler> clock = std::make_shared<ManualScheduler>();
    SingleInstanceServer server;
    int deliveries = 0;
};

TEST(SingleInstancePeer, OnlyAProcessOfTheSameUserIsTheOtherEnd) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    QLocalServer server;
    ASSERT_TRUE(server.listen(folder.filePath("peer")));
    const auto client = connectedSocket(server.fullServerName());
    ASSERT_TRUE(server.waitForNewConnection(1000));
    QLocalSocket* end = server.nextPendingConnection();
    const unsigned long ours = ::getuid();
    for (const qintptr descriptor : {end->socketDescriptor(), client->socketDescriptor()}) {
        EXPECT_TRUE(singleInstancePeerIsUser(descriptor, ours));
        EXPECT_FALSE(singleInstancePeerIsUser(descriptor, ours + 1));
    }
    EXPECT_FALSE(singleInstancePeerIsUser(-1, ours));
}

TEST(SingleInstance, NeitherEndTalksToAProcessOfAnotherUser) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    const unsigned long anotherUser = ::getuid() + 1;

    // A later start finds another user's program on the name: it sends nothing.
    QLocalServer theirs;
    ASSERT_TRUE(theirs.listen(socketPath));
    EXPECT_EQ(handOffToRunningCopy(socketPath, {"/secret-kit.syx"}, 1000, anotherUser),
              SingleInstanceHandOff::foreignPeer);
    ASSERT_TRUE(theirs.waitForNewConnection(1000));
    QLocalSocket* connection = theirs.nextPendingConnection();
    connection->waitForReadyRead(100);
    EXPECT_EQ(connection->readAll(), QByteArray());

    // The running copy takes nothing from another user's process.
    RunningCopyOnVirtualTime running(anotherUser);
    if (!running.folder.isValid()) GTEST_SKIP() << running.folder.problem();
    EXPECT_EQ(handOffFromLaterStart(running.server, running.socketPath, {"/a.syx"}), SingleInstanceHandOff::refused);
    EXPECT_EQ(running.deliveries, 0);
}

// A peer that connects and sends part of a message holds its place for ten seconds, no longer.
TEST(SingleInstance, AConnectionThatStallsIsDroppedAfterTenSeconds) {
    RunningCopyOnVirtualTime running;
    if (!running.folder.isValid()) GTEST_SKIP() << running.folder.problem();
    const auto stalled = connectedSocket(running.socketPath);
    const Bytes message = SingleInstanceMessage::encode({"/kit.syx"});
    stalled->write(reinterpret_cast<const char*>(message.data()), static_cast<qint64>(message.size() - 1));
    ASSERT_TRUE(stalled->waitForBytesWritten(1000));
    ASSERT_TRUE(pumpUntil([&] { return running.clock->pendingTaskCount() == 1; }));

    running.clock->advance(SingleInstanceServer::deliveryTimeout - std::chrono::milliseconds(1));
    settle();
    EXPECT_EQ(stalled->state(), QLocalSocket::ConnectedState);
    running.clock->advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(pumpUntil([&] { return stalled->state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(running.deliveries, 0);
    EXPECT_EQ(handOffFromLaterStart(running.server, running.socketPath, {"/a.syx"}), SingleInstanceHandOff::delivered);
}

TEST(SingleInstance, OnlyAFewConnectionsWaitAtOnce) {
    RunningCopyOnVirtualTime running;
    if (!running.folder.isValid()) GTEST_SKIP() << running.folder.problem();
    std::vector<std::unique_ptr<QLocalSocket>> waiting;
    for (int index = 0; index < SingleInstanceServer::maximumWaitingConnections; ++index) {
        waiting.push_back(connectedSocket(running.socketPath));
    }
    ASSERT_TRUE(pumpUntil([&] {
        return running.clock->pendingTaskCount() ==
               static_cast<std::size_t>(SingleInstanceServer::maximumWaitingConnections);
    }));

    const auto extra = connectedSocket(running.socketPath);
    EXPECT_TRUE(pumpUntil([&] { return extra->state() == QLocalSocket::UnconnectedState; }));
    for (const auto& socket : waiting) EXPECT_EQ(socket->state(), QLocalSocket::ConnectedState);

    // One gone, a later start is heard again.
    waiting.front()->abort();
    settle();
    EXPECT_EQ(handOffFromLaterStart(running.server, running.socketPath, {"/a.syx"}), SingleInstanceHandOff::delivered);
}

// Two starts at the same moment: while the first holds the turn, the second waits, even once the
// turn is older than a stale one; it then finds the first listening and hands its files over instead
// of listening beside it.
TEST(SingleInstance, StartsAtTheSameMomentTakeTurnsSoOnlyOneListens) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    QLockFile turn(socketPath + QStringLiteral(".lock"));
    ASSERT_TRUE(turn.tryLock(0));

    auto second = std::async(std::launch::async, [&] {
        SingleInstanceServer server;
        return claimOrHandOff(server, socketPath, {"/later.syx"});
    });
    // Past Qt's looks at the turn once it is stale, within the time a start waits for its turn at most.
    static_assert(3 * singleInstanceTurnStaleTime < singleInstanceAnswerTimeout);
    EXPECT_EQ(second.wait_for(3 * singleInstanceTurnStaleTime), std::future_status::timeout);

    SingleInstanceServer first;
    std::vector<Paths> deliveries;
    QObject::connect(&first, &SingleInstanceServer::delivered, [&](const Paths& paths) { deliveries.push_back(paths); });
    ASSERT_EQ(first.listen(socketPath), SingleInstanceServer::Claim::listening);
    turn.unlock();
    ASSERT_TRUE(pumpUntil([&] { return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(second.get(), SingleInstanceStart::handedOff);
    EXPECT_TRUE(pumpUntil([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries, std::vector<Paths>{{"/later.syx"}});
}

void write(QLocalSocket& socket, ByteView bytes) {
    socket.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    ASSERT_TRUE(socket.waitForBytesWritten(1000));
}

// The running copy opens a start's files only once the start has confirmed the answer: a start
// that gave up, as one does when the copy was stopped for longer than it waits, has nothing opened
// when the copy gets round to it. One that confirmed has its files opened once, even when it ended
// right after confirming.
TEST(SingleInstance, OnlyAStartThatConfirmedTheAnswerHasItsFilesOpened) {
    RunningCopyOnVirtualTime running;
    if (!running.folder.isValid()) GTEST_SKIP() << running.folder.problem();
    std::vector<Paths> deliveries;
    QObject::connect(&running.server, &SingleInstanceServer::delivered,
                     [&](const Paths& paths) { deliveries.push_back(paths); });
    const auto answered = [](QLocalSocket& socket) { return pumpUntil([&] { return socket.bytesAvailable() > 0; }); };

    const auto goneBeforeTheAnswer = connectedSocket(running.socketPath);
    write(*goneBeforeTheAnswer, SingleInstanceMessage::encode({"/gone-before-the-answer.syx"}));
    goneBeforeTheAnswer->abort();

    const auto goneAfterTheAnswer = connectedSocket(running.socketPath);
    write(*goneAfterTheAnswer, SingleInstanceMessage::encode({"/gone-after-the-answer.syx"}));
    ASSERT_TRUE(answered(*goneAfterTheAnswer));
    goneAfterTheAnswer->abort();

    const auto goneAfterConfirming = connectedSocket(running.socketPath);
    write(*goneAfterConfirming, SingleInstanceMessage::encode({"/gone-after-confirming.syx"}));
    ASSERT_TRUE(answered(*goneAfterConfirming));
    write(*goneAfterConfirming, Bytes{SingleInstanceMessage::confirmed});
    goneAfterConfirming->abort();

    EXPECT_EQ(handOffFromLaterStart(running.server, running.socketPath, {"/waited.syx"}),
              SingleInstanceHandOff::delivered);
    settle();
    EXPECT_EQ(deliveries, (std::vector<Paths>{{"/gone-after-confirming.syx"}, {"/waited.syx"}}));
}

// What the later start says of its files is what the running copy does with them: it confirms an
// answer that came in time, and never one that came after it gave up.
TEST(SingleInstance, ALaterStartConfirmsOnlyAnAnswerThatCameInTime) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    QLocalServer running;
    ASSERT_TRUE(running.listen(socketPath));
    const Bytes message = SingleInstanceMessage::encode({"/kit.syx"});
    for (const bool inTime : {true, false}) {
        SCOPED_TRACE(inTime ? "in time" : "late");
        const int timeoutMilliseconds = inTime ? 10000 : 300;
        auto later = std::async(std::launch::async,
                                [&] { return handOffToRunningCopy(socketPath, {"/kit.syx"}, timeoutMilliseconds); });
        ASSERT_TRUE(running.waitForNewConnection(1000));
        const std::unique_ptr<QLocalSocket> connection(running.nextPendingConnection());
        QByteArray received;
        while (received.size() < std::ssize(message) && connection->waitForReadyRead(1000)) {
            received += connection->readAll();
        }
        ASSERT_EQ(received.size(), std::ssize(message));
        if (!inTime) later.wait();

        connection->write(QByteArray(1, static_cast<char>(SingleInstanceMessage::accepted)));
        connection->waitForBytesWritten(1000);
        const SingleInstanceHandOff handOff = later.get();
        connection->waitForReadyRead(1000);
        const QByteArray afterTheAnswer = connection->readAll();
        if (inTime) {
            EXPECT_EQ(handOff, SingleInstanceHandOff::delivered);
            EXPECT_EQ(afterTheAnswer, QByteArray(1, static_cast<char>(SingleInstanceMessage::confirmed)));
        } else {
            EXPECT_EQ(handOff, SingleInstanceHandOff::notAnswered);
            EXPECT_EQ(afterTheAnswer, QByteArray());
        }
    }
}

// However finely a later start's message arrives, the running copy reads each byte of it once: a
// hundred thousand pieces cost what the whole message does.
TEST(SingleInstance, TheRunningCopyReadsEachPieceOfAMessageOnce) {
    RunningCopyOnVirtualTime running;
    if (!running.folder.isValid()) GTEST_SKIP() << running.folder.problem();
    Paths paths;
    for (int index = 0; index < 8100; ++index) paths.emplace_back("/samples/kit-" + std::to_string(index) + ".syx");
    const Bytes message = SingleInstanceMessage::encode(paths);
    constexpr std::size_t pieceSize = 2;
    ASSERT_GE(message.size() / pieceSize, 100000u);

    const auto start = connectedSocket(running.socketPath);
    const std::size_t before = SingleInstanceMessageDecoder::bytesReadInThisProcess();
    const auto bytesRead = [&] { return SingleInstanceMessageDecoder::bytesReadInThisProcess() - before; };
    for (std::size_t offset = 0; offset < message.size(); offset += pieceSize) {
        const std::size_t sent = std::min(offset + pieceSize, message.size());
        start->write(reinterpret_cast<const char*>(message.data() + offset), static_cast<qint64>(sent - offset));
        start->flush();
        // The running copy reads each piece before the next is sent.
        ASSERT_TRUE(pumpUntil([&] { return bytesRead() >= sent; })) << offset;
        ASSERT_EQ(bytesRead(), sent);
    }
    ASSERT_TRUE(pumpUntil([&] { return start->bytesAvailable() > 0; }));
    write(*start, Bytes{SingleInstanceMessage::confirmed});
    EXPECT_TRUE(pumpUntil([&] { return running.deliveries == 1; }));
    EXPECT_EQ(bytesRead(), message.size());
}

// A start killed while it made its lock file leaves it empty, and Qt cannot tell whose it was. It
// holds the next start up for a moment at most, however recently it was left.
TEST(SingleInstance, AStartBesideAnEmptyLockFileIsNotHeldUp) {
    for (const auto age : {std::chrono::seconds(0), std::chrono::seconds(20)}) {
        SCOPED_TRACE(age.count());
        const SocketFolder folder;
        if (!folder.isValid()) GTEST_SKIP() << folder.problem();
        const QString socketPath = folder.filePath("running");
        const std::filesystem::path lock = (socketPath + QStringLiteral(".lock")).toStdString();
        std::ofstream{lock};
        std::filesystem::last_write_time(lock, std::filesystem::file_time_type::clock::now() - age);

        QElapsedTimer took;
        took.start();
        SingleInstanceServer server;
        EXPECT_EQ(claimOrHandOff(server, socketPath, {}), SingleInstanceStart::running);
        EXPECT_LT(took.elapsed(), 1000);
        // Taken over as stale, then given back.
        EXPECT_FALSE(std::filesystem::exists(lock));
    }
}

// Qt makes the lock file before it locks it, so an empty one made a moment ago may be a live start's
// that stalled in between. The next start leaves it to its maker for well beyond such a stall.
TEST(SingleInstance, ALockFileMadeAMomentAgoIsLeftToTheStartMakingIt) {
    const SocketFolder folder;
    if (!folder.isValid()) GTEST_SKIP() << folder.problem();
    const QString socketPath = folder.filePath("running");
    const std::string lock = (socketPath + QStringLiteral(".lock")).toStdString();
    const int made = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(made, 0) << std::strerror(errno);
    struct stat atMaking {};
    ASSERT_EQ(::fstat(made, &atMaking), 0);

    SingleInstanceServer server;
    EXPECT_EQ(claimOrHandOff(server, socketPath, {}), SingleInstanceStart::running);
    // Its removal set its change time: when it went, however late this test looks.
    struct stat atRemoval {};
    ASSERT_EQ(::fstat(made, &atRemoval), 0);
    ::close(made);
    ASSERT_EQ(atRemoval.st_nlink, 0u) << "the next start never took it over";
    const auto since = [](const timespec& time) {
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    };
    EXPECT_GE(since(atRemoval.st_ctim) - since(atMaking.st_ctim), std::chrono::milliseconds(400));
}

// The longest socket path a name may have is one Qt listens on; one byte more is refused, with why.
TEST(SingleInstanceName, TheLongestSocketPathItAllowsIsOneQtListensOn) {
    const SocketFolder root;
    if (!root.isValid()) GTEST_SKIP() << root.problem();
    SingleInstanceName name;
    name.userId = ::getuid();
    name.directory = root.path().string() + "/d";
    name.directory += std::string(SingleInstanceName::maximumSocketPathSize - name.socketPath().size(), 'd');
    ASSERT_EQ(name.socketPath().size(), SingleInstanceName::maximumSocketPathSize);
    ASSERT_TRUE(std::filesystem::create_directory(name.directory));
    EXPECT_EQ(name.whyNoSocket(), std::nullopt);
    SingleInstanceServer server;
    EXPECT_EQ(server.listen(QString::fromStdString(name.socketPath())), SingleInstanceServer::Claim::listening);

    name.directory += 'd';
    EXPECT_EQ(name.whyNoSocket(), "its socket path " + name.socketPath() + " is " +
                                      std::to_string(SingleInstanceName::maximumSocketPathSize + 1) +
                                      " bytes long, more than the " +
                                      std::to_string(SingleInstanceName::maximumSocketPathSize) +
                                      " a local socket's name holds");
}

}  // namespace
}  // namespace k7::testing
