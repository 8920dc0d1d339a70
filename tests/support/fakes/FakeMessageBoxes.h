#pragma once

#include "platform/MessageBoxes.h"

#include <QString>
#include <deque>
#include <functional>
#include <vector>

namespace kestrion::test {

// Records every box and answers from a script: queued answers first, then `answerFor` if set,
// then the box's first button.
class FakeMessageBoxes final : public platform::MessageBoxes {
public:
    struct Box {
        QString title;
        QString text;
        platform::MsgButtons buttons;
        platform::MsgIcon icon;
    };

    std::vector<Box> shown;
    std::deque<int> answers;
    std::function<int(const Box&)> answerFor;

    const Box& last() const { return shown.back(); }

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons buttons,
                platform::MsgIcon icon, int defaultAnswer) override {
        shown.push_back({title, text, buttons, icon});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        if (answerFor)
            return answerFor(shown.back());
        switch (buttons) {
        case platform::MsgButtons::YesNo:
            return platform::AnswerYes;
        default:
            return platform::AnswerOk;
        }
    }
};

} // namespace kestrion::test
