// What keeps a saved file once "Saved" is shown: the folder synced after the rename, and a
// temporary file that is only ever a new one.
#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "V7Aruviv/Stores/ExportExecution.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

// Records, in order, each rename into `folder` ("rename <name>") and each sync of the folder
// itself ("sync").
std::shared_ptr<std::vector<std::string>> recordRenamesAndSyncs(SaveSystemCalls& calls, const fs::path& folder) {
    auto events = std::make_shared<std::vector<std::string>>();
    auto opened = std::make_shared<std::map<int, fs::path>>();
    calls.open = [real = calls.open, opened](const char* path, int flags, mode_t mode) {
        const int file = real(path, flags, mode);
        if (file >= 0) (*opened)[file] = path;
        return file;
    };
    calls.fsync = [real = calls.fsync, opened, events, folder](int file) {
        const auto found = opened->find(file);
        if (found != opened->end() && found->second == folder) events->push_back("sync");
        return real(file);
    };
    const auto recorded = [events, folder](std::function<int(const char*, const char*)> real) {
        return [real, events, folder](const char* from, const char* to) {
            const fs::path destination(to);
            if (destination.parent_path() == folder) events->push_back("rename " + destination.filename().string());
            return real(from, to);
        };
    };
    calls.rename = recorded(calls.rename);
    calls.renameNoReplace = recorded(calls.renameNoReplace);
    return events;
}

TEST(SaveDurability, TheFolderIsSyncedAfterTheRename) {
    const struct {
        const char* name;
        std::function<void(AppModelRig&, const fs::path& folder)> save;
        std::string status;
        std::vector<std::string> expected;
    } cases[] = {
        {"one item",
         [](AppModelRig& rig, const fs::path& folder) {
             showSelected(*rig.model, {receivedItem("Kick.syx", "k")});
             rig->exportSelectedFromUser(folder / "Kick.syx");
         },
         "Saved Kick.syx", {"rename Kick.syx", "sync"}},
        {"a file list",
         [](AppModelRig& rig, const fs::path& folder) {
             rig.interaction->saveAnswers.push_back(folder / "Set.k7");
             rig->presentSaveProjectPanel();
         },
         "Saved Set.k7", {"rename Set.k7", "sync"}},
        {"items into a folder",
         [](AppModelRig& rig, const fs::path& folder) {
             showSelected(*rig.model, {receivedItem("A.syx", "a"), receivedItem("B.syx", "b")});
             rig->exportSelectedFromUser(folder);
         },
         "Saved 2 files", {"rename A.syx", "rename B.syx", "sync"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const RestoredSystemCalls restored;
        const auto events = recordRenamesAndSyncs(SaveSystemCalls::current(), folder.path());
        AppModelRig rig(withPeer(nullptr));
        c.save(rig, folder.path());
        rig.settle();
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(*events, c.expected);
    }
}

// The temporary file's name is new, but another process may take it first: what is there must
// never be written through, nor renamed over the file saved.
TEST(SaveDurability, TheTemporaryFileIsAlwaysANewOne) {
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link to a file elsewhere" : "a file");
        TemporaryFolder folder;
        TemporaryFolder elsewhere;
        writeFile(folder.path() / "kit.syx", "old");
        writeFile(elsewhere.path() / "theirs.syx", "theirs");
        fs::path taken;
        const RestoredSystemCalls restored;
        auto& open = SaveSystemCalls::current().open;
        open = [real = open, &taken, &elsewhere, link](const char* path, int flags, mode_t mode) {
            if (taken.empty()) {
                taken = path;
                if (link) {
                    fs::create_symlink(elsewhere.path() / "theirs.syx", taken);
                } else {
                    writeFile(taken, "theirs");
                }
            }
            return real(path, flags, mode);
        };
        ExportPlan plan;
        plan.entries.push_back({QUuid::createUuid(), "kit.syx", bytesOf("new"), folder.path() / "kit.syx"});
        AppModel::executeExport(plan);

        EXPECT_EQ(snapshot(folder.path()),
                  (FolderSnapshot{{"kit.syx", "new"}, {taken.filename().string(), "theirs"}}));
        EXPECT_FALSE(fs::is_symlink(folder.path() / "kit.syx"));
        EXPECT_EQ(fs::is_symlink(taken), link);
        EXPECT_EQ(snapshot(elsewhere.path()), (FolderSnapshot{{"theirs.syx", "theirs"}}));
    }
}

}  // namespace
}  // namespace k7::testing
