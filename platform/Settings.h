#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace kestrion::platform {

// The per-user settings store: texts under application name, section and key.
// The only file that touches QSettings.
class SettingsStore {
public:
    // `iniPath` empty: the platform's per-user store for application "Kestrion";
    // otherwise an INI file at that path (tests).
    explicit SettingsStore(const QString& iniPath = QString());
    ~SettingsStore();

    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    void write(const QString& section, const QString& key, const QString& value);
    bool contains(const QString& section, const QString& key) const;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace kestrion::platform
