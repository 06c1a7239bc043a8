#include "V7Aruviv/App/SingleInstanceName.h"

#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {

std::string SingleInstanceName::socketPath() const {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += appKey(".V7Aruviv.") + std::to_string(userId);
    if (offlineHealthCheck) path += ".offline";
    if (testProcessId) path += ".tests." + std::to_string(*testProcessId);
    return path;
}

std::optional<std::string> SingleInstanceName::whyNoSocket() const {
    const std::string path = socketPath();
    if (path.size() <= maximumSocketPathSize) return std::nullopt;
    return "its socket path " + path + " is " + std::to_string(path.size()) + " bytes long, more than the " +
           std::to_string(maximumSocketPathSize) + " a local socket's name holds";
}

}  // namespace k7
