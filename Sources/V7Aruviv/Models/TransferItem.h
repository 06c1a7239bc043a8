#pragma once

#include <QUuid>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "V7Aruviv/Support/CaseValue.h"
#include <vector>

#include "K7Core/Audio/AudioChannelSelection.h"
#include "K7Core/Audio/AudioLoopSelection.h"
#include "K7Core/Audio/AudioSample.h"
#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Models/DigiPROFrameMetadata.h"
#include "V7Aruviv/Models/TransferSendMethod.h"
#include "V7Aruviv/Models/TransferWireWorkload.h"

namespace k7 {

namespace transfer_item_state {
// A send or preparation failed; the text says why.
struct Failed {
    std::string reason;
    bool operator==(const Failed&) const = default;
};
struct Ready {
    bool operator==(const Ready&) const = default;
};
struct Sending {
    bool operator==(const Sending&) const = default;
};
// Its send finished without failure.
struct Submitted {
    bool operator==(const Submitted&) const = default;
};
// Created from received MIDI data.
struct Received {
    bool operator==(const Received&) const = default;
};
struct Cancelled {
    bool operator==(const Cancelled&) const = default;
};
using Case = std::variant<Failed, Ready, Sending, Submitted, Received, Cancelled>;
}  // namespace transfer_item_state

// One entry of the file list: an opened file, a received dump or a converted file. Built whole by
// whoever creates it; the analysis fields are never recomputed.
struct TransferItem {
    enum class Kind { sysEx, wav, aiff, project, unknown };
    // The instrument the content belongs to; the raw value is the Device column's text.
    enum class Device {
        notApplicable,
        unknown,
        multiple,
        sidstation,
        machinedrum,
        monomachine,
        octatrack,
        analogFour,
        analogRytm,
        tm1
    };
    // How the item's loop is sent.
    enum class LoopMode { file, forceOn, forceOff };
    // How a stereo source becomes one channel.
    enum class StereoMode { mix, left, right };

    static constexpr std::array<LoopMode, 3> allLoopModes{LoopMode::file, LoopMode::forceOn, LoopMode::forceOff};
    static constexpr std::array<StereoMode, 3> allStereoModes{StereoMode::mix, StereoMode::left, StereoMode::right};

    class State : public CaseValue<transfer_item_state::Case> {
    public:
        using CaseValue::CaseValue;
        using Failed = transfer_item_state::Failed;
        using Ready = transfer_item_state::Ready;
        using Sending = transfer_item_state::Sending;
        using Submitted = transfer_item_state::Submitted;
        using Received = transfer_item_state::Received;
        using Cancelled = transfer_item_state::Cancelled;

        State() : CaseValue(Ready{}) {}
        static State failed(std::string reason) { return Failed{std::move(reason)}; }
        std::string describe() const;

        bool operator==(const State&) const = default;
    };

    // The row the file list draws; a row redraws only when one of these changes.
    struct ListPresentation {
        QUuid id;
        std::string displayName;
        int64_t byteCount = 0;
        Kind kind = Kind::unknown;
        std::string typeLabel;
        Device device = Device::unknown;
        State state;
        double progress = 0;
        bool operator==(const ListPresentation&) const = default;
    };

    QUuid id;
    std::optional<std::filesystem::path> sourceURL;  // nothing until a received or generated item is saved
    std::string displayName;
    int64_t byteCount = 0;
    Kind kind = Kind::unknown;
    Device device = Device::unknown;
    Bytes data;  // exactly as stored
    std::optional<AudioSample> audioSample;  // decoded WAV or AIFF; nothing for other kinds or a failed decode
    LoopMode loopMode = LoopMode::file;
    StereoMode stereoMode = StereoMode::mix;
    State state;
    double progress = 0;
    std::string detail;
    TransferSendMethod sendMethod;
    TransferWireWorkload wireWorkload;
    std::vector<DigiPROFrameMetadata> digiPROFrames;  // one per DigiPRO message, in stream order
    int64_t messageCount = 0;

    bool isAudio() const;
    // The file information text: the DigiPRO summary, or an invalid-send reason the detail does
    // not already quote, in front of the detail.
    std::string fileInfoDetail() const;
};

std::string_view rawValue(TransferItem::Kind kind);
std::string_view rawValue(TransferItem::Device device);
std::string_view rawValue(TransferItem::LoopMode mode);
std::string_view rawValue(TransferItem::StereoMode mode);
inline std::string_view id(TransferItem::LoopMode mode) { return rawValue(mode); }
inline std::string_view id(TransferItem::StereoMode mode) { return rawValue(mode); }
// Exact, case-sensitive matches of a raw value.
std::optional<TransferItem::Kind> transferItemKindFromRawValue(std::string_view text);
std::optional<TransferItem::Device> transferItemDeviceFromRawValue(std::string_view text);
std::optional<TransferItem::LoopMode> loopModeFromRawValue(std::string_view text);
std::optional<TransferItem::StereoMode> stereoModeFromRawValue(std::string_view text);

// The audio core's selections, case for case.
AudioLoopSelection audioLoopSelection(TransferItem::LoopMode mode);
AudioChannelSelection audioChannelSelection(TransferItem::StereoMode mode);

}  // namespace k7
