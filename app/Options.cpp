#include "app/Options.h"

#include "app/OptionsTab.h"
#include "platform/AppTitle.h"
#include "platform/MessageBoxes.h"
#include "platform/OptionsStore.h"
#include "platform/OwnState.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

namespace kestrion::app {

namespace {
QString notStoredText(const QString& file, platform::StoreStatus status) {
    const QString why = status == platform::StoreStatus::Unreadable
                            ? QStringLiteral("is not a settings file that can be read")
                            : QStringLiteral("cannot be written");
    return QStringLiteral("The options could not be saved: %1 %2. They apply until Kestrion is closed.")
        .arg(file, why);
}

} // namespace

void ReadSettings(sweep::SweepOptions& state, const platform::SettingsStore& settings) {
    state = platform::readOptions(settings);
}

OptionsController::OptionsController(sweep::SweepOptions& state, platform::SettingsStore& settings,
                                     platform::MessageBoxes& boxes, OptionsTab& tab, QObject* parent)
    : QObject(parent), state_(state), settings_(settings), boxes_(boxes), tab_(tab) {
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
    connect(tab_.chkParallelSweep, &QCheckBox::toggled, this, [this] { chkParallelSweep_Click(); });
    connect(tab_.cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
}

void OptionsController::SaveSettings() {
    const platform::StoreStatus status = platform::writeOptions(settings_, state_);
    // Apply goes off either way: the user has been told, and a box at every later tab change would
    // only repeat it. The next option that differs from the store enables it again.
    tab_.cmdApply->setEnabled(false);
    if (status != platform::StoreStatus::Stored)
        boxes_.show(platform::appTitle() + QStringLiteral(" Error"),
                    notStoredText(settings_.fileName(), status), platform::MsgButtons::Ok,
                    platform::MsgIcon::Exclamation);
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
    tab_.chkParallelSweep->setChecked(state_.ParallelSweep);
}

bool OptionsController::changesPending() const {
    return platform::isOwnEnabled(tab_.cmdApply);
}

void OptionsController::enableApplyIfStoredDiffers(const platform::WholeNumber& option) {
    // A stored value that is missing or unreadable is not what memory holds: it still has to be stored.
    const std::optional<int16_t> stored = platform::storedValue(settings_, option);
    if (!stored || *stored != state_.*option.field)
        tab_.cmdApply->setEnabled(true);
}

void OptionsController::optTimeout_Click(int index) {
    state_.Timeout = static_cast<int16_t>(kTimeouts[index]);
    enableApplyIfStoredDiffers(platform::option(&platform::Options::Timeout));
}

void OptionsController::optPacket_Click(int index) {
    state_.PacketSize = static_cast<int16_t>(kPacketSizes[index]);
    enableApplyIfStoredDiffers(platform::option(&platform::Options::PacketSize));
}

void OptionsController::chkStartWLocalAddr_Click() {
    tab_.cmdApply->setEnabled(true);
    state_.StartWithLocalAddress = tab_.chkStartWLocalAddr->isChecked();
}

void OptionsController::chkParallelSweep_Click() {
    state_.ParallelSweep = tab_.chkParallelSweep->isChecked();
    // Never stored reads as off: turning it off again before any store leaves nothing to store.
    const bool stored =
        platform::storedValue(settings_, platform::option(&platform::Options::ParallelSweep)).value_or(false);
    if (stored != state_.ParallelSweep)
        tab_.cmdApply->setEnabled(true);
}

void OptionsController::cmdApply_Click() {
    SaveSettings();
}

} // namespace kestrion::app
