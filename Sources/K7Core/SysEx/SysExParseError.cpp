#include "K7Core/SysEx/SysExParseError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string at(std::size_t offset) { return "byte offset " + std::to_string(offset); }
std::string messageNumber(std::size_t index) { return "message " + std::to_string(index + 1); }
}  // namespace

std::string SysExParseError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const UnexpectedStatusByte& e) {
                return "The SysEx data holds the MIDI status byte " + hexByte(e.byte) + " inside a message at " +
                       at(e.offset) + ", so that message is incomplete and was not kept.";
            },
            [](const StrayByte& e) {
                return "The SysEx data holds the byte " + hexByte(e.byte) + " outside any message at " +
                       at(e.offset) + "; only F0…F7 messages and white space may appear in a SysEx file.";
            },
            [](const OversizedMessage& e) {
                return "SysEx " + messageNumber(e.messageIndex) + " starting at " + at(e.offset) +
                       " is longer than the limit of " + std::to_string(e.limit) + " bytes.";
            },
            [](const TooManyMessages& e) {
                return "The SysEx data holds more than " + std::to_string(e.limit) +
                       " messages, more than can be loaded at once.";
            },
            [](const EndWithoutStart& e) {
                return "The SysEx data has an end byte (F7) without a start byte (F0) at " + at(e.offset) + ".";
            },
            [](const NestedStart& e) {
                return "A SysEx message starts at " + at(e.offset) +
                       " before the previous message ended, so the previous message is incomplete.";
            },
            [](const UnterminatedMessage& e) {
                return "SysEx " + messageNumber(e.messageIndex) + " starting at " + at(e.offset) +
                       " has no end byte (F7); its " + std::to_string(e.byteCount) + " bytes are incomplete.";
            },
            [](const UnpreservableByte& e) {
                return "SysEx " + messageNumber(e.messageIndex) + " holds the real-time byte " + hexByte(e.byte) +
                       " at " + at(e.offset) + ", which cannot be kept inside a SysEx message.";
            },
        },
        errorCase);
}

std::string SysExParseError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const UnexpectedStatusByte& e) {
                return k7::describeCase("unexpectedStatusByte", {labelled("byte", e.byte), labelled("offset", e.offset)});
            },
            [](const StrayByte& e) {
                return k7::describeCase("strayByte", {labelled("byte", e.byte), labelled("offset", e.offset)});
            },
            [](const OversizedMessage& e) {
                return k7::describeCase("oversizedMessage", {labelled("messageIndex", e.messageIndex),
                                                             labelled("offset", e.offset), labelled("limit", e.limit)});
            },
            [](const TooManyMessages& e) { return k7::describeCase("tooManyMessages", {labelled("limit", e.limit)}); },
            [](const EndWithoutStart& e) {
                return k7::describeCase("endWithoutStart", {labelled("offset", e.offset)});
            },
            [](const NestedStart& e) { return k7::describeCase("nestedStart", {labelled("offset", e.offset)}); },
            [](const UnterminatedMessage& e) {
                return k7::describeCase("unterminatedMessage",
                                        {labelled("messageIndex", e.messageIndex), labelled("offset", e.offset),
                                         labelled("byteCount", e.byteCount)});
            },
            [](const UnpreservableByte& e) {
                return k7::describeCase("unpreservableByte", {labelled("byte", e.byte),
                                                              labelled("messageIndex", e.messageIndex),
                                                              labelled("offset", e.offset)});
            },
        },
        errorCase);
}

}  // namespace k7
