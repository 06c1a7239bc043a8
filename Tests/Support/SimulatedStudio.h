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

// The instruments of this library, each attached to a studio (or driven through its transport):
// SimulatedSDSReceiver and SimulatedSDSSender (samplers taking and sending SDS dumps, with
// scripted faults), SimulatedTM1 (Turbo query and limits), SimulatedElektronMachine (Machinedrum
// and Monomachine banks, dump requests and backups) and SimulatedDigiPROEmitter (whole and split
// waveform messages). SDSWireFixture writes SDS bytes by hand for them.
//
// The program's side of a MIDI cable in virtual time: a MockMIDITransport on a ManualScheduler
// with input `inputID` and output `outputID` selected, and the simulated instruments attached
// to it. Nothing happens until the test runs the scheduler (runFor, runUntil); sessions under test
// should use `scheduler` as their queue, timer scheduler and callback queue, so that a whole
// exchange runs on the test's thread.
//
// Received messages go to `onReceive` when set (route them to the session or driver under test),
// and are always kept in `received()`.
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
