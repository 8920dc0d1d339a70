#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

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

// The three options of section "Settings" as every reader takes them: a key that is missing or does
// not read as its type gives its default.
struct StoredOptions {
    int16_t Timeout = 3000;
    int16_t PacketSize = 64;
    bool StartWithLocalAddress = true;
};
StoredOptions readStoredOptions(const SettingsStore& settings);
// The key of section "Settings" as a 16-bit whole number; empty when missing or not one.
std::optional<int16_t> storedShort(const SettingsStore& settings, const QString& key);

} // namespace kestrion::platform
