#include "V7Aruviv/Stores/SettingsDefaultsStore.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QVariant>

#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {

namespace {
QString toQString(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

std::unique_ptr<SettingsDefaultsStore> SettingsDefaultsStore::standard() {
    const QString domain = QString::fromUtf8(appReverseDNSPrefix.data(), static_cast<qsizetype>(appReverseDNSPrefix.size()));
    return std::unique_ptr<SettingsDefaultsStore>(new SettingsDefaultsStore(
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, domain, domain), false));
}

std::unique_ptr<SettingsDefaultsStore> SettingsDefaultsStore::suite(const std::filesystem::path& file,
                                                                    bool removeOnDestruction) {
    return std::unique_ptr<SettingsDefaultsStore>(new SettingsDefaultsStore(
        std::make_unique<QSettings>(QString::fromStdString(file.string()), QSettings::IniFormat), removeOnDestruction));
}

SettingsDefaultsStore::SettingsDefaultsStore(std::unique_ptr<QSettings> settings, bool removeOnDestruction)
    : settings_(std::move(settings)), removeOnDestruction_(removeOnDestruction) {}

SettingsDefaultsStore::~SettingsDefaultsStore() {
    if (!removeOnDestruction_) return;
    const QString file = settings_->fileName();
    settings_.reset();
    QFile::remove(file);
}

std::optional<Bytes> SettingsDefaultsStore::data(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(toQString(key));
    if (!value.isValid() || value.typeId() != QMetaType::QByteArray) return std::nullopt;
    const QByteArray bytes = value.toByteArray();
    return Bytes(bytes.begin(), bytes.end());
}

bool SettingsDefaultsStore::boolean(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(toQString(key));
    // INI files keep Booleans as the texts "true" and "false".
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() == QMetaType::QString) return value.toString() == QStringLiteral("true");
    return false;
}

void SettingsDefaultsStore::setData(const std::string& key, const Bytes& value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(toQString(key),
                        QByteArray(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size())));
    settings_->sync();
}

void SettingsDefaultsStore::setBoolean(const std::string& key, bool value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(toQString(key), value);
    settings_->sync();
}

void SettingsDefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    settings_->remove(toQString(key));
    settings_->sync();
}

std::filesystem::path SettingsDefaultsStore::fileName() const {
    std::lock_guard lock(mutex_);
    return settings_->fileName().toStdString();
}

}  // namespace k7
