#include "app/Options.h"

#include "app/OptionsTab.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <limits>

namespace kestrion::app {

namespace {
const QString kSection = QStringLiteral("Settings");
const QString kTimeoutKey = QStringLiteral("Timeout");
const QString kPacketSizeKey = QStringLiteral("PacketSize");
const QString kStartKey = QStringLiteral("StartWithLocalAddress");

// A missing key reads as the empty text, which is no number either.
std::optional<int16_t> storedShort(const platform::SettingsStore& settings, const QString& key) {
    bool ok = false;
    const int value = settings.read(kSection, key, QString()).trimmed().toInt(&ok);
    if (!ok || value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(value);
}

// A stored value that is not a whole number in the 16-bit range gives the default. So does a time-out
// below 1 ms or a negative packet size: the sweep would wait for nothing or size its echo data negatively.
int16_t readShort(const platform::SettingsStore& settings, const QString& key, int16_t defaultValue,
                  int16_t lowest) {
    const std::optional<int16_t> value = storedShort(settings, key);
    return value && *value >= lowest ? *value : defaultValue;
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

void ReadSettings(sweep::SweepOptions& state, const platform::SettingsStore& settings) {
    state.StartWithLocalAddress = readBool(settings, kStartKey, true);
    state.PacketSize = readShort(settings, kPacketSizeKey, 64, 0);
    state.Timeout = readShort(settings, kTimeoutKey, 3000, 1);
}

OptionsController::OptionsController(sweep::SweepOptions& state, platform::SettingsStore& settings,
                                     OptionsTab& tab, QObject* parent)
    : QObject(parent), state_(state), settings_(settings), tab_(tab) {
    // `toggled` fires for code and user alike, and only on a real change: a button that is already
    // selected runs nothing, and of the two buttons a selection flips only the one turned on counts.
    for (int i = 0; i < 4; ++i)
        connect(tab_.optTimeout[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optTimeout_Click(i);
        });
    for (int i = 0; i < 3; ++i)
        connect(tab_.optPacket[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optPacket_Click(i);
        });
    connect(tab_.chkStartWLocalAddr, &QCheckBox::toggled, this, [this] { chkStartWLocalAddr_Click(); });
    connect(tab_.cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
}

void OptionsController::SaveSettings() {
    settings_.write(kSection, kTimeoutKey, QString::number(state_.Timeout));
    settings_.write(kSection, kPacketSizeKey, QString::number(state_.PacketSize));
    settings_.write(kSection, kStartKey,
                    state_.StartWithLocalAddress ? QStringLiteral("True") : QStringLiteral("False"));
    tab_.cmdApply->setEnabled(false);
}

void OptionsController::ShowSettings() {
    int timeoutButton = 2;
    for (int i = 0; i < 4; ++i)
        if (state_.Timeout == kTimeouts[i])
            timeoutButton = i;
    if (state_.Timeout != kTimeouts[timeoutButton])
        state_.Timeout = 3000;
    tab_.optTimeout[timeoutButton]->setChecked(true);

    int packetButton = 1;
    for (int i = 0; i < 3; ++i)
        if (state_.PacketSize == kPacketSizes[i])
            packetButton = i;
    if (state_.PacketSize != kPacketSizes[packetButton])
        state_.PacketSize = 64;
    tab_.optPacket[packetButton]->setChecked(true);

    tab_.chkStartWLocalAddr->setChecked(state_.StartWithLocalAddress);
}

bool OptionsController::changesPending() const {
    return tab_.cmdApply->isEnabled();
}

void OptionsController::enableApplyIfStoredDiffers(const QString& key, int inMemory) {
    // A stored value that is missing or unreadable is not what memory holds: it still has to be stored.
    const std::optional<int16_t> stored = storedShort(settings_, key);
    if (!stored || *stored != inMemory)
        tab_.cmdApply->setEnabled(true);
}

void OptionsController::optTimeout_Click(int index) {
    state_.Timeout = static_cast<int16_t>(kTimeouts[index]);
    enableApplyIfStoredDiffers(kTimeoutKey, state_.Timeout);
}

void OptionsController::optPacket_Click(int index) {
    state_.PacketSize = static_cast<int16_t>(kPacketSizes[index]);
    enableApplyIfStoredDiffers(kPacketSizeKey, state_.PacketSize);
}

void OptionsController::chkStartWLocalAddr_Click() {
    tab_.cmdApply->setEnabled(true);
    state_.StartWithLocalAddress = tab_.chkStartWLocalAddr->isChecked();
}

void OptionsController::cmdApply_Click() {
    SaveSettings();
}

} // namespace kestrion::app
