#include "platform/Settings.h"

#include <QSettings>

namespace kestrion::platform {

SettingsStore::SettingsStore(const QString& iniPath)
    : settings_(iniPath.isEmpty()
                    ? std::make_unique<QSettings>(QStringLiteral("Kestrion"), QStringLiteral("Kestrion"))
                    : std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

static QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const {
    settings_->sync();
    const QVariant v = settings_->value(fullKey(section, key));
    return v.isValid() ? v.toString() : defaultValue;
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value) {
    settings_->setValue(fullKey(section, key), value);
    settings_->sync();
}

bool SettingsStore::contains(const QString& section, const QString& key) const {
    return settings_->contains(fullKey(section, key));
}

} // namespace kestrion::platform
