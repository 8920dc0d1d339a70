#pragma once

#include "sweep/SweepRange.h"
#include "sweep/SweepState.h"

#include <QObject>
#include <optional>

class QLineEdit;

namespace kestrion::platform {
class MessageBoxes;
} // namespace kestrion::platform

namespace kestrion::sweep {

class PingTab;

// The five address boxes of the Ping tab: their typing rules, their checks, and the step that copies
// them into the sweep range.
class RangeEntry : public QObject {
    Q_OBJECT
public:
    RangeEntry(PingTab& tab, const SweepOptions& options, platform::MessageBoxes& boxes);

    // Checks the boxes in order and gives the range they hold; at the first bad box it clears that
    // box, shows its message, focuses Text1 and gives nothing (one message per pass at most).
    std::optional<SweepRange> TakeRange();
    // The last check of a box (or of all of them) found an entry error.
    bool entryError() const { return entryError_; }
    bool CheckEntry1To254(QLineEdit* box);
    bool CheckEntry0To254(QLineEdit* box);
    // Text1..Text3 from the first three fields of a dotted address, then the whole block 1 to 254.
    void FillAddressBoxes(const QString& address);
    // Run by every initialisation of the main window with the computer's own address.
    void applyStartupRule(const QString& localAddress);
    void SelectAllText(QLineEdit* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void changeRule(int index);
    std::optional<double> checkEntry(QLineEdit* box, double lowerBound, const QString& message);
    void moveFocusAfter(int index);

    PingTab& tab_;
    const SweepOptions& options_;
    platform::MessageBoxes& boxes_;
    bool entryError_ = false;
    bool rewriting_ = false; // the change rule is setting a box's text itself
};

} // namespace kestrion::sweep
