#include "V7Aruviv/Stores/SDSSendConfiguration.h"

namespace k7 {

SDSSenderConfiguration sdsSendConfiguration(const SendOptions& options, std::optional<SDSTransferMode> modeOverride) {
    using namespace std::chrono_literals;
    SDSSenderConfiguration configuration;
    configuration.mode =
        modeOverride.value_or(options.useHandshake ? SDSTransferMode::handshake : SDSTransferMode::openLoop);
    configuration.maximumRetries = 2;
    if (configuration.mode == SDSTransferMode::handshake) {
        configuration.acknowledgementTimeout = 500ms;
        // A receiver may take up to two seconds to answer a dump header.
        configuration.headerAcknowledgementTimeout = 2s;
        configuration.waitTimeout = 5s;
    }
    configuration.openLoopInterMessageDelay = std::chrono::nanoseconds(options.delayNanoseconds);
    configuration.emitEndOfFile = false;
    configuration.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return configuration;
}

}  // namespace k7
