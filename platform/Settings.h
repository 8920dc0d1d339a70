#pragma once

#include <QString>
#include <memory>
#include <utility>
#include <vector>

class QSettings;

namespace kestrion::platform {

// What became of a write: stored, or the store's file could not be written or not be read.
enum class StoreStatus { Stored, NotWritable, Unreadable };

// The per-user settings store: texts under application name, section and key.
// The only file that touches QSettings.
class SettingsStore {
public:
    // `iniPath` empty: the platform's per-user store for application "Kestrion";
    // otherwise an INI file at that path (tests).
    explicit SettingsStore(QString iniPath = QString());
    ~SettingsStore();

    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    StoreStatus write(const QString& section, const QString& key, const QString& value);
    // The keys of one section in one file write. When it fails the store keeps what it held before,
    // so reading gives what the file holds.
    StoreStatus write(const QString& section, const std::vector<std::pair<QString, QString>>& values);
    bool contains(const QString& section, const QString& key) const;
    // The file the store keeps its texts in.
    QString fileName() const;

private:
    std::unique_ptr<QSettings> open() const;

    QString iniPath_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace kestrion::platform
