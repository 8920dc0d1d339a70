#include "cli/ConsoleSweep.h"

#include <string>

namespace kestrion::cli {

ConsoleSweep::ConsoleSweep(const Console& console, bool printRows, Questions questions)
    : console_(console), printRows_(printRows), questions_(questions) {}

ConsoleSweep::~ConsoleSweep() {
    clearProgress();
}

sweep::StopRequest ConsoleSweep::stopRequest() {
    if (console_.interrupted())
        interrupted_ = true;
    return interrupted_ ? sweep::StopRequest::Cancel : sweep::StopRequest::None;
}

void ConsoleSweep::progress(const QString& address, int16_t percentDone) {
    if (!console_.errIsTerminal)
        return;
    // One line, rewritten in place; "\x1b[K" clears what a longer address left behind.
    console_.err << "\rPinging " << address.toStdString() << "  " << percentDone << "%\x1b[K";
    console_.err.flush();
    progressShown_ = true;
}

void ConsoleSweep::clearProgress() {
    if (!progressShown_)
        return;
    console_.err << "\r\x1b[K";
    console_.err.flush();
    progressShown_ = false;
}

void ConsoleSweep::found(const sweep::FoundHost& host) {
    rows_.push_back({host.address, QString::number(host.roundTripTime)});
    if (!printRows_)
        return;
    clearProgress();
    console_.out << host.address.toStdString() << '\t' << host.name.toLocal8Bit().constData() << '\t'
                 << host.roundTripTime << '\n';
    console_.out.flush();
}

int ConsoleSweep::ask(const sweep::SweepQuestion& question) {
    clearProgress();
    const bool yesNo = question.buttons == platform::MsgButtons::YesNo;
    const bool okCancel = question.buttons == platform::MsgButtons::OkCancel;
    if (questions_ == Questions::NeverAsk || !console_.in || !(yesNo || okCancel)) {
        console_.message(question.title + QStringLiteral(": ") + question.text);
        return sweep::unaskedAnswer(question);
    }
    console_.message(question.title + QStringLiteral(": ") + question.text +
                     (yesNo ? QStringLiteral(" [y/n]") : QStringLiteral(" [ok/cancel]")));
    std::string answer;
    if (!std::getline(*console_.in, answer) || answer.empty())
        return sweep::unaskedAnswer(question);
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(answer.front())));
    if (yesNo)
        return first == 'n' ? platform::AnswerNo : platform::AnswerYes;
    return first == 'c' ? platform::AnswerCancel : platform::AnswerOk;
}

} // namespace kestrion::cli
