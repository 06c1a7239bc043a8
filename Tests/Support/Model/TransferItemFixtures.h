#pragma once

#include <string>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"

namespace k7::testing {

// File-list items as an import would make them, without any file behind them: a new id, the name,
// the send analysis already done, and a source file named after the item. Clear `sourceURL` for an
// item that was received or created and not saved yet.

// Decoded mono audio, sent as an SDS dump.
TransferItem wavItem(std::string name = "tone.wav");
TransferItem aiffItem(std::string name = "tone.aif");
// One complete SysEx message, sent as `method` says.
TransferItem sysExItem(std::string name = "patch.syx",
                       TransferSendMethod method = TransferSendMethod::RawGenericSysEx{});
// A saved file list: shown, never sent.
TransferItem projectItem(std::string name = "session.k7");

inline std::vector<std::string> names(const std::vector<TransferItem>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) result.push_back(item.displayName);
    return result;
}

}  // namespace k7::testing
