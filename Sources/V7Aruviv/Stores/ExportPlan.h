#pragma once

#include <QUuid>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"

namespace k7 {

struct ExportEntry {
    QUuid id;
    std::string name;  // the file name to write
    Bytes data;        // exactly the bytes to write
    std::filesystem::path destination;
    bool operator==(const ExportEntry&) const = default;
};

struct ExportPlan {
    std::vector<ExportEntry> entries;  // in selection order
    // Set when several items go into one folder; nothing for a single file.
    std::optional<std::filesystem::path> batchDirectory;
    bool operator==(const ExportPlan&) const = default;
};

}  // namespace k7
