#include "V7Aruviv/App/AppLaunchOptions.h"

#include <system_error>

namespace k7 {

AppLaunchOptions AppLaunchOptions::parse(const std::vector<std::string>& arguments,
                                         const std::filesystem::path& workingDirectory) {
    AppLaunchOptions options;
    bool onlyFiles = false;
    for (const auto& argument : arguments) {
        if (argument.empty()) continue;
        if (!onlyFiles && argument == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles && argument == offlineHealthCheckOption) {
            options.offlineHealthCheck = true;
            continue;
        }
        if (!onlyFiles && argument.front() == '-') continue;
        const std::filesystem::path path(argument);
        options.files.push_back(path.is_absolute() ? path : workingDirectory / path);
    }
    return options;
}

AppLaunchOptions AppLaunchOptions::fromCommandLine(int argc, const char* const* argv,
                                                   const std::filesystem::path& workingDirectory) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) arguments.emplace_back(argv[index]);
    return parse(arguments, workingDirectory);
}

AppLaunchOptions AppLaunchOptions::ofThisProcess(int argc, const char* const* argv) {
    // Without a working folder, relative paths stay relative and fail to open with their name.
    std::error_code noWorkingFolder;
    return fromCommandLine(argc, argv, std::filesystem::current_path(noWorkingFolder));
}

}  // namespace k7
