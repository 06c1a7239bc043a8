#pragma once

#include <sys/types.h>

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SocketFolder.h"

namespace k7::testing {

// A home, runtime, temporary and settings folder of the program's own: it meets no settings or
// running copy of the user's, and every program started in them finds the same socket. A test
// skips, with `problem`, when they cannot be made.
class ProgramFolders {
public:
    ProgramFolders();

    bool isValid() const { return root_.isValid(); }
    const std::string& problem() const { return root_.problem(); }
    const std::filesystem::path& root() const { return root_.path(); }
    std::filesystem::path runtime() const;
    // Where the program started in these folders listens as the running copy.
    QString socketPath(bool offlineHealthCheck) const;
    // The sockets anywhere under the folders.
    std::vector<std::filesystem::path> sockets() const;

private:
    SocketFolder root_;
};

// What a start is given: its arguments and working folder as bytes, none of them read as text,
// and the termination signals it inherits ignored (the rest it inherits at their default).
struct ProgramStart {
    std::vector<std::string> arguments;
    std::filesystem::path workingFolder;  // empty: the test's own
    std::vector<int> ignoredSignals;
};

// The program started off screen in `folders`, as a user starts it; killed if still running at the end.
class ProgramProcess {
public:
    ProgramProcess(const ProgramFolders& folders, const ProgramStart& start);
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Its wait status once it has ended within `milliseconds`, else nothing. `meanwhile` runs between
    // looks, as short a wait as a sleep (Qt's events, for a stand-in in this process).
    std::optional<int> waitForEnd(int milliseconds, const std::function<void()>& meanwhile = {});

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// How a process with this wait status ended: "exit 0", "killed by SIGINT".
std::string howItEnded(int waitStatus);

// Checks `done` every few milliseconds for at most `milliseconds`.
bool waitFor(const std::function<bool()>& done, int milliseconds = 10000);

}  // namespace k7::testing
