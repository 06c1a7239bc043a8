#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

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

// Saving's own calls again once the case is over.
struct RestoredSystemCalls {
    SaveSystemCalls saved = SaveSystemCalls::current();
    ~RestoredSystemCalls() { SaveSystemCalls::current() = saved; }
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
            TemporaryFolder parent;
            const fs::path folder = parent.path() / "Samples";
            fs::create_directory(folder);
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
        TemporaryFolder parent;
        const fs::path folder = parent.path() / "Samples";
        fs::create_directory(folder);
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

}  // namespace
}  // namespace k7::testing
