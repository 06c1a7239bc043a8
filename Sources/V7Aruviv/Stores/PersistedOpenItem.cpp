#include "V7Aruviv/Stores/PersistedOpenItem.h"

#include <QByteArray>
#include <QString>

namespace k7 {

namespace {
QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QByteArray byteArray(std::string_view text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

// A file name may hold any bytes but a JSON text only Unicode: a path that is no UTF-8 keeps its
// bytes in base64 beside the readable, lossy "path".
const QLatin1String pathBytesKey("pathBytes");
}  // namespace

QJsonObject PersistedOpenItem::toJSON() const {
    QJsonObject object;
    const QString text = toQString(path);
    object.insert(QStringLiteral("path"), text);
    if (text.toUtf8() != byteArray(path)) {
        object.insert(pathBytesKey, QString::fromLatin1(byteArray(path).toBase64()));
    }
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
    const QJsonValue pathBytes = object.value(pathBytesKey);
    std::optional<QByteArray> exactPath;
    if (!pathBytes.isUndefined()) {
        if (!pathBytes.isString()) return std::nullopt;
        auto decoded = QByteArray::fromBase64Encoding(pathBytes.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return std::nullopt;
        exactPath = std::move(*decoded);
    }

    const auto loop = loopModeFromRawValue(loopMode.toString().toStdString());
    const auto stereo = stereoModeFromRawValue(stereoMode.toString().toStdString());
    if (!loop || !stereo) return std::nullopt;
    PersistedOpenItem item;
    item.path = exactPath ? exactPath->toStdString() : path.toString().toStdString();
    if (displayName.isString()) item.displayName = displayName.toString().toStdString();
    item.loopMode = *loop;
    item.stereoMode = *stereo;
    return item;
}

}  // namespace k7
