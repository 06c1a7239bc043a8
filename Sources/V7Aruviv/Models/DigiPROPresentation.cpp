#include "V7Aruviv/Models/DigiPROPresentation.h"

namespace k7 {

namespace {

std::string joinedNumbers(std::vector<int64_t>::const_iterator first, std::vector<int64_t>::const_iterator last) {
    std::string text;
    for (auto it = first; it != last; ++it) {
        if (it != first) text += ", ";
        text += std::to_string(*it);
    }
    return text;
}

bool isConsecutiveAscending(const std::vector<int64_t>& positions) {
    for (std::size_t i = 1; i < positions.size(); ++i) {
        int64_t expected = 0;
        if (__builtin_add_overflow(positions.front(), static_cast<int64_t>(i), &expected)) return false;
        if (positions[i] != expected) return false;
    }
    return true;
}

}  // namespace

std::string DigiPROPresentation::positionDescription(const std::vector<int64_t>& positions) {
    if (positions.empty()) return "Positions unavailable";
    if (positions.size() == 1) return "Position " + std::to_string(positions.front());
    if (isConsecutiveAscending(positions)) {
        return "Positions " + std::to_string(positions.front()) + "\u2013" + std::to_string(positions.back());
    }
    if (positions.size() <= 12) return "Positions " + joinedNumbers(positions.begin(), positions.end());
    return "Positions " + joinedNumbers(positions.begin(), positions.begin() + 8) + ", \u2026, " +
           joinedNumbers(positions.end() - 2, positions.end()) + " (" + std::to_string(positions.size()) +
           " waveforms)";
}

std::optional<std::string> DigiPROPresentation::fileInfo(const std::vector<DigiPROFrameMetadata>& frames) {
    if (frames.empty()) return std::nullopt;
    if (frames.size() == 1) {
        return "DigiPRO waveform \u2022 Position " + std::to_string(frames.front().position) + " \u2022 Name " +
               frames.front().name + " \u2022 Valid checksum";
    }
    std::vector<int64_t> positions;
    positions.reserve(frames.size());
    for (const auto& frame : frames) positions.push_back(frame.position);
    return std::to_string(frames.size()) + " DigiPRO waveforms \u2022 " + positionDescription(positions) +
           " \u2022 Valid checksums";
}

}  // namespace k7
