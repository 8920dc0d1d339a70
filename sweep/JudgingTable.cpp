#include "sweep/JudgingTable.h"

#include "platform/AppTitle.h"

namespace kestrion::sweep {

const JudgingRule& judgingRule(Verdict verdict) {
    for (const JudgingRule& rule : kJudgingTable)
        if (rule.verdict == verdict)
            return rule;
    return kJudgingTable[0]; // every verdict has its row; the table test proves it
}

SweepQuestion judgingQuestion(const JudgingRule& rule, const QString& address,
                              const platform::EchoReply& reply, int32_t destination) {
    QString text;
    switch (rule.verdict) {
    case Verdict::NetUnreachable:
    case Verdict::BadDestination:
        text = unreachableNetworkText(destination, reply.status);
        break;
    case Verdict::PingFailed:
        text = pingFailedText(address, reply.status, destination, static_cast<int32_t>(reply.address));
        break;
    case Verdict::HostUnreachable:
        text = hostUnreachableText();
        break;
    case Verdict::Silent:
    case Verdict::Success:
        break;
    }
    return {platform::appTitle() + QLatin1String(rule.titleSuffix), text, rule.buttons,
            platform::MsgIcon::Exclamation, rule.goOnAnswer};
}

int unaskedAnswer(const SweepQuestion& question) {
    return question.goOnAnswer;
}

SweepQuestion stopMessage(const JudgingRule& rule) {
    return {platform::appTitle() + QStringLiteral(" Termination"), cancelledByBoxText(rule.verdict),
            platform::MsgButtons::Ok, platform::MsgIcon::None, platform::AnswerOk};
}

} // namespace kestrion::sweep
