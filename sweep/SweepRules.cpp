#include "sweep/SweepRules.h"

#include "platform/AppTitle.h"
#include "sweep/EntryValue.h"

#include <QStringList>
#include <cmath>

namespace kestrion::sweep {

namespace es = platform::echo_status;

int32_t AddressToLong(const QString& dotted) {
    const QStringList parts = dotted.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    uint32_t value = 0;
    // Each part as two hexadecimal digits, only the last two kept: the low byte of its value.
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | (static_cast<uint64_t>(roundHalfEven(numericValue(parts[i]))) & 0xFFu);
    return static_cast<int32_t>(value);
}

int16_t progressPercent(int16_t firstHost, int16_t lastHost, int16_t n, int16_t previous) {
    const int left = lastHost - n;
    if (left <= 0)
        return previous;
    return static_cast<int16_t>(roundHalfEven(100.0 - (left * 100.0) / (lastHost - firstHost)));
}

Verdict judge(const platform::EchoReply& reply, uint32_t destination) {
    switch (reply.status) {
    case es::TimedOut:
        return Verdict::Silent;
    case es::DestNetUnreachable:
        return Verdict::NetUnreachable;
    case es::BadDestination:
        return Verdict::BadDestination;
    default:
        break;
    }
    if (reply.replies == 0)
        return Verdict::PingFailed;
    return reply.address == destination ? Verdict::Success : Verdict::HostUnreachable;
}

QString unreachableNetworkText(int32_t destination, uint32_t status) {
    return QStringLiteral(
               "The Destination is unreachable.  Perhaps this address is outside of your network. ") +
           QStringLiteral(" Click OK to try again , CANCEL to stop pinging.  Error Codes (for support):") +
           QLatin1Char('\r') + QStringLiteral("IP Address= ") + QString::number(destination) +
           QLatin1Char('\r') + QStringLiteral("Error Code= ") + QString::number(status);
}

QString pingFailedText(const QString& currentAddress, uint32_t status, int32_t destination,
                       int32_t replySource) {
    return QStringLiteral("Ping failed with error.  Either the Destination Host is unreachable, or, if") +
           QStringLiteral(" running in Windows 95, you may need to upgrade to WinSock 2.  More information") +
           QStringLiteral(" is in the  ") + platform::appTitle() +
           QStringLiteral(" Readme.txt file.  Click OK to try again, CANCEL to quit pinging.") +
           QStringLiteral(" Error Codes (for support) - IP Address= ") + currentAddress +
           QStringLiteral(", Error Code= ") + QString::number(status) + QStringLiteral(", lIPAddress= ") +
           QString::number(destination) + QStringLiteral(", pReturn.Address= ") +
           QString::number(replySource);
}

QString hostUnreachableText() {
    return QStringLiteral("Destination host is unreachable.   This IP Address may be outside") +
           QStringLiteral(" of your network or behind a firewall.  It is unlikely that any Pings there will "
                          "be successful.") +
           QStringLiteral("  Do you want to continue Pinging?");
}

QString cancelledByBoxText(Verdict verdict) {
    if (verdict == Verdict::NetUnreachable)
        return QStringLiteral("Operation cancelled.  Click Reset to try again.");
    return QStringLiteral("Operation cancelled.  Select Reset from the File menu to ping again.");
}

QString hostNameFromBuffer(const char* buffer, std::size_t size) {
    QByteArray text(buffer, static_cast<qsizetype>(size));
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    if (!text.isEmpty() && text.back() == '\0')
        text.chop(1);
    QString name = QString::fromLocal8Bit(text);
    if (name.startsWith(QStringLiteral("Error")))
        name = QStringLiteral("Not available");
    return name;
}

} // namespace kestrion::sweep
