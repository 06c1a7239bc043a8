#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7Core/Turbo/TurboFrameError.h"
#include "K7Core/Turbo/TurboSpeed.h"

namespace k7 {

// The pure Turbo negotiation with a TM-1: state and input in, new state and effects out.
struct TurboNegotiation {
    struct Failure {
        struct InvalidTurboFrame {
            TurboFrameError error;
            bool operator==(const InvalidTurboFrame&) const = default;
        };
        struct Transport {
            bool operator==(const Transport&) const = default;
        };
        std::variant<InvalidTurboFrame, Transport> reason;
        bool operator==(const Failure&) const = default;
    };

    struct WaitingForResponse {
        std::optional<TurboSpeed> localMaximum;
        bool operator==(const WaitingForResponse&) const = default;
    };
    struct WaitingForLimitTransmission {
        TurboSpeed peer;
        TurboSpeed negotiated;
        bool operator==(const WaitingForLimitTransmission&) const = default;
    };
    struct Active {
        TurboSpeed peer;
        TurboSpeed negotiated;
        bool operator==(const Active&) const = default;
    };
    struct Failed {
        Failure failure;
        bool operator==(const Failed&) const = default;
    };
    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    struct Cancelled {
        bool operator==(const Cancelled&) const = default;
    };
    struct TimedOut {
        bool operator==(const TimedOut&) const = default;
    };
    using State = std::variant<WaitingForResponse, WaitingForLimitTransmission, Active, Failed, Idle, Cancelled, TimedOut>;

    struct Start {
        std::optional<TurboSpeed> localMaximum;
    };
    struct ReceivedFrame {
        Bytes frame;
    };
    struct LimitTransmissionSucceeded {};
    struct TransportFailed {};
    struct Cancel {};
    struct Timeout {};
    struct Reset {};
    using Input = std::variant<Start, ReceivedFrame, LimitTransmissionSucceeded, TransportFailed, Cancel, Timeout, Reset>;

    struct Send {
        Bytes frame;
        bool operator==(const Send&) const = default;
    };
    struct ArmTimeout {
        bool operator==(const ArmTimeout&) const = default;
    };
    struct DisarmTimeout {
        bool operator==(const DisarmTimeout&) const = default;
    };
    using Effect = std::variant<Send, ArmTimeout, DisarmTimeout>;

    struct Transition {
        State state;
        std::vector<Effect> effects;  // performed in order
        bool operator==(const Transition&) const = default;
    };

    static Transition reduce(const State& state, const Input& input);

    // The two states in which a negotiation counts as running.
    static bool isWaiting(const State& state);
    // The case with its labelled values, e.g. `active(peer: .x8, negotiated: .x4)`.
    static std::string describe(const State& state);
};

}  // namespace k7
