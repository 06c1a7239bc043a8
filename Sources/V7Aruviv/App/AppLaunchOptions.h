#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace k7 {

// What the command line asks for: the offline health check and the files to open.
struct AppLaunchOptions {
    static constexpr const char* offlineHealthCheckOption = "--offline-health-check";

    bool offlineHealthCheck = false;
    std::vector<std::filesystem::path> files;  // absolute, in command-line order

    // `arguments` without the program's name, after Qt took its own. Only the whole argument
    // "--offline-health-check" counts; other arguments starting with "-" are ignored, except that
    // everything after "--" is a file. Relative paths are taken from `workingDirectory`.
    static AppLaunchOptions parse(const std::vector<std::string>& arguments,
                                  const std::filesystem::path& workingDirectory);

    // The process's own `argc` and `argv` (after Qt took its own) and working folder, taken as
    // their bytes: a file name need not be text in any encoding.
    static AppLaunchOptions fromCommandLine(int argc, const char* const* argv,
                                            const std::filesystem::path& workingDirectory);

    // The program's options: `argc` and `argv` as QApplication left them, from this process's
    // working folder.
    static AppLaunchOptions ofThisProcess(int argc, const char* const* argv);
};

}  // namespace k7
