#pragma once

#include "platform/EchoService.h"

#include <QString>
#include <cstdint>

// The sweep's arithmetic and judgements, free of windows so they can be tested alone.
namespace kestrion::sweep {

// The IPv4 address value the echo service takes: p1 in the lowest byte, so that stored little-endian
// it is the address in network byte order. Anything but exactly four parts gives 0.
int32_t AddressToLong(const QString& dotted);

// PercentDone for the address with fourth octet n: unchanged at (or past) the last address.
int16_t progressPercent(int16_t firstHost, int16_t lastHost, int16_t n, int16_t previous);

enum class Verdict {
    Silent,          // timed out: no row, no question
    NetUnreachable,  // unreachable-network box, Cancel ends with "Click Reset to try again."
    BadDestination,  // the same box, Cancel ends with the File-menu text
    PingFailed,      // ping-failed box
    HostUnreachable, // a reply came from someone else: the Yes/No alert
    Success,
};

// Judges one echo result: the status first, then the number of replies, then the reply's source.
Verdict judge(const platform::EchoReply& reply, uint32_t destination);

QString unreachableNetworkText(int32_t destination, uint32_t status);
QString pingFailedText(const QString& currentAddress, uint32_t status, int32_t destination,
                       int32_t replySource);
QString hostUnreachableText();
QString cancelledByBoxText(Verdict verdict);

// The host name as the resolver left it in a buffer filled with spaces: trailing spaces and then one
// trailing zero removed; a text starting with "Error" becomes "Not available".
QString hostNameFromBuffer(const char* buffer, std::size_t size);

} // namespace kestrion::sweep
