#pragma once

#include <optional>
#include <string>

namespace k7 {

// The folder that holds the running copy's socket: one that no other user can write, replace or
// own, so that none can take the name or read what later starts send. The session's runtime
// folder when it is private, else a folder of our own in the temporary folder.
struct SingleInstanceFolder {
    // What lstat says of a path.
    struct Status {
        bool isDirectory = false;
        bool isSymbolicLink = false;
        unsigned long ownerId = 0;
        unsigned permissions = 0;  // the mode's permission bits, the sticky bit among them
    };

    // The file system as the choice sees it: the real one in the program, a table in tests.
    class FileSystem {
    public:
        virtual ~FileSystem() = default;
        virtual std::optional<Status> status(const std::string& path) const = 0;  // nothing when absent
        virtual void makePrivateDirectory(const std::string& path) = 0;           // may fail; checked after
    };
    static FileSystem& realFileSystem();

    // Why `status` of `path` is not a folder private to `userId`; nothing when it is one.
    static std::optional<std::string> whyNotPrivate(const std::string& path, const std::optional<Status>& status,
                                                    unsigned long userId);

    // Why another user could replace what we make in the folder `path`; nothing when none can.
    static std::optional<std::string> whyOthersCanReplaceIn(const std::string& path,
                                                            const std::optional<Status>& status);

    struct Choice {
        std::string directory;  // empty when there is none: the program runs alone
        std::string problem;    // why there is none
    };
    // `runtimeDirectory` is the session's (XDG_RUNTIME_DIR, possibly empty).
    static Choice choose(const std::string& runtimeDirectory, const std::string& temporaryDirectory,
                         unsigned long userId, FileSystem& fileSystem);
};

}  // namespace k7
