#include "K7Core/Audio/AudioCodecError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string quoted(const std::string& text) { return "\"" + text + "\""; }
std::string bytesText(std::size_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }
}  // namespace

std::string AudioCodecError::messageFor(const Case& errorCase) {
    using std::to_string;
    return std::visit(
        Overloaded{
            [](const InputTooLarge& e) {
                return "The audio file is " + bytesText(e.actual) + " long, more than the " + bytesText(e.maximum) +
                       " that can be read.";
            },
            [](const UnrecognizedFormat&) {
                return std::string("The file is not a WAV, AIFF or AIFC audio file.");
            },
            [](const MissingChunk& e) {
                return "The " + e.container + " file has no " + quoted(e.chunk) +
                       " chunk, so its audio cannot be read.";
            },
            [](const ChunkOutOfBounds& e) {
                return "The " + quoted(e.chunk) + " chunk at byte " + to_string(e.offset) + " claims " +
                       bytesText(e.declaredSize) + ", but only " + bytesText(e.available) +
                       " follow it; the file is truncated or damaged.";
            },
            [](const MalformedChunk& e) {
                return "The " + quoted(e.chunk) + " chunk is damaged: " + e.reason + ".";
            },
            [](const UnsupportedFormatTag& e) {
                return "The WAV file uses the sample format " + to_string(e.tag) +
                       "; only PCM and IEEE floating-point WAV files can be read.";
            },
            [](const UnsupportedCompression& e) {
                return "The AIFC file is compressed with " + quoted(e.type) +
                       "; only uncompressed AIFC files can be read. Convert it to uncompressed PCM first.";
            },
            [](const UnsupportedBitDepth& e) {
                if (e.floatingPoint) {
                    return "The audio file stores " + to_string(e.bits) +
                           "-bit floating-point samples; only 32-bit and 64-bit floating-point samples can be read.";
                }
                return "The audio file stores " + to_string(e.bits) +
                       "-bit samples; only integer samples of 1 to 32 bits can be read.";
            },
            [](const UnsupportedChannelCount& e) {
                if (e.count < 1) return std::string("The audio file declares no channels.");
                return "The audio file has " + to_string(e.count) + " channels; only mono and stereo files can be used.";
            },
            [](const NoFrames&) { return std::string("The audio file holds no sample frames."); },
            [](const InvalidSampleRate& e) {
                return "The audio file gives the sample rate " + e.rate +
                       " Hz; it must be a positive number no greater than 2147483647 Hz.";
            },
            [](const TruncatedSoundData& e) {
                return "The audio file announces " + to_string(e.announcedFrames) +
                       " sample frames, but its sound data holds only " + to_string(e.availableFrames) +
                       "; the file is truncated.";
            },
            [](const ChannelLengthMismatch& e) {
                return "The left channel has " + to_string(e.leftFrames) + " frames and the right channel " +
                       to_string(e.rightFrames) + "; both channels of a stereo sample must be equally long.";
            },
            [](const UnsupportedOutputBitDepth& e) {
                if (e.container == "WAV") {
                    return "WAV files can be written with 8, 16, 24 or 32 bits, not " + to_string(e.bits) + ".";
                }
                return e.container + " files can be written with 1 to 32 bits, not " + to_string(e.bits) + ".";
            },
            [](const OutputTooLarge& e) {
                return "The audio is too long for one " + e.container + " file: it needs " +
                       bytesText(e.requiredBytes) + ", more than the " + bytesText(e.maximum) + " the format can hold.";
            },
        },
        errorCase);
}

std::string AudioCodecError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InputTooLarge& e) {
                return k7::describeCase("inputTooLarge", {labelled("actual", e.actual), labelled("maximum", e.maximum)});
            },
            [](const UnrecognizedFormat&) { return k7::describeCase("unrecognizedFormat"); },
            [](const MissingChunk& e) {
                return k7::describeCase("missingChunk",
                                        {labelled("container", e.container), labelled("chunk", e.chunk)});
            },
            [](const ChunkOutOfBounds& e) {
                return k7::describeCase("chunkOutOfBounds",
                                        {labelled("chunk", e.chunk), labelled("offset", e.offset),
                                         labelled("declaredSize", e.declaredSize), labelled("available", e.available)});
            },
            [](const MalformedChunk& e) {
                return k7::describeCase("malformedChunk", {labelled("chunk", e.chunk), labelled("reason", e.reason)});
            },
            [](const UnsupportedFormatTag& e) {
                return k7::describeCase("unsupportedFormatTag", {labelled("tag", e.tag)});
            },
            [](const UnsupportedCompression& e) {
                return k7::describeCase("unsupportedCompression", {labelled("type", e.type)});
            },
            [](const UnsupportedBitDepth& e) {
                return k7::describeCase("unsupportedBitDepth",
                                        {labelled("bits", e.bits), labelled("floatingPoint", e.floatingPoint)});
            },
            [](const UnsupportedChannelCount& e) {
                return k7::describeCase("unsupportedChannelCount", {labelled("count", e.count)});
            },
            [](const NoFrames&) { return k7::describeCase("noFrames"); },
            [](const InvalidSampleRate& e) {
                return k7::describeCase("invalidSampleRate", {labelled("rate", e.rate)});
            },
            [](const TruncatedSoundData& e) {
                return k7::describeCase("truncatedSoundData", {labelled("announcedFrames", e.announcedFrames),
                                                               labelled("availableFrames", e.availableFrames)});
            },
            [](const ChannelLengthMismatch& e) {
                return k7::describeCase("channelLengthMismatch",
                                        {labelled("leftFrames", e.leftFrames), labelled("rightFrames", e.rightFrames)});
            },
            [](const UnsupportedOutputBitDepth& e) {
                return k7::describeCase("unsupportedOutputBitDepth",
                                        {labelled("container", e.container), labelled("bits", e.bits)});
            },
            [](const OutputTooLarge& e) {
                return k7::describeCase("outputTooLarge", {labelled("container", e.container),
                                                           labelled("requiredBytes", e.requiredBytes),
                                                           labelled("maximum", e.maximum)});
            },
        },
        errorCase);
}

}  // namespace k7
