#include "ProgramProcess.h"

#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "V7Aruviv/App/SingleInstanceName.h"
#include "V7Aruviv/Support/AppIdentity.h"

extern char** environ;

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* ownFolders[] = {"HOME", "XDG_RUNTIME_DIR", "TMPDIR", "XDG_CONFIG_HOME"};

// This process's environment without the test marker and the folders, then the program's own.
std::vector<std::string> environmentIn(const fs::path& root) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        const std::string name = variable.substr(0, variable.find('='));
        bool replaced = name == testProcessEnvironmentVariable || name == "QT_QPA_PLATFORM";
        for (const char* folder : ownFolders) replaced = replaced || name == folder;
        if (!replaced) environment.push_back(variable);
    }
    environment.emplace_back("QT_QPA_PLATFORM=offscreen");
    for (const char* folder : ownFolders) environment.push_back(std::string(folder) + "=" + (root / folder).string());
    return environment;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& string : strings) pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProgramFolders::ProgramFolders() {
    if (!isValid()) return;
    for (const char* name : ownFolders) {
        fs::create_directory(root() / name);
        fs::permissions(root() / name, fs::perms::owner_all);
    }
}

fs::path ProgramFolders::runtime() const { return root() / "XDG_RUNTIME_DIR"; }

QString ProgramFolders::socketPath(bool offlineHealthCheck) const {
    SingleInstanceName name;
    name.directory = runtime().string();
    name.userId = ::getuid();
    name.offlineHealthCheck = offlineHealthCheck;
    return QString::fromStdString(name.socketPath());
}

std::vector<fs::path> ProgramFolders::sockets() const {
    std::vector<fs::path> sockets;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(root(), error); !error && entry != fs::end(entry);
         entry.increment(error)) {
        if (entry->is_socket()) sockets.push_back(entry->path());
    }
    return sockets;
}

ProgramProcess::ProgramProcess(const ProgramFolders& folders, const ProgramStart& start) {
    std::vector<std::string> arguments{V764_PROGRAM};
    arguments.insert(arguments.end(), start.arguments.begin(), start.arguments.end());
    std::vector<std::string> environment = environmentIn(folders.root());
    const std::vector<char*> argv = pointersTo(arguments);
    const std::vector<char*> envp = pointersTo(environment);
    const std::string workingFolder = start.workingFolder.string();

    pid_ = ::fork();
    if (pid_ != 0) return;
    // Only calls that are safe between fork and exec in a process with threads. The test may itself
    // run with signals blocked or ignored (a background job): the program starts from the defaults.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) ::signal(number, SIG_DFL);
    for (const int number : start.ignoredSignals) ::signal(number, SIG_IGN);
    if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(127);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

ProgramProcess::~ProgramProcess() {
    if (pid_ <= 0 || status_) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::optional<int> ProgramProcess::waitForEnd(int milliseconds, const std::function<void()>& meanwhile) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!status_ && pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (meanwhile) {
            meanwhile();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return status_;
}

std::string howItEnded(int waitStatus) {
    if (WIFEXITED(waitStatus)) return "exit " + std::to_string(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus)) return std::string("killed by SIG") + ::sigabbrev_np(WTERMSIG(waitStatus));
    return "wait status " + std::to_string(waitStatus);
}

bool waitFor(const std::function<bool()>& done, int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

}  // namespace k7::testing
