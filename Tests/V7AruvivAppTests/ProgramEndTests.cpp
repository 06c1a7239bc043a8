#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "V7Aruviv/Support/AppIdentity.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> socketsUnder(const fs::path& folder) {
    std::vector<fs::path> sockets;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(folder, error); !error && entry != fs::end(entry);
         entry.increment(error)) {
        if (entry->is_socket()) sockets.push_back(entry->path());
    }
    return sockets;
}

// Checks `done` every few milliseconds for at most `milliseconds`.
bool waitFor(const std::function<bool()>& done, int milliseconds = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

// The program as a user starts it, off screen, with a home, runtime, temporary and settings
// folder of its own: it meets no settings or running copy of the user's.
class Program {
public:
    explicit Program(const QStringList& arguments) {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QString::fromLatin1(testProcessEnvironmentVariable));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "TMPDIR", "XDG_CONFIG_HOME"}) {
            const fs::path folder = root() / name;
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms::owner_all);
            environment.insert(QString::fromLatin1(name), QString::fromStdString(folder.string()));
        }
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(V764_PROGRAM), arguments);
    }
    ~Program() {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished();
    }

    fs::path root() const { return folders_.path().toStdString(); }

    QProcess process;

private:
    QTemporaryDir folders_;
};

TEST(ProgramEnd, EachTerminationSignalEndsItAsAQuitThatTakesItsSocketAlong) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        Program program({QStringLiteral("--offline-health-check")});
        ASSERT_TRUE(program.process.waitForStarted());
        // The socket appears once the program runs as the one copy; the handlers are in place by then.
        ASSERT_TRUE(waitFor([&] { return !socketsUnder(program.root()).empty(); }))
            << "the program did not start listening";
        ASSERT_EQ(::kill(static_cast<pid_t>(program.process.processId()), signalNumber), 0);

        ASSERT_TRUE(program.process.waitForFinished(5000)) << "still running 5 s after the signal";
        EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), 0);
        EXPECT_EQ(socketsUnder(program.root()), std::vector<fs::path>{});
    }
}

}  // namespace
}  // namespace k7::testing
