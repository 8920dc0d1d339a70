#pragma once

#include <QString>

class QWidget;

namespace kestrion::platform {

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Exclamation, Question, Information, Critical };

// Answers, with the numbers the rest of the program compares against.
enum MsgAnswer : int { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

// Modal message boxes. No window shows a box directly: everything goes through here, so tests can
// read every box and answer it, and the schedule timer can tell when a modal box is open.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Shows a modal box and returns the answer. `defaultAnswer` 0 means the first button.
    int show(const QString& title, const QString& text, MsgButtons buttons, MsgIcon icon,
             int defaultAnswer = 0) {
        ++openBoxes_;
        struct Closer {
            int& n;
            ~Closer() { --n; }
        } closer{openBoxes_};
        return present(title, text, buttons, icon, defaultAnswer);
    }

    // True while a box is open (a modal box runs its own event loop, so timers still tick).
    bool isShowing() const { return openBoxes_ > 0; }

    // The main window, which boxes belong to while it is on screen (null when it goes). Without an
    // owner a window manager places a box by a hidden window of its own, away from the program. Boxes
    // that are no windows have nothing to do with it.
    virtual void setOwnerWindow(QWidget* /*window*/) {}

protected:
    virtual int present(const QString& title, const QString& text, MsgButtons buttons, MsgIcon icon,
                        int defaultAnswer) = 0;

private:
    int openBoxes_ = 0;
};

} // namespace kestrion::platform
