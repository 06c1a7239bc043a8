#pragma once

#include <cstdint>

#include "K7Core/Turbo/TurboNegotiation.h"

namespace k7 {

// The Turbo coordinator's settings and state.
struct AppModelTurboState {
    TurboNegotiation::State turboState = TurboNegotiation::Idle{};
    double turboResponseTimeout = 3.0;   // seconds
    double turboDetectionTimeout = 0.5;  // seconds
    bool automaticallyDetectTurbo = true;
    bool allowsUnsolicitedTurboSync = true;
    uint64_t turboTimeoutGeneration = 0;
    uint64_t turboDetectionGeneration = 0;
    bool isTurboDetecting = false;
    // The output's maximum SysEx speed was changed for Turbo and must be restored.
    bool turboTransportOverrideApplied = false;
};

}  // namespace k7
