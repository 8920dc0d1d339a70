#pragma once

#include "platform/MessageBoxes.h"

#include <QString>
#include <deque>
#include <functional>
#include <vector>

namespace kestrion::test {

// Records every box and answers from a script: queued answers first, then `answerFor` if set,
// then the box's first button. `whileOpen` runs before the answer, while isShowing() is true, as
// the event loop of a real modal box would let timers run.
class FakeMessageBoxes final : public platform::MessageBoxes {
public:
    struct Box {
        QString title;
        QString text;
        platform::MsgButtons buttons;
        platform::MsgIcon icon;
        int defaultAnswer; // 0: the first button
    };

    std::vector<Box> shown;
    std::deque<int> answers;
    std::function<int(const Box&)> answerFor;
    std::function<void(const Box&)> whileOpen;

    const Box& last() const { return shown.back(); }

    QWidget* owner = nullptr;
    void setOwnerWindow(QWidget* window) override { owner = window; }

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons buttons,
                platform::MsgIcon icon, int defaultAnswer) override {
        // A copy: the hooks may show further boxes, which moves the records.
        const Box box{title, text, buttons, icon, defaultAnswer};
        shown.push_back(box);
        if (whileOpen)
            whileOpen(box);
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        if (answerFor)
            return answerFor(box);
        switch (buttons) {
        case platform::MsgButtons::YesNo:
            return platform::AnswerYes;
        default:
            return platform::AnswerOk;
        }
    }
};

} // namespace kestrion::test
