// The list of open files kept from one start to the next, and the rules every item name follows.
#include <QByteArray>
#include <QChar>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <algorithm>
#include <map>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/PersistedOpenItem.h"
#include "V7Aruviv/Support/AppIdentity.h"
#include "V7Aruviv/Support/FileNameParts.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace {

const std::string& recordsKey() {
    static const std::string key = appKey(".open-file-records");
    return key;
}

// Written by earlier versions; never read, only removed.
const std::string& legacyPathsKey() {
    static const std::string key = appKey(".open-file-paths");
    return key;
}

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Nothing unless the data is a JSON array whose every element is a valid record.
std::optional<std::vector<PersistedOpenItem>> decodeRecords(const Bytes& data) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(
        QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
    std::vector<PersistedOpenItem> records;
    for (const QJsonValue& value : document.array()) {
        auto record = PersistedOpenItem::fromJSON(value);
        if (!record) return std::nullopt;
        records.push_back(std::move(*record));
    }
    return records;
}

// The item each record is put back on, or nothing. The records of one path take that path's items
// in order, one each, so a file opened twice gets both rows back; when the list holds more items of
// a path than there are records, the records take the later ones, which the reopening appended.
std::vector<std::optional<std::size_t>> itemsForRecords(const std::vector<PersistedOpenItem>& records,
                                                        const std::vector<TransferItem>& list) {
    struct PathRows {
        std::vector<std::size_t> items;
        std::size_t records = 0;
        std::size_t taken = 0;
    };
    std::map<std::string, PathRows> byPath;
    for (const auto& record : records) byPath[record.path].records += 1;
    for (std::size_t index = 0; index < list.size(); ++index) {
        if (!list[index].sourceURL) continue;
        const auto rows = byPath.find(list[index].sourceURL->native());
        if (rows != byPath.end()) rows->second.items.push_back(index);
    }

    std::vector<std::optional<std::size_t>> matches;
    matches.reserve(records.size());
    for (const auto& record : records) {
        PathRows& rows = byPath[record.path];
        const std::size_t skipped = rows.items.size() > rows.records ? rows.items.size() - rows.records : 0;
        const std::size_t position = skipped + rows.taken++;
        matches.push_back(position < rows.items.size() ? std::optional(rows.items[position]) : std::nullopt);
    }
    return matches;
}

AppModelError invalidName(std::string message) {
    return AppModelError(AppModelError::InvalidItemName{std::move(message)});
}

// Cc and Cf: a zero-width joiner is as invisible in a name as a tab.
bool isRefusedInName(char32_t character) {
    const auto category = QChar::category(character);
    return category == QChar::Other_Control || category == QChar::Other_Format || character == U'/' ||
           character == U'\\' || character == U':';
}

std::vector<std::string> exportExtensions(TransferItem::Kind kind) {
    switch (kind) {
    case TransferItem::Kind::sysEx: return {"syx", "sysx"};
    case TransferItem::Kind::wav: return {"wav", "wave"};
    case TransferItem::Kind::aiff: return {"aif", "aiff", "aifc"};
    case TransferItem::Kind::project: return {"k7"};
    case TransferItem::Kind::unknown: break;
    }
    return {};
}

}  // namespace

void AppModel::persistOpenFiles() {
    if (!preferences_.reloadFiles) {
        preferencesStore_->remove(legacyPathsKey());
        preferencesStore_->remove(recordsKey());
        return;
    }
    QJsonArray records;
    for (const TransferItem& item : items_) {
        if (!item.sourceURL) continue;  // received and converted items have no file to reopen
        records.append(PersistedOpenItem{item.sourceURL->native(), item.displayName, item.loopMode, item.stereoMode}
                           .toJSON());
    }
    const QByteArray json = QJsonDocument(records).toJson(QJsonDocument::Compact);
    preferencesStore_->setData(recordsKey(), Bytes(json.begin(), json.end()));
}

void AppModel::restoreOpenFiles() {
    const auto data = preferencesStore_->data(recordsKey());
    if (!data) return;
    auto records = decodeRecords(*data);
    if (!records) return;

    std::vector<std::filesystem::path> urls;
    urls.reserve(records->size());
    for (const auto& record : *records) urls.emplace_back(record.path);

    auto reapply = [this, lifetime = std::weak_ptr<int>(lifetime_), records = std::move(*records)] {
        if (!lifetime.lock()) return;
        editItems([&records](std::vector<TransferItem>& list) {
            const auto matches = itemsForRecords(records, list);
            for (std::size_t index = 0; index < records.size(); ++index) {
                if (!matches[index]) continue;
                const PersistedOpenItem& record = records[index];
                TransferItem& item = list[*matches[index]];
                item.loopMode = record.loopMode;
                item.stereoMode = record.stereoMode;
                if (!record.displayName) continue;
                try {
                    item.displayName = normalizedDisplayName(*record.displayName, item.displayName);
                } catch (const AppModelError&) {
                    // A stored name the rules refuse gives way to the file's own name.
                }
            }
        });
        persistOpenFiles();
    };
    importFromUser(std::move(urls), std::move(reapply));
}

std::string AppModel::normalizedDisplayName(const std::string& proposed, const std::string& current) {
    const QString trimmed = toQString(proposed).trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String(".") || trimmed == QLatin1String("..")) {
        throw invalidName("Enter a file name.");
    }
    const auto characters = trimmed.toUcs4();
    if (std::any_of(characters.begin(), characters.end(), isRefusedInName)) {
        throw invalidName("File names cannot contain slashes, colons, backslashes, or control characters.");
    }
    if (trimmed.endsWith(QLatin1Char('.'))) throw invalidName("File names cannot end with a period.");

    std::string name = trimmed.toStdString();
    const std::string old = FileNameParts::extensionOf(current);
    const std::string proposedExtension = FileNameParts::extensionOf(name);
    if (!old.empty() && QString::compare(toQString(old), toQString(proposedExtension), Qt::CaseInsensitive) != 0) {
        if (!proposedExtension.empty()) {
            throw invalidName("Keep the ." + old + " extension so the displayed type remains accurate.");
        }
        name += "." + old;
    }
    if (name.size() > 255) throw invalidName("File names must be 255 UTF-8 bytes or fewer.");
    return name;
}

void AppModel::validateExportName(const std::string& name, TransferItem::Kind kind) {
    normalizedDisplayName(name, name);
    auto accepted = exportExtensions(kind);
    if (accepted.empty()) throw AppModelError(AppModelError::UnsupportedExportType{});
    const std::string extension = foldedName(FileNameParts::extensionOf(name));
    if (std::find(accepted.begin(), accepted.end(), extension) != accepted.end()) return;
    std::sort(accepted.begin(), accepted.end());
    throw AppModelError(AppModelError::InvalidExportExtension{name, std::move(accepted)});
}

}  // namespace k7
