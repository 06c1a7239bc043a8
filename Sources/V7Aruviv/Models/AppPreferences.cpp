#include "V7Aruviv/Models/AppPreferences.h"

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>

#include "V7Aruviv/Stores/SettingsDefaultsStore.h"
#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {

namespace {

constexpr std::array<std::string_view, 12> turboLimitRawValues{"None", "x20", "x16", "x13.3", "x10", "x8",
                                                               "x6.7", "x5",  "x4",  "x3.3",  "x2",  "x1"};
constexpr std::array<std::string_view, 4> receiveFormatRawValues{"SDS", "WAV", "AIFF", "None"};

const char* const legacyTurboActiveSensingKey = "sendTurboActiveSensing";

QByteArray toQByteArray(ByteView bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

Bytes toBytes(const QByteArray& bytes) { return Bytes(bytes.begin(), bytes.end()); }

// A JSON number that is a whole number within [minimum, maximum]; 5.0 counts, 5.5 and true do not.
template <typename Integer>
std::optional<Integer> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    // toInteger falls back to its argument when the number is not a whole qint64.
    const qint64 first = value.toInteger(0);
    const qint64 second = value.toInteger(1);
    if (first != second || !std::in_range<Integer>(first)) return std::nullopt;
    return static_cast<Integer>(first);
}

// Optional integer fields: absent or null is nil; anything else must be a whole number in range.
template <typename Integer>
bool readOptional(const QJsonObject& object, const char* key, std::optional<Integer>& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    const auto number = wholeNumber<Integer>(value);
    if (!number) return false;
    out = number;
    return true;
}

template <typename Integer>
bool readRequired(const QJsonObject& object, const char* key, Integer& out) {
    const auto number = wholeNumber<Integer>(object.value(QLatin1String(key)));
    if (!number) return false;
    out = *number;
    return true;
}

bool readBoolean(const QJsonObject& object, const char* key, bool& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isBool()) return false;
    out = value.toBool();
    return true;
}

template <typename Enumeration>
bool readEnumeration(const QJsonObject& object, const char* key,
                     std::optional<Enumeration> (*fromRawValue)(std::string_view), Enumeration& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) return false;
    const auto parsed = fromRawValue(value.toString().toStdString());
    if (!parsed) return false;
    out = *parsed;
    return true;
}

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string_view rawValue(AppPreferences::TurboLimit limit) {
    return turboLimitRawValues[static_cast<std::size_t>(limit)];
}

std::string_view rawValue(AppPreferences::ReceiveFormat format) {
    return receiveFormatRawValues[static_cast<std::size_t>(format)];
}

std::string_view displayName(AppPreferences::ReceiveFormat format) {
    // Received SDS traffic is then kept as plain SysEx.
    if (format == AppPreferences::ReceiveFormat::none) return "Raw SysEx";
    return rawValue(format);
}

std::optional<AppPreferences::TurboLimit> turboLimitFromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < turboLimitRawValues.size(); ++i) {
        if (turboLimitRawValues[i] == text) return AppPreferences::allTurboLimits[i];
    }
    return std::nullopt;
}

std::optional<AppPreferences::ReceiveFormat> receiveFormatFromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < receiveFormatRawValues.size(); ++i) {
        if (receiveFormatRawValues[i] == text) return AppPreferences::allReceiveFormats[i];
    }
    return std::nullopt;
}

std::string AppPreferences::preferencesKey() { return appKey(".preferences.v1"); }
std::string AppPreferences::openLoopDelayMarkerKey() { return appKey(".open-loop-delay-default-v1"); }

std::optional<std::string> AppPreferences::testSuiteName() {
    const char* marker = std::getenv(testProcessEnvironmentVariable);
    if (marker == nullptr || *marker == '\0') return std::nullopt;
    return appKey(".tests." + std::to_string(static_cast<long long>(::getpid())));
}

DefaultsStore& AppPreferences::defaultStore() {
    static const std::unique_ptr<DefaultsStore> store = []() -> std::unique_ptr<DefaultsStore> {
        if (const auto suite = testSuiteName()) {
            // Test suites live in the temporary folder and go away with the process.
            const std::filesystem::path file = QDir::tempPath().toStdString();
            return SettingsDefaultsStore::suite(file / (*suite + ".conf"), true);
        }
        return SettingsDefaultsStore::standard();
    }();
    return *store;
}

Bytes AppPreferences::encodeJSON() const {
    QJsonObject object;
    if (inputEndpointID) object.insert(QStringLiteral("inputEndpointID"), static_cast<qint64>(*inputEndpointID));
    if (outputEndpointID) object.insert(QStringLiteral("outputEndpointID"), static_cast<qint64>(*outputEndpointID));
    object.insert(QStringLiteral("reloadFiles"), reloadFiles);
    object.insert(QStringLiteral("delayTicks"), static_cast<qint64>(delayTicks));
    object.insert(QStringLiteral("turboLimit"), toQString(rawValue(turboLimit)));
    object.insert(QStringLiteral("useHandshake"), useHandshake);
    object.insert(QStringLiteral("useExtendedSDS"), useExtendedSDS);
    object.insert(QStringLiteral("sendSPS1UWName"), sendSPS1UWName);
    object.insert(QStringLiteral("deviceNumber"), static_cast<qint64>(deviceNumber));
    object.insert(QStringLiteral("receiveFormat"), toQString(rawValue(receiveFormat)));
    return toBytes(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::optional<AppPreferences> AppPreferences::decodeJSON(ByteView json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(toQByteArray(json), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();

    AppPreferences decoded;
    const bool complete = readOptional(object, "inputEndpointID", decoded.inputEndpointID) &&
                          readOptional(object, "outputEndpointID", decoded.outputEndpointID) &&
                          readBoolean(object, "reloadFiles", decoded.reloadFiles) &&
                          readRequired(object, "delayTicks", decoded.delayTicks) &&
                          readEnumeration(object, "turboLimit", &turboLimitFromRawValue, decoded.turboLimit) &&
                          readBoolean(object, "useHandshake", decoded.useHandshake) &&
                          readBoolean(object, "useExtendedSDS", decoded.useExtendedSDS) &&
                          readBoolean(object, "sendSPS1UWName", decoded.sendSPS1UWName) &&
                          readRequired(object, "deviceNumber", decoded.deviceNumber) &&
                          readEnumeration(object, "receiveFormat", &receiveFormatFromRawValue, decoded.receiveFormat);
    if (!complete) return std::nullopt;
    return decoded;
}

void AppPreferences::save(DefaultsStore& store) const { store.setData(preferencesKey(), encodeJSON()); }

AppPreferences AppPreferences::load(DefaultsStore& store) {
    const std::string markerKey = openLoopDelayMarkerKey();
    const bool markerWasSet = store.boolean(markerKey);
    store.setBoolean(markerKey, true);

    const std::string key = preferencesKey();
    auto stored = store.data(key);
    if (!stored) return AppPreferences{};

    // Drop the retired Turbo active-sensing option; a failure here keeps the bytes as read.
    const QJsonDocument generic = QJsonDocument::fromJson(toQByteArray(*stored));
    if (generic.isObject()) {
        QJsonObject object = generic.object();
        if (object.contains(QLatin1String(legacyTurboActiveSensingKey))) {
            object.remove(QLatin1String(legacyTurboActiveSensingKey));
            const QByteArray rewritten = QJsonDocument(object).toJson(QJsonDocument::Compact);
            if (!rewritten.isEmpty()) {
                stored = toBytes(rewritten);
                store.setData(key, *stored);
            }
        }
    }

    auto decoded = decodeJSON(*stored);
    if (!decoded) return AppPreferences{};

    // Earlier versions defaulted to no delay, which overruns instruments in open loop; only the
    // very first load may move such a value, so a later deliberate 0 is kept.
    if (!markerWasSet && !decoded->useHandshake && decoded->delayTicks == 0) {
        decoded->delayTicks = 1;
        decoded->save(store);
    }
    return *decoded;
}

}  // namespace k7
