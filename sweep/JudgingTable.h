#pragma once

#include "platform/EchoService.h"
#include "platform/MessageBoxes.h"
#include "sweep/SweepRules.h"

#include <QString>

namespace kestrion::sweep {

// One row of the judging table: what the sweep does with one verdict on an echo result.
struct JudgingRule {
    const char* name;
    Verdict verdict;
    bool asks;               // false: no question, the sweep goes on (or adds the row)
    const char* titleSuffix; // after the application title
    platform::MsgButtons buttons;
    int goOnAnswer;          // the answer an unattended run takes
    int stopAnswer;          // the answer that stops the sweep with stopText
    bool progressBeforeStop; // the progress is shown once more before the stop message
};

// The rows, in the order the table tests them (status first, then replies, then the source).
inline constexpr JudgingRule kJudgingTable[] = {
    {"time-out", Verdict::Silent, false, "", platform::MsgButtons::Ok, 0, 0, false},
    {"network unreachable", Verdict::NetUnreachable, true, " Error", platform::MsgButtons::OkCancel,
     platform::AnswerOk, platform::AnswerCancel, false},
    {"bad destination", Verdict::BadDestination, true, " Error", platform::MsgButtons::OkCancel,
     platform::AnswerOk, platform::AnswerCancel, false},
    {"ping failed", Verdict::PingFailed, true, " Error", platform::MsgButtons::OkCancel, platform::AnswerOk,
     platform::AnswerCancel, false},
    {"reply from another host", Verdict::HostUnreachable, true, " Alert", platform::MsgButtons::YesNo,
     platform::AnswerYes, platform::AnswerNo, true},
    {"success", Verdict::Success, false, "", platform::MsgButtons::Ok, 0, 0, false},
};

const JudgingRule& judgingRule(Verdict verdict);

// A box the sweep puts to the user. An unattended caller answers goOnAnswer without showing it.
struct SweepQuestion {
    QString title;
    QString text;
    platform::MsgButtons buttons = platform::MsgButtons::Ok;
    platform::MsgIcon icon = platform::MsgIcon::Exclamation;
    int goOnAnswer = platform::AnswerOk;
};

// What a run that asks nobody answers: a scheduled run, whether the window's timer or run-due started it,
// and a command line without anyone at a terminal. The sweep goes on and is saved as far as it got.
int unaskedAnswer(const SweepQuestion& question);

// The question of a rule that asks, with its text for this address and reply.
SweepQuestion judgingQuestion(const JudgingRule& rule, const QString& address,
                              const platform::EchoReply& reply, int32_t destination);
// The message that ends the sweep after the stopping answer to a rule's question.
SweepQuestion stopMessage(const JudgingRule& rule);

} // namespace kestrion::sweep
