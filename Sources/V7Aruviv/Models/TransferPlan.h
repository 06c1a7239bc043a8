#pragma once

#include <QUuid>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "K7MIDI/Transport/MIDIEndpoint.h"
#include "V7Aruviv/Models/AppPreferences.h"
#include "V7Aruviv/Models/DigiPROFrameMetadata.h"
#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Models/TransferSendMethod.h"

namespace k7 {

// The analysed, ordered plan of a send: entries with their methods and SDS slots, the settings
// frozen for it, the route, the summaries and the first blocking problem. A plan with a warning
// is never sent.
struct TransferPlan {
    struct Entry {
        QUuid id;
        std::string displayName;
        TransferSendMethod method;
        std::optional<int64_t> destinationSlot;  // audioSDS entries only
        std::vector<DigiPROFrameMetadata> digiPROFrames;
        bool operator==(const Entry&) const = default;
    };
    struct Warning {
        std::string message;  // a whole sentence for an alert
        bool operator==(const Warning&) const = default;
    };

    std::vector<Entry> entries;
    AppPreferences preferences;
    int64_t startingSamplePosition = 0;
    std::optional<std::string> inputName;
    std::optional<std::string> outputName;
    std::string turboStatus;
    std::string compactSummary;
    std::string fullSummary;
    std::optional<Warning> warning;

    // Longest full summary, in user-perceived characters, shown as the compact one too.
    static constexpr int compactSummaryLimit = 135;

    std::vector<QUuid> orderedItemIDs() const;

    // Builds the plan over entries in send order: numbers the audio SDS slots from the sample
    // position (destination slots given in `entries` are replaced), validates and summarises.
    // Nothing for no entries.
    static std::optional<TransferPlan> make(std::vector<Entry> entries, const AppPreferences& preferences,
                                            int64_t samplePosition, std::optional<std::string> inputName,
                                            std::optional<std::string> outputName, std::string turboStatus);

    // The plan of the selected items, in list order.
    static std::optional<TransferPlan> make(const std::vector<const TransferItem*>& selectedItems,
                                            const AppPreferences& preferences, int64_t samplePosition,
                                            std::optional<std::string> inputName,
                                            std::optional<std::string> outputName, std::string turboStatus);

    // The live plan: the input and output names are those of the preferred endpoints when they are
    // present and online.
    static std::optional<TransferPlan> make(const std::vector<const TransferItem*>& selectedItems,
                                            const AppPreferences& preferences, int64_t samplePosition,
                                            const std::vector<MIDIEndpoint>& inputs,
                                            const std::vector<MIDIEndpoint>& outputs, std::string turboStatus);

    bool operator==(const TransferPlan&) const = default;
};

}  // namespace k7
