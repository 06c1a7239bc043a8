#include "V7Aruviv/App/SingleInstanceFolder.h"

#include <sys/stat.h>

#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {
namespace {

class RealFileSystem final : public SingleInstanceFolder::FileSystem {
public:
    std::optional<SingleInstanceFolder::Status> status(const std::string& path) const override {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
        return SingleInstanceFolder::Status{S_ISDIR(info.st_mode), S_ISLNK(info.st_mode), info.st_uid,
                                            static_cast<unsigned>(info.st_mode & 07777)};
    }
    void makePrivateDirectory(const std::string& path) override { ::mkdir(path.c_str(), 0700); }
};

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

}  // namespace

SingleInstanceFolder::FileSystem& SingleInstanceFolder::realFileSystem() {
    static RealFileSystem fileSystem;
    return fileSystem;
}

std::optional<std::string> SingleInstanceFolder::whyNotPrivate(const std::string& path,
                                                               const std::optional<Status>& status,
                                                               unsigned long userId) {
    if (!status) return path + " does not exist";
    if (status->isSymbolicLink) return path + " is a symbolic link";
    if (!status->isDirectory) return path + " is not a folder";
    if (status->ownerId != userId) return path + " belongs to user " + std::to_string(status->ownerId);
    if ((status->permissions & 077) != 0) return path + " is open to other users";
    return std::nullopt;
}

std::optional<std::string> SingleInstanceFolder::whyOthersCanReplaceIn(const std::string& path,
                                                                        const std::optional<Status>& status) {
    if (!status) return path + " does not exist";
    if (status->isSymbolicLink) return path + " is a symbolic link";
    if (!status->isDirectory) return path + " is not a folder";
    // Where others may write, only the sticky bit keeps them from renaming or removing our entries.
    constexpr unsigned othersWrite = 022;
    constexpr unsigned sticky = 01000;
    if ((status->permissions & othersWrite) != 0 && (status->permissions & sticky) == 0) {
        return path + " is open to other users without the sticky bit";
    }
    return std::nullopt;
}

SingleInstanceFolder::Choice SingleInstanceFolder::choose(const std::string& runtimeDirectory,
                                                          const std::string& temporaryDirectory,
                                                          unsigned long userId, FileSystem& fileSystem) {
    if (!runtimeDirectory.empty() && !whyNotPrivate(runtimeDirectory, fileSystem.status(runtimeDirectory), userId)) {
        return {runtimeDirectory, {}};
    }
    if (auto problem = whyOthersCanReplaceIn(temporaryDirectory, fileSystem.status(temporaryDirectory))) {
        return {{}, *problem};
    }
    const std::string own = joined(temporaryDirectory, appKey(".V7Aruviv-") + std::to_string(userId));
    if (!fileSystem.status(own)) fileSystem.makePrivateDirectory(own);
    if (auto problem = whyNotPrivate(own, fileSystem.status(own), userId)) return {{}, *problem};
    return {own, {}};
}

}  // namespace k7
