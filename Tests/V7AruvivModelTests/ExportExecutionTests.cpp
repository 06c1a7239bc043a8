#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "V7Aruviv/Stores/ExportExecution.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

ExportPlan folderPlan(const fs::path& folder, const std::vector<std::string>& names) {
    ExportPlan plan;
    for (const auto& name : names) {
        plan.entries.push_back({QUuid::createUuid(), name, bytesOf("bytes of " + name), folder / name});
    }
    plan.batchDirectory = folder;
    return plan;
}

std::optional<AppModelError> saveError(const ExportPlan& plan, const ExportCommitHook& hook = {}) {
    try {
        AppModel::executeExport(plan, hook);
    } catch (const AppModelError& error) {
        return error;
    }
    return std::nullopt;
}

std::vector<fs::path> stagingFolders(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(ExportExecution::stagingPrefix)) found.push_back(entry.path());
    }
    return found;
}

TEST(FolderSave, StagesEveryFileInAPrivateFolderThenMovesThemIntoPlace) {
    TemporaryFolder folder;
    writeFile(folder.path() / "Existing.syx", "old");
    const auto plan = folderPlan(folder.path(), {"A.syx", "B.syx", ".hidden.syx"});

    std::vector<std::size_t> hookCalls;
    AppModel::executeExport(plan, [&](std::size_t index, const fs::path& destination) {
        hookCalls.push_back(index);
        EXPECT_EQ(destination, plan.entries[index].destination);
        const auto staging = stagingFolders(folder.path());
        ASSERT_EQ(staging.size(), 1u);
        EXPECT_TRUE(staging.front().filename().string().ends_with(".tmp"));
        struct stat info {};
        ASSERT_EQ(::stat(staging.front().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        // Every file is complete in the staging folder before the first one moves.
        EXPECT_EQ(snapshot(staging.front()).size(), plan.entries.size() - index);
    });

    EXPECT_EQ(hookCalls, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Existing.syx", "old"},
                                                 {"A.syx", "bytes of A.syx"},
                                                 {"B.syx", "bytes of B.syx"},
                                                 {".hidden.syx", "bytes of .hidden.syx"}}));
}

TEST(FolderSave, RefusesBeforeWritingAnything) {
    using E = AppModelError;
    const struct {
        const char* name;
        std::vector<std::string> entries;
        std::function<void(const fs::path&)> prepare;  // in the folder
        std::string destination;                        // below the folder; empty: the folder itself
        AppModelError expected;
    } cases[] = {
        {"names differing in case", {"Kick.syx", "Snare.syx", "kick.syx"}, nullptr, "",
         E(E::ExportNameCollision{"Kick.syx", "kick.syx"})},
        {"composed and decomposed accents", {"Caf\u00e9.syx", "Cafe\u0301.syx"}, nullptr, "",
         E(E::ExportNameCollision{"Caf\u00e9.syx", "Cafe\u0301.syx"})},
        {"a file of the name in another case", {"Hat.syx", "Kick.syx"},
         [](const fs::path& f) { writeFile(f / "KICK.SYX", "theirs"); }, "", E(E::ExportDestinationExists{"KICK.SYX"})},
        {"a hidden file of the name", {".Pad.syx", "Kick.syx"},
         [](const fs::path& f) { writeFile(f / ".pad.syx", "theirs"); }, "", E(E::ExportDestinationExists{".pad.syx"})},
        {"a folder of the name", {"Hat.syx", "Kick.syx"},
         [](const fs::path& f) { fs::create_directory(f / "Kick.syx"); },
         "", E(E::ExportDestinationExists{"Kick.syx"})},
        {"a file as the destination", {"A.syx", "B.syx"}, [](const fs::path& f) { writeFile(f / "notes.txt", "x"); },
         "notes.txt", E(E::InvalidExportDirectory{"notes.txt"})},
        {"a missing destination", {"A.syx", "B.syx"}, nullptr, "gone", E(E::InvalidExportDirectory{"gone"})},
        {"a link to a file as the destination", {"A.syx", "B.syx"},
         [](const fs::path& f) {
             writeFile(f / "target.txt", "x");
             fs::create_symlink(f / "target.txt", f / "link");
         },
         "link", E(E::InvalidExportDirectory{"link"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        if (c.prepare) c.prepare(folder.path());
        const FolderSnapshot before = snapshot(folder.path());
        const fs::path destination = c.destination.empty() ? folder.path() : folder.path() / c.destination;
        bool hookCalled = false;
        const auto error = saveError(folderPlan(destination, c.entries), [&](auto, auto&) { hookCalled = true; });
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, c.expected);
        EXPECT_FALSE(hookCalled);
        EXPECT_EQ(snapshot(folder.path()), before);
    }
}

// A symbolic link to a folder is a folder to save into, as the file manager treats it.
TEST(FolderSave, ALinkToAFolderIsAFolder) {
    TemporaryFolder folder;
    fs::create_directory(folder.path() / "real");
    fs::create_directory_symlink(folder.path() / "real", folder.path() / "link");
    AppModel::executeExport(folderPlan(folder.path() / "link", {"A.syx", "B.syx"}));
    EXPECT_EQ(snapshot(folder.path() / "real"),
              (FolderSnapshot{{"A.syx", "bytes of A.syx"}, {"B.syx", "bytes of B.syx"}}));
}

TEST(FolderSave, AFailureWhileMovingLeavesTheFolderAsItWas) {
    for (const std::size_t failing : {0u, 2u, 4u}) {
        SCOPED_TRACE(failing);
        TemporaryFolder folder;
        writeFile(folder.path() / "Keep.syx", "keep");
        writeFile(folder.path() / ".dotfile", "dot");
        const FolderSnapshot before = snapshot(folder.path());
        const auto error = saveError(folderPlan(folder.path(), {"1.syx", "2.syx", "3.syx", "4.syx", "5.syx"}),
                                     [&](std::size_t index, const fs::path&) {
                                         if (index == failing) throw std::runtime_error("the disk went away");
                                     });
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, AppModelError(AppModelError::ExportCommitFailed{"the disk went away"}));
        EXPECT_EQ(snapshot(folder.path()), before);
    }
}

TEST(FolderSave, ARollbackThatCannotRemoveAMovedFileNamesIt) {
    TemporaryFolder folder;
    const auto plan = folderPlan(folder.path(), {"A.syx", "B.syx", "C.syx", "D.syx", "E.syx"});
    const auto error = saveError(plan, [&](std::size_t index, const fs::path&) {
        if (index != 2) return;
        // Someone puts a folder where B.syx was moved: it is theirs and cannot be unlinked.
        fs::remove(folder.path() / "B.syx");
        fs::create_directory(folder.path() / "B.syx");
        writeFile(folder.path() / "B.syx" / "inside", "theirs");
        throw std::runtime_error("stopped");
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, AppModelError(AppModelError::ExportRollbackFailed{{"B.syx"}}));
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"B.syx", "<folder>"}}));
    EXPECT_EQ(readFile(folder.path() / "B.syx" / "inside"), "theirs");
}

TEST(FolderSave, NeverReplacesAFileCreatedAfterTheCheck) {
    TemporaryFolder folder;
    const auto plan = folderPlan(folder.path(), {"A.syx", "b.syx", "C.syx"});
    const auto error = saveError(plan, [&](std::size_t index, const fs::path& destination) {
        if (index == 1) writeFile(destination, "theirs");
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, AppModelError(AppModelError::ExportCommitFailed{
                          AppModelError(AppModelError::ExportDestinationExists{"b.syx"}).message()}));
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"b.syx", "theirs"}}));
}

TEST(FolderSave, AFailedStagingWriteRemovesTheStagingFolder) {
    TemporaryFolder folder;
    // A name the staging folder cannot hold: its folder does not exist there.
    const auto plan = folderPlan(folder.path(), {"A.syx", "missing/B.syx"});
    EXPECT_THROW(AppModel::executeExport(plan), ExportFileError);
    EXPECT_TRUE(snapshot(folder.path()).empty());
}

TEST(SingleFileSave, WritesOrReplacesTheChosenFile) {
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing);
        TemporaryFolder folder;
        if (existing) writeFile(folder.path() / "Kick.syx", "previous longer contents");
        ExportPlan plan;
        plan.entries.push_back({QUuid::createUuid(), "Kick.syx", bytesOf("new"), folder.path() / "Kick.syx"});
        AppModel::executeExport(plan);
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Kick.syx", "new"}}));
    }
}

// What the user set on the file replaced stays: its permissions, and a link to it stays a link.
TEST(SingleFileSave, ReplacingKeepsTheFilesModeAndLinks) {
    TemporaryFolder folder;
    writeFile(folder.path() / "real.syx", "old");
    ::chmod((folder.path() / "real.syx").c_str(), 0640);
    fs::create_symlink("real.syx", folder.path() / "Kick.syx");
    ExportPlan plan;
    plan.entries.push_back({QUuid::createUuid(), "Kick.syx", bytesOf("new"), folder.path() / "Kick.syx"});
    AppModel::executeExport(plan);

    EXPECT_TRUE(fs::is_symlink(folder.path() / "Kick.syx"));
    EXPECT_EQ(readFile(folder.path() / "real.syx"), "new");
    struct stat info {};
    ASSERT_EQ(::stat((folder.path() / "real.syx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(snapshot(folder.path()).size(), 2u);  // no temporary file beside them
}

TEST(SingleFileSave, Failures) {
    TemporaryFolder folder;
    EXPECT_EQ(saveError(ExportPlan{}), AppModelError(AppModelError::NoSelectedItems{}));

    ExportPlan plan;
    plan.entries.push_back({QUuid::createUuid(), "Kick.syx", bytesOf("new"), folder.path() / "gone" / "Kick.syx"});
    try {
        AppModel::executeExport(plan);
        ADD_FAILURE() << "a file in a missing folder was written";
    } catch (const ExportFileError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("Kick.syx could not be written (")) << error.what();
    }
    EXPECT_TRUE(snapshot(folder.path()).empty());
}

TEST(MoveWithoutReplacing, MovesOnlyToAFreeName) {
    using Method = ExportExecution::MoveMethod;
    for (const Method method : {Method::renameNoReplace, Method::linkThenUnlink, Method::automatic}) {
        SCOPED_TRACE(static_cast<int>(method));
        TemporaryFolder folder;
        writeFile(folder.path() / "staged", "ours");
        writeFile(folder.path() / "taken", "theirs");

        const auto staged = folder.path() / "staged";
        EXPECT_EQ(ExportExecution::moveWithoutReplacing(staged, folder.path() / "taken", method), EEXIST);
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"staged", "ours"}, {"taken", "theirs"}}));

        EXPECT_EQ(ExportExecution::moveWithoutReplacing(staged, folder.path() / "free", method), 0);
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"free", "ours"}, {"taken", "theirs"}}));
    }
}

}  // namespace
}  // namespace k7::testing
