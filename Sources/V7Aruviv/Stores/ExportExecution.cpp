#include "V7Aruviv/Stores/ExportExecution.h"

#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/SaveSystemCalls.h"
#include "V7Aruviv/Support/FileNameParts.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace fs = std::filesystem;

namespace {

std::string reasonFor(int code) { return std::generic_category().message(code); }

[[noreturn]] void fail(const std::string& what, int code) {
    throw ExportFileError(what + " (" + reasonFor(code) + ").", code);
}

std::string newUUID() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString(); }

// A file system that cannot sync has nothing better to offer; every other refusal counts.
bool cannotSyncHere(int code) { return code == EINVAL || code == ENOSYS || code == ENOTSUP; }

// Syncs `folder`, so that a name renamed into it survives a power cut. Returns 0 or the errno of
// the failure. A folder the user may write but not read cannot be opened to sync: that is not
// the disk failing.
int syncFolder(const fs::path& folder) {
    const auto& calls = SaveSystemCalls::current();
    const int file = calls.open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (file < 0) return errno == EACCES || errno == EPERM ? 0 : errno;
    const int code = calls.fsync(file) != 0 && !cannotSyncHere(errno) ? errno : 0;
    calls.close(file);
    return code;
}

void requireFolder(const fs::path& folder) {
    std::error_code error;
    // status follows symbolic links: a link to a folder is a folder to save into.
    const auto status = fs::status(folder, error);
    if (error && status.type() != fs::file_type::not_found) {
        fail("The folder " + FileNameParts::lastPathComponent(folder) + " could not be read", error.value());
    }
    if (!fs::is_directory(status)) {
        throw AppModelError(AppModelError::InvalidExportDirectory{FileNameParts::lastPathComponent(folder)});
    }
}

void refusePlannedCollisions(const std::vector<ExportEntry>& entries) {
    std::map<std::string, std::string> planned;
    for (const auto& entry : entries) {
        const auto [earlier, inserted] = planned.emplace(foldedName(entry.name), entry.name);
        if (!inserted) throw AppModelError(AppModelError::ExportNameCollision{earlier->second, entry.name});
    }
}

void refuseExistingNames(const fs::path& folder, const std::vector<ExportEntry>& entries) {
    std::map<std::string, std::string> existing;
    std::error_code error;
    fs::directory_iterator listing(folder, error);
    for (; !error && listing != fs::directory_iterator(); listing.increment(error)) {
        const std::string name = listing->path().filename().string();
        existing.emplace(foldedName(name), name);  // of two that fold alike, the first listed stays
    }
    if (error) fail("The folder " + FileNameParts::lastPathComponent(folder) + " could not be listed", error.value());
    for (const auto& entry : entries) {
        const auto found = existing.find(foldedName(entry.name));
        if (found != existing.end()) throw AppModelError(AppModelError::ExportDestinationExists{found->second});
    }
}

// The staging folder is ours: a failure to make it is told as the chosen folder refusing the save.
fs::path makeStagingFolder(const fs::path& folder) {
    const fs::path staging = folder / (std::string(ExportExecution::stagingPrefix) + newUUID() + ".tmp");
    if (SaveSystemCalls::current().mkdir(staging.c_str(), 0700) != 0) {
        const int code = errno;
        throw ExportFileError(
            "Could not save into " + FileNameParts::lastPathComponent(folder) + ": " + reasonFor(code) + ".", code);
    }
    // The umask may only have removed bits; it must not leave the owner unable to write.
    ::chmod(staging.c_str(), 0700);
    return staging;
}

void removeQuietly(const fs::path& staging) {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
}

// Moves every staged entry into place; on the first failure removes what it moved.
void commit(const std::vector<ExportEntry>& entries, const fs::path& staging, const std::string& folderName,
            const ExportCommitHook& beforeCommittingEntry) {
    std::vector<fs::path> moved;
    std::string stopReason;
    try {
        for (std::size_t index = 0; index < entries.size(); ++index) {
            const auto& entry = entries[index];
            if (beforeCommittingEntry) beforeCommittingEntry(index, entry.destination);
            const int code = ExportExecution::moveWithoutReplacing(staging / entry.name, entry.destination);
            // The name was free when checked; whoever took it since keeps their file.
            if (code == EEXIST) throw AppModelError(AppModelError::ExportDestinationExists{entry.name});
            if (code != 0) fail(entry.name + " could not be moved into " + folderName, code);
            moved.push_back(entry.destination);
        }
        removeQuietly(staging);
        // Once, for every move and the staging folder's removal.
        if (const int code = syncFolder(staging.parent_path()); code != 0) {
            fail("The folder " + folderName + " could not be synced", code);
        }
        return;
    } catch (const std::exception& error) {
        stopReason = error.what();
    } catch (...) {
        stopReason = "an unknown error";
    }

    std::vector<std::string> left;
    for (auto file = moved.rbegin(); file != moved.rend(); ++file) {
        // unlink, never a recursive removal: only the file this save moved there may go.
        if (::unlink(file->c_str()) != 0 && errno != ENOENT) left.push_back(FileNameParts::lastPathComponent(*file));
    }
    removeQuietly(staging);
    if (left.empty()) throw AppModelError(AppModelError::ExportCommitFailed{stopReason});
    throw AppModelError(AppModelError::ExportRollbackFailed{left});
}

// The file a save to `path` replaces: a symbolic link is followed to the file it names, which
// gets the new bytes while the link stays.
fs::path followingLinks(const fs::path& path) {
    fs::path target = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error))) return target;
        const fs::path link = fs::read_symlink(target, error);
        if (error) return target;
        target = target.parent_path() / link;  // an absolute link replaces the whole path
    }
    return path;
}

// Creates a temporary file beside `target` that takes its permissions, or the usual ones for a
// new file. Returns the descriptor, or -1 with errno set.
int openTemporaryBeside(const fs::path& target, fs::path& temporary) {
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    for (int attempt = 0;; ++attempt) {
        temporary = target.parent_path() / (".v7aruviv-save-" + newUUID() + ".tmp");
        const int file = SaveSystemCalls::current().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                                         replacing ? 0600 : 0666);
        if (file < 0 && errno == EEXIST && attempt < 8) continue;
        // A copied mode that cannot be set leaves the new file private, never less so.
        if (file >= 0 && replacing) ::fchmod(file, existing.st_mode & 07777);
        return file;
    }
}

bool writeAll(int file, ByteView data) {
    const auto& calls = SaveSystemCalls::current();
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = calls.write(file, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        if (written == 0) {
            errno = EIO;  // no progress and no reason: stop rather than try forever
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Writes `data` to a temporary file beside `path`, syncs it and renames it over `path`; returns
// the file replaced, which a link at `path` names. Every failure removes the temporary file and
// throws `failure` with the system's reason: a full disk is often told only at the sync or the
// close.
fs::path writeReplacing(const fs::path& path, ByteView data, const std::string& failure) {
    const auto& calls = SaveSystemCalls::current();
    const fs::path target = followingLinks(path);
    fs::path temporary;
    int file = openTemporaryBeside(target, temporary);
    if (file < 0) fail(failure, errno);
    const auto abandon = [&](int code) {
        if (file >= 0) calls.close(file);
        ::unlink(temporary.c_str());
        fail(failure, code);
    };
    if (!writeAll(file, data)) abandon(errno);
    if (calls.fsync(file) != 0 && !cannotSyncHere(errno)) abandon(errno);
    // The descriptor is gone whatever close says, so it is never closed twice.
    if (calls.close(std::exchange(file, -1)) != 0 && errno != EINTR) abandon(errno);
    if (calls.rename(temporary.c_str(), target.c_str()) != 0) abandon(errno);
    return target;
}

}  // namespace

void ExportExecution::run(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry) {
    if (!plan.batchDirectory) {
        if (plan.entries.empty()) throw AppModelError(AppModelError::NoSelectedItems{});
        writeAtomically(plan.entries.front().destination, plan.entries.front().data);
        return;
    }
    FolderSave save(plan);
    for (const auto& entry : plan.entries) save.write(entry, entry.data);
    save.commit(plan, beforeCommittingEntry);
}

ExportExecution::FolderSave::FolderSave(const ExportPlan& plan) {
    const fs::path& folder = plan.batchDirectory.value();
    folderName_ = FileNameParts::lastPathComponent(folder);
    requireFolder(folder);
    refusePlannedCollisions(plan.entries);
    refuseExistingNames(folder, plan.entries);
    staging_ = makeStagingFolder(folder);
}

ExportExecution::FolderSave::~FolderSave() {
    if (!staging_.empty()) removeQuietly(staging_);
}

void ExportExecution::FolderSave::write(const ExportEntry& entry, ByteView data) const {
    writeReplacing(staging_ / entry.name, data, entry.name + " could not be written into " + folderName_);
}

void ExportExecution::FolderSave::commit(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry) {
    // Moved out first: the commit removes the staging folder whether it succeeds or not.
    k7::commit(plan.entries, std::exchange(staging_, {}), folderName_, beforeCommittingEntry);
}

void ExportExecution::writeAtomically(const fs::path& path, ByteView data) {
    const std::string name = FileNameParts::lastPathComponent(path);
    // The folder's permission would let the rename replace a file its owner made read-only.
    if (SaveSystemCalls::current().access(path.c_str(), W_OK) != 0 && errno != ENOENT) {
        const int code = errno;
        fail(name + " could not be written", code);
    }
    const fs::path target = writeReplacing(path, data, name + " could not be written");
    // The new file is in place and cannot be taken back, but it may not survive a power cut.
    if (const int code = syncFolder(target.has_parent_path() ? target.parent_path() : fs::path(".")); code != 0) {
        throw ExportFileError(name + " was written, but its folder could not be synced (" + reasonFor(code) +
                                  "); a power cut may lose it.",
                              code);
    }
}

int ExportExecution::moveWithoutReplacing(const fs::path& from, const fs::path& to, MoveMethod method) {
    if (method != MoveMethod::linkThenUnlink) {
        if (SaveSystemCalls::current().renameNoReplace(from.c_str(), to.c_str()) == 0) return 0;
        const int code = errno;
        const bool refused = code == EINVAL || code == ENOSYS || code == ENOTSUP;
        if (method == MoveMethod::renameNoReplace || !refused) return code;
    }
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    // The file is in place; a staged name left behind goes with its folder.
    ::unlink(from.c_str());
    return 0;
}

}  // namespace k7
