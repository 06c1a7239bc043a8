#pragma once

#include <chrono>
#include <mutex>
#include <vector>

#include "K7Core/Turbo/TurboSpeed.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// A TM-1 Turbo MIDI interface: answers the Turbo query with the speed it offers and takes limit
// frames, recording each switch. Its answer can be scripted away, late or malformed, and it can
// send responses nobody asked for.
class SimulatedTM1 final : public SimulatedPeer {
public:
    enum class Answer { normal, none, late, malformed };

    struct Options {
        TurboSpeed offeredSpeed = TurboSpeed::x4;
        Answer answer = Answer::normal;
        std::chrono::nanoseconds replyDelay = std::chrono::milliseconds(2);
        std::chrono::nanoseconds lateDelay = std::chrono::seconds(4);
    };

    explicit SimulatedTM1(Options options);

    std::vector<PeerReply> hear(const Bytes& message) override;

    // A response frame arriving unasked.
    static void sendUnsolicitedResponse(MockMIDITransport& transport, TurboSpeed speed,
                                        std::chrono::nanoseconds delay = std::chrono::nanoseconds::zero());
    // The bytes of the malformed answer: a response frame cut before its speed byte.
    static Bytes malformedResponse();

    std::size_t queriesHeard() const;
    // Every limit frame taken, in order; the last is the speed in force.
    std::vector<TurboSpeed> limitsTaken() const;

private:
    const Options options_;
    mutable std::mutex mutex_;
    std::size_t queries_ = 0;
    std::vector<TurboSpeed> limits_;
};

}  // namespace k7::testing
