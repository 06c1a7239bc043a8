#include "V7Aruviv/Stores/PersistedOpenItem.h"

#include <QString>

namespace k7 {

namespace {
QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
}  // namespace

QJsonObject PersistedOpenItem::toJSON() const {
    QJsonObject object;
    object.insert(QStringLiteral("path"), toQString(path));
    if (displayName) object.insert(QStringLiteral("displayName"), toQString(*displayName));
    object.insert(QStringLiteral("loopMode"), toQString(rawValue(loopMode)));
    object.insert(QStringLiteral("stereoMode"), toQString(rawValue(stereoMode)));
    return object;
}

std::optional<PersistedOpenItem> PersistedOpenItem::fromJSON(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue path = object.value(QLatin1String("path"));
    const QJsonValue displayName = object.value(QLatin1String("displayName"));
    const QJsonValue loopMode = object.value(QLatin1String("loopMode"));
    const QJsonValue stereoMode = object.value(QLatin1String("stereoMode"));
    if (!path.isString() || !loopMode.isString() || !stereoMode.isString()) return std::nullopt;
    if (!displayName.isUndefined() && !displayName.isNull() && !displayName.isString()) return std::nullopt;

    const auto loop = loopModeFromRawValue(loopMode.toString().toStdString());
    const auto stereo = stereoModeFromRawValue(stereoMode.toString().toStdString());
    if (!loop || !stereo) return std::nullopt;
    PersistedOpenItem item;
    item.path = path.toString().toStdString();
    if (displayName.isString()) item.displayName = displayName.toString().toStdString();
    item.loopMode = *loop;
    item.stereoMode = *stereo;
    return item;
}

}  // namespace k7
