#include "app/Options.h"

#include "platform/AppState.h"
#include "platform/Settings.h"

#include <limits>

namespace kestrion::app {

namespace {
const QString kSection = QStringLiteral("Settings");

// A stored value that is not a whole number in the 16-bit range gives the default.
int16_t readShort(const platform::SettingsStore& settings, const QString& key, int16_t defaultValue) {
    bool ok = false;
    const int value = settings.read(kSection, key, QString::number(defaultValue)).trimmed().toInt(&ok);
    if (!ok || value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        return defaultValue;
    return static_cast<int16_t>(value);
}

bool readBool(const platform::SettingsStore& settings, const QString& key, bool defaultValue) {
    const QString text = settings.read(kSection, key, QString()).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    return defaultValue;
}
} // namespace

void ReadSettings(platform::AppState& state, const platform::SettingsStore& settings) {
    state.StartWithLocalAddress = readBool(settings, QStringLiteral("StartWithLocalAddress"), true);
    state.PacketSize = readShort(settings, QStringLiteral("PacketSize"), 64);
    state.Timeout = readShort(settings, QStringLiteral("Timeout"), 3000);
}

} // namespace kestrion::app
