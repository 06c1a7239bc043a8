// What an audio item becomes for an SDS send or an SDS file. Pure functions of their arguments,
// safe on any queue.
#include <QString>
#include <algorithm>
#include <string_view>
#include <variant>

#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/SDSSendConfiguration.h"
#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {

namespace {

constexpr int minimumSignificantBits = 8;
constexpr int maximumSignificantBits = 28;
constexpr std::size_t maximumSPS1UWPosition = 127;
// Header, preamble and name messages and an end-of-file message: the frames around the packets.
constexpr int64_t encodingRoundMargin = 16;

struct ResolvedLoop {
    uint64_t start = 0;
    uint64_t end = 0;
    uint8_t type = 0x7F;  // off
};

ResolvedLoop resolvedLoop(const AudioSample& audio, TransferItem::LoopMode mode) {
    const auto loop = audio.resolvedLoop(audioLoopSelection(mode));
    if (!loop) return {};
    return {loop->start, loop->end, 0x00};  // forward
}

std::string_view lastPathComponent(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

AudioSDSEnvelope AppModel::makeAudioSDSEnvelope(const TransferItem& item, uint16_t position,
                                                const SendOptions& options) {
    if (!item.audioSample) throw AppModelError(AppModelError::AudioConversionPending{});
    const AudioSample& audio = *item.audioSample;
    const auto bits =
        static_cast<uint8_t>(std::clamp(audio.sourceBitDepth, minimumSignificantBits, maximumSignificantBits));
    const ResolvedLoop loop = resolvedLoop(audio, item.loopMode);
    const std::size_t frames = audio.frameCount();

    std::optional<SDSDumpHeaderMessage> header;
    std::optional<SDSSampleNameMessage> sampleName;
    if (options.useExtendedSDS) {
        header = SDSExtendedDumpHeader(options.deviceNumber, position, bits, static_cast<double>(audio.sampleRate),
                                       frames, loop.start, loop.end, loop.type, 1);
        sampleName = SDSSampleNameMessage(options.deviceNumber, position, sdsASCIIName(item.displayName));
    } else {
        // The classic header's length is a 21-bit field; beyond it only the friendly text helps.
        if (frames > SDSDumpHeader::maximumWordField) throw AppModelError(AppModelError::AudioTooLarge{});
        header = SDSDumpHeader(options.deviceNumber, position, bits, static_cast<double>(audio.sampleRate),
                               static_cast<uint32_t>(frames), static_cast<uint32_t>(loop.start),
                               static_cast<uint32_t>(loop.end), loop.type);
    }

    std::vector<Bytes> preamble;
    if (options.sendSPS1UWName) {
        if (position > maximumSPS1UWPosition) {
            throw AppModelError(AppModelError::SPS1UWPositionOutOfRange{position});
        }
        // Device 0 whatever the SDS device number: the instrument takes its slot from the header.
        const SPS1UWFileNameMessage name(0, static_cast<uint8_t>(position),
                                         SPS1UWFileName::normalizing(item.displayName));
        preamble.push_back(name.encode());
    }

    return AudioSDSEnvelope{*header, std::move(sampleName), std::move(preamble), bits, static_cast<int64_t>(frames)};
}

PreparedSDSTransfer AppModel::prepareSDSTransfer(const TransferItem& item, uint16_t position,
                                                 const SendOptions& options,
                                                 std::optional<SDSTransferMode> modeOverride) {
    const AudioSDSEnvelope envelope = makeAudioSDSEnvelope(item, position, options);
    if (!item.audioSample) throw AppModelError(AppModelError::AudioConversionPending{});

    std::vector<int32_t> words = item.audioSample->mono(audioChannelSelection(item.stereoMode));
    const int64_t divisor = int64_t{1} << (32 - envelope.significantBits);
    // Integer division truncates toward zero, as the words must: -1.5 steps become -1, not -2.
    for (int32_t& word : words) word = static_cast<int32_t>(word / divisor);

    return PreparedSDSTransfer{SDSSenderStateMachine(envelope.header, words, envelope.sampleName,
                                                     envelope.supplementalPreambleMessages,
                                                     sdsSendConfiguration(options, modeOverride))};
}

std::string AppModel::sdsASCIIName(const std::string& displayName) {
    const std::string stem = FileNameParts::baseNameOf(lastPathComponent(displayName));
    const QList<uint> scalars =
        QString::fromUtf8(stem.data(), static_cast<qsizetype>(stem.size())).toUcs4();
    std::string name;
    for (qsizetype index = 0; index < scalars.size() && name.size() < SDSSampleNameMessage::maximumNameByteCount;
         ++index) {
        const uint scalar = scalars[index];
        name.push_back(scalar >= 0x20 && scalar <= 0x7E ? static_cast<char>(scalar) : '_');
    }
    return name;
}

Bytes AppModel::encodeSDSFile(const PreparedSDSTransfer& transfer) {
    const AppModelError failure(AppModelError::SDSFileEncodingFailed{});
    if (transfer.sender.configuration().mode != SDSTransferMode::openLoop) throw failure;

    // Open loop asks for one timer per message after the first; each is answered at once.
    SDSSenderStateMachine sender = transfer.sender;
    const int64_t packets =
        SDSSamplePacking::packetCount(sender.totalSampleWords(), sender.header().significantBits());
    const int64_t maximumRounds = packets + encodingRoundMargin;

    Bytes output;
    bool completed = false;
    std::vector<SDSSenderAction> current = sender.handle(sds_sender_event::Start{});
    for (int64_t round = 0; !current.empty(); ++round) {
        if (round >= maximumRounds) throw failure;
        std::vector<SDSSenderAction> next;
        for (const SDSSenderAction& action : current) {
            if (const auto* send = std::get_if<sds_sender_action::Send>(&action)) {
                output.insert(output.end(), send->message.begin(), send->message.end());
            } else if (const auto* timer = std::get_if<sds_sender_action::ScheduleTimeout>(&action)) {
                auto answered = sender.handle(sds_sender_event::Timeout{timer->id});
                next.insert(next.end(), std::make_move_iterator(answered.begin()),
                            std::make_move_iterator(answered.end()));
            } else if (std::holds_alternative<sds_sender_action::Completed>(action)) {
                completed = true;
            } else if (std::holds_alternative<sds_sender_action::Failed>(action)) {
                throw failure;
            }
        }
        current = std::move(next);
    }
    if (!completed || output.empty()) throw failure;
    return output;
}

}  // namespace k7
