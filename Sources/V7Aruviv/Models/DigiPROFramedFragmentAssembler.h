#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Support/CaseValue.h"

namespace k7 {

namespace digipro_fragment_transition {
// A piece was taken and is held back.
struct Buffered {
    std::optional<int> position;
    int64_t fragmentCount;
    int64_t rawByteCount;
    int64_t assembledByteCount;
    bool operator==(const Buffered&) const = default;
};
// The pieces became one waveform message that decodes.
struct Joined {
    int position;
    int64_t fragmentCount;
    int64_t rawByteCount;
    bool operator==(const Joined&) const = default;
};
// Joining was given up; the pieces were released as received.
struct Rejected {
    std::optional<int> position;
    int64_t fragmentCount;
    int64_t rawByteCount;
    std::string reason;
    bool operator==(const Rejected&) const = default;
};
// The receive ended with pieces held; they were released as received.
struct Flushed {
    std::optional<int> position;
    int64_t fragmentCount;
    int64_t rawByteCount;
    bool operator==(const Flushed&) const = default;
};
struct None {
    bool operator==(const None&) const = default;
};
using Case = std::variant<Buffered, Joined, Rejected, Flushed, None>;
}  // namespace digipro_fragment_transition

// Puts a DigiPRO waveform message back together when an interface delivers it cut into a
// truncated first piece (with its own F7) and continuation messages F0 <next bytes> F7. Fed every
// message of a running receive in arrival order; it holds back the pieces and releases either
// the joined message or, when joining fails, every piece byte for byte.
class DigiPROFramedFragmentAssembler {
public:
    class Transition : public CaseValue<digipro_fragment_transition::Case> {
    public:
        using CaseValue::CaseValue;
        using Buffered = digipro_fragment_transition::Buffered;
        using Joined = digipro_fragment_transition::Joined;
        using Rejected = digipro_fragment_transition::Rejected;
        using Flushed = digipro_fragment_transition::Flushed;
        using None = digipro_fragment_transition::None;
        bool operator==(const Transition&) const = default;
    };

    struct Output {
        std::vector<Bytes> messages;  // to pass on now, in order
        Transition transition = Transition::None{};
        bool operator==(const Output&) const = default;
    };

    Output consume(const Bytes& message);
    // Releases whatever is held, unjoined, as the receive ends.
    Output flush();
    void reset() { pending_.reset(); }
    bool isHolding() const { return pending_.has_value(); }

private:
    struct Pending {
        std::optional<int> position;
        Bytes assembledBody;  // never longer than a frame
        std::vector<Bytes> originalMessages;
        int64_t rawByteCount = 0;
    };

    Output reject(Pending pending, const Bytes& additionalMessage, std::string reason);

    std::optional<Pending> pending_;
};

}  // namespace k7
