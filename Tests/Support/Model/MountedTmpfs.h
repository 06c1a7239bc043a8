#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "Support/Model/TemporaryFolder.h"

namespace k7::testing {

// A small tmpfs of its own, mounted on a folder of the given name: a disk that fills up or refuses
// writing as a user's can. Mounting needs privileges a test may lack; `failure` then says why.
class MountedTmpfs {
public:
    MountedTmpfs(const std::string& name, const std::string& options, bool readOnly = false)
        : path_(folder_.path() / name) {
        std::error_code error;
        std::filesystem::create_directory(path_, error);
        const unsigned long flags = MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        if (error) {
            failure_ = "no folder to mount on (" + error.message() + ")";
        } else if (::mount("tmpfs", path_.c_str(), "tmpfs", flags, options.c_str()) != 0) {
            failure_ = std::string("a tmpfs cannot be mounted here (") + std::strerror(errno) + ")";
        }
    }
    ~MountedTmpfs() {
        if (failure_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
    }
    MountedTmpfs(const MountedTmpfs&) = delete;
    MountedTmpfs& operator=(const MountedTmpfs&) = delete;

    bool mounted() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::filesystem::path& path() const { return path_; }

private:
    TemporaryFolder folder_;
    std::filesystem::path path_;
    std::string failure_;
};

}  // namespace k7::testing
