#include "V7Aruviv/Models/DigiPROFinalFragmentConsolidator.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "V7Aruviv/Models/DigiPROFragmentShape.h"

namespace k7 {

namespace {

using Shape = DigiPROFragmentShape;
using Join = DigiPROFinalFragmentConsolidator::Join;

struct Match {
    std::size_t begin;  // the replaced run [begin, end)
    std::size_t end;
    Bytes joined;
    Join join;
};

// The bytes a framed message carries, unless it is a waveform message itself. Unlike the live
// assembler, other Elektron and universal messages count too: by now only lengths can tell.
std::optional<ByteView> continuationPayload(const Bytes& message) {
    if (message.size() < 3 || message.front() != 0xF0 || message.back() != 0xF7 || Shape::isDigiPRO(message)) {
        return std::nullopt;
    }
    const ByteView payload = ByteView(message).subspan(1, message.size() - 2);
    if (std::any_of(payload.begin(), payload.end(), [](uint8_t byte) { return byte >= 0x80; })) return std::nullopt;
    return payload;
}

std::optional<std::pair<Bytes, int>> joinedAndValidated(const Bytes& partial, std::span<const Bytes> continuations) {
    Bytes joined(partial.begin(), partial.end() - 1);
    for (const Bytes& continuation : continuations) {
        const auto payload = continuationPayload(continuation);
        if (!payload) return std::nullopt;
        joined.insert(joined.end(), payload->begin(), payload->end());
    }
    joined.push_back(0xF7);
    if (joined.size() != Shape::messageByteCount) return std::nullopt;
    try {
        const int position = DigiPROWaveform::decode(joined).position;
        return std::pair{std::move(joined), position};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The continuations are messages [first, last] of the list; the walk stops as soon as their
// payloads cover the missing bytes, and fails when they overshoot or one carries no payload.
std::optional<Match> match(const std::vector<Bytes>& messages, std::size_t partialIndex, bool forwards) {
    const Bytes& partial = messages[partialIndex];
    if (partial.size() >= Shape::messageByteCount) return std::nullopt;
    const std::size_t needed = Shape::messageByteCount - partial.size();
    std::size_t sum = 0;
    std::size_t j = partialIndex;
    while (sum < needed) {
        if (forwards ? j + 1 >= messages.size() : j == 0) return std::nullopt;
        j = forwards ? j + 1 : j - 1;
        const auto payload = continuationPayload(messages[j]);
        if (!payload) return std::nullopt;
        sum += payload->size();
    }
    if (sum != needed) return std::nullopt;

    const std::size_t first = forwards ? partialIndex + 1 : j;
    const std::size_t last = forwards ? j : partialIndex - 1;
    const std::span<const Bytes> continuations(messages.data() + first, last - first + 1);
    auto joined = joinedAndValidated(partial, continuations);
    if (!joined) return std::nullopt;
    int64_t rawByteCount = static_cast<int64_t>(partial.size());
    for (const Bytes& continuation : continuations) rawByteCount += static_cast<int64_t>(continuation.size());
    const std::size_t begin = forwards ? partialIndex : j;
    const std::size_t end = (forwards ? j : partialIndex) + 1;
    return Match{begin, end, std::move(joined->first),
                 Join{joined->second, static_cast<int64_t>(end - begin), rawByteCount}};
}

}  // namespace

DigiPROFinalFragmentConsolidator::Output DigiPROFinalFragmentConsolidator::consolidate(std::vector<Bytes> messages) {
    Output output;
    std::size_t i = 0;
    while (i < messages.size()) {
        if (messages[i].size() >= Shape::messageByteCount || !Shape::isDigiPRO(messages[i])) {
            ++i;
            continue;
        }
        auto found = match(messages, i, false);
        if (!found) found = match(messages, i, true);
        if (!found) {
            ++i;
            continue;
        }
        messages.erase(messages.begin() + static_cast<std::ptrdiff_t>(found->begin) + 1,
                       messages.begin() + static_cast<std::ptrdiff_t>(found->end));
        messages[found->begin] = std::move(found->joined);
        output.joins.push_back(found->join);
        i = found->begin + 1;
    }
    output.messages = std::move(messages);
    return output;
}

}  // namespace k7
