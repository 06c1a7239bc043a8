#pragma once

#include <string>

namespace k7 {

// Why the file manager did not show a file.
struct FileManagerRevealFailure {
    enum class Reason {
        noFileManager,      // no opener on PATH, or the opener found nothing that opens folders
        openerExited,       // the opener ended with `exitStatus`
        openerCrashed,      // the opener was ended by a signal
        openerDidNotStart,  // the opener was found but could not be run: `systemError`
    };
    Reason reason = Reason::noFileManager;
    std::string opener;
    int exitStatus = 0;
    std::string systemError;

    bool operator==(const FileManagerRevealFailure&) const = default;
};

}  // namespace k7
