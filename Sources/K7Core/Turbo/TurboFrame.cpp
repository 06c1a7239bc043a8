#include "K7Core/Turbo/TurboFrame.h"

#include <algorithm>

#include "K7Core/ElektronWire/ElektronMessagePrefixes.h"
#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Core/Turbo/ElektronTurboCommand.h"

namespace k7 {

namespace {
Bytes speedFrame(ElektronTurboCommand command, TurboSpeed speed) {
    Bytes frame(elektronTurboPrefix.begin(), elektronTurboPrefix.end());
    frame.push_back(static_cast<uint8_t>(command));
    frame.push_back(code(speed));
    frame.push_back(sysExEnd);
    return frame;
}
}  // namespace

std::string describe(const TurboMessage& message) {
    return std::visit(Overloaded{
                          [](const turbo_message::Query&) { return std::string("query"); },
                          [](const turbo_message::Response& m) {
                              return describeCase("response", {field("", "." + caseName(m.speed))});
                          },
                          [](const turbo_message::Limit& m) {
                              return describeCase("limit", {field("", "." + caseName(m.speed))});
                          },
                      },
                      message);
}

const Bytes& TurboFrame::query() {
    static const Bytes frame = [] {
        Bytes bytes(elektronTurboPrefix.begin(), elektronTurboPrefix.end());
        bytes.push_back(static_cast<uint8_t>(ElektronTurboCommand::query));
        bytes.push_back(sysExEnd);
        return bytes;
    }();
    return frame;
}

Bytes TurboFrame::response(TurboSpeed speed) { return speedFrame(ElektronTurboCommand::response, speed); }
Bytes TurboFrame::limit(TurboSpeed speed) { return speedFrame(ElektronTurboCommand::limit, speed); }

Bytes TurboFrame::encode(const TurboMessage& message) {
    return std::visit(Overloaded{
                          [](const turbo_message::Query&) { return query(); },
                          [](const turbo_message::Response& m) { return response(m.speed); },
                          [](const turbo_message::Limit& m) { return limit(m.speed); },
                      },
                      message);
}

TurboMessage TurboFrame::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw TurboFrameError(TurboFrameError::InvalidEnvelope{});
    const auto& prefix = elektronTurboPrefix;
    // A frame cut short inside the prefix is still recognisably a Turbo frame of the wrong length.
    const std::size_t compared = std::min(prefix.size(), frame.size() - 1);
    if (!std::equal(prefix.begin(), prefix.begin() + static_cast<std::ptrdiff_t>(compared), frame.begin())) {
        throw TurboFrameError(TurboFrameError::WrongFamily{});
    }
    if (frame.size() < queryByteCount) throw TurboFrameError(TurboFrameError::InvalidLength{queryByteCount, frame.size()});
    const uint8_t commandByte = frame[prefix.size()];
    const auto command = elektronTurboCommandFromByte(commandByte);
    if (!command) throw TurboFrameError(TurboFrameError::UnsupportedCommand{commandByte});

    const std::size_t expected = *command == ElektronTurboCommand::query ? queryByteCount : speedFrameByteCount;
    if (frame.size() != expected) throw TurboFrameError(TurboFrameError::InvalidLength{expected, frame.size()});
    if (*command == ElektronTurboCommand::query) return turbo_message::Query{};

    const uint8_t speedCode = frame[prefix.size() + 1];
    const auto speed = turboSpeedFromCode(speedCode);
    if (!speed) throw TurboFrameError(TurboFrameError::UnknownSpeedCode{speedCode});
    if (*command == ElektronTurboCommand::response) return turbo_message::Response{*speed};
    return turbo_message::Limit{*speed};
}

}  // namespace k7
