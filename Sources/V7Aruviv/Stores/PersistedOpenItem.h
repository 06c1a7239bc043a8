#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <optional>
#include <string>

#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

// One row of the reopened-files list: a JSON object with "path", an optional "displayName",
// "loopMode" and "stereoMode" (their raw values). A path that is no UTF-8 also has "pathBytes",
// its exact bytes in base64, which is read in preference to "path".
struct PersistedOpenItem {
    std::string path;  // the path's bytes, as the file system has them
    std::optional<std::string> displayName;  // left out of the JSON when nothing
    TransferItem::LoopMode loopMode = TransferItem::LoopMode::file;
    TransferItem::StereoMode stereoMode = TransferItem::StereoMode::mix;

    QJsonObject toJSON() const;
    // Nothing when a required key is missing, a value has the wrong type or a mode text is no raw
    // value of its mode.
    static std::optional<PersistedOpenItem> fromJSON(const QJsonValue& value);

    bool operator==(const PersistedOpenItem&) const = default;
};

}  // namespace k7
