#pragma once

#include <cstddef>
#include <functional>
#include <sys/types.h>

namespace k7 {

// The system calls through which saving checks and changes the disk. Each returns what the call
// returns and leaves errno as the call does, so that a test can replace one to fail as a full,
// read-only or failing disk would.
struct SaveSystemCalls {
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int file, const void* bytes, std::size_t count)> write;
    std::function<int(int file)> fsync;
    std::function<int(int file)> close;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* path, mode_t mode)> mkdir;
    std::function<int(const char* from, const char* to)> renameNoReplace;
    // 0 when the caller may open `path` for `mode` (W_OK, ...) by the rules open follows, else -1.
    std::function<int(const char* path, int mode)> access;

    static SaveSystemCalls system();
    // The calls saving makes: the system's unless replaced. Replace them only while no save runs.
    static SaveSystemCalls& current();
};

}  // namespace k7
