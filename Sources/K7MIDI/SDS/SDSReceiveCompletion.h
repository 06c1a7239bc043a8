#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "K7Core/Audio/AudioSample.h"
#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSReceivedDump.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/Bytes.h"
#include "K7MIDI/SDS/SDSReceiveFormat.h"

namespace k7 {

// One dump received completely.
struct SDSReceiveCompletion {
    SDSReceiveFormat format = SDSReceiveFormat::rawSDS;
    SDSDumpHeaderMessage header;
    std::optional<SDSSampleNameMessage> sampleName;
    std::optional<SPS1UWFileNameMessage> sps1UWName;
    // Signed words of the header's significant bits, as sent.
    std::vector<int32_t> samples;
    // The same words scaled to the full signed 32-bit range, one channel.
    std::vector<std::vector<int32_t>> normalizedPCMChannels;
    // For wav and aiff only: one channel at the header's rate and bits, with the header's loop.
    std::optional<AudioSample> audioSample;
    uint16_t nextSamplePosition = 0;
    // The dump's messages byte for byte as received (with the sender's end-of-file when it came
    // within the grace period), and their concatenation.
    std::vector<Bytes> rawMessages;
    Bytes rawData;

    // nil when the format asks for audio and the header's rate is not a whole number of hertz
    // from 1 upward that an audio file can carry.
    static std::optional<SDSReceiveCompletion> make(SDSReceivedDump dump, SDSReceiveFormat format);

    // The rate a header stands for. A classic header carries only the period, cut to whole
    // nanoseconds; a common rate whose period that is wins over the plain reciprocal, so 44100 Hz
    // comes back as 44100, not 44101.
    static std::optional<int> sampleRate(const SDSDumpHeaderMessage& header);
    // The header's sustain loop when it has one inside the sample.
    static std::optional<AudioLoop> loop(const SDSDumpHeaderMessage& header);
};

}  // namespace k7
