#include "sweep/RangeEntry.h"

#include "platform/MessageBoxes.h"
#include "platform/OwnState.h"
#include "sweep/EntryValue.h"
#include "sweep/PingTab.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <limits>

namespace kestrion::sweep {

RangeEntry::RangeEntry(PingTab& tab, const SweepOptions& options, platform::MessageBoxes& boxes)
    : QObject(&tab), tab_(tab), options_(options), boxes_(boxes) {
    for (int i = 1; i <= 5; ++i) {
        QLineEdit* box = tab_.entryBox(i);
        // textChanged fires for typing, pasting and assignment alike, as the change rule requires.
        connect(box, &QLineEdit::textChanged, this, [this, i] { changeRule(i); });
        box->installEventFilter(this);
        // Qt cuts a text at 32767 characters unless told otherwise; a box takes any text and judges
        // it by its value.
        box->setMaxLength(std::numeric_limits<int>::max());
        if (i <= 3)
            tab_.txEchoAddr[i - 1]->setMaxLength(std::numeric_limits<int>::max()); // the copy follows whole
    }
}

bool RangeEntry::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        for (int i = 1; i <= 5; ++i) {
            QLineEdit* box = tab_.entryBox(i);
            if (watched != box)
                continue;
            SelectAllText(box);
            // A mouse click places the cursor after the focus arrives; select again once it has.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, box, [this, box] { SelectAllText(box); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void RangeEntry::SelectAllText(QLineEdit* box) {
    box->setSelection(0, static_cast<int>(box->text().size()));
}

void RangeEntry::moveFocusAfter(int index) {
    if (index < 5) {
        tab_.entryBox(index + 1)->setFocus();
        return;
    }
    if (platform::isOwnEnabled(tab_.cmdPing))
        tab_.cmdPing->setFocus();
}

void RangeEntry::changeRule(int index) {
    // The rule's own removal of a dot is already part of the outcome worked out below.
    if (rewriting_)
        return;
    QLineEdit* box = tab_.entryBox(index);
    const QString text = box->text();
    if (index <= 3)
        tab_.txEchoAddr[index - 1]->setText(text);
    const ChangeRuleOutcome outcome = applyChangeRule(text);
    if (outcome.keep < text.size()) {
        const QString kept = text.left(outcome.keep);
        {
            const QScopedValueRollback rewriting(rewriting_, true);
            box->setText(kept);
        }
        if (index <= 3)
            tab_.txEchoAddr[index - 1]->setText(kept);
    }
    if (outcome.moveFocus)
        moveFocusAfter(index);
}

std::optional<double> RangeEntry::checkEntry(QLineEdit* box, double lowerBound, const QString& message) {
    const std::optional<double> value = checkedEntryValue(box->text(), lowerBound);
    if (!value) {
        box->setText(QString());
        boxes_.show(QStringLiteral("Address Entry Error"), message, platform::MsgButtons::Ok,
                    platform::MsgIcon::None);
        box->setFocus();
        entryError_ = true;
        return std::nullopt;
    }
    const QString canonical = canonicalText(*value);
    if (box->text() != canonical)
        box->setText(canonical);
    return value;
}

namespace {
const QString k1To254 = QStringLiteral("The number entered here must be between 1 and 254.");
const QString k0To254 = QStringLiteral("The number entered here must be between 0 and 254.");
const QString& boundsMessage(RangeBox box) {
    return lowestValue(box) == 0 ? k0To254 : k1To254;
}
} // namespace

bool RangeEntry::CheckEntry1To254(QLineEdit* box) {
    return checkEntry(box, lowestValue(RangeBox::Octet1), k1To254).has_value();
}

bool RangeEntry::CheckEntry0To254(QLineEdit* box) {
    return checkEntry(box, lowestValue(RangeBox::Octet2), k0To254).has_value();
}

std::optional<SweepRange> RangeEntry::TakeRange() {
    entryError_ = false;
    // The range is taken from the checked values, not read back from the boxes: a fractional octet
    // such as 7.5 passes the check, but as text it would make a five-part address, so the octets are
    // whole numbers rounded like the host values.
    double values[kRangeBoxes] = {};
    for (int i = 0; i < kRangeBoxes; ++i) {
        const auto box = static_cast<RangeBox>(i);
        const std::optional<double> v =
            checkEntry(tab_.entryBox(i + 1), lowestValue(box), boundsMessage(box));
        if (!v) {
            entryError_ = true;
            tab_.Text1->setFocus();
            return std::nullopt;
        }
        values[i] = *v;
    }
    auto octet = [](double value) { return QString::number(roundHalfEven(value)); };
    auto host = [](double value) { return static_cast<int16_t>(roundHalfEven(value)); };
    return SweepRange{octet(values[0]), octet(values[1]), octet(values[2]), host(values[3]), host(values[4])};
}

void RangeEntry::FillAddressBoxes(const QString& address) {
    const QStringList fields = address.split(QLatin1Char('.'));
    auto field = [&](int i) { return i < fields.size() ? fields[i] : QString(); };
    tab_.Text1->setText(field(0));
    tab_.Text2->setText(field(1));
    tab_.Text3->setText(field(2));
    tab_.Text4->setText(QStringLiteral("1"));
    tab_.Text5->setText(QStringLiteral("254"));
    tab_.Text1->setFocus();
}

void RangeEntry::applyStartupRule(const QString& localAddress) {
    if (options_.StartWithLocalAddress) {
        FillAddressBoxes(localAddress);
        return;
    }
    for (int i = 1; i <= 5; ++i)
        tab_.entryBox(i)->setText(QString());
}

} // namespace kestrion::sweep
