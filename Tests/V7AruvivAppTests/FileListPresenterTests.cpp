#include "V7Aruviv/Views/FileListPresenter.h"

#include <gtest/gtest.h>

#include "V7Aruviv/Support/ListMove.h"

namespace k7 {
namespace {

using State = TransferItem::State;

QUuid uuid(unsigned n) { return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }

TransferItem::ListPresentation row(unsigned n, std::string name) {
    TransferItem::ListPresentation r;
    r.id = uuid(n);
    r.displayName = std::move(name);
    return r;
}

TEST(FileListPresenter, StateCells) {
    const struct {
        const char* name;
        State state;
        double progress;
        StateCellPresentation expected;
    } cases[] = {
        {"sending, half", State::Sending{}, 0.5, {true, 0.5, "50%", StateTone::secondary}},
        {"sending, halves round up", State::Sending{}, 0.125, {true, 0.125, "13%", StateTone::secondary}},
        {"sending, progress out of range", State::Sending{}, 1.5, {true, 1, "100%", StateTone::secondary}},
        {"ready", State::Ready{}, 0.5, {false, 0, "Ready", StateTone::secondary}},
        {"submitted", State::Submitted{}, 1, {false, 0, "Submitted", StateTone::blue}},
        {"received", State::Received{}, 0, {false, 0, "Received", StateTone::green}},
        {"cancelled", State::Cancelled{}, 0, {false, 0, "Cancelled", StateTone::orange}},
        {"failed hides its reason", State::failed("Checksum mismatch in packet 4"), 0, {false, 0, "Failed", StateTone::red}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileListPresenter::stateCell(c.state, c.progress), c.expected);
    }
}

std::string describe(const std::vector<ContextMenuEntry>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        if (!text.empty()) text += " | ";
        text += entry.action ? entry.title + (entry.enabled ? "" : " (off)") : "---";
    }
    return text;
}

TEST(FileListPresenter, ContextMenuEntries) {
    const FileListBusyState idle{};
    const struct {
        const char* name;
        std::size_t targets;
        bool exists, hasFile;
        FileListBusyState busy;
        std::string expected;
    } cases[] = {
        {"empty space: no entries", 0, false, false, idle, ""},
        {"one opened file", 1, true, true, idle, "Show in File Manager | Rename\u2026 | --- | Save\u2026 | Remove"},
        {"one received item has no file", 1, true, false, idle,
         "Show in File Manager (off) | Rename\u2026 | --- | Save\u2026 | Remove"},
        {"one id whose row is gone", 1, false, false, idle, "Save\u2026 | Remove"},
        {"several rows", 3, false, false, idle, "Save\u2026 | Remove"},
        {"sending: Remove stays for the model to refuse", 1, true, true, {true, false, false, false},
         "Show in File Manager | Rename\u2026 (off) | --- | Save\u2026 | Remove"},
        {"receiving", 1, true, true, {false, true, false, false},
         "Show in File Manager | Rename\u2026 (off) | --- | Save\u2026 | Remove (off)"},
        {"importing", 2, false, false, {false, false, true, false}, "Save\u2026 (off) | Remove (off)"},
        {"exporting", 1, true, true, {false, false, false, true},
         "Show in File Manager | Rename\u2026 (off) | --- | Save\u2026 (off) | Remove (off)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(FileListPresenter::contextMenu(c.targets, c.exists, c.hasFile, c.busy)), c.expected);
    }
}

TEST(FileListPresenter, AFileManagerFailureSaysWhyAndWhereTheFileIs) {
    using Reason = FileManagerRevealFailure::Reason;
    const struct {
        const char* name;
        FileManagerRevealFailure failure;
        std::string why;
    } cases[] = {
        {"nothing opens folders", {Reason::noFileManager, "xdg-open", 0, ""},
         "no application on this system opens folders"},
        {"the opener failed", {Reason::openerExited, "xdg-open", 4, ""},
         "xdg-open could not open the folder (exit status 4)"},
        {"the folder is gone", {Reason::openerExited, "xdg-open", 2, ""},
         "xdg-open did not find the folder (exit status 2)"},
        {"the opener refused its argument", {Reason::openerExited, "xdg-open", 1, ""},
         "xdg-open refused the folder's address (exit status 1)"},
        {"a status without a documented meaning", {Reason::openerExited, "xdg-open", 127, ""},
         "xdg-open failed (exit status 127)"},
        {"the opener crashed", {Reason::openerCrashed, "xdg-open", 0, ""}, "xdg-open crashed"},
        {"the opener could not be run", {Reason::openerDidNotStart, "xdg-open", 0, "execvp: Permission denied"},
         "xdg-open could not be started (execvp: Permission denied)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileListPresenter::fileManagerFailure("/home/user/Caf\xC3\xA9 Samples/kick.syx", c.failure),
                  "Could not show kick.syx in the file manager: " + c.why +
                      ". The file is in /home/user/Caf\xC3\xA9 Samples.");
    }
}

// The rename editor's transitions the list view's own tests do not reach, one editor throughout;
// `rename` answers the model's rename.
TEST(RenameEditor, Transitions) {
    const auto a = row(1, "a.syx");
    const auto b = row(2, "b.syx");
    std::vector<std::pair<QUuid, std::string>> calls;
    const RenameEditor::Rename rename = [&](const QUuid& id, const std::string& name) {
        calls.emplace_back(id, name);
        return true;
    };
    RenameEditor editor;
    EXPECT_FALSE(editor.begin(a, true));  // busy: nothing starts
    EXPECT_FALSE(editor.editingItemID());
    editor.focusChanged(std::nullopt, rename);  // focus changes while idle commit nothing
    editor.focusChanged(a.id, rename);

    ASSERT_TRUE(editor.begin(a, false));
    EXPECT_EQ(editor.draft(), "a.syx");
    editor.focusChanged(a.id, rename);  // focus arriving commits nothing
    EXPECT_FALSE(editor.commit(b.id, rename));  // nor does a commit for another id
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(editor.editingItemID(), a.id);

    // Beginning another row replaces the edit without committing.
    editor.setDraft("typed");
    ASSERT_TRUE(editor.begin(b, false));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(editor.editingItemID(), b.id);
    EXPECT_EQ(editor.draft(), "b.syx");

    editor.focusChanged(b.id, rename);
    editor.setDraft("kick.syx");
    EXPECT_TRUE(editor.commit(b.id, rename));
    EXPECT_EQ(calls, (std::vector<std::pair<QUuid, std::string>>{{b.id, "kick.syx"}}));
    EXPECT_FALSE(editor.editingItemID());
    EXPECT_EQ(editor.draft(), "");
    EXPECT_FALSE(editor.focusedNameID());

    // Focus leaving the field commits it.
    editor.begin(a, false);
    editor.focusChanged(a.id, rename);
    editor.setDraft("c.syx");
    editor.focusChanged(std::nullopt, rename);
    EXPECT_EQ(calls.back(), std::make_pair(a.id, std::string("c.syx")));
    EXPECT_FALSE(editor.editingItemID());
}

TEST(ListMove, MovesPositionsToADestinationBeforeTheMove) {
    const struct {
        const char* name;
        std::set<std::size_t> positions;
        std::size_t destination;
        std::string expected;
    } cases[] = {
        {"first to the end", {0}, 5, "BCDEA"},
        {"last to the start", {4}, 0, "EABCD"},
        {"down by one needs destination + 2", {1}, 3, "ACBDE"},
        {"onto its own gap changes nothing", {2}, 2, "ABCDE"},
        {"just below itself changes nothing", {2}, 3, "ABCDE"},
        {"several, order kept", {0, 3}, 2, "BADCE"},
        {"scattered to the end", {0, 2, 4}, 5, "BDACE"},
        {"destination past the end", {1}, 99, "ACDEB"},
        {"positions past the end ignored", {1, 9}, 0, "BACDE"},
        {"nothing to move", {}, 1, "ABCDE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> letters{'A', 'B', 'C', 'D', 'E'};
        moveElements(letters, c.positions, c.destination);
        EXPECT_EQ(std::string(letters.begin(), letters.end()), c.expected);
    }
}

}  // namespace
}  // namespace k7
