#include "V7Aruviv/Models/TransferPlan.h"

#include <QString>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>

#include "V7Aruviv/Models/DigiPROPresentation.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace {

constexpr int64_t maximumSDSSlot = 16383;
constexpr int64_t maximumSPS1UWSlot = 127;
constexpr int64_t maximumDelayTicks = 120;
// Sends clamp the device number to the SDS channel range; the summary shows what is sent.
constexpr int maximumDeviceNumber = 127;
const std::string bullet = " \u2022 ";
const std::string enDash = "\u2013";

std::string number(int64_t value) { return std::to_string(value); }

std::string joined(const std::vector<std::string>& parts) {
    std::size_t size = 0;
    for (const auto& part : parts) size += part.size() + bullet.size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += bullet;
        text += parts[i];
    }
    return text;
}

// User-perceived characters, so that accents and emoji in names count once.
int graphemeCount(const std::string& text) {
    const QString string = QString::fromStdString(text);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, string);
    int count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

std::string slotDescription(int64_t start, int64_t count) {
    if (count == 1) return "Slot " + number(start);
    int64_t last = 0;
    if (__builtin_add_overflow(start, count - 1, &last)) last = std::numeric_limits<int64_t>::max();
    return "Slots " + number(start) + enDash + number(last);
}

std::vector<std::string> routeComponents(const std::optional<std::string>& outputName, const std::string& turbo) {
    std::vector<std::string> components;
    if (outputName) components.push_back("Output: " + *outputName);
    if (turbo != "1x") components.push_back("TM-1 " + turbo);
    return components;
}

std::vector<std::string> compactRoute(const std::optional<std::string>& outputName, const std::string& turbo) {
    if (!outputName) return {};
    if (turbo != "1x" && foldedNameContains(*outputName, "TM-1")) {
        return {*outputName + " " + turbo};
    }
    return routeComponents(outputName, turbo);
}

std::optional<std::string> validationWarning(const std::vector<TransferPlan::Entry>& entries,
                                             const AppPreferences& preferences, int64_t samplePosition,
                                             const std::optional<std::string>& inputName,
                                             const std::optional<std::string>& outputName) {
    if (!preferences.outputEndpointID) {
        return "No MIDI output is selected. Choose an output in Settings before sending.";
    }
    if (!outputName) {
        return "The selected MIDI output is unavailable. Choose an available output in Settings before sending.";
    }
    int64_t audioCount = 0;
    bool anySDS = false;
    for (const auto& entry : entries) {
        if (entry.method.is<TransferSendMethod::AudioSDS>()) {
            ++audioCount;
            anySDS = true;
        } else if (entry.method.is<TransferSendMethod::SDSFile>()) {
            anySDS = true;
        }
    }
    if (anySDS && preferences.useHandshake) {
        if (!preferences.inputEndpointID) {
            return "Closed-loop SDS needs ACK/NAK responses. Select a MIDI input in Settings or turn SDS handshake "
                   "off.";
        }
        if (!inputName) {
            return "The selected MIDI input is unavailable. Choose an available input in Settings or turn SDS "
                   "handshake off.";
        }
    }
    if (audioCount > 0) {
        if (samplePosition < 0) return "The SDS starting position is below 0. Choose a position from 0 to 16383.";
        int64_t last = 0;
        const bool overflows = __builtin_add_overflow(samplePosition, audioCount - 1, &last);
        if (overflows || last > maximumSDSSlot) {
            return "The audio SDS slot range ends at " + (overflows ? std::string("beyond 16383") : number(last)) +
                   ", above the 16383 maximum. Lower the starting position or send fewer audio files.";
        }
        if (preferences.sendSPS1UWName && last > maximumSPS1UWSlot) {
            return "SPS-1UW naming supports slots 0" + enDash + "127, but this audio batch reaches slot " +
                   number(last) +
                   ". Lower the starting position, send fewer audio files, or turn off SPS-1UW naming.";
        }
    }
    for (const auto& entry : entries) {
        if (const auto* invalid = entry.method.as<TransferSendMethod::Invalid>()) {
            // Reasons that are whole sentences already end with their own full stop.
            const bool hasFullStop = !invalid->reason.empty() && invalid->reason.back() == '.';
            return entry.displayName + " cannot be sent: " + invalid->reason + (hasFullStop ? "" : ".") +
                   " Remove or replace it before sending.";
        }
    }
    for (const auto& entry : entries) {
        if (entry.method.is<TransferSendMethod::Unsupported>()) {
            return entry.displayName +
                   " is not a supported transfer item. Remove it or import WAV, AIFF, or SysEx data.";
        }
    }
    return std::nullopt;
}

struct Summaries {
    std::string compact;
    std::string full;
};

Summaries summaries(const std::vector<TransferPlan::Entry>& entries, const AppPreferences& preferences,
                    int64_t samplePosition, const std::optional<std::string>& outputName, const std::string& turbo,
                    const std::optional<std::string>& warning) {
    if (warning) return {*warning, *warning};

    const int64_t n = static_cast<int64_t>(entries.size());
    int64_t a = 0, s = 0, g = 0, f = 0, e = 0, r = 0;
    std::vector<int64_t> positions;
    for (const auto& entry : entries) {
        std::visit(
            [&](const auto& method) {
                using M = std::decay_t<decltype(method)>;
                if constexpr (std::is_same_v<M, TransferSendMethod::AudioSDS>) ++a;
                if constexpr (std::is_same_v<M, TransferSendMethod::SDSFile>) ++s;
                if constexpr (std::is_same_v<M, TransferSendMethod::RawFirmware>) ++f;
                if constexpr (std::is_same_v<M, TransferSendMethod::RawElektronData>) ++e;
                if constexpr (std::is_same_v<M, TransferSendMethod::RawGenericSysEx>) ++r;
                if constexpr (std::is_same_v<M, TransferSendMethod::RawDigiPRO>) {
                    ++g;
                    for (const auto& frame : entry.digiPROFrames) positions.push_back(frame.position);
                }
            },
            entry.method.value());
    }
    const int64_t raw = g + f + e + r;

    const bool handshake = preferences.useHandshake;
    const std::string loopWord = handshake ? "Closed loop" : "Open loop";
    const std::string loopLower = handshake ? "closed loop" : "open loop";
    const std::string format = preferences.useExtendedSDS ? "Extended SDS" : "SDS";
    const std::string delay =
        number(std::clamp<int64_t>(preferences.delayTicks, 0, maximumDelayTicks)) + "-tick delay";
    const std::string device = "Device " + number(std::min<int>(preferences.deviceNumber, maximumDeviceNumber));
    const std::string files = n == 1 ? "file" : "files";
    std::optional<std::string> positionText;
    if (!positions.empty()) positionText = DigiPROPresentation::positionDescription(positions);
    const auto slotText = [&] { return slotDescription(samplePosition, a); };

    std::vector<std::string> longList;
    std::vector<std::string> shortList;
    const auto appendRoute = [&] {
        for (auto& component : routeComponents(outputName, turbo)) longList.push_back(std::move(component));
    };
    const auto rawOnly = [&](const std::string& noun) {
        longList = {number(n) + " " + noun + " " + files, "Raw open loop", delay};
        shortList = {number(n) + " " + noun + " " + files, "Raw open loop"};
        appendRoute();
    };

    if (a == n) {
        longList = {number(n) + " audio " + files + " \u2192 " + format, loopWord, device, slotText()};
        if (preferences.sendSPS1UWName) longList.push_back("SPS-1UW names");
        if (!handshake) longList.push_back(delay);
        appendRoute();
        shortList = {longList[0], longList[1], slotText()};
    } else if (s == n) {
        longList = {number(n) + " SDS " + files, loopWord};
        if (!handshake) longList.push_back(delay);
        appendRoute();
        shortList = {number(n) + " SDS " + files, loopWord};
    } else if (g == n) {
        longList = {number(n) + " DigiPRO " + files};
        if (positionText) longList.push_back(*positionText);
        longList.push_back("Raw open loop");
        shortList = longList;
        longList.push_back(delay);
        appendRoute();
    } else if (f == n) {
        rawOnly("firmware");
    } else if (e == n) {
        rawOnly("Elektron data");
    } else if (r == n) {
        rawOnly("generic SysEx");
    } else {
        const auto both = [&](const std::string& component) {
            longList.push_back(component);
            shortList.push_back(component);
        };
        both(number(n) + " selected");
        if (a >= 1) {
            longList.push_back(number(a) + " audio \u2192 " + format + " " + loopLower);
            shortList.push_back(number(a) + " audio \u2192 SDS " + loopLower);
        }
        if (s >= 1) both(number(s) + " SDS " + loopLower);
        if (g >= 1) {
            both(number(g) + " DigiPRO raw open loop");
            if (positionText) both(*positionText);
        }
        if (f >= 1) both(number(f) + " firmware raw open loop");
        if (e >= 1) both(number(e) + " Elektron data raw open loop");
        if (r >= 1) both(number(r) + " generic SysEx open loop");
        if (a >= 1) {
            longList.push_back(device);
            longList.push_back(slotText());
            if (preferences.sendSPS1UWName) longList.push_back("SPS-1UW names");
        }
        if (handshake) {
            // The delay is already lower case; only raw messages are paced when SDS runs closed loop.
            if (raw >= 1) longList.push_back("Raw " + delay);
        } else {
            longList.push_back(delay);
        }
        appendRoute();
    }
    for (auto& component : compactRoute(outputName, turbo)) shortList.push_back(std::move(component));

    Summaries result;
    result.full = joined(longList);
    result.compact = graphemeCount(result.full) <= TransferPlan::compactSummaryLimit ? result.full : joined(shortList);
    return result;
}

}  // namespace

std::vector<QUuid> TransferPlan::orderedItemIDs() const {
    std::vector<QUuid> ids;
    ids.reserve(entries.size());
    for (const auto& entry : entries) ids.push_back(entry.id);
    return ids;
}

std::optional<TransferPlan> TransferPlan::make(std::vector<Entry> entries, const AppPreferences& preferences,
                                               int64_t samplePosition, std::optional<std::string> inputName,
                                               std::optional<std::string> outputName, std::string turboStatus) {
    if (entries.empty()) return std::nullopt;
    int64_t slot = samplePosition;
    for (auto& entry : entries) {
        if (entry.method.is<TransferSendMethod::AudioSDS>()) {
            entry.destinationSlot = slot;
            if (slot < std::numeric_limits<int64_t>::max()) ++slot;
        } else {
            entry.destinationSlot.reset();
        }
    }
    TransferPlan plan;
    const auto warningText = validationWarning(entries, preferences, samplePosition, inputName, outputName);
    auto texts = summaries(entries, preferences, samplePosition, outputName, turboStatus, warningText);
    plan.entries = std::move(entries);
    plan.preferences = preferences;
    plan.startingSamplePosition = samplePosition;
    plan.inputName = std::move(inputName);
    plan.outputName = std::move(outputName);
    plan.turboStatus = std::move(turboStatus);
    plan.compactSummary = std::move(texts.compact);
    plan.fullSummary = std::move(texts.full);
    if (warningText) plan.warning = Warning{*warningText};
    return plan;
}

}  // namespace k7

namespace k7 {

std::optional<TransferPlan> TransferPlan::make(const std::vector<const TransferItem*>& selectedItems,
                                               const AppPreferences& preferences, int64_t samplePosition,
                                               std::optional<std::string> inputName,
                                               std::optional<std::string> outputName, std::string turboStatus) {
    std::vector<Entry> entries;
    entries.reserve(selectedItems.size());
    for (const TransferItem* item : selectedItems) {
        entries.push_back(Entry{item->id, item->displayName, item->sendMethod, std::nullopt, item->digiPROFrames});
    }
    return make(std::move(entries), preferences, samplePosition, std::move(inputName), std::move(outputName),
                std::move(turboStatus));
}

}  // namespace k7

namespace k7 {

namespace {
std::optional<std::string> endpointName(std::optional<int32_t> id, const std::vector<MIDIEndpoint>& endpoints) {
    if (!id) return std::nullopt;
    for (const auto& endpoint : endpoints) {
        if (endpoint.id == *id && endpoint.isOnline) return endpoint.name;
    }
    return std::nullopt;
}
}  // namespace

std::optional<TransferPlan> TransferPlan::make(const std::vector<const TransferItem*>& selectedItems,
                                               const AppPreferences& preferences, int64_t samplePosition,
                                               const std::vector<MIDIEndpoint>& inputs,
                                               const std::vector<MIDIEndpoint>& outputs, std::string turboStatus) {
    return make(selectedItems, preferences, samplePosition, endpointName(preferences.inputEndpointID, inputs),
                endpointName(preferences.outputEndpointID, outputs), std::move(turboStatus));
}

}  // namespace k7
