#include "cli/ConsoleSweep.h"

#include <string>

namespace kestrion::cli {

QList<Field> sweepFields() {
    return {{QStringLiteral("address"), QStringLiteral("Address")},
            {QStringLiteral("name"), QStringLiteral("Name")},
            {QStringLiteral("time_ms"), QStringLiteral("Time (ms)")}};
}

ConsoleSweep::ConsoleSweep(sweep::SweepSession& session, const Console& console, RecordWriter* rows,
                           sweep::StopRequest onInterrupt)
    : session_(session), console_(console), rows_(rows), onInterrupt_(onInterrupt) {
    // Read where the window's sweep reads its clicks: before the first address and at each yield.
    connect(&session_, &sweep::SweepSession::runningChanged, this, [this](bool running) {
        if (running)
            checkInterrupt();
        else
            clearProgress();
    });
    connect(&session_, &sweep::SweepSession::yielding, this, &ConsoleSweep::checkInterrupt);
    connect(&session_, &sweep::SweepSession::progress, this, &ConsoleSweep::progress);
    connect(&session_, &sweep::SweepSession::found, this, &ConsoleSweep::found);
    connect(&session_, &sweep::SweepSession::question, this, &ConsoleSweep::ask);
    connect(&session_, &sweep::SweepSession::unasked, this, &ConsoleSweep::say);
}

ConsoleSweep::~ConsoleSweep() {
    clearProgress();
}

void ConsoleSweep::checkInterrupt() {
    if (!interrupted_ && console_.interrupted()) {
        interrupted_ = true;
        session_.requestStop(onInterrupt_);
    }
}

void ConsoleSweep::progress(const QString& address, int percentDone) {
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
    if (rows_ == nullptr)
        return;
    clearProgress();
    rows_->write({host.address, host.name, static_cast<int64_t>(host.roundTripTime)});
}

void ConsoleSweep::say(const sweep::SweepQuestion& question) {
    clearProgress();
    console_.message(question.title + QStringLiteral(": ") + question.text);
}

void ConsoleSweep::ask(const sweep::SweepQuestion& question, int* answer) {
    const bool yesNo = question.buttons == platform::MsgButtons::YesNo;
    const bool okCancel = question.buttons == platform::MsgButtons::OkCancel;
    if (!console_.in || !(yesNo || okCancel)) {
        say(question);
        return; // *answer holds the answer that goes on
    }
    clearProgress();
    console_.message(question.title + QStringLiteral(": ") + question.text +
                     (yesNo ? QStringLiteral(" [y/n]") : QStringLiteral(" [ok/cancel]")));
    std::string typed;
    if (!std::getline(*console_.in, typed) || typed.empty())
        return;
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(typed.front())));
    if (yesNo)
        *answer = first == 'n' ? platform::AnswerNo : platform::AnswerYes;
    else
        *answer = first == 'c' ? platform::AnswerCancel : platform::AnswerOk;
}

} // namespace kestrion::cli
