#include "sweep/RangeEntry.h"

#include "platform/MessageBoxes.h"
#include "sweep/EntryValue.h"
#include "sweep/PingTab.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace kestrion::sweep {

RangeEntry::RangeEntry(PingTab& tab, SweepState& state, const SweepOptions& options,
                       platform::MessageBoxes& boxes)
    : QObject(&tab), tab_(tab), state_(state), options_(options), boxes_(boxes) {
    for (int i = 1; i <= 5; ++i) {
        QLineEdit* box = tab_.entryBox(i);
        // textChanged fires for typing, pasting and assignment alike, as the change rule requires.
        connect(box, &QLineEdit::textChanged, this, [this, i] { changeRule(i); });
        box->installEventFilter(this);
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
    if (tab_.cmdPing->isEnabled())
        tab_.cmdPing->setFocus();
}

void RangeEntry::changeRule(int index) {
    QLineEdit* box = tab_.entryBox(index);
    const QString text = box->text();
    if (index <= 3)
        tab_.txEchoAddr[index - 1]->setText(text);
    const qsizetype length = text.size();
    const bool endsWithDot = text.endsWith(QLatin1Char('.'));
    if (length == 0)
        return;
    if (length == 1) {
        if (text == QStringLiteral("."))
            box->setText(QString()); // runs the rule again, so the copy follows
        return;
    }
    if (length == 3) {
        if (endsWithDot)
            box->setText(text.left(2));
        moveFocusAfter(index);
        return;
    }
    if (endsWithDot) {
        box->setText(text.left(length - 1));
        moveFocusAfter(index);
    }
}

bool RangeEntry::checkEntry(QLineEdit* box, double lowerBound, const QString& message) {
    const double value = numericValue(box->text());
    if (value < lowerBound || value > 254) {
        box->setText(QString());
        boxes_.show(QStringLiteral("Address Entry Error"), message, platform::MsgButtons::Ok,
                    platform::MsgIcon::None);
        box->setFocus();
        state_.EntryError = true;
        return false;
    }
    const QString canonical = canonicalText(value);
    if (box->text() != canonical)
        box->setText(canonical);
    return true;
}

bool RangeEntry::CheckEntry1To254(QLineEdit* box) {
    return checkEntry(box, 1, QStringLiteral("The number entered here must be between 1 and 254."));
}

bool RangeEntry::CheckEntry0To254(QLineEdit* box) {
    return checkEntry(box, 0, QStringLiteral("The number entered here must be between 0 and 254."));
}

void RangeEntry::TakeRange() {
    state_.EntryError = false;
    // A fractional octet such as 7.5 passes the check, but as text it would make a five-part address;
    // the octets are taken as whole numbers, rounded like the host values.
    auto octet = [](QLineEdit* box) { return QString::number(roundHalfEven(numericValue(box->text()))); };
    auto host = [](QLineEdit* box) { return static_cast<int16_t>(roundHalfEven(numericValue(box->text()))); };
    bool ok = CheckEntry1To254(tab_.Text1);
    if (ok) {
        state_.Octet1 = octet(tab_.Text1);
        ok = CheckEntry0To254(tab_.Text2);
    }
    if (ok) {
        state_.Octet2 = octet(tab_.Text2);
        ok = CheckEntry0To254(tab_.Text3);
    }
    if (ok) {
        state_.Octet3 = octet(tab_.Text3);
        ok = CheckEntry1To254(tab_.Text4);
    }
    if (ok) {
        state_.FirstHost = host(tab_.Text4);
        ok = CheckEntry1To254(tab_.Text5);
    }
    if (ok) {
        state_.LastHost = host(tab_.Text5);
        return;
    }
    state_.EntryError = true;
    tab_.Text1->setFocus();
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
