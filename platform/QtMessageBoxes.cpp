#include "platform/QtMessageBoxes.h"

#include <QMessageBox>

namespace kestrion::platform {

QWidget* QtMessageBoxes::boxParent() const {
    return owner_ && owner_->isVisible() ? owner_.data() : parent_;
}

int QtMessageBoxes::present(const QString& title, const QString& text, MsgButtons buttons, MsgIcon icon,
                            int defaultAnswer) {
    QMessageBox box(boxParent());
    box.setWindowTitle(title);
    // The texts break lines with a lone carriage return; Qt breaks only on line feeds.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    Choice choices[2];
    int count = 0;
    switch (buttons) {
    case MsgButtons::Ok:
        choices[count++] = {QMessageBox::Ok, AnswerOk};
        break;
    case MsgButtons::OkCancel:
        choices[count++] = {QMessageBox::Ok, AnswerOk};
        choices[count++] = {QMessageBox::Cancel, AnswerCancel};
        break;
    case MsgButtons::YesNo:
        choices[count++] = {QMessageBox::Yes, AnswerYes};
        choices[count++] = {QMessageBox::No, AnswerNo};
        break;
    }
    QMessageBox::StandardButtons all;
    for (int i = 0; i < count; ++i)
        all |= choices[i].button;
    box.setStandardButtons(all);
    box.setDefaultButton(choices[0].button);
    for (int i = 0; i < count; ++i)
        if (choices[i].answer == defaultAnswer)
            box.setDefaultButton(choices[i].button);
    const int clicked = box.exec();
    for (int i = 0; i < count; ++i)
        if (clicked == choices[i].button)
            return choices[i].answer;
    // Closed without a button (Escape or the close box): the box's escape answer.
    return buttons == MsgButtons::Ok ? AnswerOk : choices[count - 1].answer;
}

} // namespace kestrion::platform
