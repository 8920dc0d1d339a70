#include "platform/OptionsStore.h"

#include <utility>
#include <vector>

namespace kestrion::platform {

namespace {
const QString kSection = QStringLiteral("Settings");

// A missing key reads as the empty text, which is neither a number nor a Boolean word.
QString storedText(const SettingsStore& settings, const char* key) {
    return settings.read(kSection, QLatin1String(key), QString()).trimmed();
}
} // namespace

std::optional<int16_t> storedValue(const SettingsStore& settings, const WholeNumber& option) {
    bool ok = false;
    const int value = storedText(settings, option.key).toInt(&ok);
    if (!ok || value < option.lowest || value > option.highest)
        return std::nullopt;
    return static_cast<int16_t>(value);
}

std::optional<bool> storedValue(const SettingsStore& settings, const Flag& option) {
    const QString text = storedText(settings, option.key);
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

Options readOptions(const SettingsStore& settings) {
    Options options;
    for (const WholeNumber& option : kWholeNumbers)
        options.*option.field = storedValue(settings, option).value_or(options.*option.field);
    for (const Flag& option : kFlags)
        options.*option.field = storedValue(settings, option).value_or(options.*option.field);
    return options;
}

StoreStatus writeOptions(SettingsStore& settings, const Options& options) {
    std::vector<std::pair<QString, QString>> texts;
    for (const WholeNumber& option : kWholeNumbers)
        texts.emplace_back(QLatin1String(option.key), QString::number(options.*option.field));
    for (const Flag& option : kFlags) {
        const bool on = options.*option.field;
        if (!option.writtenAlways && on == Options{}.*option.field &&
            !settings.contains(kSection, QLatin1String(option.key)))
            continue;
        texts.emplace_back(QLatin1String(option.key), on ? QStringLiteral("True") : QStringLiteral("False"));
    }
    return settings.write(kSection, texts);
}

} // namespace kestrion::platform
