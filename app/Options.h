#pragma once

#include "sweep/SweepState.h"

#include <QObject>
#include <QString>
#include <optional>

namespace kestrion::platform {
class MessageBoxes;
class SettingsStore;
struct WholeNumber;
} // namespace kestrion::platform

namespace kestrion::app {

class OptionsTab;

// Reads the stored options into memory (platform/OptionsStore.h): a key that is missing or does not
// read within its option's bounds gives its default.
void ReadSettings(sweep::SweepOptions& state, const platform::SettingsStore& settings);

// The Options tab's rules. `cmdApply` enabled means "there may be option changes not yet stored".
// Setting a radio button or the check box from code runs the same rule as the user's click.
class OptionsController : public QObject {
    Q_OBJECT
public:
    OptionsController(sweep::SweepOptions& state, platform::SettingsStore& settings,
                      platform::MessageBoxes& boxes, OptionsTab& tab, QObject* parent = nullptr);

    // Writes all three keys from memory (and ParallelSweep once it was turned on) and disables Apply. A store
    // that cannot be written is named in a box; the values stay in effect until the program ends.
    void SaveSettings();
    // Puts the in-memory values on the controls; values outside the offered sets become 3000 / 64.
    void ShowSettings();
    bool changesPending() const;
    // The values in effect (in memory), as the sweep takes them.
    const sweep::SweepOptions& values() const { return state_; }

    void optTimeout_Click(int index);
    void optPacket_Click(int index);
    void chkStartWLocalAddr_Click();
    // The parallel prober's box (an addition to the tab) enables Apply only where the store differs.
    void chkParallelSweep_Click();
    void cmdApply_Click();

    static constexpr int kTimeouts[4] = {500, 1000, 3000, 6000};
    static constexpr int kPacketSizes[3] = {8, 64, 512};

private:
    void enableApplyIfStoredDiffers(const platform::WholeNumber& option);

    sweep::SweepOptions& state_;
    platform::SettingsStore& settings_;
    platform::MessageBoxes& boxes_;
    OptionsTab& tab_;
};

} // namespace kestrion::app
