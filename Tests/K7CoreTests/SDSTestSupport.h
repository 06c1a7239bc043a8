#pragma once

// Helpers shared by the SDS tests: sample data, the open-loop run with timers fired at once, and
// a simulated MIDI link that drives a sender against a receiver in virtual time.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Bytes.h"
#include "K7Core/Overloaded.h"
#include "K7Core/SDSReceiverStateMachine.h"
#include "K7Core/SDSSamplePacking.h"
#include "K7Core/SDSSenderStateMachine.h"

namespace k7::sds_test {

// A deterministic ramp that touches both extremes of the width.
inline std::vector<int32_t> rampSamples(std::size_t count, int bits) {
    const int64_t low = SDSSamplePacking::minimumWord(bits);
    const int64_t high = SDSSamplePacking::maximumWord(bits);
    std::vector<int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int64_t span = high - low + 1;
        samples[i] = static_cast<int32_t>(low + (static_cast<int64_t>(i) * 2654435761LL) % span);
    }
    if (count > 0) samples[0] = static_cast<int32_t>(low);
    if (count > 1) samples[count - 1] = static_cast<int32_t>(high);
    return samples;
}

inline SDSSenderConfiguration openLoop(bool endOfFile = false) {
    SDSSenderConfiguration c;
    c.mode = SDSTransferMode::openLoop;
    c.openLoopInterMessageDelay = std::chrono::milliseconds(3);
    c.emitEndOfFile = endOfFile;
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return c;
}

inline SDSSenderConfiguration handshake(int retries = 2) {
    SDSSenderConfiguration c;
    c.mode = SDSTransferMode::handshake;
    c.maximumRetries = retries;
    c.acknowledgementTimeout = std::chrono::milliseconds(500);
    c.waitTimeout = std::chrono::seconds(5);
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return c;
}

// Every message an open-loop sender emits, each timer answered at once.
struct OpenLoopRun {
    std::vector<Bytes> messages;
    std::vector<SDSSenderAction> actions;
    bool completed = false;
};

inline OpenLoopRun runOpenLoop(SDSSenderStateMachine sender) {
    OpenLoopRun run;
    std::vector<SDSSenderAction> pending = sender.handle(sds_sender_event::Start{});
    while (!pending.empty()) {
        std::vector<SDSSenderAction> next;
        for (const auto& action : pending) {
            run.actions.push_back(action);
            if (const auto* send = std::get_if<sds_sender_action::Send>(&action)) run.messages.push_back(send->message);
            if (const auto* timer = std::get_if<sds_sender_action::ScheduleTimeout>(&action)) {
                auto more = sender.handle(sds_sender_event::Timeout{timer->id});
                next.insert(next.end(), more.begin(), more.end());
            }
            if (std::holds_alternative<sds_sender_action::Completed>(action)) run.completed = true;
        }
        pending = std::move(next);
    }
    return run;
}

inline Bytes concatenated(const std::vector<Bytes>& messages) {
    Bytes all;
    for (const Bytes& m : messages) all.insert(all.end(), m.begin(), m.end());
    return all;
}

// A sender and a receiver joined by a cable that a test can tamper with. Messages are delivered
// one at a time in order; when the cable is idle the earliest timer fires.
class SimulatedLink {
public:
    enum class Direction { toReceiver, toSender };
    // Returns what actually arrives instead of the message (nothing = lost). `index` counts the
    // messages sent in that direction so far, from 0.
    using Tamper = std::function<std::vector<Bytes>(Direction, const Bytes&, std::size_t index)>;

    SimulatedLink(SDSSenderStateMachine sender, SDSReceiverStateMachine receiver, Tamper tamper = {})
        : sender_(std::move(sender)), receiver_(std::move(receiver)), tamper_(std::move(tamper)) {}

    void run(std::function<void(SimulatedLink&)> afterEachStep = {}, int maximumSteps = 1000000) {
        senderActions(sender_.handle(sds_sender_event::Start{}));
        for (int step = 0; step < maximumSteps && !finished(); ++step) {
            if (!cable_.empty()) {
                auto [direction, message] = cable_.front();
                cable_.erase(cable_.begin());
                deliver(direction, message);
            } else if (!timers_.empty()) {
                const auto it = timers_.begin();
                now_ = it->first.first;
                const auto [side, id] = std::pair{it->first.second, it->second};
                timers_.erase(it);
                if (side == Direction::toSender) {
                    senderActions(sender_.handle(sds_sender_event::Timeout{id}));
                } else {
                    receiverActions(receiver_.handle(sds_receiver_event::Timeout{id}));
                }
            } else {
                break;
            }
            if (afterEachStep) afterEachStep(*this);
        }
    }

    void cancelSender() { senderActions(sender_.handle(sds_sender_event::Cancel{})); }

    bool finished() const {
        return sender_.isFinished() && cable_.empty() && !std::holds_alternative<sds_receiver_status::Receiving>(receiver_.status());
    }

    const std::vector<SDSSenderAction>& senderLog() const { return senderLog_; }
    const std::vector<SDSReceiverAction>& receiverLog() const { return receiverLog_; }
    const SDSReceiverStateMachine& receiver() const { return receiver_; }
    int64_t now() const { return now_; }

    template <typename T>
    std::vector<T> senderActionsOf() const { return of<T>(senderLog_); }
    template <typename T>
    std::vector<T> receiverActionsOf() const { return of<T>(receiverLog_); }

private:
    template <typename T, typename Action>
    static std::vector<T> of(const std::vector<Action>& log) {
        std::vector<T> found;
        for (const auto& action : log) {
            if (const auto* a = std::get_if<T>(&action)) found.push_back(*a);
        }
        return found;
    }

    void transmit(Direction direction, const Bytes& message) {
        std::size_t& count = direction == Direction::toReceiver ? sentToReceiver_ : sentToSender_;
        const std::size_t index = count++;
        std::vector<Bytes> arriving = tamper_ ? tamper_(direction, message, index) : std::vector<Bytes>{message};
        for (auto& m : arriving) cable_.emplace_back(direction, std::move(m));
    }

    void deliver(Direction direction, const Bytes& message) {
        if (direction == Direction::toReceiver) {
            receiverActions(receiver_.handle(sds_receiver_event::Message{message}));
            return;
        }
        try {
            senderActions(sender_.handle(sds_sender_event::Control{SDSControlMessage::decode(message)}));
        } catch (const SDSError&) {
        }
    }

    void senderActions(const std::vector<SDSSenderAction>& actions) {
        for (const auto& action : actions) {
            senderLog_.push_back(action);
            std::visit(Overloaded{
                           [&](const sds_sender_action::Send& a) { transmit(Direction::toReceiver, a.message); },
                           [&](const sds_sender_action::ScheduleTimeout& a) {
                               timers_.emplace(std::pair{now_ + a.delay.count(), Direction::toSender}, a.id);
                           },
                           [&](const sds_sender_action::CancelTimeout& a) { erase(Direction::toSender, a.id); },
                           [](const auto&) {},
                       },
                       action);
        }
    }

    void receiverActions(const std::vector<SDSReceiverAction>& actions) {
        for (const auto& action : actions) {
            receiverLog_.push_back(action);
            std::visit(Overloaded{
                           [&](const sds_receiver_action::Send& a) { transmit(Direction::toSender, a.message); },
                           [&](const sds_receiver_action::ScheduleTimeout& a) {
                               timers_.emplace(std::pair{now_ + a.delay.count(), Direction::toReceiver}, a.id);
                           },
                           [&](const sds_receiver_action::CancelTimeout& a) { erase(Direction::toReceiver, a.id); },
                           [](const auto&) {},
                       },
                       action);
        }
    }

    void erase(Direction side, uint64_t id) {
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->first.second == side && it->second == id) {
                timers_.erase(it);
                return;
            }
        }
    }

    SDSSenderStateMachine sender_;
    SDSReceiverStateMachine receiver_;
    Tamper tamper_;
    std::vector<std::pair<Direction, Bytes>> cable_;
    std::multimap<std::pair<int64_t, Direction>, uint64_t> timers_;
    std::vector<SDSSenderAction> senderLog_;
    std::vector<SDSReceiverAction> receiverLog_;
    std::size_t sentToReceiver_ = 0;
    std::size_t sentToSender_ = 0;
    int64_t now_ = 0;
};

}  // namespace k7::sds_test
