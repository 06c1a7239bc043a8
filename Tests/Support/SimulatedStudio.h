#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// The program's side of a MIDI cable in virtual time: a MockMIDITransport on a ManualScheduler with
// `inputID` and `outputID` selected and the simulated instruments attached. Nothing happens until
// the test runs the scheduler; sessions under test take `scheduler` as their queue, timer scheduler
// and callback queue, so a whole exchange runs on the test's thread. Received messages go to
// `onReceive` when set and are always kept in `received()`.
class SimulatedStudio {
public:
    using Duration = std::chrono::nanoseconds;
    static constexpr int32_t inputID = 1;
    static constexpr int32_t outputID = 2;

    SimulatedStudio();
    ~SimulatedStudio();

    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<MockMIDITransport> transport;

    // Every attached peer hears every sent message, in attach order; their answers are merged.
    void attach(std::shared_ptr<SimulatedPeer> peer);
    void onReceive(std::function<void(const Bytes&)> handler);

    // Messages arriving at the input unasked: the first after `firstDelay`, then one per `interval`.
    void emit(const std::vector<Bytes>& messages, Duration interval, Duration firstDelay = Duration::zero());

    // From now on each send lasts its bytes' wire time at the output's speed, as on hardware:
    // virtual time moves on during the send, running what falls due meanwhile.
    void sendsTakeWireTime();

    // Moves virtual time forward.
    void runFor(Duration duration);
    // Runs until `done` holds (checked after every task) or `limit` of virtual time has passed;
    // true when done.
    bool runUntil(const std::function<bool()>& done, Duration limit = std::chrono::minutes(5));

    std::vector<Bytes> received() const;
    std::vector<Bytes> sent() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace k7::testing
