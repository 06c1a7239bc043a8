#include <algorithm>
#include <iterator>
#include <span>
#include <variant>

#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "V7Aruviv/Models/DigiPROConversionPlan.h"
#include "V7Aruviv/Models/TransferSendAnalyzer.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {

namespace {

// The new items, or the text of the failure that dropped the whole batch.
using ConversionOutcome = std::variant<std::vector<TransferItem>, std::string>;

// Named after the file the source came from, else after its display name.
std::string convertedName(const TransferItem& source, const char* suffix) {
    const std::filesystem::path file = source.sourceURL.value_or(std::filesystem::path(source.displayName));
    return FileNameParts::baseNameOf(FileNameParts::lastPathComponent(file)) + suffix;
}

// An unsaved SysEx item holding `data`, analysed like an opened file.
TransferItem convertedItem(std::string displayName, Bytes data, TransferItem::Device device, std::string detail) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = std::move(displayName);
    item.byteCount = static_cast<int64_t>(data.size());
    item.kind = TransferItem::Kind::sysEx;
    item.device = device;
    auto analysis = TransferSendAnalyzer::analyze(TransferItem::Kind::sysEx, data, false);
    item.data = std::move(data);
    item.detail = std::move(detail);
    item.sendMethod = std::move(analysis.sendMethod);
    item.wireWorkload = std::move(analysis.wireWorkload);
    item.digiPROFrames = std::move(analysis.digiPROFrames);
    item.messageCount = analysis.messageCount;
    return item;
}

// One cycle to render: the loop's frames when the loop is used, else every sample. A loop whose
// end lies beyond the samples is cut at the last sample; one starting beyond them is not used.
std::span<const int32_t> digiPROCycle(const std::vector<int32_t>& mono, const AudioSample& audio,
                                      TransferItem::LoopMode mode) {
    if (mode == TransferItem::LoopMode::forceOff || !audio.loop) return mono;
    const auto loop = *audio.loop;
    if (loop.start > loop.end || loop.start >= mono.size()) return mono;
    const std::size_t last = std::min(loop.end, mono.size() - 1);
    return std::span<const int32_t>(mono).subspan(loop.start, last - loop.start + 1);
}

std::vector<TransferItem> renderDigiPRO(const std::vector<TransferItem>& sources, int64_t startingPosition) {
    std::vector<TransferItem> made;
    for (std::size_t index = 0; index < sources.size(); ++index) {
        const TransferItem& source = sources[index];
        const int64_t position = startingPosition + static_cast<int64_t>(index);
        if (!source.audioSample) throw AppModelError(AppModelError::MissingAudioPayload{source.displayName});
        const auto mono = source.audioSample->mono(audioChannelSelection(source.stereoMode));
        const auto cycle = digiPROCycle(mono, *source.audioSample, source.loopMode);
        Bytes message = DigiPROEncoder::encode(cycle, static_cast<int>(position),
                                               SPS1UWFileName::normalizing(source.displayName));
        made.push_back(convertedItem(
            convertedName(source, "-DigiPRO.syx"), std::move(message), TransferItem::Device::monomachine,
            "DigiPRO waveform for Monomachine position " + std::to_string(position) + ", rendered from " +
                std::to_string(cycle.size()) +
                " samples with the recovered K7 FFT, spectral remap, coefficient table, and truncation rules."));
    }
    return made;
}

}  // namespace

void AppModel::convertSelectedToDigiPRO() {
    if (configurationLocked()) return;
    auto sources = selectedItems();
    const auto plan = DigiPROConversionPlan::make(sources, samplePosition_);
    if (!plan) {
        setAlertMessage("Select one or more WAV or AIFF items to convert to DigiPRO.");
        return;
    }
    if (plan->warning) {
        setAlertMessage(*plan->warning);
        return;
    }

    files_.conversionGeneration += 1;
    const uint64_t generation = files_.conversionGeneration;
    setIsConverting(true);
    setOverallProgress(0);
    setStatusText("Creating DigiPRO\u2026");

    conversionQueue_->post([this, sources = std::move(sources), first = plan->startingPosition,
                            last = plan->endingPosition, generation, toMain = mainThreadPoster()] {
        ConversionOutcome outcome;
        try {
            outcome = renderDigiPRO(sources, first);
        } catch (const std::exception& error) {
            outcome = std::string(error.what());
        }
        toMain([this, outcome = std::move(outcome), first, last, generation]() mutable {
            if (!isConverting_ || files_.conversionGeneration != generation) return;
            setIsConverting(false);
            if (const auto* failure = std::get_if<std::string>(&outcome)) {
                setStatusText("DigiPRO creation failed");
                setAlertMessage(*failure);
                return;
            }
            auto& made = std::get<std::vector<TransferItem>>(outcome);
            std::set<QUuid> selection;
            for (const auto& item : made) selection.insert(item.id);
            editItems([&made](std::vector<TransferItem>& list) {
                list.insert(list.end(), std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
            });
            setSelection(std::move(selection));
            setOverallProgress(1.0);
            if (made.size() == 1) {
                setStatusText("Created DigiPRO file for position " + std::to_string(first) +
                              " \u2014 press Send to transfer");
            } else {
                setStatusText("Created " + std::to_string(made.size()) + " DigiPRO files for positions " +
                              std::to_string(first) + "\u2013" + std::to_string(last) +
                              " \u2014 press Send to transfer");
            }
        });
    });
}

void AppModel::convertSelectedToSDS() {
    if (configurationLocked()) return;
    const auto source = selectedItem();
    if (!source || !source->audioSample) {
        setAlertMessage("Select one WAV or AIFF item to convert to SDS.");
        return;
    }
    const auto position = static_cast<uint16_t>(std::clamp<int64_t>(samplePosition_, 0, 16383));
    const SendOptions options = SendOptions::from(preferences_);

    files_.conversionGeneration += 1;
    const uint64_t generation = files_.conversionGeneration;
    setIsConverting(true);
    setOverallProgress(0);
    setStatusText("Creating SDS\u2026");

    conversionQueue_->post([this, source = *source, position, options, generation, toMain = mainThreadPoster()] {
        ConversionOutcome outcome;
        try {
            // Always the open-loop form: a later send of the file applies the Handshake setting then.
            Bytes data = encodeSDSFile(prepareSDSTransfer(source, position, options, SDSTransferMode::openLoop));
            const std::string detail = std::string(options.useExtendedSDS ? "Extended SDS" : "SDS") +
                                       " SysEx for sample position " + std::to_string(position) +
                                       "; Send uses the current Handshake setting.";
            const auto device =
                options.sendSPS1UWName ? TransferItem::Device::machinedrum : TransferItem::Device::unknown;
            outcome = std::vector<TransferItem>{convertedItem(convertedName(source, "-SDS.syx"), std::move(data),
                                                              device, detail)};
        } catch (const std::exception& error) {
            outcome = std::string(error.what());
        }
        toMain([this, outcome = std::move(outcome), generation]() mutable {
            if (!isConverting_ || files_.conversionGeneration != generation) return;
            setIsConverting(false);
            if (const auto* failure = std::get_if<std::string>(&outcome)) {
                setStatusText("SDS creation failed");
                setAlertMessage(*failure);
                return;
            }
            auto& made = std::get<std::vector<TransferItem>>(outcome).front();
            const QUuid id = made.id;
            editItems([&made](std::vector<TransferItem>& list) { list.push_back(std::move(made)); });
            setSelection({id});
            setOverallProgress(1.0);
            setStatusText("Created SDS SysEx");
        });
    });
}

}  // namespace k7
