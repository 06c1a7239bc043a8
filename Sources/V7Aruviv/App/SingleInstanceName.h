#pragma once

#include <optional>
#include <string>

namespace k7 {

// Where the running copy of the program listens for later starts: one socket per user, in the
// user's own folder. The offline health check and every test process have their own, so neither
// ever reaches (or stands in for) a musician's running copy.
struct SingleInstanceName {
    std::string directory;  // the user's private runtime folder
    unsigned long userId = 0;
    bool offlineHealthCheck = false;
    std::optional<long long> testProcessId;  // set in test processes only

    std::string socketPath() const;
};

}  // namespace k7
