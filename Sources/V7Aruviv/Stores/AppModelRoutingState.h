#pragma once

#include <optional>
#include <string>

namespace k7 {

// Routing's bookkeeping between a preferences write and its change handler.
struct AppModelRoutingState {
    // The status kept when a selected endpoint vanished during a transfer; the finishing send or
    // receive shows it instead of its own.
    std::optional<std::string> interruptedRouteStatus;
    bool isRevertingEndpointPreferences = false;
    bool isApplyingEndpointInvalidation = false;
};

}  // namespace k7
