#pragma once

#include <filesystem>
#include <system_error>
#include <utility>

namespace k7::testing {

// Removes a folder and everything in it when the test ends, by the bytes of the names: QTemporaryDir
// leaves behind the names that are not UTF-8.
class FolderRemovedAtEnd {
public:
    explicit FolderRemovedAtEnd(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~FolderRemovedAtEnd() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    FolderRemovedAtEnd(const FolderRemovedAtEnd&) = delete;
    FolderRemovedAtEnd& operator=(const FolderRemovedAtEnd&) = delete;

private:
    std::filesystem::path folder_;
};

}  // namespace k7::testing
