#pragma once

// Dumps and configurations shared by the driver and session tests.

#include <chrono>
#include <cstdint>
#include <vector>

#include "K7Core/SDS/SDSDumpHeader.h"
#include "K7Core/SDS/SDSReceiverConfiguration.h"
#include "K7Core/SDS/SDSSenderConfiguration.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {

using namespace std::chrono_literals;

// Two seconds of 16-bit audio at 44100 Hz.
inline constexpr std::size_t twoSecondWords = 88200;
inline constexpr uint16_t slot = 5;
// 1e9 / 44100 without its fraction.
inline constexpr uint32_t period44100 = 22675;

inline const std::vector<int32_t>& twoSecondSignal() {
    static const auto signal = sds_wire::testSignal(twoSecondWords);
    return signal;
}

inline SDSSenderConfiguration senderConfiguration(bool handshake) {
    SDSSenderConfiguration c;
    c.mode = handshake ? SDSTransferMode::handshake : SDSTransferMode::openLoop;
    c.maximumRetries = 2;
    if (handshake) {
        c.acknowledgementTimeout = 500ms;
        c.waitTimeout = 5s;
    }
    c.openLoopInterMessageDelay = 1ms;
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return c;
}

inline SDSReceiverConfiguration receiverConfiguration(bool handshake) {
    SDSReceiverConfiguration c;
    c.mode = handshake ? SDSTransferMode::handshake : SDSTransferMode::openLoop;
    c.deviceID = 0;
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcast;
    c.maximumRetries = 2;
    c.packetTimeout = 5s;
    return c;
}

// A default instrument script changed by `edit`, for table rows.
template <typename Script, typename Edit>
Script scripted(Edit edit) {
    Script script;
    edit(script);
    return script;
}

}  // namespace k7::testing
