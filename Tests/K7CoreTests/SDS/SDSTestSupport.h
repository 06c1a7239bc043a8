#pragma once

// Helpers shared by the SDS tests: sample data, the open-loop run with timers fired at once, and
// a simulated MIDI link that drives a sender against a receiver in virtual time.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "K7Core/SDS/SDSReceiverStateMachine.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SDS/SDSSenderStateMachine.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/Bytes.h"

namespace k7::sds_test {

// A deterministic spread from the lowest word of the width to the highest.
inline std::vector<int32_t> rampSamples(std::size_t count, int bits) {
    const int64_t low = SDSSamplePacking::minimumWord(bits);
    const int64_t span = SDSSamplePacking::maximumWord(bits) - low + 1;
    std::vector<int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<int32_t>(low + (static_cast<int64_t>(i) * 2654435761LL) % span);
    }
    if (count > 0) samples[0] = static_cast<int32_t>(low);
    if (count > 1) samples[count - 1] = static_cast<int32_t>(low + span - 1);
    return samples;
}

inline SDSDumpHeaderMessage classicHeader(uint32_t words, uint8_t bits = 16, uint16_t sample = 5, uint8_t device = 0) {
    return SDSDumpHeader(device, sample, bits, 44100, words, 0, 0, 0x7F);
}

inline Bytes sps1UWName(const char* name = "Kick") {
    return SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing(name)).encode();
}

inline SDSSenderConfiguration openLoop(bool endOfFile = false) {
    SDSSenderConfiguration c;
    c.mode = SDSTransferMode::openLoop;
    c.openLoopInterMessageDelay = std::chrono::milliseconds(3);
    c.emitEndOfFile = endOfFile;
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return c;
}

inline SDSSenderConfiguration handshake() {
    SDSSenderConfiguration c;
    c.acknowledgementTimeout = std::chrono::milliseconds(500);
    c.waitTimeout = std::chrono::seconds(5);
    c.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero;
    return c;
}

template <typename T, typename Action>
std::vector<T> actionsOf(const std::vector<Action>& actions) {
    std::vector<T> found;
    for (const auto& action : actions) {
        if (const auto* a = std::get_if<T>(&action)) found.push_back(*a);
    }
    return found;
}

inline Bytes concatenated(const std::vector<Bytes>& messages) {
    Bytes all;
    for (const Bytes& m : messages) all.insert(all.end(), m.begin(), m.end());
    return all;
}

// Every message an open-loop sender emits, each timer answered at once.
struct OpenLoopRun {
    std::vector<Bytes> messages;
    std::vector<SDSSenderAction> actions;
    bool completed = false;
};

inline OpenLoopRun runOpenLoop(SDSSenderStateMachine sender) {
    OpenLoopRun run;
    for (auto pending = sender.handle(sds_sender_event::Start{}); !pending.empty();) {
        std::vector<SDSSenderAction> next;
        for (const auto& action : pending) {
            run.actions.push_back(action);
            if (const auto* send = std::get_if<sds_sender_action::Send>(&action)) run.messages.push_back(send->message);
            if (const auto* timer = std::get_if<sds_sender_action::ScheduleTimeout>(&action)) {
                auto more = sender.handle(sds_sender_event::Timeout{timer->id});
                next.insert(next.end(), more.begin(), more.end());
            }
            run.completed |= std::holds_alternative<sds_sender_action::Completed>(action);
        }
        pending = std::move(next);
    }
    return run;
}

// A sender and a receiver joined by a cable that a test can tamper with. Messages are delivered
// one at a time in order; when the cable is idle the earliest timer fires.
class SimulatedLink {
public:
    enum class Direction { toReceiver, toSender };
    // What arrives instead of the message (nothing = lost); `index` counts the messages sent in
    // that direction so far, from 0.
    using Tamper = std::function<std::vector<Bytes>(Direction, const Bytes&, std::size_t index)>;

    SimulatedLink(SDSSenderStateMachine sender, SDSReceiverStateMachine receiver, Tamper tamper = {})
        : sender_(std::move(sender)), receiver_(std::move(receiver)), tamper_(std::move(tamper)) {}

    void run(const std::function<void(SimulatedLink&)>& afterEachStep = {}) {
        senderDid(sender_.handle(sds_sender_event::Start{}));
        for (int step = 0; step < 1000000 && !finished(); ++step) {
            if (!cable_.empty()) {
                const auto [direction, message] = cable_.front();
                cable_.erase(cable_.begin());
                if (direction == Direction::toReceiver) {
                    receiverDid(receiver_.handle(sds_receiver_event::Message{message}));
                } else {
                    senderDid(sender_.handle(sds_sender_event::Control{SDSControlMessage::decode(message)}));
                }
            } else if (!timers_.empty()) {
                const auto [deadline, id] = *timers_.begin();
                timers_.erase(timers_.begin());
                now_ = deadline.first;
                if (deadline.second == Direction::toSender) {
                    senderDid(sender_.handle(sds_sender_event::Timeout{id}));
                } else {
                    receiverDid(receiver_.handle(sds_receiver_event::Timeout{id}));
                }
            } else {
                break;
            }
            if (afterEachStep) afterEachStep(*this);
        }
    }

    void cancelSender() { senderDid(sender_.handle(sds_sender_event::Cancel{})); }

    bool finished() const {
        return sender_.isFinished() && cable_.empty() &&
               !std::holds_alternative<sds_receiver_status::Receiving>(receiver_.status());
    }

    template <typename T>
    std::vector<T> senderActionsOf() const { return actionsOf<T>(senderLog_); }
    template <typename T>
    std::vector<T> receiverActionsOf() const { return actionsOf<T>(receiverLog_); }

private:
    // `self` is the side the actions come from; its timers call back to it, its sends go to the other.
    template <typename Send, typename Schedule, typename Cancel, typename Action>
    void did(const std::vector<Action>& actions, std::vector<Action>& log, Direction self, Direction other) {
        for (const auto& action : actions) {
            log.push_back(action);
            if (const auto* a = std::get_if<Send>(&action)) transmit(other, a->message);
            if (const auto* a = std::get_if<Schedule>(&action)) {
                timers_.emplace(std::pair{now_ + a->delay.count(), self}, a->id);
            }
            if (const auto* a = std::get_if<Cancel>(&action)) {
                std::erase_if(timers_, [&](const auto& t) { return t.first.second == self && t.second == a->id; });
            }
        }
    }
    void senderDid(const std::vector<SDSSenderAction>& actions) {
        namespace a = sds_sender_action;
        did<a::Send, a::ScheduleTimeout, a::CancelTimeout>(actions, senderLog_, Direction::toSender, Direction::toReceiver);
    }
    void receiverDid(const std::vector<SDSReceiverAction>& actions) {
        namespace a = sds_receiver_action;
        did<a::Send, a::ScheduleTimeout, a::CancelTimeout>(actions, receiverLog_, Direction::toReceiver,
                                                          Direction::toSender);
    }
    void transmit(Direction direction, const Bytes& message) {
        const std::size_t index = sent_[direction]++;
        for (auto& m : tamper_ ? tamper_(direction, message, index) : std::vector<Bytes>{message}) {
            cable_.emplace_back(direction, std::move(m));
        }
    }

    SDSSenderStateMachine sender_;
    SDSReceiverStateMachine receiver_;
    Tamper tamper_;
    std::vector<std::pair<Direction, Bytes>> cable_;
    std::multimap<std::pair<int64_t, Direction>, uint64_t> timers_;  // deadline and whose timer
    std::vector<SDSSenderAction> senderLog_;
    std::vector<SDSReceiverAction> receiverLog_;
    std::map<Direction, std::size_t> sent_;
    int64_t now_ = 0;
};

}  // namespace k7::sds_test
