#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Stores/ExportPlan.h"

namespace k7 {

// A file-system failure while saving, as one sentence for the user; `code` is the errno value
// when the system gave one, else 0.
class ExportFileError : public std::runtime_error {
public:
    ExportFileError(const std::string& sentence, int code) : std::runtime_error(sentence), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

// The file work of saving items and file lists. It reads and writes only the file system, so it
// runs on the export queue with copies of its inputs.
struct ExportExecution {
    // A folder save stages its files in a hidden folder inside the destination folder, named this
    // prefix + a new UUID + ".tmp".
    static constexpr const char* stagingPrefix = ".v7aruviv-export-";

    // One entry without a batch folder: written to its destination, replacing a file there (the
    // save panel has asked). With a batch folder: all or nothing, and nothing that existed before
    // is ever replaced. Throws AppModelError for the save's own failures, ExportFileError for the
    // file system's.
    static void run(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry);

    // A folder save in its steps, so that a file's bytes need exist only while it is written:
    // construction checks the folder and the names and creates the staging folder, `write`
    // stages each entry in plan order, `commit` moves them all into place. The staging folder
    // goes with the object when the commit has not taken it. Its failures name the chosen folder,
    // never the staging folder, which the user does not know of.
    class FolderSave {
    public:
        explicit FolderSave(const ExportPlan& plan);
        ~FolderSave();
        FolderSave(const FolderSave&) = delete;
        FolderSave& operator=(const FolderSave&) = delete;

        void write(const ExportEntry& entry, ByteView data) const;
        void commit(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry);

    private:
        std::filesystem::path staging_;
        std::string folderName_;  // the chosen folder, as its failures name it
    };

    // Writes through a temporary file in the same folder that replaces `path` only once complete
    // and synced, so readers see the old bytes or the new ones, never a part; then syncs the
    // folder. A file the user may not write is refused, as opening it would be. A replaced file's
    // permissions stay; a symbolic link stays and its target is replaced. A failure leaves no
    // temporary file and names the system's reason.
    static void writeAtomically(const std::filesystem::path& path, ByteView data);

    enum class MoveMethod {
        renameNoReplace,  // renameat2 with RENAME_NOREPLACE
        linkThenUnlink,   // for file systems that refuse that flag: link never replaces either
        automatic,        // the first, falling back to the second where it is refused
    };
    // Moves a file to `to` unless something already has that name there. Returns 0 or the errno
    // of the failure (EEXIST when the name is taken).
    static int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                                    MoveMethod method = MoveMethod::automatic);
};

}  // namespace k7
