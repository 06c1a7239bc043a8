#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "K7Dispatch/Scheduler.h"
#include "V7Aruviv/App/SingleInstancePeer.h"

class QLocalSocket;

namespace k7 {

// The socket path of this process's running copy (see SingleInstanceName), in a folder only this
// user reaches (see SingleInstanceFolder); without one, or with a path too long for a socket, no
// path and why: the program runs alone.
struct SingleInstanceSocket {
    QString path;
    std::string problem;
};
SingleInstanceSocket singleInstanceSocketForThisProcess(bool offlineHealthCheck);

// How long a later start waits for the running copy to take its files.
inline constexpr std::chrono::seconds singleInstanceAnswerTimeout{5};

// How old the lock file that gives starts their turns must be before a start may take it over. Qt
// takes one over only when it can lock the file itself, which its live holder prevents however long
// it holds it, so only what a killed start left goes: the empty file of one killed while making it
// too, from which Qt reads no holder. But Qt makes the file before it locks it, so a live start that
// stalls in between (a loaded machine) holds just such a file: this must outlast that stall. Half a
// second still keeps the next start's wait beside a killed start's file under a second, as Qt looks
// again at about 100, 300 and 700 ms.
inline constexpr std::chrono::milliseconds singleInstanceTurnStaleTime{500};

// The running copy's end: takes each later start's paths as one delivery, answers it, and delivers
// the paths once the start confirms it got the answer; a start gone before that has none opened.
class SingleInstanceServer final : public QObject {
    Q_OBJECT

public:
    enum class Claim { listening, anotherCopyRuns, unavailable };

    // Later starts come one at a time (see claimOrHandOff); more at once are not ours to wait for.
    static constexpr int maximumWaitingConnections = 8;
    // A connection that sends no whole message and confirmation in this time is dropped.
    static constexpr std::chrono::seconds deliveryTimeout{10};

    explicit SingleInstanceServer(QObject* parent = nullptr);
    // Talks to processes of `userId` only and times deliveries on `clock`.
    SingleInstanceServer(unsigned long userId, std::shared_ptr<Scheduler> clock, QObject* parent = nullptr);

    // Listens on `socketPath`. A socket that no copy answers on is what a crashed copy left: it is
    // taken over.
    Claim listen(const QString& socketPath);

signals:
    void delivered(const std::vector<std::filesystem::path>& paths);

private:
    void accept();
    void receive(QLocalSocket* connection);

    unsigned long userId_;
    std::shared_ptr<Scheduler> clock_;
    std::shared_ptr<int> waiting_ = std::make_shared<int>(0);
    QLocalServer server_;
};

// A later start's end: hands `paths` to the copy of `userId` listening on `socketPath`, waits at
// most `timeoutMilliseconds` in all for its answer and confirms it. `delivered` exactly when the
// confirmation went out, which is when the running copy opens the files; on any other outcome it
// opens none. A process of another user on the name is told nothing.
enum class SingleInstanceHandOff { delivered, noRunningCopy, notAnswered, refused, foreignPeer };
SingleInstanceHandOff handOffToRunningCopy(const QString& socketPath, const std::vector<std::filesystem::path>& paths,
                                           int timeoutMilliseconds, unsigned long userId = singleInstanceUserId());

// At start: becomes the running copy (`server` listens) or hands `paths` to the one that runs.
// Starts at the same moment take turns, so exactly one of them listens. When another user's
// process holds the name, this copy runs alone. A running copy that does not answer within
// singleInstanceAnswerTimeout, or refuses, opens none of the files. `beforeListening` runs just
// before this start takes the socket, which is then its own to remove when it ends.
enum class SingleInstanceStart { running, alone, handedOff, notAnswered, refused };
SingleInstanceStart claimOrHandOff(SingleInstanceServer& server, const QString& socketPath,
                                   const std::vector<std::filesystem::path>& paths,
                                   const std::function<void()>& beforeListening = {});

}  // namespace k7
