#pragma once

#include <sys/un.h>

#include <cstddef>
#include <optional>
#include <string>

namespace k7 {

// Where the running copy of the program listens for later starts: one socket per user, in the
// user's own folder. The offline health check and every test process have their own, so neither
// ever reaches (or stands in for) a musician's running copy.
struct SingleInstanceName {
    // A local socket's address has room for its path and a NUL; Qt opens no path longer than one
    // byte less than that.
    static constexpr std::size_t maximumSocketPathSize = sizeof(sockaddr_un::sun_path) - 2;

    std::string directory;  // the user's private runtime folder
    unsigned long userId = 0;
    bool offlineHealthCheck = false;
    std::optional<long long> testProcessId;  // set in test processes only

    std::string socketPath() const;
    // Why no socket can have socketPath() (a folder too deep); nothing when one can.
    std::optional<std::string> whyNoSocket() const;
};

}  // namespace k7
