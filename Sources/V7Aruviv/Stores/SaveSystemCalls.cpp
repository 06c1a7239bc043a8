#include "V7Aruviv/Stores/SaveSystemCalls.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k7 {

SaveSystemCalls SaveSystemCalls::system() {
    return {
        .open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        .write = [](int file, const void* bytes, std::size_t count) { return ::write(file, bytes, count); },
        .fsync = [](int file) { return ::fsync(file); },
        .close = [](int file) { return ::close(file); },
        .rename = [](const char* from, const char* to) { return ::rename(from, to); },
        .mkdir = [](const char* path, mode_t mode) { return ::mkdir(path, mode); },
        .renameNoReplace =
            [](const char* from, const char* to) {
                return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
            },
        // The effective ids, as open checks; root passes, and a symbolic link is followed.
        .access = [](const char* path, int mode) { return ::euidaccess(path, mode); },
    };
}

SaveSystemCalls& SaveSystemCalls::current() {
    static SaveSystemCalls calls = system();
    return calls;
}

}  // namespace k7
