#pragma once

// Builds SDS traffic with the core's own sender, for tests that need real dumps.

#include <variant>
#include <vector>

#include "K7Core/SDS/SDSSenderStateMachine.h"
#include "K7Core/Support/Bytes.h"

namespace k7::test {

// Runs an open-loop sender to its end and returns every message it put on the wire.
inline std::vector<Bytes> sentMessages(SDSSenderStateMachine sender) {
    std::vector<Bytes> sent;
    std::vector<SDSSenderEvent> events{sds_sender_event::Start{}};
    while (!events.empty()) {
        const SDSSenderEvent event = events.front();
        events.erase(events.begin());
        for (const auto& action : sender.handle(event)) {
            if (const auto* send = std::get_if<sds_sender_action::Send>(&action)) sent.push_back(send->message);
            if (const auto* timer = std::get_if<sds_sender_action::ScheduleTimeout>(&action)) {
                events.push_back(sds_sender_event::Timeout{timer->id});
            }
        }
    }
    return sent;
}

inline SDSSenderConfiguration openLoop(bool emitEndOfFile) {
    SDSSenderConfiguration configuration;
    configuration.mode = SDSTransferMode::openLoop;
    configuration.emitEndOfFile = emitEndOfFile;
    return configuration;
}

// One classic 16-bit dump of `words` silent samples, as a stored file would hold it.
inline std::vector<Bytes> storedDump(uint16_t sampleNumber, uint32_t words) {
    const SDSDumpHeader header(0, sampleNumber, 16, 44100, words, 0, 0, 0x7F);
    const std::vector<int32_t> samples(words, 0);
    return sentMessages(SDSSenderStateMachine(header, samples, std::nullopt, {}, openLoop(true)));
}

}  // namespace k7::test
