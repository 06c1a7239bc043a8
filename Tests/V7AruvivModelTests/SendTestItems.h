#pragma once

// File-list items as an import makes them, for the send tests.

#include <cstdint>
#include <string>
#include <vector>

#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "ModelTestSupport.h"
#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Models/TransferSendAnalyzer.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::test {

// The model error that `call` throws; nothing when it returns.
template <typename Call>
std::optional<AppModelError> modelError(Call call) {
    try {
        call();
    } catch (const AppModelError& error) {
        return error;
    }
    return std::nullopt;
}

inline TransferItem analysedItem(unsigned id, std::string name, TransferItem::Kind kind, Bytes data,
                                 std::optional<AudioSample> audio = std::nullopt) {
    TransferItem item;
    item.id = uuid(id);
    item.sourceURL = "/music/" + name;
    item.displayName = std::move(name);
    item.kind = kind;
    item.byteCount = static_cast<int64_t>(data.size());
    item.audioSample = std::move(audio);
    const auto analysis = TransferSendAnalyzer::analyze(kind, data, item.audioSample.has_value());
    item.sendMethod = analysis.sendMethod;
    item.wireWorkload = analysis.wireWorkload;
    item.digiPROFrames = analysis.digiPROFrames;
    item.messageCount = analysis.messageCount;
    item.data = std::move(data);
    return item;
}

inline TransferItem sysExItem(unsigned id, std::string name, const std::vector<Bytes>& messages) {
    return analysedItem(id, std::move(name), TransferItem::Kind::sysEx, SysExFileCodec::join(messages));
}

// A WAV file written at `bitDepth` and decoded again, as the importer would hold it.
inline TransferItem wavItem(unsigned id, std::string name, const AudioSample& source, int bitDepth = 16) {
    Bytes file = AudioFileEncoder::wav(source, AudioFileEncoder::WAVEncoding::integerPCM(bitDepth));
    AudioSample decoded = AudioFileDecoder::decode(file);
    return analysedItem(id, std::move(name), TransferItem::Kind::wav, std::move(file), std::move(decoded));
}

// Full-scale channels from 16-bit values.
inline AudioSample sixteenBitAudio(const std::vector<std::vector<int16_t>>& channels, int sampleRate = 44100) {
    AudioSample audio;
    audio.sampleRate = sampleRate;
    audio.sourceBitDepth = 16;
    for (const auto& channel : channels) {
        std::vector<int32_t> full;
        for (int16_t value : channel) full.push_back(int32_t{value} * 65536);
        audio.channels.push_back(std::move(full));
    }
    return audio;
}

// A stereo 16-bit signal whose left and right differ, with odd and negative sums.
inline AudioSample stereoSignal(std::size_t frames, int seed) {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto k = static_cast<int>(i);
        left.push_back(static_cast<int16_t>(((k * 733 + seed * 97) % 65536) - 32768));
        right.push_back(static_cast<int16_t>(((k * 389 + seed * 13 + 5) % 65536) - 32768));
    }
    return sixteenBitAudio({left, right});
}

// The 16-bit words of a stereo 16-bit signal mixed to mono: the mean, truncated toward zero.
inline std::vector<int32_t> monoMixWords(const AudioSample& sixteenBitStereo) {
    std::vector<int32_t> words;
    for (std::size_t i = 0; i < sixteenBitStereo.frameCount(); ++i) {
        const int32_t left = sixteenBitStereo.channels[0][i] / 65536;
        const int32_t right = sixteenBitStereo.channels[1][i] / 65536;
        words.push_back((left + right) / 2);
    }
    return words;
}

}  // namespace k7::test
