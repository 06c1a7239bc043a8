#include "K7Core/SDS/SDSError.h"

#include <charconv>
#include <cmath>

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
// Shortest round-trip text, with ".0" on whole numbers so a rate reads as a rate.
std::string doubleText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}
}  // namespace

std::string SDSError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const ValueOutOfRange& e) {
                return "The SDS field " + e.field + " has the value " + std::to_string(e.value) +
                       ", outside what the Sample Dump Standard can carry (at most " + std::to_string(e.maximum) +
                       ").";
            },
            [](const InvalidSampleRate& e) {
                return "The sample rate " + doubleText(e.sampleRate) + " Hz cannot be written into an SDS header.";
            },
            [](const InvalidLength& e) {
                return "The SDS " + e.message + " is " + std::to_string(e.actual) + " bytes long, but " +
                       std::to_string(e.expected) + " bytes were expected.";
            },
            [](const InvalidEnvelope&) {
                return std::string("The SDS message is not a complete SysEx message of MIDI data bytes.");
            },
            [](const UnexpectedMessage& e) {
                return "The SysEx message is not an SDS " + e.expected + ".";
            },
            [](const UnknownControlCode& e) {
                return "The SDS message carries the unknown handshake code " + hexByte(e.code) + ".";
            },
            [](const NonASCIIName& e) {
                return "The SDS sample name holds the byte " + hexByte(e.byte) + " at position " +
                       std::to_string(e.index + 1) + ", which is not an ASCII character.";
            },
            [](const SampleCountMismatch& e) {
                return "The SDS header announces " + std::to_string(e.announced) + " sample words, but " +
                       std::to_string(e.actual) + " were given.";
            },
            [](const SampleOutOfRange& e) {
                return "Sample word " + std::to_string(e.index) + " has the value " + std::to_string(e.value) +
                       ", which does not fit in " + std::to_string(e.significantBits) + " significant bits.";
            },
            [](const SampleNameMismatch& e) {
                return "The SDS sample-name message names device " + std::to_string(e.deviceID) + ", sample " +
                       std::to_string(e.sampleNumber) + ", which is not the dump it belongs to.";
            },
            [](const InvalidPreambleMessage& e) {
                return "Message " + std::to_string(e.index + 1) +
                       " to be sent before the SDS dump is not a complete SysEx message of MIDI data bytes.";
            },
            [](const ChecksumMismatch& e) {
                return "SDS data packet " + std::to_string(e.packetNumber) + " has the checksum " +
                       hexByte(e.actual) + " instead of " + hexByte(e.expected) + "; its data is damaged.";
            },
            [](const PacketOutOfSequence& e) {
                return "SDS data packet " + std::to_string(e.actual) + " arrived where packet " +
                       std::to_string(e.expected) + " was expected, so sample data is missing.";
            },
            [](const TooManySampleWords& e) {
                return "The SDS header announces " + std::to_string(e.announced) +
                       " sample words, more than the " + std::to_string(e.maximum) + " that can be received.";
            },
        },
        errorCase);
}

std::string SDSError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const ValueOutOfRange& e) {
                return k7::describeCase("valueOutOfRange", {labelled("field", e.field), labelled("value", e.value),
                                                            labelled("maximum", e.maximum)});
            },
            [](const InvalidSampleRate& e) {
                return k7::describeCase("invalidSampleRate", {field("sampleRate", doubleText(e.sampleRate))});
            },
            [](const InvalidLength& e) {
                return k7::describeCase("invalidLength", {labelled("message", e.message),
                                                          labelled("expected", e.expected),
                                                          labelled("actual", e.actual)});
            },
            [](const InvalidEnvelope&) { return k7::describeCase("invalidEnvelope"); },
            [](const UnexpectedMessage& e) {
                return k7::describeCase("unexpectedMessage", {labelled("expected", e.expected)});
            },
            [](const UnknownControlCode& e) {
                return k7::describeCase("unknownControlCode", {labelled("", e.code)});
            },
            [](const NonASCIIName& e) {
                return k7::describeCase("nonASCIIName", {labelled("index", e.index), labelled("byte", e.byte)});
            },
            [](const SampleCountMismatch& e) {
                return k7::describeCase("sampleCountMismatch",
                                        {labelled("announced", e.announced), labelled("actual", e.actual)});
            },
            [](const SampleOutOfRange& e) {
                return k7::describeCase("sampleOutOfRange", {labelled("index", e.index), labelled("value", e.value),
                                                             labelled("significantBits", e.significantBits)});
            },
            [](const SampleNameMismatch& e) {
                return k7::describeCase("sampleNameMismatch",
                                        {labelled("deviceID", e.deviceID), labelled("sampleNumber", e.sampleNumber)});
            },
            [](const InvalidPreambleMessage& e) {
                return k7::describeCase("invalidPreambleMessage", {labelled("index", e.index)});
            },
            [](const ChecksumMismatch& e) {
                return k7::describeCase("checksumMismatch", {labelled("packetNumber", e.packetNumber),
                                                             labelled("expected", e.expected),
                                                             labelled("actual", e.actual)});
            },
            [](const PacketOutOfSequence& e) {
                return k7::describeCase("packetOutOfSequence",
                                        {labelled("expected", e.expected), labelled("actual", e.actual)});
            },
            [](const TooManySampleWords& e) {
                return k7::describeCase("tooManySampleWords",
                                        {labelled("announced", e.announced), labelled("maximum", e.maximum)});
            },
        },
        errorCase);
}

}  // namespace k7
