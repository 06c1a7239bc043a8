#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace audio_codec_error {
struct InputTooLarge {
    std::size_t actual;
    std::size_t maximum;
    bool operator==(const InputTooLarge&) const = default;
};
// Neither RIFF/WAVE nor FORM/AIFF or FORM/AIFC.
struct UnrecognizedFormat {
    bool operator==(const UnrecognizedFormat&) const = default;
};
struct MissingChunk {
    std::string container;  // "WAV", "AIFF" or "AIFC"
    std::string chunk;
    bool operator==(const MissingChunk&) const = default;
};
// A chunk whose declared size runs past the end of the file.
struct ChunkOutOfBounds {
    std::string chunk;
    std::size_t offset;
    std::size_t declaredSize;
    std::size_t available;
    bool operator==(const ChunkOutOfBounds&) const = default;
};
struct MalformedChunk {
    std::string chunk;
    std::string reason;  // a lower-case phrase that completes the sentence
    bool operator==(const MalformedChunk&) const = default;
};
struct UnsupportedFormatTag {
    uint16_t tag;
    bool operator==(const UnsupportedFormatTag&) const = default;
};
struct UnsupportedCompression {
    std::string type;
    bool operator==(const UnsupportedCompression&) const = default;
};
struct UnsupportedBitDepth {
    int bits;
    bool floatingPoint;
    bool operator==(const UnsupportedBitDepth&) const = default;
};
struct UnsupportedChannelCount {
    int count;
    bool operator==(const UnsupportedChannelCount&) const = default;
};
struct NoFrames {
    bool operator==(const NoFrames&) const = default;
};
// The rate as written in the file, rendered as text (it may be infinite or not a number).
struct InvalidSampleRate {
    std::string rate;
    bool operator==(const InvalidSampleRate&) const = default;
};
struct TruncatedSoundData {
    std::size_t announcedFrames;
    std::size_t availableFrames;
    bool operator==(const TruncatedSoundData&) const = default;
};
struct ChannelLengthMismatch {
    std::size_t leftFrames;
    std::size_t rightFrames;
    bool operator==(const ChannelLengthMismatch&) const = default;
};
struct UnsupportedOutputBitDepth {
    std::string container;
    int bits;
    bool operator==(const UnsupportedOutputBitDepth&) const = default;
};
struct OutputTooLarge {
    std::string container;
    std::size_t requiredBytes;
    std::size_t maximum;
    bool operator==(const OutputTooLarge&) const = default;
};
}  // namespace audio_codec_error

using AudioCodecErrorCase =
    std::variant<audio_codec_error::InputTooLarge, audio_codec_error::UnrecognizedFormat,
                 audio_codec_error::MissingChunk, audio_codec_error::ChunkOutOfBounds,
                 audio_codec_error::MalformedChunk, audio_codec_error::UnsupportedFormatTag,
                 audio_codec_error::UnsupportedCompression, audio_codec_error::UnsupportedBitDepth,
                 audio_codec_error::UnsupportedChannelCount, audio_codec_error::NoFrames,
                 audio_codec_error::InvalidSampleRate, audio_codec_error::TruncatedSoundData,
                 audio_codec_error::ChannelLengthMismatch, audio_codec_error::UnsupportedOutputBitDepth,
                 audio_codec_error::OutputTooLarge>;

// Failures of AudioFileDecoder and AudioFileEncoder.
class AudioCodecError : public K7Error<AudioCodecError, AudioCodecErrorCase> {
public:
    using K7Error::K7Error;
    using InputTooLarge = audio_codec_error::InputTooLarge;
    using UnrecognizedFormat = audio_codec_error::UnrecognizedFormat;
    using MissingChunk = audio_codec_error::MissingChunk;
    using ChunkOutOfBounds = audio_codec_error::ChunkOutOfBounds;
    using MalformedChunk = audio_codec_error::MalformedChunk;
    using UnsupportedFormatTag = audio_codec_error::UnsupportedFormatTag;
    using UnsupportedCompression = audio_codec_error::UnsupportedCompression;
    using UnsupportedBitDepth = audio_codec_error::UnsupportedBitDepth;
    using UnsupportedChannelCount = audio_codec_error::UnsupportedChannelCount;
    using NoFrames = audio_codec_error::NoFrames;
    using InvalidSampleRate = audio_codec_error::InvalidSampleRate;
    using TruncatedSoundData = audio_codec_error::TruncatedSoundData;
    using ChannelLengthMismatch = audio_codec_error::ChannelLengthMismatch;
    using UnsupportedOutputBitDepth = audio_codec_error::UnsupportedOutputBitDepth;
    using OutputTooLarge = audio_codec_error::OutputTooLarge;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
