#pragma once

// The judging table's questions as a sweep of 10.1.2.1-2 meets them, shared by the engine's test and
// the window's: what the echo service says for 10.1.2.1, the question raised, the answer given and the
// text that ends the sweep when that answer stops it. 10.1.2.2 is for the test to script (it answers).
#include "platform/MessageBoxes.h"
#include "tests/support/fakes/FakeEcho.h"

#include <QString>
#include <functional>
#include <vector>

namespace kestrion::test {

struct JudgingRow {
    const char* name;
    std::function<void(FakeEcho&)> script;
    int answer; // 0: no question expected
    QString title;
    platform::MsgButtons buttons;
    QString text;
    QString stopText; // empty: the sweep goes on to 10.1.2.2
};

inline std::vector<JudgingRow> judgingQuestionRows() {
    using platform::AnswerCancel;
    using platform::AnswerNo;
    using platform::AnswerOk;
    using platform::AnswerYes;
    using platform::MsgButtons;
    namespace es = platform::echo_status;
    const QString unreachable = QStringLiteral(
        "The Destination is unreachable.  Perhaps this address is outside of your network.  Click OK to try "
        "again , CANCEL to stop pinging.  Error Codes (for support):\rIP Address= 16908554\rError Code= %1");
    const QString failed = QStringLiteral(
        "Ping failed with error.  Either the Destination Host is unreachable, or, if running in Windows 95, "
        "you may need to upgrade to WinSock 2.  More information is in the  Kestrion Readme.txt file.  "
        "Click OK to try again, CANCEL to quit pinging. Error Codes (for support) - IP Address= 10.1.2.1, "
        "Error Code= %1, lIPAddress= 16908554, pReturn.Address= %2");
    const QString hostUnreachable = QStringLiteral(
        "Destination host is unreachable.   This IP Address may be outside of your network or behind a "
        "firewall.  It is unlikely that any Pings there will be successful.  Do you want to continue "
        "Pinging?");
    const QString netStop = QStringLiteral("Operation cancelled.  Click Reset to try again.");
    const QString fileMenuStop =
        QStringLiteral("Operation cancelled.  Select Reset from the File menu to ping again.");
    return {
        {"network unreachable, OK",
         [](FakeEcho& e) { e.fail("10.1.2.1", es::DestNetUnreachable, 1, FakeEcho::value("10.1.9.1")); },
         AnswerOk,
         "Kestrion Error",
         MsgButtons::OkCancel,
         unreachable.arg(11002),
         {}},
        {"network unreachable, Cancel", [](FakeEcho& e) { e.fail("10.1.2.1", es::DestNetUnreachable); },
         AnswerCancel, "Kestrion Error", MsgButtons::OkCancel, unreachable.arg(11002), netStop},
        {"bad destination, OK",
         [](FakeEcho& e) { e.fail("10.1.2.1", es::BadDestination); },
         AnswerOk,
         "Kestrion Error",
         MsgButtons::OkCancel,
         unreachable.arg(11018),
         {}},
        {"bad destination, Cancel", [](FakeEcho& e) { e.fail("10.1.2.1", es::BadDestination); }, AnswerCancel,
         "Kestrion Error", MsgButtons::OkCancel, unreachable.arg(11018), fileMenuStop},
        {"other failure without reply, OK",
         [](FakeEcho& e) { e.fail("10.1.2.1", es::GeneralFailure); },
         AnswerOk,
         "Kestrion Error",
         MsgButtons::OkCancel,
         failed.arg(11050).arg(0),
         {}},
        {"other failure without reply, Cancel",
         [](FakeEcho& e) { e.fail("10.1.2.1", es::DestHostUnreachable, 0, FakeEcho::value("10.1.2.254")); },
         AnswerCancel, "Kestrion Error", MsgButtons::OkCancel, failed.arg(11003).arg(-33423094),
         fileMenuStop},
        {"success status without reply",
         [](FakeEcho& e) { e.fail("10.1.2.1", es::Success, 0); },
         AnswerOk,
         "Kestrion Error",
         MsgButtons::OkCancel,
         failed.arg(0).arg(0),
         {}},
        {"reply from a router, Yes",
         [](FakeEcho& e) { e.answerFrom("10.1.2.1", "10.1.2.254", es::DestHostUnreachable); },
         AnswerYes,
         "Kestrion Alert",
         MsgButtons::YesNo,
         hostUnreachable,
         {}},
        {"reply from a router, No",
         [](FakeEcho& e) { e.answerFrom("10.1.2.1", "10.1.2.254", es::DestProhibited); }, AnswerNo,
         "Kestrion Alert", MsgButtons::YesNo, hostUnreachable, fileMenuStop},
        {"reply from another host with success status",
         [](FakeEcho& e) { e.answerFrom("10.1.2.1", "10.1.2.7"); },
         AnswerYes,
         "Kestrion Alert",
         MsgButtons::YesNo,
         hostUnreachable,
         {}},
    };
}

} // namespace kestrion::test
