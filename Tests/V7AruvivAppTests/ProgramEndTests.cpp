#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "ProgramProcess.h"
#include "V7Aruviv/App/SingleInstanceChannel.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

// The names of the files in a folder that any process opens from now on.
class OpenedFiles {
public:
    explicit OpenedFiles(const fs::path& folder) : descriptor_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(::inotify_add_watch(descriptor_, folder.c_str(), IN_OPEN), 0) << std::strerror(errno);
    }
    ~OpenedFiles() { ::close(descriptor_); }
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;

    const std::set<std::string>& names() {
        alignas(inotify_event) char events[4096];
        ssize_t size;
        while ((size = ::read(descriptor_, events, sizeof events)) > 0) {
            for (ssize_t offset = 0; offset < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + offset);
                if (event->len > 0) names_.insert(event->name);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names_;
    }

private:
    int descriptor_;
    std::set<std::string> names_;
};

std::string firstLineOf(const fs::path& file) {
    std::string line;
    std::ifstream stream(file);
    std::getline(stream, line);
    return line;
}

const ProgramStart offlineHealthCheck{{"--offline-health-check"}, {}, {}};

// The program's turn is given back once it listens as the one copy, its handlers in place by then.
// Its socket alone says less: the file appears at bind(), and a connection before listen() is refused.
bool listening(const ProgramFolders& folders) {
    const std::string socket = folders.socketPath(true).toStdString();
    return waitFor([&] { return fs::exists(socket) && !fs::exists(socket + ".lock"); });
}

// Sends the signal and expects the program to end as a quit: exit 0, its socket removed.
void expectQuitOn(int signalNumber, ProgramProcess& program, const ProgramFolders& folders) {
    ASSERT_EQ(::kill(program.pid(), signalNumber), 0);
    const auto status = program.waitForEnd(5000);
    ASSERT_TRUE(status) << "still running 5 s after the signal";
    EXPECT_EQ(howItEnded(*status), "exit 0");
    EXPECT_EQ(folders.sockets(), std::vector<fs::path>{});
}

TEST(ProgramEnd, EachTerminationSignalEndsItAsAQuitThatTakesItsSocketAlong) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        const ProgramFolders folders;
        if (!folders.isValid()) GTEST_SKIP() << folders.problem();
        ProgramProcess program(folders, offlineHealthCheck);
        ASSERT_TRUE(listening(folders)) << "the program did not start listening";
        expectQuitOn(signalNumber, program, folders);
    }
}

// Started with SIGHUP and SIGINT ignored (nohup, a script's background job), it keeps them ignored:
// a closed terminal or a Ctrl-C meant for the script leaves it running. SIGTERM ends it all the same,
// ignored at start or not.
TEST(ProgramEnd, SignalsIgnoredAtStartStayIgnoredWhileSIGTERMStillEndsIt) {
    const ProgramFolders folders;
    if (!folders.isValid()) GTEST_SKIP() << folders.problem();
    ProgramStart start = offlineHealthCheck;
    start.ignoredSignals = {SIGHUP, SIGINT, SIGTERM};
    ProgramProcess program(folders, start);
    ASSERT_TRUE(listening(folders)) << "the program did not start listening";
    ASSERT_EQ(::kill(program.pid(), SIGHUP), 0);
    ASSERT_EQ(::kill(program.pid(), SIGINT), 0);

    // Its event loop still answers a later start after both signals.
    EXPECT_EQ(handOffToRunningCopy(folders.socketPath(true), {}, 5000), SingleInstanceHandOff::delivered);
    ASSERT_FALSE(program.waitForEnd(0)) << howItEnded(*program.waitForEnd(0));
    expectQuitOn(SIGTERM, program, folders);
}

// A later start waits up to 5 s for a running copy that does not answer, here one that is stopped.
// Ctrl-C ends it at once, as it ends a program that takes no signals; it had not confirmed, so the
// copy, once it runs again, opens none of its files.
TEST(ProgramEnd, CtrlCEndsAStartWaitingForTheRunningCopyAtOnceWithNothingOpened) {
    const ProgramFolders folders;
    if (!folders.isValid()) GTEST_SKIP() << folders.problem();
    const fs::path samples = folders.root() / "Samples";
    fs::create_directory(samples);
    for (const char* name : {"kick.syx", "snare.syx"}) std::ofstream(samples / name) << "\xF0\x7D\x01\xF7";
    const QString socketPath = folders.socketPath(true);
    const fs::path turn = (socketPath + QStringLiteral(".lock")).toStdString();

    ProgramProcess running(folders, offlineHealthCheck);
    ASSERT_TRUE(listening(folders)) << "the program did not start listening";
    ASSERT_EQ(::kill(running.pid(), SIGSTOP), 0);
    OpenedFiles opened(samples);

    ProgramProcess later(folders, {{"--offline-health-check", (samples / "kick.syx").string()}, {}, {}});
    // It takes its turn before it connects, its handlers in place.
    ASSERT_TRUE(waitFor([&] { return firstLineOf(turn) == std::to_string(later.pid()); }))
        << "the later start did not begin its hand-off";
    QElapsedTimer sinceCtrlC;
    sinceCtrlC.start();
    ASSERT_EQ(::kill(later.pid(), SIGINT), 0);
    const auto status = later.waitForEnd(1000);
    ASSERT_TRUE(status) << "still waiting 1 s after Ctrl-C";
    EXPECT_EQ(howItEnded(*status), "killed by SIGINT") << "after " << sinceCtrlC.elapsed() << " ms";

    ASSERT_EQ(::kill(running.pid(), SIGCONT), 0);
    // The copy takes its connections in turn: once it opens a start's file that came after, it is
    // past the one that was cut short.
    EXPECT_EQ(handOffToRunningCopy(socketPath, {samples / "snare.syx"}, 5000), SingleInstanceHandOff::delivered);
    EXPECT_TRUE(waitFor([&] { return opened.names().contains("snare.syx"); }));
    EXPECT_EQ(opened.names(), std::set<std::string>{"snare.syx"});
}

}  // namespace
}  // namespace k7::testing
