#include "platform/Settings.h"
#include "platform/AppTitle.h"

#include <QSettings>
#include <limits>
#include <optional>

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

namespace {
const QString kSection = QStringLiteral("Settings");

// A stored value that is not a whole number in the 16-bit range gives the default. So does a time-out
// below 1 ms or a negative packet size: the sweep would wait for nothing or size its echo data negatively.
int16_t readShort(const SettingsStore& settings, const QString& key, int16_t defaultValue, int16_t lowest) {
    const std::optional<int16_t> value = storedShort(settings, key);
    return value && *value >= lowest ? *value : defaultValue;
}

bool readBool(const SettingsStore& settings, const QString& key, bool defaultValue) {
    const QString text = settings.read(kSection, key, QString()).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    return defaultValue;
}
} // namespace

// A missing key reads as the empty text, which is no number either.
std::optional<int16_t> storedShort(const SettingsStore& settings, const QString& key) {
    bool ok = false;
    const int value = settings.read(kSection, key, QString()).trimmed().toInt(&ok);
    if (!ok || value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(value);
}

StoredOptions readStoredOptions(const SettingsStore& settings) {
    StoredOptions options;
    options.StartWithLocalAddress = readBool(settings, QStringLiteral("StartWithLocalAddress"), true);
    options.PacketSize = readShort(settings, QStringLiteral("PacketSize"), 64, 0);
    options.Timeout = readShort(settings, QStringLiteral("Timeout"), 3000, 1);
    return options;
}

} // namespace kestrion::platform
