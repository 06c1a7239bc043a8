#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Support/Model/MountedTmpfs.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/ExportExecution.h"
#include "V7Aruviv/Stores/SaveSystemCalls.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

// What a failed save of these items to `destination` tells the user; the items stay unsaved.
std::string alertAfterSaving(const std::vector<TransferItem>& items, const fs::path& destination) {
    AppModelRig rig(withPeer(nullptr));
    showSelected(*rig.model, items);
    rig->exportSelectedFromUser(destination);
    rig.settle();
    EXPECT_EQ(rig->statusText(), "Save failed; existing files and item metadata were preserved");
    for (const auto& item : rig->items()) EXPECT_EQ(item.sourceURL, std::nullopt);
    return rig->alertMessage().value_or("no alert");
}

std::string failureOf(const ExportPlan& plan) {
    try {
        AppModel::executeExport(plan);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "saved";
}

ExportPlan planOf(const fs::path& destination, const std::vector<std::string>& names) {
    ExportPlan plan;
    for (const auto& name : names) {
        const fs::path file = names.size() == 1 ? destination : destination / name;
        plan.entries.push_back({QUuid::createUuid(), name, bytesOf("bytes of " + name), file});
    }
    if (names.size() > 1) plan.batchDirectory = destination;
    return plan;
}

// A folder named as the failures name it, in a temporary folder of its own.
struct SamplesFolder {
    SamplesFolder() { fs::create_directory(path); }
    TemporaryFolder parent;
    fs::path path = parent.path() / "Samples";
};

// Lets the first `passing` calls through, then fails each with `code`; `callsThrough` still makes
// the real call first, as a close that reports a failure has closed the file all the same.
template <typename Result, typename... Arguments>
void failAfter(std::function<Result(Arguments...)>& call, int passing, int code, bool callsThrough = false) {
    call = [real = call, passing, code, callsThrough](Arguments... arguments) mutable -> Result {
        if (passing > 0) {
            --passing;
            return real(arguments...);
        }
        if (callsThrough) real(arguments...);
        errno = code;
        return -1;
    };
}

using Injection = std::function<void(SaveSystemCalls&, int passing)>;

// Fails every sync of a folder with `code`; files sync as usual.
void failFolderSyncs(SaveSystemCalls& calls, int code) {
    auto folders = std::make_shared<std::set<int>>();
    calls.open = [real = calls.open, folders](const char* path, int flags, mode_t mode) {
        const int file = real(path, flags, mode);
        if (file >= 0 && (flags & O_DIRECTORY)) folders->insert(file);
        if (file >= 0 && !(flags & O_DIRECTORY)) folders->erase(file);
        return file;
    };
    calls.fsync = [real = calls.fsync, folders, code](int file) {
        if (!folders->contains(file)) return real(file);
        errno = code;
        return -1;
    };
}

// Fails every opening of a folder with `code`, as for a folder its user may write but not read.
void failFolderOpens(SaveSystemCalls& calls, int code) {
    calls.open = [real = calls.open, code](const char* path, int flags, mode_t mode) {
        if (!(flags & O_DIRECTORY)) return real(path, flags, mode);
        errno = code;
        return -1;
    };
}

constexpr uid_t nobody = 65534;

// Runs `work` in a child process as a user other than root: `nobody` when the test runs as root.
// Returns what `work` returned, or nothing with the reason in `skipped` when root cannot be given
// up or that user cannot write in `folder`.
std::optional<std::string> asUserOtherThanRoot(const fs::path& folder, const std::function<std::string()>& work,
                                               std::string& skipped) {
    int channel[2];
    if (::pipe(channel) != 0) {
        skipped = std::string("no pipe to a child process (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        ADD_FAILURE() << "no child process (" << std::strerror(errno) << ")";
        return std::nullopt;
    }
    if (child == 0) {
        ::close(channel[0]);
        std::string answer;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            answer = std::string("-root cannot be given up here (") + std::strerror(errno) + ")";
        } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            answer = "-user " + std::to_string(::geteuid()) + " cannot write in the temporary folder";
        } else {
            answer = "+" + work();
        }
        for (std::size_t done = 0; done < answer.size();) {
            const ssize_t written = ::write(channel[1], answer.data() + done, answer.size() - done);
            if (written <= 0) break;
            done += static_cast<std::size_t>(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[256];
    while (true) {
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(channel[0]);
    if (::waitpid(child, nullptr, 0) != child || answer.empty()) {
        ADD_FAILURE() << "the child process gave no answer";
        return std::nullopt;
    }
    if (answer.front() == '-') {
        skipped = answer.substr(1);
        return std::nullopt;
    }
    return answer.substr(1);
}

TEST(SaveFailureReasons, EveryFailingStepOfAWriteNamesTheSystemsReason) {
    const struct {
        const char* step;
        Injection inject;
        std::string reason;
    } cases[] = {
        {"creating the file", [](auto& calls, int passing) { failAfter(calls.open, passing, EACCES); },
         "Permission denied"},
        {"writing", [](auto& calls, int passing) { failAfter(calls.write, passing, ENOSPC); },
         "No space left on device"},
        {"syncing", [](auto& calls, int passing) { failAfter(calls.fsync, passing, EIO); }, "Input/output error"},
        {"closing", [](auto& calls, int passing) { failAfter(calls.close, passing, EDQUOT, true); },
         "Disk quota exceeded"},
        {"renaming", [](auto& calls, int passing) { failAfter(calls.rename, passing, EROFS); },
         "Read-only file system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        {
            TemporaryFolder folder;
            writeFile(folder.path() / "kit.syx", "old");
            const RestoredSystemCalls restored;
            c.inject(SaveSystemCalls::current(), 0);
            EXPECT_EQ(failureOf(planOf(folder.path() / "kit.syx", {"kit.syx"})),
                      "kit.syx could not be written (" + c.reason + ").");
            EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"kit.syx", "old"}}));
        }
        {
            // The second file fails, after the first was staged.
            const SamplesFolder samples;
            const fs::path& folder = samples.path;
            writeFile(folder / "Keep.syx", "keep");
            const RestoredSystemCalls restored;
            c.inject(SaveSystemCalls::current(), 1);
            EXPECT_EQ(failureOf(planOf(folder, {"A.syx", "B.syx"})),
                      "B.syx could not be written into Samples (" + c.reason + ").");
            EXPECT_EQ(snapshot(folder), (FolderSnapshot{{"Keep.syx", "keep"}}));
        }
    }
}

TEST(SaveFailureReasons, AFolderSaveNamesTheChosenFolderNeverItsStaging) {
    using E = AppModelError;
    const struct {
        const char* step;
        Injection inject;
        std::string expected;
    } cases[] = {
        {"making the staging folder", [](auto& calls, int) { failAfter(calls.mkdir, 0, EROFS); },
         "Could not save into Samples: Read-only file system."},
        {"moving the second file into place", [](auto& calls, int) { failAfter(calls.renameNoReplace, 1, EIO); },
         E(E::ExportCommitFailed{"B.syx could not be moved into Samples (Input/output error)."}).message()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        const SamplesFolder samples;
        const fs::path& folder = samples.path;
        const RestoredSystemCalls restored;
        c.inject(SaveSystemCalls::current(), 0);
        const std::string failure = failureOf(planOf(folder, {"A.syx", "B.syx"}));
        EXPECT_EQ(failure, c.expected);
        EXPECT_EQ(failure.find("staging"), std::string::npos);
        EXPECT_TRUE(snapshot(folder).empty());
    }
}

TEST(SaveFailureReasons, InterruptedAndShortWritesStillWriteEveryByte) {
    TemporaryFolder folder;
    const RestoredSystemCalls restored;
    auto& write = SaveSystemCalls::current().write;
    write = [real = write, interrupt = false](int file, const void* bytes, std::size_t count) mutable -> ssize_t {
        interrupt = !interrupt;
        if (interrupt) {
            errno = EINTR;
            return -1;
        }
        return real(file, bytes, std::min<std::size_t>(count, 3));
    };
    AppModel::executeExport(planOf(folder.path() / "kit.syx", {"kit.syx"}));
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"kit.syx", "bytes of kit.syx"}}));
}

TEST(SaveFailureReasons, AFullDiskSaysSoAndKeepsWhatWasThere) {
    MountedTmpfs disk("Samples", "size=64k");
    if (!disk.mounted()) GTEST_SKIP() << disk.failure();
    writeFile(disk.path() / "kit.syx", "old");

    const auto tooLarge = receivedItem("Dump.syx", std::string(std::size_t{128} << 10, 'x'));
    EXPECT_EQ(alertAfterSaving({tooLarge}, disk.path() / "kit.syx"),
              "kit.syx could not be written (No space left on device).");
    EXPECT_EQ(snapshot(disk.path()), (FolderSnapshot{{"kit.syx", "old"}}));

    // Each fits alone; the second finds the disk full.
    const std::string part(std::size_t{40} << 10, 'y');
    EXPECT_EQ(alertAfterSaving({receivedItem("A.syx", part), receivedItem("B.syx", part)}, disk.path()),
              "B.syx could not be written into Samples (No space left on device).");
    EXPECT_EQ(snapshot(disk.path()), (FolderSnapshot{{"kit.syx", "old"}}));
}

TEST(SaveFailureReasons, AReadOnlyFolderIsNamedWithTheReason) {
    MountedTmpfs disk("Samples", "size=64k", true);
    if (!disk.mounted()) GTEST_SKIP() << disk.failure();

    const auto alert = alertAfterSaving({receivedItem("A.syx", "a"), receivedItem("B.syx", "b")}, disk.path());
    EXPECT_EQ(alert, "Could not save into Samples: Read-only file system.");
    EXPECT_EQ(alertAfterSaving({receivedItem("A.syx", "a")}, disk.path() / "kit.syx"),
              "kit.syx could not be written (Read-only file system).");
    EXPECT_TRUE(snapshot(disk.path()).empty());
}

// The folder lets a rename replace any file in it; a file its user may not write is refused as
// opening it would be, and root, who may write anything, still replaces it.
TEST(SaveFailureReasons, AFileTheUserMayNotWriteIsRefused) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "kit.syx";
    writeFile(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.path().c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(file.c_str(), nobody, nobody), 0);
    }
    std::string skipped;
    const auto answers = asUserOtherThanRoot(
        folder.path(),
        [&] {
            // A new file first: the folder itself lets this user save.
            return failureOf(planOf(folder.path() / "new.syx", {"new.syx"})) + "\n" +
                   failureOf(planOf(file, {"kit.syx"}));
        },
        skipped);
    if (!answers) GTEST_SKIP() << skipped;
    EXPECT_EQ(*answers, "saved\nkit.syx could not be written (Permission denied).");
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"kit.syx", "old"}, {"new.syx", "bytes of new.syx"}}));

    if (::geteuid() != 0) return;
    EXPECT_EQ(failureOf(planOf(file, {"kit.syx"})), "saved");
    EXPECT_EQ(readFile(file), "bytes of kit.syx");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST(SaveFailureReasons, AFolderThatCannotBeSyncedAfterTheRename) {
    using E = AppModelError;
    const struct {
        const char* name;
        void (*failing)(SaveSystemCalls&, int code);
        int code;
        std::vector<std::string> names;  // one: a file of its own; more: into the folder
        std::string expected;
        FolderSnapshot after;
    } cases[] = {
        {"a file system without folder syncs", failFolderSyncs, EINVAL, {"kit.syx"}, "saved",
         {{"kit.syx", "bytes of kit.syx"}}},
        {"the same, for a folder save", failFolderSyncs, ENOTSUP, {"A.syx", "B.syx"}, "saved",
         {{"A.syx", "bytes of A.syx"}, {"B.syx", "bytes of B.syx"}}},
        {"a system without the call", failFolderSyncs, ENOSYS, {"kit.syx"}, "saved", {{"kit.syx", "bytes of kit.syx"}}},
        {"a folder its user may not read", failFolderOpens, EACCES, {"kit.syx"}, "saved",
         {{"kit.syx", "bytes of kit.syx"}}},
        // The file is in place and cannot be taken back; it may not last.
        {"a failing disk", failFolderSyncs, EIO, {"kit.syx"},
         "kit.syx was written, but its folder could not be synced (Input/output error); a power cut may lose it.",
         {{"kit.syx", "bytes of kit.syx"}}},
        // All or nothing: the files moved go again.
        {"a failing disk under a folder save", failFolderSyncs, EIO, {"A.syx", "B.syx"},
         E(E::ExportCommitFailed{"The folder Samples could not be synced (Input/output error)."}).message(), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SamplesFolder samples;
        const fs::path& folder = samples.path;
        const RestoredSystemCalls restored;
        c.failing(SaveSystemCalls::current(), c.code);
        EXPECT_EQ(failureOf(planOf(c.names.size() == 1 ? folder / c.names.front() : folder, c.names)), c.expected);
        EXPECT_EQ(snapshot(folder), c.after);
    }
}

}  // namespace
}  // namespace k7::testing
