#include "V7Aruviv/Models/TransferItem.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"
#include "V7Aruviv/Models/DigiPROPresentation.h"

namespace k7 {

namespace {

constexpr std::array<std::string_view, 5> kindRawValues{"SysEx", "WAV", "AIFF", "K7", "-"};
constexpr std::array<std::string_view, 10> deviceRawValues{
    "\u2014", "Unknown", "Multiple", "SIDstation", "Machinedrum", "Monomachine", "Octatrack", "Analog Four",
    "Analog Rytm", "TM-1"};
constexpr std::array<std::string_view, 3> loopModeRawValues{"Loop:File", "Loop On", "Loop Off"};
constexpr std::array<std::string_view, 3> stereoModeRawValues{"L + R", "Left", "Right"};

bool isAudioKind(TransferItem::Kind kind) {
    return kind == TransferItem::Kind::wav || kind == TransferItem::Kind::aiff;
}

template <typename Enumeration, std::size_t N>
std::optional<Enumeration> fromRawValue(const std::array<std::string_view, N>& rawValues, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (rawValues[i] == text) return static_cast<Enumeration>(i);
    }
    return std::nullopt;
}

}  // namespace

std::string_view rawValue(TransferItem::Kind kind) { return kindRawValues[static_cast<std::size_t>(kind)]; }
std::string_view rawValue(TransferItem::Device device) { return deviceRawValues[static_cast<std::size_t>(device)]; }
std::string_view rawValue(TransferItem::LoopMode mode) { return loopModeRawValues[static_cast<std::size_t>(mode)]; }
std::string_view rawValue(TransferItem::StereoMode mode) {
    return stereoModeRawValues[static_cast<std::size_t>(mode)];
}

std::optional<TransferItem::Kind> transferItemKindFromRawValue(std::string_view text) {
    return fromRawValue<TransferItem::Kind>(kindRawValues, text);
}
std::optional<TransferItem::Device> transferItemDeviceFromRawValue(std::string_view text) {
    return fromRawValue<TransferItem::Device>(deviceRawValues, text);
}
std::optional<TransferItem::LoopMode> loopModeFromRawValue(std::string_view text) {
    return fromRawValue<TransferItem::LoopMode>(loopModeRawValues, text);
}
std::optional<TransferItem::StereoMode> stereoModeFromRawValue(std::string_view text) {
    return fromRawValue<TransferItem::StereoMode>(stereoModeRawValues, text);
}

std::string TransferItem::State::describe() const {
    return std::visit(Overloaded{
                          [](const Failed& s) { return describeCase("failed", {labelled("", s.reason)}); },
                          [](const Ready&) { return describeCase("ready"); },
                          [](const Sending&) { return describeCase("sending"); },
                          [](const Submitted&) { return describeCase("submitted"); },
                          [](const Received&) { return describeCase("received"); },
                          [](const Cancelled&) { return describeCase("cancelled"); },
                      },
                      value());
}

bool TransferItem::isAudio() const { return isAudioKind(kind); }

std::string TransferItem::fileInfoDetail() const {
    if (const auto digiPRO = DigiPROPresentation::fileInfo(digiPROFrames)) return *digiPRO + ". " + detail;
    if (const auto reason = sendMethod.invalidReason(); reason && detail.find(*reason) == std::string::npos) {
        return *reason + " " + detail;
    }
    return detail;
}

}  // namespace k7

namespace k7 {

AudioLoopSelection audioLoopSelection(TransferItem::LoopMode mode) {
    switch (mode) {
        case TransferItem::LoopMode::file: return AudioLoopSelection::sourceFile;
        case TransferItem::LoopMode::forceOn: return AudioLoopSelection::forceOn;
        case TransferItem::LoopMode::forceOff: return AudioLoopSelection::forceOff;
    }
    return AudioLoopSelection::sourceFile;
}

AudioChannelSelection audioChannelSelection(TransferItem::StereoMode mode) {
    switch (mode) {
        case TransferItem::StereoMode::mix: return AudioChannelSelection::mix;
        case TransferItem::StereoMode::left: return AudioChannelSelection::left;
        case TransferItem::StereoMode::right: return AudioChannelSelection::right;
    }
    return AudioChannelSelection::mix;
}

}  // namespace k7
