#include "K7Core/DigiPRO/DigiPRODecodingError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string DigiPRODecodingError::messageFor(const Case& errorCase) {
    using std::to_string;
    return std::visit(
        Overloaded{
            [](const InvalidLength& e) {
                return "The DigiPRO waveform message is " + to_string(e.actual) + " bytes long, but " +
                       to_string(e.expected) + " bytes were expected.";
            },
            [](const InvalidHeader& e) {
                return "The DigiPRO waveform message has " + hexByte(e.actual) + " at byte " + to_string(e.index) +
                       " where " + hexByte(e.expected) + " belongs, so it is not a Monomachine DigiPRO waveform.";
            },
            [](const InvalidEndByte& e) {
                return "The DigiPRO waveform message ends with " + hexByte(e.actual) + " instead of 0xF7.";
            },
            [](const NonSevenBitByte& e) {
                return "The DigiPRO waveform message holds the byte " + hexByte(e.byte) + " at byte " +
                       to_string(e.index) + ", which is not a MIDI data byte.";
            },
            [](const InvalidPosition& e) {
                return "The DigiPRO waveform message is for position " + to_string(e.position) +
                       ", but waveform positions run from 0 to 63.";
            },
            [](const LengthFieldMismatch& e) {
                return "The DigiPRO waveform message's length field says " + to_string(e.actual) + ", but " +
                       to_string(e.expected) + " was expected.";
            },
            [](const ChecksumMismatch& e) {
                return "The DigiPRO waveform message's checksum is " + to_string(e.stored) + ", but its data add up to " +
                       to_string(e.computed) + "; the waveform was damaged in transfer.";
            },
        },
        errorCase);
}

std::string DigiPRODecodingError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLength& e) {
                return k7::describeCase("invalidLength", {labelled("expected", e.expected), labelled("actual", e.actual)});
            },
            [](const InvalidHeader& e) {
                return k7::describeCase("invalidHeader", {labelled("index", e.index), labelled("expected", e.expected),
                                                          labelled("actual", e.actual)});
            },
            [](const InvalidEndByte& e) { return k7::describeCase("invalidEndByte", {labelled("actual", e.actual)}); },
            [](const NonSevenBitByte& e) {
                return k7::describeCase("nonSevenBitByte", {labelled("index", e.index), labelled("byte", e.byte)});
            },
            [](const InvalidPosition& e) {
                return k7::describeCase("invalidPosition", {labelled("position", e.position)});
            },
            [](const LengthFieldMismatch& e) {
                return k7::describeCase("lengthFieldMismatch",
                                        {labelled("expected", e.expected), labelled("actual", e.actual)});
            },
            [](const ChecksumMismatch& e) {
                return k7::describeCase("checksumMismatch", {labelled("computed", e.computed), labelled("stored", e.stored)});
            },
        },
        errorCase);
}

}  // namespace k7
