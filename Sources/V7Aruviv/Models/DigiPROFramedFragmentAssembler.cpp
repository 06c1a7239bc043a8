#include "V7Aruviv/Models/DigiPROFramedFragmentAssembler.h"

#include <algorithm>
#include <exception>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "V7Aruviv/Models/DigiPROFragmentShape.h"

namespace k7 {

namespace {

bool isFramed(const Bytes& message) { return message.size() > 2 && message.front() == 0xF0 && message.back() == 0xF7; }

int64_t count(std::size_t value) { return static_cast<int64_t>(value); }

}  // namespace

DigiPROFramedFragmentAssembler::Output DigiPROFramedFragmentAssembler::consume(const Bytes& message) {
    using Shape = DigiPROFragmentShape;
    Output output;
    if (Shape::isDigiPRO(message)) {
        // A new waveform ends whatever was held: those pieces go on unjoined.
        if (pending_) output.messages = std::move(pending_->originalMessages);
        pending_.reset();
        if (message.size() > Shape::frameByteCount) {
            output.messages.push_back(message);
            return output;
        }
        Pending started;
        started.position = Shape::position(message);
        started.assembledBody.assign(message.begin(), message.end() - 1);
        started.originalMessages.push_back(message);
        started.rawByteCount = count(message.size());
        output.transition = Transition::Buffered{started.position, 1, started.rawByteCount,
                                                 count(started.assembledBody.size())};
        pending_ = std::move(started);
        return output;
    }
    // Other traffic passes while a piece waits for its continuation.
    if (!pending_ || Shape::isElektron(message) || Shape::isUniversal(message) || !isFramed(message)) {
        output.messages.push_back(message);
        return output;
    }

    const auto payloadBegin = message.begin() + 1;
    const auto payloadEnd = message.end() - 1;
    if (std::any_of(payloadBegin, payloadEnd, [](uint8_t byte) { return byte >= 0x80; })) {
        return reject(std::move(*std::exchange(pending_, std::nullopt)), message,
                      "continuation was not a seven-bit framed payload");
    }
    const auto payloadSize = static_cast<std::size_t>(payloadEnd - payloadBegin);
    const auto held = pending_->assembledBody.size();
    if (held >= Shape::frameByteCount || payloadSize > Shape::frameByteCount - held) {
        return reject(std::move(*std::exchange(pending_, std::nullopt)), message,
                      "continuation exceeded the fixed DigiPRO frame length");
    }

    Pending& pending = *pending_;
    pending.assembledBody.insert(pending.assembledBody.end(), payloadBegin, payloadEnd);
    pending.originalMessages.push_back(message);
    pending.rawByteCount += count(message.size());
    const int64_t fragments = count(pending.originalMessages.size());
    if (pending.assembledBody.size() < Shape::frameByteCount) {
        const int64_t assembled = count(pending.assembledBody.size());
        output.transition = Transition::Buffered{pending.position, fragments, pending.rawByteCount, assembled};
        return output;
    }

    Pending done = std::move(*std::exchange(pending_, std::nullopt));
    Bytes joined = std::move(done.assembledBody);
    joined.push_back(0xF7);
    try {
        const auto waveform = DigiPROWaveform::decode(joined);
        output.messages.push_back(std::move(joined));
        output.transition = Transition::Joined{waveform.position, fragments, done.rawByteCount};
    } catch (const std::exception& error) {
        output.messages = std::move(done.originalMessages);
        output.transition = Transition::Rejected{done.position, fragments, done.rawByteCount, error.what()};
    }
    return output;
}

DigiPROFramedFragmentAssembler::Output DigiPROFramedFragmentAssembler::reject(Pending pending,
                                                                               const Bytes& additionalMessage,
                                                                               std::string reason) {
    Output output;
    output.transition = Transition::Rejected{pending.position, count(pending.originalMessages.size() + 1),
                                             pending.rawByteCount + count(additionalMessage.size()),
                                             std::move(reason)};
    output.messages = std::move(pending.originalMessages);
    output.messages.push_back(additionalMessage);
    return output;
}

DigiPROFramedFragmentAssembler::Output DigiPROFramedFragmentAssembler::flush() {
    Output output;
    if (!pending_) return output;
    Pending pending = std::move(*std::exchange(pending_, std::nullopt));
    output.transition =
        Transition::Flushed{pending.position, count(pending.originalMessages.size()), pending.rawByteCount};
    output.messages = std::move(pending.originalMessages);
    return output;
}

}  // namespace k7
