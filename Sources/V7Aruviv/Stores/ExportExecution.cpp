#include "V7Aruviv/Stores/ExportExecution.h"

#include <QFile>
#include <QSaveFile>
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
#include "V7Aruviv/Support/FileNameParts.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace fs = std::filesystem;

namespace {

std::string reasonFor(int code) { return std::generic_category().message(code); }

[[noreturn]] void fail(const std::string& what, int code) {
    throw ExportFileError(what + " (" + reasonFor(code) + ").", code);
}

QString qtPath(const fs::path& path) { return QFile::decodeName(QByteArray(path.c_str())); }

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

fs::path makeStagingFolder(const fs::path& folder) {
    const std::string uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    const fs::path staging = folder / (std::string(ExportExecution::stagingPrefix) + uuid + ".tmp");
    if (::mkdir(staging.c_str(), 0700) != 0) fail("The staging folder could not be created", errno);
    // The umask may only have removed bits; it must not leave the owner unable to write.
    ::chmod(staging.c_str(), 0700);
    return staging;
}

void removeQuietly(const fs::path& staging) {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
}

// Moves every staged entry into place; on the first failure removes what it moved.
void commit(const std::vector<ExportEntry>& entries, const fs::path& staging,
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
            if (code != 0) fail(entry.name + " could not be moved into the folder", code);
            moved.push_back(entry.destination);
        }
        removeQuietly(staging);
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
    requireFolder(folder);
    refusePlannedCollisions(plan.entries);
    refuseExistingNames(folder, plan.entries);
    staging_ = makeStagingFolder(folder);
}

ExportExecution::FolderSave::~FolderSave() {
    if (!staging_.empty()) removeQuietly(staging_);
}

void ExportExecution::FolderSave::write(const ExportEntry& entry, ByteView data) const {
    writeAtomically(staging_ / entry.name, data);
}

void ExportExecution::FolderSave::commit(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry) {
    // Moved out first: the commit removes the staging folder whether it succeeds or not.
    k7::commit(plan.entries, std::exchange(staging_, {}), beforeCommittingEntry);
}

void ExportExecution::writeAtomically(const fs::path& path, ByteView data) {
    const std::string name = FileNameParts::lastPathComponent(path);
    QSaveFile file(qtPath(path));
    const auto failWith = [&](const QString& reason) {
        throw ExportFileError(name + " could not be written (" + reason.toStdString() + ").", 0);
    };
    if (!file.open(QIODevice::WriteOnly)) failWith(file.errorString());
    const auto size = static_cast<qint64>(data.size());
    if (size > 0 && file.write(reinterpret_cast<const char*>(data.data()), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        failWith(reason);
    }
    if (!file.commit()) failWith(file.errorString());
}

int ExportExecution::moveWithoutReplacing(const fs::path& from, const fs::path& to, MoveMethod method) {
    if (method != MoveMethod::linkThenUnlink) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
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
