#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "K7Dispatch/Scheduler.h"
#include "Support/Model/AppModelRig.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// One of the simulated instruments on the rig's cable, keeping every message that reached it with
// its arrival time in the rig's virtual time.
template <typename Instrument>
class ListeningInstrument final : public SimulatedPeer {
public:
    struct Arrival {
        Bytes message;
        Scheduler::TimePoint time;
    };

    ListeningInstrument(std::shared_ptr<Instrument> instrument, std::shared_ptr<const Scheduler> clock)
        : instrument_(std::move(instrument)), clock_(std::move(clock)) {}

    std::vector<PeerReply> hear(const Bytes& message) override {
        {
            std::lock_guard lock(mutex_);
            arrivals_.push_back({message, clock_->now()});
        }
        return instrument_->hear(message);
    }

    Instrument& operator*() const { return *instrument_; }
    Instrument* operator->() const { return instrument_.get(); }

    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    std::vector<Bytes> messages() const {
        std::vector<Bytes> messages;
        for (auto& arrival : arrivals()) messages.push_back(std::move(arrival.message));
        return messages;
    }

private:
    const std::shared_ptr<Instrument> instrument_;
    const std::shared_ptr<const Scheduler> clock_;
    mutable std::mutex mutex_;
    std::vector<Arrival> arrivals_;
};

// Attaches the instrument to the rig's cable, listening from now on.
template <typename Instrument>
std::shared_ptr<ListeningInstrument<Instrument>> listen(AppModelRig& rig, std::shared_ptr<Instrument> instrument) {
    auto listening = std::make_shared<ListeningInstrument<Instrument>>(std::move(instrument), rig.studio.scheduler);
    rig.studio.attach(listening);
    return listening;
}

}  // namespace k7::testing
