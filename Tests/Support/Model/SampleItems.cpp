#include "Support/Model/SampleItems.h"

#include <cmath>
#include <numbers>

#include "K7Core/Audio/AudioFileEncoder.h"
#include "V7Aruviv/Models/TransferSendAnalyzer.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7::testing {

namespace {

TransferItem analysed(TransferItem item, bool hasAudio) {
    const auto analysis = TransferSendAnalyzer::analyze(item.kind, item.data, hasAudio);
    item.sendMethod = analysis.sendMethod;
    item.wireWorkload = analysis.wireWorkload;
    item.digiPROFrames = analysis.digiPROFrames;
    item.messageCount = analysis.messageCount;
    item.byteCount = static_cast<int64_t>(item.data.size());
    return item;
}

}  // namespace

Bytes SampleItems::elektronMessage(uint8_t product, std::size_t payloadBytes, uint8_t seed) {
    Bytes message{0xF0, 0x00, 0x20, 0x3C, product, 0x00};
    for (std::size_t index = 0; index < payloadBytes; ++index) {
        message.push_back(static_cast<uint8_t>((index * 7 + seed) & 0x7F));
    }
    message.push_back(0xF7);
    return message;
}

Bytes SampleItems::genericMessage(std::size_t payloadBytes) {
    Bytes message{0xF0, 0x7E, 0x00};
    for (std::size_t index = 0; index < payloadBytes; ++index) message.push_back(static_cast<uint8_t>(index & 0x7F));
    message.push_back(0xF7);
    return message;
}

TransferItem SampleItems::sysEx(std::string name, const std::vector<Bytes>& messages,
                                std::optional<std::filesystem::path> source) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.sourceURL = std::move(source);
    item.displayName = std::move(name);
    item.kind = TransferItem::Kind::sysEx;
    for (const auto& message : messages) item.data.insert(item.data.end(), message.begin(), message.end());
    item.device = AppModel::device(messages);
    item.detail = std::to_string(messages.size()) + (messages.size() == 1 ? " SysEx message" : " SysEx messages");
    return analysed(std::move(item), false);
}

TransferItem SampleItems::audio(std::string name, TransferItem::Kind kind, double seconds, int sampleRate, int channels,
                                std::optional<std::filesystem::path> source) {
    AudioSample sample;
    sample.sampleRate = sampleRate;
    sample.sourceBitDepth = 16;
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    for (int channel = 0; channel < channels; ++channel) {
        std::vector<int32_t> samples(frames);
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const double phase = 2 * std::numbers::pi * 220.0 * static_cast<double>(frame) / sampleRate;
            samples[frame] = static_cast<int32_t>(std::sin(phase) * 0.5 * 2147483647.0) & ~0xFFFF;
        }
        sample.channels.push_back(std::move(samples));
    }

    TransferItem item;
    item.id = QUuid::createUuid();
    item.sourceURL = std::move(source);
    item.displayName = std::move(name);
    item.kind = kind;
    item.device = TransferItem::Device::notApplicable;
    item.data = kind == TransferItem::Kind::aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(16))
                                                 : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(16));
    item.detail = std::to_string(sampleRate) + " Hz, 16-bit, " + (channels == 1 ? "mono" : "stereo") + ", " +
                  std::to_string(frames) + " frames";
    item.audioSample = std::move(sample);
    return analysed(std::move(item), true);
}

}  // namespace k7::testing
