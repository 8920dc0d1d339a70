#include "platform/Settings.h"
#include "platform/AppTitle.h"

#include <QSettings>

namespace kestrion::platform {

SettingsStore::SettingsStore(QString iniPath) : iniPath_(std::move(iniPath)), settings_(open()) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<QSettings> SettingsStore::open() const {
    return iniPath_.isEmpty()
               ? std::make_unique<QSettings>(QStringLiteral("Kestrion") /* organisation */, appTitle())
               : std::make_unique<QSettings>(iniPath_, QSettings::IniFormat);
}

static QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const {
    settings_->sync();
    const QVariant v = settings_->value(fullKey(section, key));
    return v.isValid() ? v.toString() : defaultValue;
}

StoreStatus SettingsStore::write(const QString& section, const QString& key, const QString& value) {
    return write(section, {{key, value}});
}

StoreStatus SettingsStore::write(const QString& section,
                                 const std::vector<std::pair<QString, QString>>& values) {
    // A QSettings keeps its first error for good, so each write gets a fresh one to ask; objects on
    // the same file share what they hold, and the reading one sees the new texts at its next sync.
    const std::unique_ptr<QSettings> writer = open();
    std::vector<QVariant> before;
    before.reserve(values.size());
    for (const auto& [key, value] : values) {
        before.push_back(writer->value(fullKey(section, key)));
        writer->setValue(fullKey(section, key), value);
    }
    writer->sync();
    const QSettings::Status status = writer->status();
    if (status == QSettings::NoError)
        return StoreStatus::Stored;
    // Unwritten texts would otherwise be read back as if stored, and written at any later sync.
    for (size_t i = 0; i < values.size(); ++i) {
        if (before[i].isValid())
            writer->setValue(fullKey(section, values[i].first), before[i]);
        else
            writer->remove(fullKey(section, values[i].first));
    }
    return status == QSettings::FormatError ? StoreStatus::Unreadable : StoreStatus::NotWritable;
}

QString SettingsStore::fileName() const {
    return settings_->fileName();
}

bool SettingsStore::contains(const QString& section, const QString& key) const {
    return settings_->contains(fullKey(section, key));
}

} // namespace kestrion::platform
