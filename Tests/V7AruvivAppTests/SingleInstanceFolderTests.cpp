#include "V7Aruviv/App/SingleInstanceFolder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <map>

#include "SocketFolder.h"
#include "V7Aruviv/App/SingleInstanceChannel.h"
#include "V7Aruviv/App/SingleInstanceName.h"

namespace k7 {
namespace {

using Status = SingleInstanceFolder::Status;

constexpr unsigned long us = 1000;
constexpr unsigned long nobody = 65534;
const Status privateFolder{true, false, us, 0700};
const Status sharedTemporaryFolder{true, false, 0, 01777};
const std::string own = "/tmp/org.v764.V7Aruviv-1000";

// Folders as a table, /tmp among them unless a row says otherwise; a folder it makes is private to
// `us`, as mkdir 0700 makes it.
class TableFileSystem final : public SingleInstanceFolder::FileSystem {
public:
    std::map<std::string, Status> folders = {{"/tmp", sharedTemporaryFolder}};
    bool canMake = true;
    std::vector<std::string> made;

    std::optional<Status> status(const std::string& path) const override {
        const auto found = folders.find(path);
        if (found == folders.end()) return std::nullopt;
        return found->second;
    }
    void makePrivateDirectory(const std::string& path) override {
        made.push_back(path);
        if (canMake && !folders.contains(path)) folders[path] = privateFolder;
    }
};

TEST(SingleInstanceFolder, OnlyAFolderOfOurOwnThatNoOneElseCanReachHoldsTheSocket) {
    const struct {
        const char* name;
        const char* runtime;
        std::map<std::string, Status> folders;
        bool canMake;
        std::string directory;
        std::string problem;
        bool makes;
    } cases[] = {
        {"the session's private runtime folder", "/run/user/1000", {{"/run/user/1000", privateFolder}}, true,
         "/run/user/1000", "", false},
        {"no runtime folder: one of our own", "", {}, true, own, "", true},
        {"a runtime folder that does not exist", "/run/user/1000", {}, true, own, "", true},
        {"a runtime folder others can enter", "/run/user/1000", {{"/run/user/1000", {true, false, us, 0755}}}, true,
         own, "", true},
        {"a runtime folder of another user", "/run/user/1000", {{"/run/user/1000", {true, false, nobody, 0700}}},
         true, own, "", true},
        {"a runtime folder that is a symbolic link", "/run/user/1000", {{"/run/user/1000", {false, true, us, 0777}}},
         true, own, "", true},
        {"our folder from an earlier start", "", {{own, privateFolder}}, true, own, "", false},
        {"our folder's name taken by another user", "", {{own, {true, false, nobody, 0700}}}, true, "",
         own + " belongs to user 65534", false},
        {"our folder's name a symbolic link", "", {{own, {false, true, us, 0777}}}, true, "",
         own + " is a symbolic link", false},
        {"our folder open to others", "", {{own, {true, false, us, 0777}}}, true, "", own + " is open to other users",
         false},
        {"a file on our folder's name", "", {{own, {false, false, us, 0600}}}, true, "", own + " is not a folder",
         false},
        {"our folder cannot be made", "", {}, false, "", own + " does not exist", true},
        {"a temporary folder of our own", "", {{"/tmp", {true, false, us, 0700}}}, true, own, "", true},
        {"a temporary folder only its owner writes", "", {{"/tmp", {true, false, 0, 0755}}}, true, own, "", true},
        {"a temporary folder everyone writes, without the sticky bit", "", {{"/tmp", {true, false, 0, 0777}}}, true,
         "", "/tmp is open to other users without the sticky bit", false},
        {"a temporary folder its group writes, without the sticky bit", "", {{"/tmp", {true, false, 0, 0775}}}, true,
         "", "/tmp is open to other users without the sticky bit", false},
        {"our folder from an earlier start, in a temporary folder that lost its sticky bit", "",
         {{"/tmp", {true, false, 0, 0777}}, {own, privateFolder}}, true, "",
         "/tmp is open to other users without the sticky bit", false},
        {"a private runtime folder, whatever the temporary folder", "/run/user/1000",
         {{"/run/user/1000", privateFolder}, {"/tmp", {true, false, 0, 0777}}}, true, "/run/user/1000", "", false},
        {"a temporary folder that is a symbolic link", "", {{"/tmp", {false, true, 0, 0777}}}, true, "",
         "/tmp is a symbolic link", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFileSystem fileSystem;
        for (const auto& [path, status] : c.folders) fileSystem.folders[path] = status;
        fileSystem.canMake = c.canMake;
        const auto choice = SingleInstanceFolder::choose(c.runtime, "/tmp", us, fileSystem);
        EXPECT_EQ(choice.directory, c.directory);
        EXPECT_EQ(choice.problem, c.problem);
        EXPECT_EQ(fileSystem.made, c.makes ? std::vector<std::string>{own} : std::vector<std::string>{});
    }
}

TEST(SingleInstanceFolder, TheRealFileSystemIsReadWithoutFollowingLinks) {
    QTemporaryDir temporary;
    const std::string root = temporary.path().toStdString();
    const auto ours = ::getuid();
    auto& fileSystem = SingleInstanceFolder::realFileSystem();

    const auto own = SingleInstanceFolder::choose("", root, ours, fileSystem);
    ASSERT_EQ(own.directory, root + "/org.v764.V7Aruviv-" + std::to_string(ours)) << own.problem;
    const auto made = fileSystem.status(own.directory);
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->isDirectory);
    EXPECT_EQ(made->ownerId, ours);
    EXPECT_EQ(made->permissions, 0700u);

    // A link to a private folder is no private folder.
    const std::string link = root + "/link";
    ASSERT_EQ(::symlink(own.directory.c_str(), link.c_str()), 0);
    EXPECT_TRUE(fileSystem.status(link)->isSymbolicLink);
    EXPECT_EQ(SingleInstanceFolder::choose(link, root, ours, fileSystem).directory, own.directory);
    const std::string open = root + "/open";
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    EXPECT_EQ(SingleInstanceFolder::choose(open, root, ours, fileSystem).directory, own.directory);
}

// A temporary folder that everyone may write to lets anyone rename our folder away and put theirs
// in its place: without the sticky bit, nothing is made there.
TEST(SingleInstanceFolder, ATemporaryFolderOthersMayWriteToWithoutTheStickyBitHoldsNoFolderOfOurs) {
    QTemporaryDir temporary;
    const std::string root = temporary.path().toStdString();
    ASSERT_EQ(::chmod(root.c_str(), 0777), 0);
    const auto choice = SingleInstanceFolder::choose("", root, ::getuid(), SingleInstanceFolder::realFileSystem());
    EXPECT_EQ(choice.directory, "");
    EXPECT_EQ(choice.problem, root + " is open to other users without the sticky bit");
    EXPECT_TRUE(std::filesystem::is_empty(root));

    ASSERT_EQ(::chmod(root.c_str(), 01777), 0);
    EXPECT_NE(SingleInstanceFolder::choose("", root, ::getuid(), SingleInstanceFolder::realFileSystem()).directory, "");
}

// Restores an environment variable when the test ends.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) saved_ = value;
    }
    ~EnvironmentVariable() {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

// No session runtime folder, and the temporary folder's fallback for one unusable: the socket still
// goes in a folder only this user reaches, never in the shared temporary folder itself. A
// temporary folder named through a link is the folder it leads to. The folders are made in /tmp,
// whatever TMPDIR says, so that the socket's path stays short enough for a socket.
TEST(SingleInstanceFolder, WithoutARuntimeFolderTheSocketStaysOutOfTheSharedTemporaryFolder) {
    const EnvironmentVariable runtime("XDG_RUNTIME_DIR");
    const EnvironmentVariable temporaryFolder("TMPDIR");
    const testing::SocketFolder shared;
    if (!shared.isValid()) GTEST_SKIP() << shared.problem();
    const std::string root = std::filesystem::canonical(shared.path()).string();
    const std::string sharedFolder = root + "/shared";
    ASSERT_EQ(::mkdir(sharedFolder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(sharedFolder.c_str(), 01777), 0);
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    std::ofstream(sharedFolder + "/runtime-" + user->pw_name) << "not a folder";
    const std::string link = root + "/link";
    ASSERT_EQ(::symlink(sharedFolder.c_str(), link.c_str()), 0);
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", link.c_str(), 1);

    const auto socket = singleInstanceSocketForThisProcess(false);
    ASSERT_FALSE(socket.path.isEmpty()) << socket.problem;
    const std::string folder = std::filesystem::path(socket.path.toStdString()).parent_path();
    struct stat info {};
    ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, ::getuid());
    EXPECT_EQ(info.st_mode & 077, 0u) << folder;
    EXPECT_EQ(std::filesystem::path(folder).parent_path(), sharedFolder);
}

// A temporary folder so deep that the socket's path would not fit a socket's address: the program
// runs alone and says why, rather than failing to listen without a word.
TEST(SingleInstanceFolder, ASocketPathTooLongForASocketIsRefusedWithTheReason) {
    const EnvironmentVariable runtime("XDG_RUNTIME_DIR");
    const EnvironmentVariable temporaryFolder("TMPDIR");
    QTemporaryDir shared;
    const std::string deep = shared.path().toStdString() + "/" + std::string(100, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(deep));
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", deep.c_str(), 1);

    const auto socket = singleInstanceSocketForThisProcess(false);
    EXPECT_EQ(socket.path, QString());
    const std::string folder = std::filesystem::canonical(deep).string();
    EXPECT_EQ(socket.problem.rfind("its socket path " + folder + "/", 0), 0u) << socket.problem;
    EXPECT_NE(socket.problem.find("more than the " + std::to_string(SingleInstanceName::maximumSocketPathSize) +
                                  " a local socket's name holds"),
              std::string::npos)
        << socket.problem;
}

}  // namespace
}  // namespace k7
