#pragma once

#include <stdlib.h>
#include <string.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace k7::testing {

// A new, empty folder under the system's temporary folder, or under `parent`, removed with
// everything in it. Without one, its path is empty and `problem` says why.
class TemporaryFolder {
public:
    TemporaryFolder() : TemporaryFolder(std::filesystem::temp_directory_path()) {}
    explicit TemporaryFolder(const std::filesystem::path& parent) {
        std::string pattern = (parent / "v764-model-XXXXXX").string();
        if (::mkdtemp(pattern.data())) {
            path_ = pattern;
        } else {
            problem_ = "no folder can be made in " + parent.string() + ": " + ::strerror(errno);
        }
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::string& problem() const { return problem_; }

private:
    std::filesystem::path path_;
    std::string problem_;
};

}  // namespace k7::testing
